// The Linux text renderer: fontconfig and FreeType into the canvas. No X
// server is involved.
#include <gtest/gtest.h>

#include <string>

#include "canvas.h"
#include "text_renderer.h"

namespace halvorine::editor {
namespace {

constexpr Pixel kWhite = rgb(255, 255, 255);
constexpr const char* kCaption = "Halvorine : Pellowmark :: ";

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive
    int pixels = 0;
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

// The box around every pixel that is not `background`.
Box inked(const Canvas& c, Pixel background = kWhite) {
    Box box;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x)
            if (c.at(x, y) != background) {
                ++box.pixels;
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

Canvas draw(std::string_view text, int x, int y, const char* face = "Arial", int points = 8,
            Pixel colour = rgb(0, 0, 0), int width = 200, int height = 23) {
    Canvas c(width, height, kWhite);
    platformTextRenderer().drawText(c, x, y, text, face, points, colour);
    return c;
}

TEST(FreeTypeText, TheCaptionSitsInItsLineBoxAtEightPoints) {
    const Canvas c = draw(kCaption, 8, 3);
    const Box box = inked(c);
    ASSERT_GT(box.pixels, 0) << "no font found for Arial (is fonts-liberation installed?)";

    // 8 points at 96 dpi is about 10.7 pixels: capitals about 8 pixels
    // high, starting a pixel or two below the top of the line box, on a
    // baseline about 10 pixels down.
    EXPECT_GE(box.left, 8);
    EXPECT_LE(box.left, 10);
    EXPECT_GE(box.top, 3);
    EXPECT_LE(box.top, 6);
    EXPECT_GE(box.height(), 7);
    EXPECT_LE(box.height(), 10);
    EXPECT_GE(box.bottom, 3 + 8);
    EXPECT_LE(box.bottom, 3 + 11);
    // A descender goes below the baseline, still inside the line box.
    const Box descending = inked(draw("gjpqy", 8, 3));
    EXPECT_GT(descending.bottom, box.bottom);
    EXPECT_LE(descending.bottom, 3 + 13);
    // About 5 pixels a character (the trailing blank draws nothing).
    EXPECT_GE(box.width(), 90);
    EXPECT_LE(box.width(), 150);

    // Anti-aliased black on white: dark cores and grey edges.
    int dark = 0, grey = 0;
    for (const Pixel p : c.pixels()) {
        EXPECT_TRUE(redOf(p) == greenOf(p) && greenOf(p) == blueOf(p)) << "not a grey";
        if (redOf(p) < 64) ++dark;
        else if (redOf(p) < 224) ++grey;
    }
    EXPECT_GT(dark, 60);
    EXPECT_GT(grey, 20);
}

TEST(FreeTypeText, BlendsTheColourOverWhatIsBeneath) {
    Canvas c(200, 23, rgb(0, 0, 255));
    platformTextRenderer().drawText(c, 8, 3, kCaption, "Arial", 8, rgb(255, 0, 0));
    int full = 0;
    for (const Pixel p : c.pixels()) {
        EXPECT_EQ(greenOf(p), 0u);
        EXPECT_EQ(redOf(p) + blueOf(p), 255u) << "between the text colour and the background";
        full += p == rgb(255, 0, 0);
    }
    EXPECT_GT(full, 20);
}

TEST(FreeTypeText, ThePositionMovesTheTextAndNothingElse) {
    const Canvas a = draw(kCaption, 8, 3, "Arial", 8, rgb(0, 0, 0), 260, 40);
    const Canvas b = draw(kCaption, 8 + 37, 3 + 11, "Arial", 8, rgb(0, 0, 0), 260, 40);
    const Box boxA = inked(a);
    ASSERT_GT(boxA.pixels, 0);
    EXPECT_EQ(inked(b).pixels, boxA.pixels);
    for (int y = boxA.top; y <= boxA.bottom; ++y)
        for (int x = boxA.left; x <= boxA.right; ++x) ASSERT_EQ(a.at(x, y), b.at(x + 37, y + 11));
}

TEST(FreeTypeText, LargerSizesAreLarger) {
    const Box small = inked(draw("Hg", 2, 0, "Arial", 8, 0, 100, 60));
    const Box large = inked(draw("Hg", 2, 0, "Arial", 24, 0, 100, 60));
    ASSERT_GT(small.pixels, 0);
    EXPECT_GE(large.height(), 2 * small.height());
    EXPECT_GE(large.width(), 2 * small.width());
}

TEST(FreeTypeText, ClipsAtTheCanvasEdges) {
    // Partly and wholly outside, in every direction: only pixels inside
    // change, and nothing is written out of bounds (the sanitizer builds
    // watch that).
    for (const auto& [x, y] : std::initializer_list<std::pair<int, int>>{
             {-40, 3}, {150, 3}, {8, -6}, {8, 18}, {-1000, 3}, {5000, 3}, {8, -500}, {8, 900}}) {
        Canvas c(200, 23, kWhite);
        platformTextRenderer().drawText(c, x, y, kCaption, "Arial", 8, 0);
        EXPECT_EQ(c.width(), 200);
    }
    EXPECT_GT(inked(draw(kCaption, -40, 3)).pixels, 0);
    EXPECT_EQ(inked(draw(kCaption, -1000, 3)).pixels, 0);
}

TEST(FreeTypeText, OddRequestsDrawNothingOrAFallbackButNeverFail) {
    // An unknown face: fontconfig offers its best match (or nothing).
    const Box fallback = inked(draw(kCaption, 8, 3, "No Such Face Anywhere"));
    if (fallback.pixels > 0) {
        EXPECT_GE(fallback.left, 8);
        EXPECT_LE(fallback.bottom, 22);
    }
    EXPECT_EQ(inked(draw("", 8, 3)).pixels, 0);
    EXPECT_EQ(inked(draw(kCaption, 8, 3, "Arial", 0)).pixels, 0);
    EXPECT_EQ(inked(draw(kCaption, 8, 3, "Arial", -8)).pixels, 0);
    // A null face is read as the default face.
    draw(kCaption, 8, 3, nullptr);
    // Latin-1 beyond ASCII, control bytes and a missing glyph.
    const std::string odd = "\xE9\xFC\xDF\x01\x7F\xA0\xFF";
    EXPECT_GT(inked(draw(odd, 8, 3)).pixels, 0);
    Canvas empty;
    platformTextRenderer().drawText(empty, 0, 0, kCaption, "Arial", 8, 0);
}

}  // namespace
}  // namespace halvorine::editor
