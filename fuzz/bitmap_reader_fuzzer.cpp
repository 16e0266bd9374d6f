// libFuzzer target of the bitmap file reader.
//
// The input is a bitmap file. Reading it either raises EBitmapError or gives a picture
// whose pixels fit its size and format; such a picture is written again and read back to
// the same size, format, pixels and colours, and writing that copy gives the same bytes. The
// conversions to 24 and 32 bits keep every colour, and the one to 8 bits keeps pure black and
// pure white.
#include "Bitmap.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

// Every row of the picture as red, green, blue.
std::vector<std::uint8_t> Colours(const TBitmap& bitmap) {
    const std::size_t row = 3 * static_cast<std::size_t>(bitmap.Width());
    std::vector<std::uint8_t> rgb(row * static_cast<std::size_t>(bitmap.Height()));
    for (int y = 0; y < bitmap.Height(); ++y)
        bitmap.ReadRgbRow(y, rgb.data() + static_cast<std::size_t>(y) * row);
    return rgb;
}

void CheckRead(const TBitmap& bitmap) {
    Check(bitmap.Width() >= 1 && bitmap.Height() >= 1, "a read picture is not empty");
    Check(bitmap.PixelFormat() >= pf1bit && bitmap.PixelFormat() <= pf32bit,
          "a read picture has a file's pixel format");
    Check(bitmap.Bits().size() == bitmap.ImageSize(), "pixels fill the image size");
    Check(bitmap.RowStride() % 4 == 0 &&
              bitmap.RowStride() * 8 >=
                  static_cast<std::size_t>(bitmap.Width()) * bitmap.BitsPerPixel(),
          "rows hold their pixels in whole words");
    const int bits = bitmap.BitsPerPixel();
    if (bits <= 8)
        Check(bitmap.Palette().size() <= (std::size_t{1} << bits), "palette within the depth");
    else
        Check(bitmap.Palette().empty(), "no palette above 8 bits");
}

// The conversions that must keep colours: exactly to 24 and 32 bits, black and white to 8.
void CheckConversions(const TBitmap& bitmap, const std::vector<std::uint8_t>& colours) {
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
            Check(reduced[i] == colours[i] && reduced[i + 1] == colours[i + 1] &&
                      reduced[i + 2] == colours[i + 2],
                  "8 bits keep pure black and white");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TBitmap bitmap;
    try {
        bitmap = TBitmap::FromBmpFile(std::span<const std::uint8_t>(data, size));
    } catch (const EBitmapError&) {
        return 0;
    }
    CheckRead(bitmap);
    const std::vector<std::uint8_t> colours = Colours(bitmap);

    const std::vector<std::uint8_t> file = bitmap.ToBmpFile();
    TBitmap again;
    try {
        again = TBitmap::FromBmpFile(file);
    } catch (const EBitmapError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        Check(false, "a written bitmap file reads back");
    }
    CheckRead(again);
    Check(again.Width() == bitmap.Width() && again.Height() == bitmap.Height() &&
              again.PixelFormat() == bitmap.PixelFormat(),
          "the copy has the same size and format");
    Check(std::equal(again.Bits().begin(), again.Bits().end(), bitmap.Bits().begin(),
                     bitmap.Bits().end()),
          "the copy has the same pixels");
    // The file always holds the whole colour table; entries past the original's are black.
    const std::vector<TRGBQuad>& palette = bitmap.Palette();
    const std::vector<TRGBQuad>& copied = again.Palette();
    Check(copied.size() >= palette.size(), "the copy keeps the palette");
    for (std::size_t i = 0; i < copied.size(); ++i)
        Check(copied[i] == (i < palette.size() ? palette[i] : TRGBQuad{}),
              "the copy has the same colours");
    Check(Colours(again) == colours, "the copy shows the same colours");
    Check(again.ToBmpFile() == file, "writing the copy gives the same file");

    CheckConversions(bitmap, colours);
    return 0;
}
