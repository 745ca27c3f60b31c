// Text for builds without a font machinery (fontconfig and FreeType not
// found): the readout shows its strip without text.
#include "text_renderer.h"

namespace halvorine::editor {
namespace {
class NoText final : public TextRenderer {
public:
    void drawText(Canvas&, int, int, std::string_view, const char*, int, Pixel) override {}
};
}  // namespace

TextRenderer& platformTextRenderer() {
    static NoText none;
    return none;
}

}  // namespace halvorine::editor
