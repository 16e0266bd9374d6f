#pragma once
// The fixed 256-colour halftone palette that pictures are reduced to for 8 bits per
// pixel. It holds pure black and pure white.
#include "export/Bitmap.h"

#include <array>
#include <cstdint>

namespace varimark {

const std::array<TRGBQuad, 256>& HalftonePalette();

// The index of the halftone entry nearest to a colour (squared distance in RGB; the
// lower index on a tie). Exact, from a table computed once.
std::uint8_t NearestHalftoneIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

} // namespace varimark
