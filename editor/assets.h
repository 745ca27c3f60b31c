// The editor's pictures, embedded in the library at build time: the
// plug-in reads no file at run time. Each is decoded once, on first use.
#pragma once

#include "canvas.h"

namespace halvorine::editor::assets {

// The panel behind everything: 380 x 144, 256 colours.
const Canvas& background();
// The slider bar, 100 x 13, its outermost corner pixels masked out.
const MaskedImage& sliderBar();
// The knob, a 9 x 9 disc with its corners masked out.
const MaskedImage& knob();
// The readout strip's background, 200 x 23, a rounded strip.
const MaskedImage& readoutStrip();

// The carrier row under the panel, 380 x 76, 256 colours, and its shorter
// slider bar, 77 x 13, masked as the long one.
const Canvas& carrierRow();
const MaskedImage& shortSliderBar();

}  // namespace halvorine::editor::assets
