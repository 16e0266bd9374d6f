#pragma once
// PNG through libpng: an 8-bit palette picture when the bitmap has at most 256 colours,
// otherwise 24-bit RGB.
#include "export/Bitmap.h"

#include <cstdint>
#include <vector>

namespace varimark {

std::vector<std::uint8_t> PngFileBytes(const TBitmap& bitmap);

} // namespace varimark
