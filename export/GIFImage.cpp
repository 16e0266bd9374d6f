// The GIF picture: one frame made from a bitmap (palette pictures as they are, true-colour
// pictures reduced to the 216-colour cube), written as GIF87a with a local colour table.
#include "export/GIFImage.h"
#include "export/LittleEndian.h"
#include "export/Pixels.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace varimark {

namespace {

constexpr int kMaxDimension = 65535; // 16-bit fields of the screen and image descriptors
constexpr std::size_t kMaxColors = 256;

// The cube level of an 8-bit component: (v + 3) div 51, 0 to 5.
constexpr std::array<std::uint8_t, 256> kLevel = [] {
    std::array<std::uint8_t, 256> level{};
    for (int v = 0; v < 256; ++v) level[v] = static_cast<std::uint8_t>((v + 3) / 51);
    return level;
}();

// Cube index parts of the components: red level × 36, green level × 6, blue level.
struct CubeTables {
    std::array<std::uint8_t, 256> red, green, blue;
};
constexpr CubeTables kCube = [] {
    CubeTables t{};
    for (int v = 0; v < 256; ++v) {
        t.red[v] = static_cast<std::uint8_t>(36 * kLevel[v]);
        t.green[v] = static_cast<std::uint8_t>(6 * kLevel[v]);
        t.blue[v] = kLevel[v];
    }
    return t;
}();

// One row of a true-colour picture as cube indices.
void ReduceRow(const std::uint8_t* row, int width, TPixelFormat format, std::uint8_t* out) {
    varimark::ForEachColour(row, width, format, {},
                            [out](int x, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
                                out[x] = TNetscapeColorLookup::Lookup(red, green, blue);
                            });
}

} // namespace

int TGIFColorMap::BitsPerPixel() const {
    const std::size_t count = colors_.size();
    if (count == 0) return 0;
    int bits = 1;
    while (bits < 8 && (std::size_t{1} << bits) < count) ++bits;
    return bits;
}

std::uint8_t TNetscapeColorLookup::Lookup(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>(kCube.red[red] + kCube.green[green] + kCube.blue[blue]);
}

TGIFColor TNetscapeColorLookup::Color(int index) {
    return TGIFColor{static_cast<std::uint8_t>(51 * (index / 36)),
                     static_cast<std::uint8_t>(51 * (index / 6 % 6)),
                     static_cast<std::uint8_t>(51 * (index % 6))};
}

void TGIFImage::Assign(const TBitmap& bitmap) {
    header_ = TGIFHeader{};
    images_.clear();
    pictureWidth_ = bitmap.Empty() ? 0 : bitmap.Width();
    pictureHeight_ = bitmap.Empty() ? 0 : bitmap.Height();
    if (pictureWidth_ > kMaxDimension || pictureHeight_ > kMaxDimension) return;

    TGIFSubImage frame;
    if (!bitmap.Empty()) {
        const int width = bitmap.Width(), height = bitmap.Height();
        const int bits = bitmap.BitsPerPixel();
        frame.Width = static_cast<std::uint16_t>(width);
        frame.Height = static_cast<std::uint16_t>(height);
        frame.Data.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        if (bits <= 8) {
            const std::vector<TRGBQuad>& palette = bitmap.Palette();
            const std::size_t colors = std::min(palette.size(), kMaxColors);
            for (std::size_t i = 0; i < colors; ++i)
                frame.ColorMap.Add(TGIFColor{palette[i].red, palette[i].green, palette[i].blue});
        } else {
            for (int i = 0; i < 216; ++i) frame.ColorMap.Add(TNetscapeColorLookup::Color(i));
        }
        // A row stored like the one above it (a barcode's bars, its margins) is a copy of
        // that row's indices.
        const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 7) / 8;
        std::uint8_t* out = frame.Data.data();
        const std::uint8_t* above = nullptr;
        for (int y = 0; y < height; ++y, out += width) {
            const std::uint8_t* row = bitmap.ScanLine(y);
            if (above != nullptr && std::memcmp(row, above, rowBytes) == 0)
                std::memcpy(out, out - width, static_cast<std::size_t>(width));
            else if (bits <= 8)
                varimark::UnpackIndices(row, width, bits, out);
            else
                ReduceRow(row, width, bitmap.PixelFormat(), out);
            above = row;
        }
    }
    header_.Width = std::max(header_.Width, static_cast<std::uint16_t>(frame.Left + frame.Width));
    header_.Height = std::max(header_.Height, static_cast<std::uint16_t>(frame.Top + frame.Height));
    images_.push_back(std::move(frame));
}

std::vector<std::uint8_t> TGIFImage::SaveToBytes() const {
    if (pictureWidth_ > kMaxDimension || pictureHeight_ > kMaxDimension)
        throw EGif("Picture of " + std::to_string(pictureWidth_) + " x " +
                   std::to_string(pictureHeight_) +
                   " pixels is too large for a GIF image (at most 65535 x 65535)");

    // Headers and colour tables; the encoder sizes the rest exactly.
    std::vector<std::uint8_t> out;
    out.reserve(32 + images_.size() * (20 + 768));

    // Signature: 89a would be needed only for sorted colour maps or extensions.
    for (const char c : {'G', 'I', 'F', '8', '7', 'a'}) out.push_back(static_cast<std::uint8_t>(c));

    // Logical screen descriptor: the colour resolution and the size field come from the
    // largest colour map; the global table flag stays clear (the global map is empty).
    int resolution = header_.ColorMap.BitsPerPixel() - 1;
    int maxBits = header_.ColorMap.BitsPerPixel();
    for (const TGIFSubImage& frame : images_) {
        resolution = std::max(resolution, frame.ColorMap.BitsPerPixel() - 1);
        maxBits = std::max(maxBits, frame.ColorMap.BitsPerPixel());
    }
    Put16(out, header_.Width);
    Put16(out, header_.Height);
    out.push_back(static_cast<std::uint8_t>((std::max(resolution, 0) & 7) << 4 |
                                            (std::max(maxBits - 1, 0) & 7)));
    out.push_back(header_.BackgroundColorIndex);
    out.push_back(header_.AspectRatio);

    TLZWEncoder encoder;
    for (const TGIFSubImage& frame : images_) {
        const int bits = frame.ColorMap.BitsPerPixel();
        out.push_back(0x2C);
        Put16(out, frame.Left);
        Put16(out, frame.Top);
        Put16(out, frame.Width);
        Put16(out, frame.Height);
        // Local table flag and size; a frame without colours (an empty picture) has none.
        out.push_back(bits > 0 ? static_cast<std::uint8_t>(0x80 + (bits - 1)) : 0);
        if (bits > 0) {
            const std::vector<TGIFColor>& colors = frame.ColorMap.Colors();
            for (const TGIFColor& c : colors) {
                out.push_back(c.red);
                out.push_back(c.green);
                out.push_back(c.blue);
            }
            out.resize(out.size() + 3 * ((std::size_t{1} << bits) - colors.size()), 0);
        }
        encoder.Encode(frame.Data, bits, frame.ColorMap.Count(), out);
    }
    out.push_back(0x3B);
    return out;
}

} // namespace varimark
