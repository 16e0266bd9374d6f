// libFuzzer target of the GIF and TIFF writers, read back with giflib and libtiff, and of
// the pixel-format conversions.
//
// Input layout: byte 0 the pixel format (1, 4, 8, 24, 15, 16 or 32 bits), bytes 1 and 2 the
// width and height (1 to 64), byte 3 the number of palette entries (palette formats: up to
// one more than the depth addresses, or all of them from 0xF0 on), then the palette as red,
// green, blue, and then the pixels row by row as stored (repeated when the input runs out).
//
// GIF: the frame holds the picture's indices (palette formats) or the 216-colour cube
// indices of its colours, and giflib reads back exactly those indices and that colour map;
// an index beyond the palette makes saving fail with EGif. TIFF: libtiff reads back
// the size (4 bits: the width cut to a multiple of 4), the colour map and every pixel.
// Conversions: to 24 and 32 bits every colour stays, to 8 bits pure black and white do.
#include "FuzzCheck.h"
#include "export/Bitmap.h"
#include "export/GIFImage.h"
#include "export/Pixels.h"
#include "export/Tiff.h"

#include <gif_lib.h>
#include <tiffio.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace varimark;

namespace {

// The input's bytes one after the other, starting again at a given point when they run out
// (zeros when there is nothing to repeat).
class TByteSource {
public:
    TByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Next() {
        if (pos_ < size_) return data_[pos_++];
        if (repeatFrom_ >= size_) return 0;
        pos_ = repeatFrom_;
        return data_[pos_++];
    }
    void RepeatFromHere() { repeatFrom_ = pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_, pos_ = 0, repeatFrom_ = 0;
};

constexpr TPixelFormat kFormats[] = {pf1bit, pf4bit, pf8bit, pf24bit, pf15bit, pf16bit, pf32bit};

TBitmap MakePicture(TByteSource& in) {
    const TPixelFormat format = kFormats[in.Next() % std::size(kFormats)];
    const int width = 1 + in.Next() % 64, height = 1 + in.Next() % 64;
    TBitmap bitmap(width, height, format);
    const int bits = bitmap.BitsPerPixel();
    const std::uint8_t count = in.Next();
    if (bits <= 8) {
        const std::size_t depthColours = std::size_t{1} << bits;
        const std::size_t colours = count >= 0xF0 ? depthColours : count % (depthColours + 2);
        std::vector<TRGBQuad> palette(colours);
        for (TRGBQuad& c : palette) {
            c.red = in.Next();
            c.green = in.Next();
            c.blue = in.Next();
        }
        bitmap.SetPalette(std::move(palette));
    }
    in.RepeatFromHere();
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 7) / 8;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (std::size_t i = 0; i < rowBytes; ++i) row[i] = in.Next();
    }
    return bitmap;
}

std::vector<std::uint8_t> RgbRow(const TBitmap& bitmap, int y) {
    std::vector<std::uint8_t> rgb(3 * static_cast<std::size_t>(bitmap.Width()));
    bitmap.ReadRgbRow(y, rgb.data());
    return rgb;
}

// Every row of the picture as red, green, blue.
std::vector<std::uint8_t> Colours(const TBitmap& bitmap) {
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::vector<std::uint8_t> row = RgbRow(bitmap, y);
        rgb.insert(rgb.end(), row.begin(), row.end());
    }
    return rgb;
}

// --- GIF -------------------------------------------------------------------------------

struct TMemoryInput {
    const std::vector<std::uint8_t>& bytes;
    std::size_t pos = 0;
};

int ReadGif(GifFileType* gif, GifByteType* out, int length) {
    auto* in = static_cast<TMemoryInput*>(gif->UserData);
    const std::size_t n = std::min(static_cast<std::size_t>(length), in->bytes.size() - in->pos);
    std::memcpy(out, in->bytes.data() + in->pos, n);
    in->pos += n;
    return static_cast<int>(n);
}

void CheckGif(const TBitmap& bitmap) {
    const int width = bitmap.Width(), height = bitmap.Height(), bits = bitmap.BitsPerPixel();
    TGIFImage gif;
    gif.Assign(bitmap);
    Check(gif.Images().size() == 1, "one frame");
    const TGIFSubImage& frame = gif.Images().front();
    Check(frame.Left == 0 && frame.Top == 0 && frame.Width == width && frame.Height == height,
          "the frame has the picture's size");

    // The indices and the colour map the frame must hold.
    std::vector<std::uint8_t> indices;
    std::vector<TGIFColor> colours;
    if (bits <= 8) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                indices.push_back(
                    static_cast<std::uint8_t>(varimark::PixelIndex(bitmap.ScanLine(y), x, bits)));
        const std::vector<TRGBQuad>& palette = bitmap.Palette();
        for (std::size_t i = 0; i < std::min<std::size_t>(palette.size(), 256); ++i)
            colours.push_back({palette[i].red, palette[i].green, palette[i].blue});
    } else {
        for (int y = 0; y < height; ++y) {
            const std::vector<std::uint8_t> rgb = RgbRow(bitmap, y);
            for (int x = 0; x < width; ++x)
                indices.push_back(
                    TNetscapeColorLookup::Lookup(rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]));
        }
        for (int i = 0; i < 216; ++i) colours.push_back(TNetscapeColorLookup::Color(i));
    }
    Check(frame.Data == indices, "the frame holds the picture's indices");
    Check(frame.ColorMap.Colors() == colours, "the frame holds the picture's colours");

    const bool inTable = std::all_of(indices.begin(), indices.end(),
                                     [&](std::uint8_t i) { return i < colours.size(); });
    std::vector<std::uint8_t> bytes;
    try {
        bytes = gif.SaveToBytes();
    } catch (const EGif& e) {
        Check(!inTable && std::strcmp(e.what(), "Color not in color table") == 0,
              "saving fails only for a colour not in the table");
        return;
    }
    Check(inTable, "an index beyond the colour table is refused");

    TMemoryInput input{bytes};
    int error = 0;
    GifFileType* file = DGifOpen(&input, ReadGif, &error);
    Check(file != nullptr, "giflib opens the GIF");
    const bool read = DGifSlurp(file) == GIF_OK;
    if (!read) std::fprintf(stderr, "giflib: %s\n", GifErrorString(file->Error));
    Check(read, "giflib reads the GIF");
    Check(file->SWidth == width && file->SHeight == height, "screen of the picture's size");
    Check(file->SColorMap == nullptr, "no global colour map");
    Check(file->ImageCount == 1, "giflib finds one frame");
    const SavedImage& image = file->SavedImages[0];
    Check(image.ImageDesc.Left == 0 && image.ImageDesc.Top == 0 && image.ImageDesc.Width == width &&
              image.ImageDesc.Height == height && !image.ImageDesc.Interlace,
          "giflib reads the frame's place and size");
    const ColorMapObject* map = image.ImageDesc.ColorMap;
    Check(map != nullptr, "the frame has a local colour map");
    Check(map->ColorCount == 1 << frame.ColorMap.BitsPerPixel(), "colour map of a power of two");
    for (int i = 0; i < map->ColorCount; ++i) {
        const TGIFColor c = static_cast<std::size_t>(i) < colours.size() ? colours[i] : TGIFColor{};
        Check(map->Colors[i].Red == c.red && map->Colors[i].Green == c.green &&
                  map->Colors[i].Blue == c.blue,
              "giflib reads the colour map");
    }
    Check(std::equal(indices.begin(), indices.end(), image.RasterBits), "giflib reads the pixels");
    DGifCloseFile(file, &error);
}

// --- TIFF ------------------------------------------------------------------------------

struct TMemoryTiff {
    const std::vector<std::uint8_t>& bytes;
    toff_t pos = 0;
};

tmsize_t ReadTiff(thandle_t handle, void* out, tmsize_t length) {
    auto* in = static_cast<TMemoryTiff*>(handle);
    const toff_t size = in->bytes.size();
    const toff_t n =
        in->pos >= size ? 0 : std::min<toff_t>(static_cast<toff_t>(length), size - in->pos);
    std::memcpy(out, in->bytes.data() + in->pos, static_cast<std::size_t>(n));
    in->pos += n;
    return static_cast<tmsize_t>(n);
}
tmsize_t WriteTiff(thandle_t, void*, tmsize_t) {
    return 0;
}
toff_t SeekTiff(thandle_t handle, toff_t offset, int whence) {
    auto* in = static_cast<TMemoryTiff*>(handle);
    switch (whence) {
    case SEEK_SET: in->pos = offset; break;
    case SEEK_CUR: in->pos += offset; break;
    default: in->pos = in->bytes.size() + offset; break;
    }
    return in->pos;
}
int CloseTiff(thandle_t) {
    return 0;
}
toff_t SizeTiff(thandle_t handle) {
    return static_cast<TMemoryTiff*>(handle)->bytes.size();
}

void CheckTiff(const TBitmap& bitmap) {
    const std::vector<std::uint8_t> bytes = TiffFileBytes(bitmap);
    const int bits = bitmap.BitsPerPixel();
    const int width = bits == 4 ? bitmap.Width() / 4 * 4 : bitmap.Width();
    // 1-bit pictures are refused, and so are 4-bit pictures narrower than 4 pixels (they
    // would be written 0 pixels wide, which no reader takes).
    if (bits == 1 || width == 0) {
        Check(bytes.empty(), "1-bit and too narrow 4-bit pictures are refused");
        return;
    }
    Check(!bytes.empty(), "pictures of 4 bits and more are written");
    const int height = bitmap.Height();

    TMemoryTiff input{bytes};
    TIFF* tiff = TIFFClientOpen("picture.tif", "rm", &input, ReadTiff, WriteTiff, SeekTiff,
                                CloseTiff, SizeTiff, nullptr, nullptr);
    Check(tiff != nullptr, "libtiff opens the TIFF");
    std::uint32_t tiffWidth = 0, tiffHeight = 0;
    std::uint16_t bitsPerSample = 0, samples = 0, photometric = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &tiffWidth);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &tiffHeight);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    Check(tiffWidth == static_cast<std::uint32_t>(width) &&
              tiffHeight == static_cast<std::uint32_t>(height),
          "libtiff reads the size");
    const bool palette = bits <= 8;
    if (palette) {
        Check(bitsPerSample == bits && samples == 1 && photometric == PHOTOMETRIC_PALETTE,
              "a palette picture");
        std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        Check(TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) == 1,
              "libtiff reads the colour map");
        const std::vector<TRGBQuad>& colours = bitmap.Palette();
        for (std::size_t i = 0; i < (std::size_t{1} << bits); ++i) {
            const TRGBQuad c = varimark::PaletteEntry(colours, static_cast<unsigned>(i));
            Check(red[i] == c.red * 256 && green[i] == c.green * 256 && blue[i] == c.blue * 256,
                  "the colour map holds the palette");
        }
    } else {
        Check(bitsPerSample == 8 && samples == 3 && photometric == PHOTOMETRIC_RGB,
              "an RGB picture");
    }
    const std::size_t rowBytes =
        palette ? static_cast<std::size_t>(width) * bits / 8 : 3 * static_cast<std::size_t>(width);
    Check(static_cast<std::size_t>(TIFFScanlineSize(tiff)) == rowBytes, "row length");
    std::vector<std::uint8_t> row(rowBytes);
    for (int y = 0; y < height; ++y) {
        Check(TIFFReadScanline(tiff, row.data(), static_cast<std::uint32_t>(y)) == 1,
              "libtiff reads a row");
        const bool same = palette ? std::equal(row.begin(), row.end(), bitmap.ScanLine(y))
                                  : row == RgbRow(bitmap, y);
        Check(same, "libtiff reads the pixels");
    }
    TIFFClose(tiff);
}

// --- Conversions ------------------------------------------------------------------------

void CheckConversions(const TBitmap& bitmap) {
    const std::vector<std::uint8_t> colours = Colours(bitmap);
    for (const TPixelFormat format : {pf24bit, pf32bit}) {
        TBitmap copy = bitmap;
        copy.SetPixelFormat(format);
        Check(copy.PixelFormat() == format && copy.Width() == bitmap.Width() &&
                  copy.Height() == bitmap.Height(),
              "a conversion keeps the size");
        Check(Colours(copy) == colours, "a conversion to 24 or 32 bits keeps every colour");
    }
    TBitmap copy = bitmap;
    copy.SetPixelFormat(pf8bit);
    const std::vector<std::uint8_t> reduced = Colours(copy);
    for (std::size_t i = 0; i < colours.size(); i += 3) {
        const bool black = colours[i] == 0 && colours[i + 1] == 0 && colours[i + 2] == 0;
        const bool white = colours[i] == 255 && colours[i + 1] == 255 && colours[i + 2] == 255;
        if (black || white)
            Check(std::equal(colours.begin() + i, colours.begin() + i + 3, reduced.begin() + i),
                  "8 bits keep pure black and white");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        TIFFSetWarningHandler(nullptr);
        return true;
    }();
    (void)quiet;
    if (size < 4) return 0;
    TByteSource in(data, size);
    const TBitmap bitmap = MakePicture(in);
    CheckGif(bitmap);
    CheckTiff(bitmap);
    CheckConversions(bitmap);
    return 0;
}
