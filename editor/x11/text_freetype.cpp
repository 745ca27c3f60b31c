// Text on Linux: fontconfig picks the font file for a face name and size,
// FreeType renders the glyphs with grey anti-aliasing, and the coverage is
// blended into the canvas. No X server is involved, so the screen and the
// headless tests see the same text pixels.
//
// Fonts are opened lazily, on the thread that draws first (the user-interface
// thread), and kept per (face, size) until the library is unloaded. Rendered
// glyphs are cached per font: the readout redraws its line on every mouse
// move while a slider is dragged.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "text_renderer.h"

namespace halvorine::editor {
namespace {

constexpr int kDpi = 96;
constexpr std::size_t kMaxFonts = 8;

struct Glyph {
    bool rendered = false;
    int left = 0, top = 0;    // bitmap origin relative to the pen on the baseline
    int width = 0, rows = 0;
    long advance = 0;         // 26.6 pixels
    std::vector<std::uint8_t> coverage;  // width x rows, 0..255
};

struct Font {
    std::string face;
    int points = 0;
    FT_Face ftFace = nullptr;  // null: no usable font, draw nothing
    int ascender = 0;          // pixels from the top of the line box to the baseline
    std::array<Glyph, 256> glyphs;
};

// Where fontconfig says the face lives, or an empty path.
struct FontFile {
    std::string path;
    int index = 0;
};

FontFile locate(FcConfig* config, const char* face, int points) {
    FontFile file;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return file;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face));
    FcPatternAddDouble(pattern, FC_SIZE, points);
    FcPatternAddDouble(pattern, FC_DPI, kDpi);
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    if (FcConfigSubstitute(config, pattern, FcMatchPattern)) {
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
            FcChar8* path = nullptr;
            int index = 0;
            if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path) {
                file.path = reinterpret_cast<const char*>(path);
                if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch)
                    file.index = index;
            }
            FcPatternDestroy(match);
        }
    }
    FcPatternDestroy(pattern);
    return file;
}

// The row of a bitmap counted from its top, whichever way it flows.
const unsigned char* bitmapRow(const FT_Bitmap& bitmap, unsigned row) {
    if (bitmap.pitch >= 0) return bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
    return bitmap.buffer + static_cast<std::ptrdiff_t>(bitmap.rows - 1 - row) * -bitmap.pitch;
}

class FreeTypeRenderer final : public TextRenderer {
public:
    FreeTypeRenderer() = default;
    FreeTypeRenderer(const FreeTypeRenderer&) = delete;
    FreeTypeRenderer& operator=(const FreeTypeRenderer&) = delete;

    ~FreeTypeRenderer() override {
        for (auto& font : fonts_)
            if (font->ftFace) FT_Done_Face(font->ftFace);
        if (library_) FT_Done_FreeType(library_);
        if (config_) FcConfigDestroy(config_);
    }

    void drawText(Canvas& canvas, int x, int y, std::string_view text, const char* face,
                  int points, Pixel colour) override {
        if (text.empty() || points <= 0 || canvas.empty()) return;
        std::lock_guard<std::mutex> lock(mutex_);
        Font* font = fontFor(face ? face : "", points);
        if (!font || !font->ftFace) return;

        const int baseline = y + font->ascender;
        long pen = static_cast<long>(x) * 64;
        for (unsigned char c : text) {
            const Glyph& g = glyph(*font, c);
            const int left = static_cast<int>((pen + 32) >> 6) + g.left;
            const int top = baseline - g.top;
            for (int row = 0; row < g.rows; ++row) {
                const std::uint8_t* cov = g.coverage.data() + static_cast<std::size_t>(row) * g.width;
                for (int col = 0; col < g.width; ++col)
                    if (cov[col]) canvas.blend(left + col, top + row, colour, cov[col]);
            }
            pen += g.advance;
        }
    }

private:
    Font* fontFor(const std::string& face, int points) {
        for (auto& font : fonts_)
            if (font->points == points && font->face == face) return font.get();

        if (!library_ && !libraryFailed_) {
            // A fontconfig configuration of our own: the host's current one
            // stays untouched, and ours goes when the library is unloaded.
            config_ = FcInitLoadConfigAndFonts();
            if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
            libraryFailed_ = !config_ || !library_;
        }
        if (libraryFailed_) return nullptr;

        if (fonts_.size() >= kMaxFonts) {
            if (fonts_.front()->ftFace) FT_Done_Face(fonts_.front()->ftFace);
            fonts_.erase(fonts_.begin());
        }
        auto font = std::make_unique<Font>();
        font->face = face;
        font->points = points;
        open(*font);
        fonts_.push_back(std::move(font));
        return fonts_.back().get();
    }

    // Opens the font file and sizes it; on any failure the font stays
    // without a face (remembered, so the lookup is not repeated each draw).
    void open(Font& font) {
        const FontFile file = locate(config_, font.face.c_str(), font.points);
        if (file.path.empty()) return;
        FT_Face ftFace = nullptr;
        if (FT_New_Face(library_, file.path.c_str(), file.index, &ftFace) != 0) return;
        bool sized = FT_Set_Char_Size(ftFace, 0, static_cast<FT_F26Dot6>(font.points) * 64, kDpi,
                                      kDpi) == 0;
        if (!sized && ftFace->num_fixed_sizes > 0) sized = FT_Select_Size(ftFace, 0) == 0;
        if (!sized) {
            FT_Done_Face(ftFace);
            return;
        }
        FT_Select_Charmap(ftFace, FT_ENCODING_UNICODE);  // Latin-1 bytes are Unicode code points
        font.ftFace = ftFace;
        font.ascender = static_cast<int>((ftFace->size->metrics.ascender + 32) >> 6);
    }

    const Glyph& glyph(Font& font, unsigned char c) {
        Glyph& g = font.glyphs[c];
        if (g.rendered) return g;
        g.rendered = true;  // a glyph that fails to render draws nothing and advances nothing

        FT_Face ftFace = font.ftFace;
        const FT_UInt index = FT_Get_Char_Index(ftFace, c);
        if (FT_Load_Glyph(ftFace, index, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) return g;
        const FT_GlyphSlot slot = ftFace->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        g.advance = slot->advance.x;
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO)
            return g;
        g.width = static_cast<int>(bitmap.width);
        g.rows = static_cast<int>(bitmap.rows);
        g.coverage.assign(static_cast<std::size_t>(g.width) * g.rows, 0);
        const unsigned greys = bitmap.num_grays > 1 ? bitmap.num_grays - 1u : 255u;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            const unsigned char* src = bitmapRow(bitmap, row);
            std::uint8_t* dst = g.coverage.data() + static_cast<std::size_t>(row) * g.width;
            for (unsigned col = 0; col < bitmap.width; ++col) {
                if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                    dst[col] = (src[col >> 3] & (0x80u >> (col & 7))) ? 255 : 0;
                else
                    dst[col] = static_cast<std::uint8_t>(greys == 255 ? src[col] : src[col] * 255u / greys);
            }
        }
        return g;
    }

    std::mutex mutex_;
    FcConfig* config_ = nullptr;
    FT_Library library_ = nullptr;
    bool libraryFailed_ = false;
    std::vector<std::unique_ptr<Font>> fonts_;
};

}  // namespace

TextRenderer& platformTextRenderer() {
    static FreeTypeRenderer renderer;
    return renderer;
}

}  // namespace halvorine::editor
