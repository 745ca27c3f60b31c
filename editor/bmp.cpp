#include "bmp.h"

#include <array>
#include <cstddef>

namespace halvorine::editor::bmp {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER; later versions extend it
constexpr std::int64_t kMaxSide = 16384;
constexpr std::uint32_t kUncompressed = 0;

// Little-endian fields; callers check the bounds first.
std::uint32_t u16(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint32_t>(d[at] | (d[at + 1] << 8));
}
std::uint32_t u32(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint32_t>(d[at]) | (static_cast<std::uint32_t>(d[at + 1]) << 8) |
           (static_cast<std::uint32_t>(d[at + 2]) << 16) | (static_cast<std::uint32_t>(d[at + 3]) << 24);
}
std::int64_t s32(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::int32_t>(u32(d, at));
}

}  // namespace

Canvas decode(std::span<const std::uint8_t> file) {
    const std::size_t size = file.size();
    if (size < kFileHeaderSize + kInfoHeaderSize || file[0] != 'B' || file[1] != 'M') return {};

    const std::size_t pixelsAt = u32(file, 10);
    const std::size_t infoSize = u32(file, 14);
    if (infoSize < kInfoHeaderSize || infoSize > size - kFileHeaderSize) return {};

    const std::int64_t width = s32(file, 18);
    const std::int64_t signedHeight = s32(file, 22);
    const std::uint32_t planes = u16(file, 26);
    const std::uint32_t bits = u16(file, 28);
    const std::uint32_t compression = u32(file, 30);
    const std::uint32_t coloursUsed = u32(file, 46);

    if (planes != 1 || (bits != 8 && bits != 24) || compression != kUncompressed) return {};
    // A negative height marks a top-down picture.
    const bool topDown = signedHeight < 0;
    const std::int64_t height = topDown ? -signedHeight : signedHeight;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return {};

    std::array<Pixel, 256> palette{};
    std::size_t paletteSize = 0;
    if (bits == 8) {
        paletteSize = coloursUsed == 0 ? 256 : coloursUsed;
        if (paletteSize > palette.size()) return {};
        const std::size_t paletteAt = kFileHeaderSize + infoSize;
        if (paletteSize * 4 > size - paletteAt) return {};
        for (std::size_t i = 0; i < paletteSize; ++i) {
            const std::size_t at = paletteAt + i * 4;  // blue, green, red, unused
            palette[i] = rgb(file[at + 2], file[at + 1], file[at]);
        }
    }

    // Rows are padded to a multiple of four bytes.
    const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    const auto rows = static_cast<std::size_t>(height);
    if (pixelsAt > size || stride * rows > size - pixelsAt) return {};

    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    Canvas out(w, h, 0);
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* src = file.data() + pixelsAt + static_cast<std::size_t>(r) * stride;
        Pixel* dest = out.row(topDown ? r : h - 1 - r);
        if (bits == 8) {
            for (int x = 0; x < w; ++x) {
                if (static_cast<std::size_t>(src[x]) >= paletteSize) return {};
                dest[x] = palette[src[x]];
            }
        } else {
            for (int x = 0; x < w; ++x, src += 3) dest[x] = rgb(src[2], src[1], src[0]);
        }
    }
    return out;
}

}  // namespace halvorine::editor::bmp
