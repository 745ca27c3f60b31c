// Text drawing through the platform's font machinery.
#pragma once

#include <string_view>

#include "canvas.h"

namespace halvorine::editor {

class TextRenderer {
public:
    virtual ~TextRenderer() = default;
    // Draws `text` (Latin-1) in `colour`, no background fill, with the
    // top-left corner of its line box at x, y of `canvas`, in the face
    // `face` at `points` points (96 pixels per inch).
    virtual void drawText(Canvas& canvas, int x, int y, std::string_view text,
                          const char* face, int points, Pixel colour) = 0;
};

// The renderer of this platform (fontconfig and FreeType on Linux, GDI on
// Windows). Never null: without a usable font it draws nothing.
TextRenderer& platformTextRenderer();

}  // namespace halvorine::editor
