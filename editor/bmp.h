// A small reader of Windows bitmap (BMP) files: uncompressed 8-bit
// palettized and 24-bit pictures, stored bottom-up or top-down.
#pragma once

#include <cstdint>
#include <span>

#include "canvas.h"

namespace halvorine::editor::bmp {

// Decodes a whole BMP file. Anything it does not read (other bit depths,
// compression, sizes above 16384 pixels a side) and anything malformed
// (truncated, inconsistent, a palette index beyond the palette) gives an
// empty canvas; it never reads outside `file`.
Canvas decode(std::span<const std::uint8_t> file);

}  // namespace halvorine::editor::bmp
