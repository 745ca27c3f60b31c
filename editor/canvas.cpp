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
    // The columns that lie inside both canvases, then whole rows of them.
    const int dx0 = std::max({0, -from.left, -x});
    const int dx1 = std::min({from.width, src.width_ - from.left, width_ - x});
    if (dx1 <= dx0) return;
    for (int dy = 0; dy < from.height; ++dy) {
        const int sy = from.top + dy, ty = y + dy;
        if (sy < 0 || sy >= src.height_ || ty < 0 || ty >= height_) continue;
        const Pixel* in = src.row(sy) + from.left + dx0;
        std::copy(in, in + (dx1 - dx0), row(ty) + x + dx0);
    }
}

void Canvas::copyEnlarged(const Canvas& src, const Rect& from, int x, int y, int scale) {
    if (scale == 1) return copyRect(src, from, x, y);
    // Each source row becomes one target row, copied to the scale - 1 below.
    const int dx0 = std::max(0, -from.left), dx1 = std::min(from.width, src.width_ - from.left);
    const int tx0 = std::max(0, x + dx0 * scale), tx1 = std::min(width_, x + dx1 * scale);
    if (tx1 <= tx0) return;
    for (int dy = 0; dy < from.height; ++dy) {
        const int sy = from.top + dy;
        if (sy < 0 || sy >= src.height_) continue;
        const int ty0 = std::max(0, y + dy * scale), ty1 = std::min(height_, y + (dy + 1) * scale);
        if (ty1 <= ty0) continue;
        const Pixel* in = src.row(sy) + from.left;
        Pixel* out = row(ty0);
        for (int tx = tx0; tx < tx1; ++tx) out[tx] = in[(tx - x) / scale];
        for (int ty = ty0 + 1; ty < ty1; ++ty) std::copy(out + tx0, out + tx1, row(ty) + tx0);
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
