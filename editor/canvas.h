// A software canvas: a 32-bit pixel buffer (0x00RRGGBB) with the few
// operations the editor composes its window from. Every pixel the editor
// shows is computed here, so tests can check them.
#pragma once

#include <cstdint>
#include <vector>

namespace halvorine::editor {

using Pixel = std::uint32_t;  // 0x00RRGGBB

constexpr Pixel rgb(unsigned r, unsigned g, unsigned b) {
    return static_cast<Pixel>(((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF));
}
constexpr unsigned redOf(Pixel p) { return (p >> 16) & 0xFF; }
constexpr unsigned greenOf(Pixel p) { return (p >> 8) & 0xFF; }
constexpr unsigned blueOf(Pixel p) { return p & 0xFF; }

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
};

class Canvas {
public:
    Canvas() = default;
    Canvas(int width, int height, Pixel fill = rgb(255, 255, 255));

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ == 0 || height_ == 0; }
    Pixel at(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }
    void set(int x, int y, Pixel p) { pixels_[static_cast<std::size_t>(y) * width_ + x] = p; }
    const Pixel* row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    Pixel* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    const std::vector<Pixel>& pixels() const { return pixels_; }

    // Resizes to width x height, every pixel `fill`.
    void reset(int width, int height, Pixel fill);
    // Fills the whole canvas.
    void fill(Pixel colour);
    // Fills a rectangle (clipped).
    void fillRect(const Rect& r, Pixel colour);
    // Copies `from` (a rectangle of `src`) with its top-left at x, y (clipped).
    void copyRect(const Canvas& src, const Rect& from, int x, int y);
    // Copies `from` of `src` enlarged `scale` times, every source pixel a
    // scale x scale square, with its top-left at x, y (clipped).
    void copyEnlarged(const Canvas& src, const Rect& from, int x, int y, int scale);
    // Draws `src` at x, y, skipping every pixel of the colour of src's
    // bottom-left pixel: those show what lies beneath.
    void drawTransparent(const Canvas& src, int x, int y);
    // Blends `colour` into pixel x, y with coverage 0..255 (text edges).
    void blend(int x, int y, Pixel colour, unsigned coverage);

private:
    int width_ = 0, height_ = 0;
    std::vector<Pixel> pixels_;
};

// An image with a mask: masked-out pixels are not drawn.
struct MaskedImage {
    Canvas image;
    std::vector<bool> opaque;  // one per pixel, row by row; true = drawn

    int width() const { return image.width(); }
    int height() const { return image.height(); }
    bool isOpaque(int x, int y) const {
        return opaque[static_cast<std::size_t>(y) * image.width() + x];
    }
    // Draws the image's opaque pixels onto `dest` with its top-left at x, y,
    // each as a scale x scale square.
    void drawOn(Canvas& dest, int x, int y, int scale = 1) const;
};

}  // namespace halvorine::editor
