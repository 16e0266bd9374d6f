// Reading stored pixels, the nearest palette colour and the system palette.
#include "export/Pixels.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace varimark {

namespace {

// The eight 1-bit indices of each byte, the first pixel in the highest bit.
constexpr auto kBitsToBytes = [] {
    std::array<std::array<std::uint8_t, 8>, 256> t{};
    for (int v = 0; v < 256; ++v)
        for (int b = 0; b < 8; ++b) t[v][b] = static_cast<std::uint8_t>((v >> (7 - b)) & 1);
    return t;
}();

constexpr TRGBQuad Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return TRGBQuad{b, g, r, 0};
}

} // namespace

void UnpackIndices(const std::uint8_t* row, int width, int bits, std::uint8_t* out) {
    int x = 0;
    switch (bits) {
    case 1: // eight at a time from the table, the rest one by one
        for (; x + 8 <= width; x += 8) std::memcpy(out + x, kBitsToBytes[row[x >> 3]].data(), 8);
        break;
    case 8: std::memcpy(out, row, static_cast<std::size_t>(std::max(width, 0))); return;
    default: break;
    }
    for (; x < width; ++x) out[x] = static_cast<std::uint8_t>(PixelIndex(row, x, bits));
}

void RowToRgb(const std::uint8_t* row, int width, TPixelFormat format,
              std::span<const TRGBQuad> palette, std::uint8_t* rgb) {
    ForEachColour(row, width, format, palette,
                  [rgb](int x, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
                      std::uint8_t* p = rgb + 3 * static_cast<std::size_t>(x);
                      p[0] = red;
                      p[1] = green;
                      p[2] = blue;
                  });
}

unsigned NearestColour(std::span<const TRGBQuad> palette, std::uint8_t red, std::uint8_t green,
                       std::uint8_t blue) {
    unsigned best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int dr = red - palette[i].red, dg = green - palette[i].green,
                  db = blue - palette[i].blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<unsigned>(i);
        }
    }
    return best;
}

const std::array<TRGBQuad, 16>& SystemPalette16() {
    static constexpr std::array<TRGBQuad, 16> kPalette = {
        Rgb(0, 0, 0),       Rgb(128, 0, 0),   Rgb(0, 128, 0),   Rgb(128, 128, 0),
        Rgb(0, 0, 128),     Rgb(128, 0, 128), Rgb(0, 128, 128), Rgb(192, 192, 192),
        Rgb(128, 128, 128), Rgb(255, 0, 0),   Rgb(0, 255, 0),   Rgb(255, 255, 0),
        Rgb(0, 0, 255),     Rgb(255, 0, 255), Rgb(0, 255, 255), Rgb(255, 255, 255)};
    return kPalette;
}

void ClearRowFill(std::uint8_t* row, std::size_t stride, int width, int bits) {
    const std::uint64_t usedBits = static_cast<std::uint64_t>(width) * bits;
    const std::size_t full = static_cast<std::size_t>(usedBits / 8);
    const unsigned rest = static_cast<unsigned>(usedBits % 8);
    std::size_t from = full;
    if (rest != 0) {
        row[full] &= static_cast<std::uint8_t>(0xFF00 >> rest);
        ++from;
    }
    std::fill(row + from, row + stride, std::uint8_t{0});
}

} // namespace varimark
