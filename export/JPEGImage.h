#pragma once
// JPEG export over libjpeg: baseline, colour (YCbCr) JFIF at quality 90; the compressed
// bytes are gathered in memory.
#include "export/Bitmap.h"
#include "varimark/error.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace varimark {

class EJPEG : public varimark::Error {
public:
    using varimark::Error::Error; // "JPEG error #%d", the library's message code
};

class TJPEGImage {
public:
    int CompressionQuality = 90;
    bool Grayscale = false;
    bool ProgressiveEncoding = false;

    // Keeps a copy of the bitmap and discards earlier compressed data.
    void Assign(const TBitmap& bitmap);
    // Compresses when there is no compressed data yet; a picture of width or height 0
    // gives no bytes.
    const std::vector<std::uint8_t>& Data();

private:
    TBitmap bitmap_;
    std::vector<std::uint8_t> data_;
    bool compressed_ = false;
};

} // namespace varimark
