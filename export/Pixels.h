#pragma once
// Stored pixels read one way everywhere: palette indices packed 1, 4 or 8 to a byte (the
// first pixel in the high bits), 15- and 16-bit words and 24- and 32-bit pixels (blue,
// green, red) as red, green and blue; the palette entry nearest to a colour; the 16-colour
// system palette; the fill after a row's last pixel.
#include "export/Bitmap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace varimark {

// A 5- or 6-bit channel widened to 8 bits by repeating its high bits: 0 stays 0, 31 and 63
// become 255.
constexpr std::uint8_t Widen5(unsigned v) {
    return static_cast<std::uint8_t>(v << 3 | v >> 2);
}
constexpr std::uint8_t Widen6(unsigned v) {
    return static_cast<std::uint8_t>(v << 2 | v >> 4);
}

// The index of pixel x of a row of 1-, 4- or 8-bit pixels.
inline unsigned PixelIndex(const std::uint8_t* row, int x, int bits) {
    const std::size_t bit = static_cast<std::size_t>(x) * static_cast<unsigned>(bits);
    return row[bit / 8] >> (8 - bits - bit % 8) & ((1u << bits) - 1);
}

// The first width indices of a row of 1-, 4- or 8-bit pixels, one byte each.
void UnpackIndices(const std::uint8_t* row, int width, int bits, std::uint8_t* out);

// A palette entry; an index beyond the palette reads as black.
inline TRGBQuad PaletteEntry(std::span<const TRGBQuad> palette, unsigned index) {
    return index < palette.size() ? palette[index] : TRGBQuad{};
}

namespace detail {

// ForEachColour of a palette format, its depth known when compiled.
template <int kBits, class Colour>
void ForEachPaletteColour(const std::uint8_t* row, int width, std::span<const TRGBQuad> palette,
                          Colour& colour) {
    for (int x = 0; x < width; ++x) {
        const TRGBQuad c = PaletteEntry(palette, PixelIndex(row, x, kBits));
        colour(x, c.red, c.green, c.blue);
    }
}

} // namespace detail

// Calls colour(x, red, green, blue) for each of the first width pixels of a row stored in
// the format: palette formats through the palette (PaletteEntry), 5- and 6-bit channels
// widened, 24- and 32-bit pixels from their blue, green and red bytes.
template <class Colour>
void ForEachColour(const std::uint8_t* row, int width, TPixelFormat format,
                   std::span<const TRGBQuad> palette, Colour&& colour) {
    switch (format) {
    case pf1bit: detail::ForEachPaletteColour<1>(row, width, palette, colour); break;
    case pf4bit: detail::ForEachPaletteColour<4>(row, width, palette, colour); break;
    case pf8bit: detail::ForEachPaletteColour<8>(row, width, palette, colour); break;
    case pf15bit:
        for (int x = 0; x < width; ++x, row += 2) {
            const unsigned v = row[0] | unsigned{row[1]} << 8;
            colour(x, Widen5(v >> 10 & 31), Widen5(v >> 5 & 31), Widen5(v & 31));
        }
        break;
    case pf16bit: // 5-6-5
        for (int x = 0; x < width; ++x, row += 2) {
            const unsigned v = row[0] | unsigned{row[1]} << 8;
            colour(x, Widen5(v >> 11 & 31), Widen6(v >> 5 & 63), Widen5(v & 31));
        }
        break;
    case pf32bit:
        for (int x = 0; x < width; ++x, row += 4) colour(x, row[2], row[1], row[0]);
        break;
    default: // pfDevice, pf24bit
        for (int x = 0; x < width; ++x, row += 3) colour(x, row[2], row[1], row[0]);
        break;
    }
}

// The first width pixels of a row as red, green, blue bytes (3 × width), as ForEachColour
// reads them.
void RowToRgb(const std::uint8_t* row, int width, TPixelFormat format,
              std::span<const TRGBQuad> palette, std::uint8_t* rgb);

// The index of the palette entry nearest to a colour (squared distance in RGB), the lowest
// of equally near ones; 0 for an empty palette.
unsigned NearestColour(std::span<const TRGBQuad> palette, std::uint8_t red, std::uint8_t green,
                       std::uint8_t blue);

// The 16 colours of the standard system palette, black first and white last: the palette
// of 4-bit pictures.
const std::array<TRGBQuad, 16>& SystemPalette16();

// Clears the fill of a stored row of stride bytes: the low bits of a last byte that holds
// fewer pixels than it could, and the bytes after the last pixel.
void ClearRowFill(std::uint8_t* row, std::size_t stride, int width, int bits);

} // namespace varimark
