#pragma once
// The GIF writer: one frame with a local colour table and LZW-compressed pixels, written
// as GIF87a. Pictures of more than 8 bits per pixel are reduced to the 216-colour cube.
#include "export/Bitmap.h"
#include "varimark/error.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace varimark {

class EGif : public varimark::Error {
public:
    using varimark::Error::Error;
};

struct TGIFColor {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};

// Up to 256 colours; bits per pixel is the smallest b in 1..8 with 2^b >= count (0 for an
// empty map).
class TGIFColorMap {
public:
    void Add(TGIFColor color) { colors_.push_back(color); }
    int Count() const { return static_cast<int>(colors_.size()); }
    const std::vector<TGIFColor>& Colors() const { return colors_; }
    int BitsPerPixel() const;

private:
    std::vector<TGIFColor> colors_;
};
class TGIFGlobalColorMap : public TGIFColorMap {};
class TGIFLocalColorMap : public TGIFColorMap {};

// The logical screen descriptor and the global colour map (empty here).
struct TGIFHeader {
    std::uint16_t Width = 0, Height = 0;
    std::uint8_t BackgroundColorIndex = 0, AspectRatio = 0;
    TGIFGlobalColorMap ColorMap;
};

// One frame: image descriptor values, local colour map, one index per pixel (rows from the
// top, unpadded).
struct TGIFSubImage {
    std::uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
    TGIFLocalColorMap ColorMap;
    std::vector<std::uint8_t> Data;
};

// The 216-colour cube: entry 36 r + 6 g + b is (51 r, 51 g, 51 b); a component v maps to
// the level (v + 3) div 51.
class TNetscapeColorLookup {
public:
    static std::uint8_t Lookup(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
    static TGIFColor Color(int index);
};

// Variable-code-width LZW of the GIF format with an 8009-slot open-addressing dictionary;
// writes the minimum code size, the data sub-blocks and the block terminator.
class TLZWEncoder {
public:
    // Appends the image data of the pixels (each below colorCount) to out; raises
    // EGif "Color not in color table" for a pixel at or above colorCount.
    void Encode(const std::vector<std::uint8_t>& pixels, int bitsPerPixel, int colorCount,
                std::vector<std::uint8_t>& out);
};

class TGIFImage {
public:
    // Replaces all content by one frame made from the bitmap.
    void Assign(const TBitmap& bitmap);
    const std::vector<TGIFSubImage>& Images() const { return images_; }

    // The GIF stream; a picture wider or higher than 65535 pixels raises EGif.
    std::vector<std::uint8_t> SaveToBytes() const;

private:
    TGIFHeader header_;
    std::vector<TGIFSubImage> images_;
    // The size of the picture assigned, which may exceed the 16-bit fields of a frame: a
    // picture too large for the format gets no frame, and saving it raises EGif.
    int pictureWidth_ = 0, pictureHeight_ = 0;
};

} // namespace varimark
