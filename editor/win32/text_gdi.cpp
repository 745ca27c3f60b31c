// Text on Windows: GDI draws it. The canvas pixels under the text go into a
// 32-bit DIB section, GDI draws the text over them (transparent background,
// so its anti-aliased edges blend with what is there), and the result is
// copied back into the canvas. The same code serves the window and the
// headless tests of a Windows build, so both see the same text pixels.
//
// Fonts are made on first use per (face, size) and kept until the library
// is unloaded. Sizes are in points at 96 pixels per inch, whatever the
// screen's setting: the editor is a fixed pixel design.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "text_renderer.h"

namespace halvorine::editor {
namespace {

constexpr int kDpi = 96;
constexpr std::size_t kMaxFonts = 8;

struct Font {
    std::string face;
    int points = 0;
    HFONT handle = nullptr;  // null: GDI refused, draw nothing
};

class GdiTextRenderer final : public TextRenderer {
public:
    GdiTextRenderer() = default;
    GdiTextRenderer(const GdiTextRenderer&) = delete;
    GdiTextRenderer& operator=(const GdiTextRenderer&) = delete;
    ~GdiTextRenderer() override {
        for (const Font& f : fonts_)
            if (f.handle) DeleteObject(f.handle);
    }

    void drawText(Canvas& canvas, int x, int y, std::string_view text, const char* face,
                  int points, Pixel colour) override {
        if (text.empty() || points <= 0 || canvas.empty()) return;
        std::lock_guard<std::mutex> lock(mutex_);
        const HFONT font = fontFor(face ? face : "", points);
        if (!font) return;

        // Latin-1 bytes are the first 256 code points, whatever the
        // system's ANSI code page.
        std::wstring wide(text.size(), L' ');
        std::transform(text.begin(), text.end(), wide.begin(),
                       [](char c) { return static_cast<wchar_t>(static_cast<unsigned char>(c)); });

        const HDC dc = CreateCompatibleDC(nullptr);
        if (!dc) return;
        const HGDIOBJ oldFont = SelectObject(dc, font);
        SIZE extent{};
        GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
        // The area the text may touch: its extent, plus a line height on
        // each side for overhangs, clipped to the canvas.
        const int margin = std::max<int>(extent.cy, 1);
        const int left = std::max(0, x - margin);
        const int top = std::max(0, y - margin);
        const int right = std::min(canvas.width(), x + static_cast<int>(extent.cx) + margin);
        const int bottom = std::min(canvas.height(), y + static_cast<int>(extent.cy) + margin);
        if (right > left && bottom > top) drawIn(dc, canvas, {left, top, right - left, bottom - top},
                                                 x, y, wide, colour);
        SelectObject(dc, oldFont);
        DeleteDC(dc);
    }

private:
    // Draws through a DIB holding the canvas's pixels of `area`.
    static void drawIn(HDC dc, Canvas& canvas, const Rect& area, int x, int y,
                       const std::wstring& text, Pixel colour) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = area.width;
        info.bmiHeader.biHeight = -area.height;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!bitmap || !bits) {
            if (bitmap) DeleteObject(bitmap);
            return;
        }
        // A 32-bit BI_RGB pixel in memory is 0x00RRGGBB, the canvas's layout.
        auto* pixels = static_cast<std::uint32_t*>(bits);
        for (int row = 0; row < area.height; ++row)
            std::memcpy(pixels + static_cast<std::size_t>(row) * area.width,
                        canvas.row(area.top + row) + area.left,
                        static_cast<std::size_t>(area.width) * sizeof(Pixel));

        const HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
        SetTextColor(dc, RGB(redOf(colour), greenOf(colour), blueOf(colour)));
        TextOutW(dc, x - area.left, y - area.top, text.c_str(), static_cast<int>(text.size()));
        GdiFlush();
        SelectObject(dc, oldBitmap);

        // GDI leaves the fourth byte of the pixels it touches undefined.
        for (int row = 0; row < area.height; ++row) {
            const std::uint32_t* src = pixels + static_cast<std::size_t>(row) * area.width;
            Pixel* dst = canvas.row(area.top + row) + area.left;
            for (int col = 0; col < area.width; ++col) dst[col] = src[col] & 0x00FFFFFFu;
        }
        DeleteObject(bitmap);
    }

    HFONT fontFor(const std::string& face, int points) {
        for (const Font& f : fonts_)
            if (f.points == points && f.face == face) return f.handle;
        if (fonts_.size() >= kMaxFonts) {
            if (fonts_.front().handle) DeleteObject(fonts_.front().handle);
            fonts_.erase(fonts_.begin());
        }
        LOGFONTW logFont{};
        logFont.lfHeight = -MulDiv(points, kDpi, 72);  // negative: the em height, not the cell
        logFont.lfWeight = FW_NORMAL;
        logFont.lfCharSet = DEFAULT_CHARSET;
        logFont.lfOutPrecision = OUT_TT_PRECIS;
        logFont.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        logFont.lfQuality = ANTIALIASED_QUALITY;
        logFont.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
        const std::size_t length = std::min<std::size_t>(face.size(), LF_FACESIZE - 1);
        for (std::size_t i = 0; i < length; ++i)
            logFont.lfFaceName[i] = static_cast<wchar_t>(static_cast<unsigned char>(face[i]));
        fonts_.push_back({face, points, CreateFontIndirectW(&logFont)});
        return fonts_.back().handle;
    }

    std::mutex mutex_;
    std::vector<Font> fonts_;
};

}  // namespace

TextRenderer& platformTextRenderer() {
    static GdiTextRenderer renderer;
    return renderer;
}

}  // namespace halvorine::editor
