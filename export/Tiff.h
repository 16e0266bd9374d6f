#pragma once
// The TIFF writer: an uncompressed, single-strip, little-endian TIFF 6.0 file with one
// image directory, for 4- and 8-bit palette pictures and 24-bit RGB pictures.
#include "export/Bitmap.h"
#include "varimark/error.h"

#include <cstdint>
#include <string>
#include <vector>

namespace varimark {

// The file's bytes; empty for a picture the writer refuses silently (an empty bitmap, a
// 1-bit picture, a 4-bit picture narrower than 4 pixels, which the 4-bit width rule
// would write 0 pixels wide). A picture wider or higher than 65535 pixels raises ETiff.
std::vector<std::uint8_t> TiffFileBytes(const TBitmap& bitmap);

class ETiff : public varimark::Error {
public:
    using varimark::Error::Error;
};

} // namespace varimark
