// Converting a picture to another pixel format. Each row is read into plain colours
// (0x00RRGGBB) and written in the new format: palette formats take the nearest colour of
// their palette (squared distance in RGB, the lower index on a tie, no dithering), 15
// and 16 bits drop the low bits of each channel, 24 and 32 bits keep the colour.
#include "Bitmap.h"
#include "HalftonePalette.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace {

using TColour = std::uint32_t; // 0x00RRGGBB

constexpr TColour Pack(unsigned r, unsigned g, unsigned b) {
    return r << 16 | g << 8 | b;
}
constexpr unsigned Red(TColour c) {
    return c >> 16 & 0xFF;
}
constexpr unsigned Green(TColour c) {
    return c >> 8 & 0xFF;
}
constexpr unsigned Blue(TColour c) {
    return c & 0xFF;
}

// 5 and 6 bits widened to 8 by repeating the high bits: 31 -> 255, 63 -> 255, 0 -> 0.
constexpr unsigned Widen5(unsigned v) {
    return v << 3 | v >> 2;
}
constexpr unsigned Widen6(unsigned v) {
    return v << 2 | v >> 4;
}

// The colours of a palette picture's indices; an index past the palette's end is black.
std::vector<TColour> PaletteColours(const std::vector<TRGBQuad>& palette, int bits) {
    std::vector<TColour> colours(std::size_t{1} << bits, 0);
    for (std::size_t i = 0; i < colours.size() && i < palette.size(); ++i)
        colours[i] = Pack(palette[i].red, palette[i].green, palette[i].blue);
    return colours;
}

// One row of the source as colours.
void ReadRow(TPixelFormat format, const std::vector<TColour>& colours, const std::uint8_t* row,
             TColour* out, int width) {
    switch (format) {
    case pf1bit:
        for (int x = 0; x < width; ++x) out[x] = colours[row[x >> 3] >> (7 - (x & 7)) & 1];
        break;
    case pf4bit:
        for (int x = 0; x < width; ++x)
            out[x] = colours[(x & 1) != 0 ? row[x >> 1] & 0x0F : row[x >> 1] >> 4];
        break;
    case pf8bit:
        for (int x = 0; x < width; ++x) out[x] = colours[row[x]];
        break;
    case pf15bit:
        for (int x = 0; x < width; ++x) {
            const unsigned v = row[2 * x] | unsigned{row[2 * x + 1]} << 8;
            out[x] = Pack(Widen5(v >> 10 & 31), Widen5(v >> 5 & 31), Widen5(v & 31));
        }
        break;
    case pf16bit:
        for (int x = 0; x < width; ++x) {
            const unsigned v = row[2 * x] | unsigned{row[2 * x + 1]} << 8;
            out[x] = Pack(Widen5(v >> 11), Widen6(v >> 5 & 63), Widen5(v & 31));
        }
        break;
    case pf32bit:
        for (int x = 0; x < width; ++x, row += 4) out[x] = Pack(row[2], row[1], row[0]);
        break;
    default: // pfDevice, pf24bit
        for (int x = 0; x < width; ++x, row += 3) out[x] = Pack(row[2], row[1], row[0]);
        break;
    }
}

// The nearest entry of a short palette; remembers the last colour asked for.
class TNearestInPalette {
public:
    explicit TNearestInPalette(const std::vector<TRGBQuad>& palette, int bits)
        : colours_(palette.begin(),
                   palette.begin() + std::min(palette.size(), std::size_t{1} << bits)) {}
    unsigned operator()(TColour c) {
        if (c == last_) return lastIndex_;
        const int r = static_cast<int>(Red(c)), g = static_cast<int>(Green(c)),
                  b = static_cast<int>(Blue(c));
        unsigned best = 0;
        int bestDistance = std::numeric_limits<int>::max();
        for (std::size_t i = 0; i < colours_.size(); ++i) {
            const int dr = r - colours_[i].red, dg = g - colours_[i].green,
                      db = b - colours_[i].blue;
            const int d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = static_cast<unsigned>(i);
            }
        }
        last_ = c;
        lastIndex_ = best;
        return best;
    }

private:
    std::vector<TRGBQuad> colours_;
    TColour last_ = 0xFFFFFFFF; // no colour
    unsigned lastIndex_ = 0;
};

// The halftone index of a colour, remembering the last two colours: barcode pictures
// are long runs of black and of white.
class TNearestHalftone {
public:
    std::uint8_t operator()(TColour c) {
        if (c == last_[0]) return index_[0];
        if (c == last_[1]) {
            std::swap(last_[0], last_[1]);
            std::swap(index_[0], index_[1]);
            return index_[0];
        }
        last_[1] = last_[0];
        index_[1] = index_[0];
        last_[0] = c;
        index_[0] = NearestHalftoneIndex(static_cast<std::uint8_t>(Red(c)),
                                         static_cast<std::uint8_t>(Green(c)),
                                         static_cast<std::uint8_t>(Blue(c)));
        return index_[0];
    }

private:
    TColour last_[2] = {0xFFFFFFFF, 0xFFFFFFFF};
    std::uint8_t index_[2] = {0, 0};
};

// One row of colours written in the target format. Rows come from a new white picture
// whose fill bits are clear; they stay clear.
template <class TNearest>
void WriteIndices(int bits, const TColour* in, std::uint8_t* row, int width, TNearest& nearest) {
    switch (bits) {
    case 1:
        for (int x = 0; x < width; x += 8) {
            unsigned byte = 0;
            for (int i = 0; i < 8 && x + i < width; ++i) byte |= nearest(in[x + i]) << (7 - i);
            row[x >> 3] = static_cast<std::uint8_t>(byte);
        }
        break;
    case 4:
        for (int x = 0; x < width; x += 2) {
            unsigned byte = nearest(in[x]) << 4;
            if (x + 1 < width) byte |= nearest(in[x + 1]);
            row[x >> 1] = static_cast<std::uint8_t>(byte);
        }
        break;
    default:
        for (int x = 0; x < width; ++x) row[x] = static_cast<std::uint8_t>(nearest(in[x]));
        break;
    }
}

void WriteDirect(TPixelFormat format, const TColour* in, std::uint8_t* row, int width) {
    switch (format) {
    case pf15bit:
        for (int x = 0; x < width; ++x, row += 2) {
            const TColour c = in[x];
            const unsigned v = (Red(c) >> 3) << 10 | (Green(c) >> 3) << 5 | Blue(c) >> 3;
            row[0] = static_cast<std::uint8_t>(v);
            row[1] = static_cast<std::uint8_t>(v >> 8);
        }
        break;
    case pf16bit:
        for (int x = 0; x < width; ++x, row += 2) {
            const TColour c = in[x];
            const unsigned v = (Red(c) >> 3) << 11 | (Green(c) >> 2) << 5 | Blue(c) >> 3;
            row[0] = static_cast<std::uint8_t>(v);
            row[1] = static_cast<std::uint8_t>(v >> 8);
        }
        break;
    case pf32bit: // the fourth byte as a new white 32-bit picture has it
        for (int x = 0; x < width; ++x, row += 4) {
            const TColour c = in[x];
            row[0] = static_cast<std::uint8_t>(Blue(c));
            row[1] = static_cast<std::uint8_t>(Green(c));
            row[2] = static_cast<std::uint8_t>(Red(c));
            row[3] = 0xFF;
        }
        break;
    default: // pfDevice, pf24bit
        for (int x = 0; x < width; ++x, row += 3) {
            const TColour c = in[x];
            row[0] = static_cast<std::uint8_t>(Blue(c));
            row[1] = static_cast<std::uint8_t>(Green(c));
            row[2] = static_cast<std::uint8_t>(Red(c));
        }
        break;
    }
}

// 24- and 32-bit rows straight to halftone indices, without the colour row between.
void HalftoneRow(const std::uint8_t* in, int step, std::uint8_t* out, int width,
                 TNearestHalftone& nearest) {
    for (int x = 0; x < width; ++x, in += step) out[x] = nearest(Pack(in[2], in[1], in[0]));
}

} // namespace

void TBitmap::SetPixelFormat(TPixelFormat format) {
    const int bits = BitsPerPixel(format); // raises "Invalid pixel format" for pfCustom
    if (format == format_) return;
    const int sourceBits = BitsPerPixel();
    if (bits == 24 && sourceBits == 24) { // the display's format and 24 bits are the same
        format_ = format;
        return;
    }

    TBitmap target;
    target.format_ = format;
    switch (format) {
    case pf1bit:
        // The picture's own two colours if it has them, otherwise black and white.
        target.palette_ = palette_.size() == 2 ? palette_
                                               : std::vector<TRGBQuad>{TRGBQuad{0, 0, 0, 0},
                                                                       TRGBQuad{255, 255, 255, 0}};
        break;
    case pf4bit: target.palette_.assign(SystemPalette16().begin(), SystemPalette16().end()); break;
    case pf8bit: target.palette_.assign(HalftonePalette().begin(), HalftonePalette().end()); break;
    default: target.palette_ = palette_; break; // kept, though the new format has no table
    }
    target.SetSize(width_, height_);

    if (bits == 8 && sourceBits >= 24) {
        TNearestHalftone nearest;
        for (int y = 0; y < height_; ++y)
            HalftoneRow(ScanLine(y), sourceBits / 8, target.ScanLine(y), width_, nearest);
    } else {
        const std::vector<TColour> colours =
            sourceBits <= 8 ? PaletteColours(palette_, sourceBits) : std::vector<TColour>();
        std::vector<TColour> line(static_cast<std::size_t>(width_));
        TNearestHalftone halftone;
        TNearestInPalette fromPalette(target.palette_, bits);
        for (int y = 0; y < height_; ++y) {
            ReadRow(format_, colours, ScanLine(y), line.data(), width_);
            std::uint8_t* out = target.ScanLine(y);
            if (bits == 8)
                WriteIndices(bits, line.data(), out, width_, halftone);
            else if (bits <= 4)
                WriteIndices(bits, line.data(), out, width_, fromPalette);
            else
                WriteDirect(format, line.data(), out, width_);
        }
    }
    *this = std::move(target);
}
