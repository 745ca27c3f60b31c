#include "assets.h"

#include <cstddef>
#include <cstdint>
#include <span>

#include "bmp.h"
#include "embedded_assets.h"

namespace halvorine::editor::assets {

namespace {

// In the 24-bit pictures, magenta marks the pixels that are masked out.
constexpr Pixel kMaskColour = rgb(255, 0, 255);

MaskedImage masked(std::span<const std::uint8_t> file) {
    MaskedImage out;
    out.image = bmp::decode(file);
    out.opaque.resize(out.image.pixels().size());
    for (std::size_t i = 0; i < out.opaque.size(); ++i) out.opaque[i] = out.image.pixels()[i] != kMaskColour;
    return out;
}

}  // namespace

const Canvas& background() {
    static const Canvas picture = bmp::decode(embedded::background_bmp());
    return picture;
}

const MaskedImage& sliderBar() {
    static const MaskedImage picture = masked(embedded::slider_bar_bmp());
    return picture;
}

const MaskedImage& knob() {
    static const MaskedImage picture = masked(embedded::knob_bmp());
    return picture;
}

const MaskedImage& readoutStrip() {
    static const MaskedImage picture = masked(embedded::readout_strip_bmp());
    return picture;
}

const Canvas& carrierRow() {
    static const Canvas picture = bmp::decode(embedded::carrier_row_bmp());
    return picture;
}

const MaskedImage& shortSliderBar() {
    static const MaskedImage picture = masked(embedded::slider_bar_short_bmp());
    return picture;
}

}  // namespace halvorine::editor::assets
