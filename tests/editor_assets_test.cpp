// The editor's embedded pictures, and the BMP reader that decodes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "assets.h"
#include "bmp.h"
#include "embedded_assets.h"

namespace halvorine::editor {
namespace {

using Bytes = std::vector<std::uint8_t>;

// --- A writer of test files ------------------------------------------------

void put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

// Field offsets in the file.
constexpr std::size_t kPixelsAt = 10, kInfoSize = 14, kWidth = 18, kHeight = 22, kPlanes = 26,
                      kBits = 28, kCompression = 30, kColoursUsed = 46;

// A BMP file of `picture`: 24-bit, or 8-bit with the picture's colours as
// its palette (in order of first appearance). Rows padded to four bytes,
// bottom-up unless `topDown`; padding bytes are 0xEE so a reader that
// takes them for pixels shows it.
Bytes encode(const Canvas& picture, int bits, bool topDown = false) {
    std::vector<Pixel> palette;
    if (bits == 8) {
        for (Pixel p : picture.pixels()) {
            bool known = false;
            for (Pixel q : palette) known = known || q == p;
            if (!known) palette.push_back(p);
        }
    }
    const int w = picture.width(), h = picture.height();
    const std::size_t stride = (static_cast<std::size_t>(w) * bits + 31) / 32 * 4;
    const std::size_t pixelsAt = 54 + palette.size() * 4;
    Bytes b(pixelsAt + stride * h, 0xEE);
    std::fill(b.begin(), b.begin() + 54, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    put32(b, kPixelsAt, static_cast<std::uint32_t>(pixelsAt));
    put32(b, kInfoSize, 40);
    put32(b, kWidth, static_cast<std::uint32_t>(w));
    put32(b, kHeight, static_cast<std::uint32_t>(topDown ? -h : h));
    put16(b, kPlanes, 1);
    put16(b, kBits, static_cast<std::uint32_t>(bits));
    put32(b, kColoursUsed, static_cast<std::uint32_t>(palette.size()));
    for (std::size_t i = 0; i < palette.size(); ++i) {
        b[54 + i * 4] = static_cast<std::uint8_t>(blueOf(palette[i]));
        b[54 + i * 4 + 1] = static_cast<std::uint8_t>(greenOf(palette[i]));
        b[54 + i * 4 + 2] = static_cast<std::uint8_t>(redOf(palette[i]));
        b[54 + i * 4 + 3] = 0;
    }
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = b.data() + pixelsAt + stride * static_cast<std::size_t>(topDown ? y : h - 1 - y);
        for (int x = 0; x < w; ++x) {
            const Pixel p = picture.at(x, y);
            if (bits == 8) {
                std::size_t index = 0;
                while (palette[index] != p) ++index;
                row[x] = static_cast<std::uint8_t>(index);
            } else {
                row[x * 3] = static_cast<std::uint8_t>(blueOf(p));
                row[x * 3 + 1] = static_cast<std::uint8_t>(greenOf(p));
                row[x * 3 + 2] = static_cast<std::uint8_t>(redOf(p));
            }
        }
    }
    return b;
}

// A picture whose every pixel differs, so a flipped or shifted row shows.
Canvas pattern(int w, int h) {
    Canvas c(w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) c.set(x, y, rgb(10 + 40 * x, 20 + 50 * y, 200 - 7 * (x + y)));
    return c;
}

void expectSame(const Canvas& expected, const Canvas& actual) {
    ASSERT_EQ(expected.width(), actual.width());
    ASSERT_EQ(expected.height(), actual.height());
    EXPECT_EQ(expected.pixels(), actual.pixels());
}

// --- The reader on good files ----------------------------------------------

TEST(BmpDecode, ReadsBothDepthsBothRowOrdersAndSkipsRowPadding) {
    // Widths 1 to 5 give every amount of padding at both depths.
    for (int bits : {8, 24}) {
        for (bool topDown : {false, true}) {
            for (int w = 1; w <= 5; ++w) {
                SCOPED_TRACE(testing::Message() << bits << " bits, width " << w << (topDown ? ", top-down" : ""));
                const Canvas picture = pattern(w, 3);
                expectSame(picture, bmp::decode(encode(picture, bits, topDown)));
            }
        }
    }
}

TEST(BmpDecode, ReadsAPaletteOfAll256ColoursAndLaterHeaderVersions) {
    Canvas picture(16, 16, 0);
    for (int i = 0; i < 256; ++i) picture.set(i % 16, i / 16, rgb(i, 255 - i, (i * 7) & 0xFF));
    Bytes file = encode(picture, 8);
    expectSame(picture, bmp::decode(file));

    // Colours used 0 means a full palette of 256.
    put32(file, kColoursUsed, 0);
    expectSame(picture, bmp::decode(file));

    // A 124-byte header (BITMAPV5HEADER): the palette follows it.
    Bytes v5 = encode(pattern(3, 2), 8);
    v5.insert(v5.begin() + 54, 84, 0);
    put32(v5, kInfoSize, 124);
    put32(v5, kPixelsAt, static_cast<std::uint32_t>(54 + 84 + 6 * 4));
    expectSame(pattern(3, 2), bmp::decode(v5));
}

// --- The reader on malformed files -----------------------------------------

TEST(BmpDecode, EveryTruncationOfAGoodFileGivesAnEmptyPicture) {
    for (int bits : {8, 24}) {
        const Bytes file = encode(pattern(5, 4), bits);
        for (std::size_t n = 0; n < file.size(); ++n) {
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_TRUE(bmp::decode(cut).empty()) << bits << " bits cut to " << n << " bytes";
        }
    }
}

TEST(BmpDecode, RejectsInconsistentHeaders) {
    const Bytes good = encode(pattern(4, 3), 8);
    ASSERT_FALSE(bmp::decode(good).empty());
    struct Case {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        bool wide;
    };
    const Case cases[] = {
        {"magic", 0, 'X', false},
        {"header size below 40", kInfoSize, 12, true},
        {"header size beyond the file", kInfoSize, 0xFFFFFFFF, true},
        {"pixel data beyond the file", kPixelsAt, 0xFFFFFFF0, true},
        {"pixel data ending past the file", kPixelsAt, static_cast<std::uint32_t>(good.size() - 4), true},
        {"zero width", kWidth, 0, true},
        {"negative width", kWidth, static_cast<std::uint32_t>(-4), true},
        {"zero height", kHeight, 0, true},
        {"huge width", kWidth, 0x7FFFFFFF, true},
        {"huge height", kHeight, 0x7FFFFFFF, true},
        {"huge top-down height", kHeight, static_cast<std::uint32_t>(-0x7FFFFFFF), true},
        {"most negative height", kHeight, 0x80000000, true},
        {"width just over the limit", kWidth, 16385, true},
        {"planes", kPlanes, 2, false},
        {"1 bit", kBits, 1, false},
        {"4 bits", kBits, 4, false},
        {"16 bits", kBits, 16, false},
        {"32 bits", kBits, 32, false},
        {"0 bits", kBits, 0, false},
        {"run-length compression", kCompression, 1, true},
        {"bit fields", kCompression, 3, true},
        {"257 palette colours", kColoursUsed, 257, true},
        {"palette beyond the file", kColoursUsed, 200, true},
    };
    for (const Case& c : cases) {
        Bytes file = good;
        if (c.wide)
            put32(file, c.at, c.value);
        else
            put16(file, c.at, c.value);
        EXPECT_TRUE(bmp::decode(file).empty()) << c.what;
    }
}

TEST(BmpDecode, RejectsAPaletteIndexBeyondThePalette) {
    Bytes file = encode(pattern(3, 2), 8);  // six colours
    put32(file, kColoursUsed, 5);           // the last index, 5, now lies past it
    EXPECT_TRUE(bmp::decode(file).empty());
}

TEST(BmpDecode, SurvivesEveryHeaderByteCorrupted) {
    // Under the sanitizers this shows any read outside the file.
    for (int bits : {8, 24}) {
        const Bytes good = encode(pattern(6, 5), bits);
        for (std::size_t at = 0; at < 54 + 8; ++at) {
            for (std::uint8_t v : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
                Bytes file = good;
                file[at] = v;
                const Canvas c = bmp::decode(file);
                EXPECT_EQ(c.pixels().size(), static_cast<std::size_t>(c.width()) * c.height());
            }
        }
    }
}

// --- The pictures ----------------------------------------------------------

constexpr Pixel kTransparentKey = rgb(128, 128, 128);

bool cornerMasked(const MaskedImage& m, int x, int y) {
    // The corner pixel and its neighbour along each edge: (x, y) is a
    // corner, and the neighbours lie towards the picture's inside.
    const int dx = x == 0 ? 1 : -1, dy = y == 0 ? 1 : -1;
    return !m.isOpaque(x, y) && !m.isOpaque(x + dx, y) && !m.isOpaque(x, y + dy);
}

std::vector<std::pair<int, int>> corners(const MaskedImage& m) {
    return {{0, 0}, {m.width() - 1, 0}, {0, m.height() - 1}, {m.width() - 1, m.height() - 1}};
}

int maskedCount(const MaskedImage& m) {
    int n = 0;
    for (bool o : m.opaque) n += o ? 0 : 1;
    return n;
}

TEST(EditorAssets, HaveTheirDesignedSizes) {
    EXPECT_EQ(assets::background().width(), 380);
    EXPECT_EQ(assets::background().height(), 144);
    EXPECT_EQ(assets::sliderBar().width(), 100);
    EXPECT_EQ(assets::sliderBar().height(), 13);
    EXPECT_EQ(assets::knob().width(), 9);
    EXPECT_EQ(assets::knob().height(), 9);
    EXPECT_EQ(assets::readoutStrip().width(), 200);
    EXPECT_EQ(assets::readoutStrip().height(), 23);
    for (const MaskedImage* m : {&assets::sliderBar(), &assets::knob(), &assets::readoutStrip()})
        EXPECT_EQ(m->opaque.size(), m->image.pixels().size());
}

TEST(EditorAssets, BackgroundIsAn8BitPictureOfAtMost256Colours) {
    const auto file = embedded::background_bmp();
    ASSERT_GT(file.size(), 30u);
    EXPECT_EQ(file[28], 8);  // bits per pixel
    const std::set<Pixel> colours(assets::background().pixels().begin(), assets::background().pixels().end());
    EXPECT_LE(colours.size(), 256u);
}

TEST(EditorAssets, BarAndKnobMaskTheTwoOutermostPixelsOfEachCorner) {
    for (const MaskedImage* m : {&assets::sliderBar(), &assets::knob()}) {
        SCOPED_TRACE(testing::Message() << m->width() << " x " << m->height());
        for (auto [x, y] : corners(*m)) EXPECT_TRUE(cornerMasked(*m, x, y)) << x << ", " << y;
        EXPECT_EQ(maskedCount(*m), 12);  // nothing else
    }
}

TEST(EditorAssets, StripHasRoundedCornersAndAnOpaqueBody) {
    const MaskedImage& s = assets::readoutStrip();
    for (auto [x, y] : corners(s)) EXPECT_TRUE(cornerMasked(s, x, y)) << x << ", " << y;
    // Only the corners are rounded: everything outside the 6 x 6 squares
    // at the corners is drawn.
    for (int y = 0; y < s.height(); ++y) {
        for (int x = 0; x < s.width(); ++x) {
            if (std::min(x, s.width() - 1 - x) >= 6 || std::min(y, s.height() - 1 - y) >= 6) {
                EXPECT_TRUE(s.isOpaque(x, y)) << x << ", " << y;
            }
        }
    }
}

TEST(EditorAssets, BarAndKnobNeverShowTheTransparentKeyColour) {
    for (const MaskedImage* m : {&assets::sliderBar(), &assets::knob()}) {
        for (int y = 0; y < m->height(); ++y) {
            for (int x = 0; x < m->width(); ++x) {
                if (m->isOpaque(x, y)) {
                    EXPECT_NE(m->image.at(x, y), kTransparentKey) << x << ", " << y;
                }
            }
        }
    }
}

TEST(EditorAssets, StripIsLightEnoughForBlackText) {
    const MaskedImage& s = assets::readoutStrip();
    const Pixel face = s.image.at(s.width() / 2, s.height() / 2);
    EXPECT_GE(redOf(face) * 299 + greenOf(face) * 587 + blueOf(face) * 114, 180u * 1000);
}

TEST(EditorAssets, BackgroundShowsEveryBarInItsPlaceAndLeavesTheStripsAreaPlain) {
    const Canvas& bg = assets::background();
    const MaskedImage& bar = assets::sliderBar();
    for (int top : {20, 50, 80}) {
        for (int left : {25, 140, 260}) {
            for (int y = 0; y < bar.height(); ++y) {
                for (int x = 0; x < bar.width(); ++x) {
                    if (bar.isOpaque(x, y)) {
                        ASSERT_EQ(bg.at(left + x, top + y), bar.image.at(x, y))
                            << "bar at " << left << ", " << top << ": pixel " << x << ", " << y;
                    }
                }
            }
        }
    }

    // The strip's masked corners show the background: one plain colour.
    const Pixel plain = bg.at(25, 110);
    for (int y = 110; y < 110 + 23; ++y)
        for (int x = 25; x < 25 + 200; ++x) ASSERT_EQ(bg.at(x, y), plain) << x << ", " << y;
}

}  // namespace
}  // namespace halvorine::editor
