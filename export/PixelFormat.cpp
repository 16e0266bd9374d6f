// Converting a picture to another pixel format. Each row is read into plain colours
// (0x00RRGGBB) and written in the new format: palette formats take the nearest colour of
// their palette (squared distance in RGB, the lower index on a tie, no dithering), 15
// and 16 bits drop the low bits of each channel, 24 and 32 bits keep the colour.
#include "export/Bitmap.h"
#include "export/HalftonePalette.h"
#include "export/Pixels.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace varimark {

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

// The nearest entry of a short palette (varimark::NearestColour); remembers the last
// colour asked for.
class TNearestInPalette {
public:
    explicit TNearestInPalette(const std::vector<TRGBQuad>& palette, int bits)
        : colours_(std::span(palette).first(std::min(palette.size(), std::size_t{1} << bits))) {}
    unsigned operator()(TColour c) {
        if (c == last_) return lastIndex_;
        last_ = c;
        lastIndex_ = varimark::NearestColour(colours_, static_cast<std::uint8_t>(Red(c)),
                                             static_cast<std::uint8_t>(Green(c)),
                                             static_cast<std::uint8_t>(Blue(c)));
        return lastIndex_;
    }

private:
    std::span<const TRGBQuad> colours_;
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

// One row of colours written as 1- or 4-bit indices. Rows come from a new white picture
// whose fill bits are clear; they stay clear.
void WriteIndices(int bits, const TColour* in, std::uint8_t* row, int width,
                  TNearestInPalette& nearest) {
    if (bits == 1) {
        for (int x = 0; x < width; x += 8) {
            unsigned byte = 0;
            for (int i = 0; i < 8 && x + i < width; ++i) byte |= nearest(in[x + i]) << (7 - i);
            row[x >> 3] = static_cast<std::uint8_t>(byte);
        }
        return;
    }
    for (int x = 0; x < width; x += 2) {
        unsigned byte = nearest(in[x]) << 4;
        if (x + 1 < width) byte |= nearest(in[x + 1]);
        row[x >> 1] = static_cast<std::uint8_t>(byte);
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
    case pf4bit:
        target.palette_.assign(varimark::SystemPalette16().begin(),
                               varimark::SystemPalette16().end());
        break;
    case pf8bit: target.palette_.assign(HalftonePalette().begin(), HalftonePalette().end()); break;
    default: target.palette_ = palette_; break; // kept, though the new format has no table
    }
    target.SetSize(width_, height_);

    if (bits == 8) { // straight to halftone indices, without a row of colours between
        TNearestHalftone nearest;
        for (int y = 0; y < height_; ++y) {
            std::uint8_t* out = target.ScanLine(y);
            varimark::ForEachColour(ScanLine(y), width_, format_, palette_,
                                    [&](int x, unsigned r, unsigned g, unsigned b) {
                                        out[x] = nearest(Pack(r, g, b));
                                    });
        }
    } else {
        std::vector<TColour> line(static_cast<std::size_t>(width_));
        TNearestInPalette fromPalette(target.palette_, bits);
        for (int y = 0; y < height_; ++y) {
            varimark::ForEachColour(
                ScanLine(y), width_, format_, palette_,
                [&](int x, unsigned r, unsigned g, unsigned b) { line[x] = Pack(r, g, b); });
            std::uint8_t* out = target.ScanLine(y);
            if (bits <= 4)
                WriteIndices(bits, line.data(), out, width_, fromPalette);
            else
                WriteDirect(format, line.data(), out, width_);
        }
    }
    *this = std::move(target);
}

} // namespace varimark
