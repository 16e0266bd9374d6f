#pragma once
// Test pictures set and read pixel by pixel, in the layout the bitmap stores.
#include "export/Bitmap.h"
#include "export/Pixels.h"

#include <cstdint>
#include <ostream>

namespace varimark {

struct TColour {
    int r, g, b;
    friend bool operator==(const TColour&, const TColour&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const TColour& c) {
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

// The colour of pixel (x, y) in any format, as the pixel layer reads it.
inline TColour ColourAt(const TBitmap& b, int x, int y) {
    TColour colour{};
    varimark::ForEachColour(b.ScanLine(y), x + 1, b.PixelFormat(), b.Palette(),
                            [&](int at, int red, int green, int blue) {
                                if (at == x) colour = {red, green, blue};
                            });
    return colour;
}

// Pixel (x, y) of a 1-, 4- or 8-bit picture set to a palette index.
inline void SetIndex(TBitmap& b, int x, int y, unsigned index) {
    const int bits = b.BitsPerPixel(), perByte = 8 / bits, shift = 8 - bits * (x % perByte + 1);
    std::uint8_t& byte = b.ScanLine(y)[x / perByte];
    byte = static_cast<std::uint8_t>((byte & ~(((1u << bits) - 1) << shift)) | index << shift);
}

// Pixel (x, y) of a 15- or 16-bit picture set to a stored word.
inline void SetWord(TBitmap& b, int x, int y, unsigned word) {
    std::uint8_t* p = b.ScanLine(y) + 2 * x;
    p[0] = static_cast<std::uint8_t>(word);
    p[1] = static_cast<std::uint8_t>(word >> 8);
}

// Pixel (x, y) of a 24- or 32-bit picture (or one of the display's format) set to a colour.
inline void SetRgb(TBitmap& b, int x, int y, int red, int green, int blue) {
    std::uint8_t* p = b.ScanLine(y) + x * (b.BitsPerPixel() / 8);
    p[0] = static_cast<std::uint8_t>(blue);
    p[1] = static_cast<std::uint8_t>(green);
    p[2] = static_cast<std::uint8_t>(red);
}

} // namespace varimark
