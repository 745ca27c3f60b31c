#include "canvas.h"

#include <algorithm>

namespace halvorine::editor {

Canvas::Canvas(int width, int height, Pixel fill) { reset(width, height, fill); }

void Canvas::reset(int width, int height, Pixel fill) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    pixels_.assign(static_cast<std::size_t>(width_) * height_, fill);
}

void Canvas::fill(Pixel colour) { std::fill(pixels_.begin(), pixels_.end(), colour); }

void Canvas::fillRect(const Rect& r, Pixel colour) {
    const int x0 = std::max(0, r.left), y0 = std::max(0, r.top);
    const int x1 = std::min(width_, r.left + r.width), y1 = std::min(height_, r.top + r.height);
    for (int y = y0; y < y1; ++y) std::fill(row(y) + x0, row(y) + std::max(x0, x1), colour);
}

void Canvas::copyRect(const Canvas& src, const Rect& from, int x, int y) {
    for (int dy = 0; dy < from.height; ++dy) {
        const int sy = from.top + dy, ty = y + dy;
        if (sy < 0 || sy >= src.height_ || ty < 0 || ty >= height_) continue;
        for (int dx = 0; dx < from.width; ++dx) {
            const int sx = from.left + dx, tx = x + dx;
            if (sx < 0 || sx >= src.width_ || tx < 0 || tx >= width_) continue;
            set(tx, ty, src.at(sx, sy));
        }
    }
}

void Canvas::copyEnlarged(const Canvas& src, const Rect& from, int x, int y, int scale) {
    if (scale == 1) return copyRect(src, from, x, y);
    for (int dy = 0; dy < from.height; ++dy) {
        const int sy = from.top + dy;
        if (sy < 0 || sy >= src.height_) continue;
        for (int dx = 0; dx < from.width; ++dx) {
            const int sx = from.left + dx;
            if (sx < 0 || sx >= src.width_) continue;
            fillRect({x + dx * scale, y + dy * scale, scale, scale}, src.at(sx, sy));
        }
    }
}

void Canvas::drawTransparent(const Canvas& src, int x, int y) {
    if (src.empty()) return;
    const Pixel key = src.at(0, src.height_ - 1);
    for (int sy = 0; sy < src.height_; ++sy) {
        const int ty = y + sy;
        if (ty < 0 || ty >= height_) continue;
        for (int sx = 0; sx < src.width_; ++sx) {
            const int tx = x + sx;
            if (tx < 0 || tx >= width_) continue;
            const Pixel p = src.at(sx, sy);
            if (p != key) set(tx, ty, p);
        }
    }
}

void Canvas::blend(int x, int y, Pixel colour, unsigned coverage) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage == 0) return;
    if (coverage >= 255) {
        set(x, y, colour);
        return;
    }
    const Pixel under = at(x, y);
    const auto mix = [coverage](unsigned a, unsigned b) {
        return (a * coverage + b * (255 - coverage) + 127) / 255;
    };
    set(x, y, rgb(mix(redOf(colour), redOf(under)), mix(greenOf(colour), greenOf(under)),
                  mix(blueOf(colour), blueOf(under))));
}

void MaskedImage::drawOn(Canvas& dest, int x, int y, int scale) const {
    if (scale != 1) {
        for (int sy = 0; sy < height(); ++sy)
            for (int sx = 0; sx < width(); ++sx)
                if (isOpaque(sx, sy))
                    dest.fillRect({x + sx * scale, y + sy * scale, scale, scale}, image.at(sx, sy));
        return;
    }
    for (int sy = 0; sy < height(); ++sy) {
        const int ty = y + sy;
        if (ty < 0 || ty >= dest.height()) continue;
        for (int sx = 0; sx < width(); ++sx) {
            const int tx = x + sx;
            if (tx < 0 || tx >= dest.width() || !isOpaque(sx, sy)) continue;
            dest.set(tx, ty, image.at(sx, sy));
        }
    }
}

}  // namespace halvorine::editor
