// The TIFF writer: the file byte by byte, and read back with libtiff.
#include "ByteReading.h"
#include "FileTesting.h"
#include "PixelTesting.h"
#include "export/Bitmap.h"
#include "export/FileWriter.h"
#include "export/Tiff.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace varimark;

namespace {

struct TEntry {
    std::uint32_t tag, type, count, value;
    friend bool operator==(const TEntry&, const TEntry&) = default;
};

std::ostream& operator<<(std::ostream& os, const TEntry& e) {
    return os << "{" << e.tag << ", " << e.type << ", " << e.count << ", " << e.value << "}";
}

// The directory that header bytes 4..7 point to; it must be the file's last 186 bytes.
std::vector<TEntry> Directory(const Bytes& file) {
    const std::uint32_t at = U32(file, 4);
    EXPECT_EQ(at + 186, file.size());
    std::vector<TEntry> entries;
    for (std::uint32_t i = 0; i < U16(file, at); ++i) {
        const std::size_t e = at + 2 + 12 * i;
        entries.push_back({U16(file, e), U16(file, e + 2), U32(file, e + 4), U32(file, e + 8)});
    }
    EXPECT_EQ(U32(file, at + 2 + 12 * entries.size()), 0u); // no next directory
    return entries;
}

// A picture whose pixels are all different where the format allows.
TBitmap Pattern(TPixelFormat format, int width, int height) {
    TBitmap b(width, height, format);
    const std::size_t used = (static_cast<std::size_t>(width) * b.BitsPerPixel() + 7) / 8;
    for (int y = 0; y < height; ++y)
        for (std::size_t i = 0; i < used; ++i)
            b.ScanLine(y)[i] = static_cast<std::uint8_t>(37 * y + 11 * i + 1);
    if (format == pf8bit || format == pf4bit) {
        std::vector<TRGBQuad> palette(format == pf8bit ? 256 : 16);
        for (std::size_t i = 0; i < palette.size(); ++i)
            palette[i] =
                TRGBQuad{static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(7 * i),
                         static_cast<std::uint8_t>(i), 0};
        b.SetPalette(palette);
    }
    return b;
}

struct TLayoutCase {
    TPixelFormat format;
    int width, height;
    std::uint32_t writtenWidth, rowBytes, pixelsAt, directoryAt, fileSize;
};

// Where each part goes, and the full directory.
TEST(TiffLayout, PartsAndDirectory) {
    const TLayoutCase cases[] = {
        {pf8bit, 101, 51, 101, 101, 1570, 6721, 6907}, // odd directory offset
        {pf8bit, 3, 2, 3, 3, 1570, 1576, 1762},        {pf4bit, 10, 3, 8, 4, 130, 142, 328},
        {pf4bit, 4, 1, 4, 2, 130, 132, 318},           {pf24bit, 5, 3, 5, 15, 40, 85, 271},
        {pfDevice, 2, 2, 2, 6, 40, 52, 238},           {pf32bit, 3, 1, 3, 9, 40, 49, 235},
    };
    for (const TLayoutCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.format) + ": " + std::to_string(c.width) + " x " +
                     std::to_string(c.height));
        const TBitmap bitmap = Pattern(c.format, c.width, c.height);
        const Bytes file = TiffFileBytes(bitmap);
        ASSERT_EQ(file.size(), c.fileSize);
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{'I', 'I', 42, 0}));
        EXPECT_EQ(U32(file, 4), c.directoryAt);
        const std::uint32_t h = c.height, stripBytes = c.rowBytes * h;
        std::vector<TEntry> want;
        if (c.format == pf8bit || c.format == pf4bit) {
            const std::uint32_t bits = c.format == pf8bit ? 8 : 4, n = 1u << bits;
            want = {{254, 4, 1, 0},          {256, 3, 1, c.writtenWidth},
                    {257, 3, 1, h},          {258, 3, 1, bits},
                    {259, 3, 1, 1},          {262, 3, 1, 3},
                    {273, 4, 1, c.pixelsAt}, {277, 3, 1, 1},
                    {278, 4, 1, h},          {279, 4, 1, stripBytes},
                    {282, 5, 1, 8 + 6 * n},  {283, 5, 1, 16 + 6 * n},
                    {296, 3, 1, 2},          {305, 2, 10, 24 + 6 * n},
                    {320, 3, 3 * n, 8}};
        } else {
            want = {{254, 4, 1, 0},  {256, 3, 1, c.writtenWidth},
                    {257, 3, 1, h},  {258, 3, 3, 24},
                    {259, 3, 1, 1},  {262, 3, 1, 2},
                    {273, 4, 1, 40}, {277, 3, 1, 3},
                    {278, 4, 1, h},  {279, 4, 1, stripBytes},
                    {282, 5, 1, 8},  {283, 5, 1, 16},
                    {284, 3, 1, 1},  {296, 3, 1, 2},
                    {305, 2, 10, 30}};
            EXPECT_EQ(Bytes(file.begin() + 24, file.begin() + 30), (Bytes{8, 0, 8, 0, 8, 0}));
        }
        EXPECT_EQ(Directory(file), want);
        EXPECT_EQ(c.pixelsAt + stripBytes, c.directoryAt); // no fill before the directory
        // Both resolutions 877/10, then the software text straight before the pixels.
        const bool palette = c.format == pf8bit || c.format == pf4bit;
        const std::size_t resolutionsAt = palette ? c.pixelsAt - 26 : 8;
        for (std::size_t at : {resolutionsAt, resolutionsAt + 8}) {
            EXPECT_EQ(U32(file, at), 877u);
            EXPECT_EQ(U32(file, at + 4), 10u);
        }
        EXPECT_EQ(std::string(file.begin() + c.pixelsAt - 10, file.begin() + c.pixelsAt),
                  "Tavelmorin");
    }
}

// Rows go out top row first, without their fill; RGB pixels as red, green, blue.
TEST(TiffLayout, PixelRowsTopFirst) {
    const TBitmap eight = Pattern(pf8bit, 3, 2);
    const Bytes file = TiffFileBytes(eight);
    const Bytes top(eight.ScanLine(0), eight.ScanLine(0) + 3);
    const Bytes bottom(eight.ScanLine(1), eight.ScanLine(1) + 3);
    EXPECT_EQ(Bytes(file.begin() + 1570, file.begin() + 1573), top);
    EXPECT_EQ(Bytes(file.begin() + 1573, file.begin() + 1576), bottom);

    const TBitmap four = Pattern(pf4bit, 10, 2); // the last 2 pixels of each row are dropped
    const Bytes file4 = TiffFileBytes(four);
    EXPECT_EQ(Bytes(file4.begin() + 130, file4.begin() + 134),
              Bytes(four.ScanLine(0), four.ScanLine(0) + 4));
    EXPECT_EQ(Bytes(file4.begin() + 134, file4.begin() + 138),
              Bytes(four.ScanLine(1), four.ScanLine(1) + 4));

    TBitmap rgb(2, 1, pf24bit);
    const Bytes stored = {1, 2, 3, 4, 5, 6}; // blue, green, red
    std::copy(stored.begin(), stored.end(), rgb.ScanLine(0));
    const Bytes fileRgb = TiffFileBytes(rgb);
    EXPECT_EQ(Bytes(fileRgb.begin() + 40, fileRgb.begin() + 46), (Bytes{3, 2, 1, 6, 5, 4}));
}

// Colour map entries v x 256: reds, then greens, then blues.
TEST(TiffLayout, ColourMapValues) {
    TBitmap b(2, 1, pf8bit);
    std::vector<TRGBQuad> palette(256);
    palette[0] = TRGBQuad{0, 0, 0, 0};
    palette[1] = TRGBQuad{255, 255, 255, 0};
    palette[2] = TRGBQuad{3, 2, 1, 9}; // red 1, green 2, blue 3
    b.SetPalette(palette);
    const Bytes file = TiffFileBytes(b);
    const std::uint32_t reds = 8, greens = 8 + 512, blues = 8 + 1024;
    for (std::uint32_t map : {reds, greens, blues}) {
        EXPECT_EQ(U16(file, map), 0u);
        EXPECT_EQ(U16(file, map + 2), 65280u);
    }
    EXPECT_EQ(U16(file, reds + 4), 256u);
    EXPECT_EQ(U16(file, greens + 4), 512u);
    EXPECT_EQ(U16(file, blues + 4), 768u);
}

TEST(TiffFile, RefusedPicturesHaveNoBytes) {
    // A 4-bit picture narrower than 4 pixels would be written 0 pixels wide.
    for (const TBitmap& b : {TBitmap(8, 3, pf1bit), TBitmap(), TBitmap(0, 5, pf8bit),
                             TBitmap(1, 2, pf4bit), TBitmap(3, 1, pf4bit)})
        EXPECT_TRUE(TiffFileBytes(b).empty());
}

TEST(TiffFile, TooWideOrHighIsRefused) {
    for (const TBitmap& b : {TBitmap(65536, 1, pf8bit), TBitmap(1, 65536, pf24bit)}) {
        try {
            TiffFileBytes(b);
            ADD_FAILURE() << "no error";
        } catch (const ETiff& e) {
            EXPECT_NE(std::string(e.what()).find("limited to 65535"), std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(U32(TiffFileBytes(TBitmap(65535, 1, pf8bit)), 4), 1570u + 65535u);
}

// libtiff's message, if it reported an error.
std::string gTiffError;
void RecordError(const char*, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    gTiffError += text;
}

// libtiff reads each file back to the colours of the picture written.
TEST(TiffFile, LibtiffReadsTheSamePixels) {
    TIFFSetErrorHandler(RecordError);
    TIFFSetWarningHandler(nullptr);
    struct TCase {
        TPixelFormat format;
        int width, height, readWidth;
    };
    for (const TCase& c : {TCase{pf8bit, 101, 51, 101}, TCase{pf4bit, 10, 3, 8},
                           TCase{pf24bit, 9, 4, 9}, TCase{pf32bit, 5, 2, 5}}) {
        SCOPED_TRACE(std::to_string(c.format));
        const std::string path = ::testing::TempDir() + "tiff_libtiff.tif";
        const TBitmap b = Pattern(c.format, c.width, c.height);
        WriteFileReplacing(path, TiffFileBytes(b));
        gTiffError.clear();
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(tif, nullptr) << gTiffError;
        std::uint32_t width = 0, height = 0;
        std::uint16_t bits = 0, samples = 0, photometric = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        EXPECT_EQ(width, static_cast<std::uint32_t>(c.readWidth));
        EXPECT_EQ(height, static_cast<std::uint32_t>(c.height));
        const bool palette = c.format == pf8bit || c.format == pf4bit;
        EXPECT_EQ(photometric, palette ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB);
        EXPECT_EQ(bits, c.format == pf4bit ? 4 : 8);
        EXPECT_EQ(samples, palette ? 1 : 3);
        std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (palette) {
            ASSERT_EQ(TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue), 1);
        }
        std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(tif)));
        int wrong = 0;
        for (int y = 0; y < c.height; ++y) {
            ASSERT_EQ(TIFFReadScanline(tif, line.data(), static_cast<std::uint32_t>(y)), 1);
            for (int x = 0; x < c.readWidth; ++x) {
                TColour read;
                if (palette) {
                    const unsigned i = bits == 8    ? line[x]
                                       : x % 2 == 0 ? line[x / 2] >> 4
                                                    : line[x / 2] & 15;
                    read = {red[i] >> 8, green[i] >> 8, blue[i] >> 8};
                } else {
                    read = {line[3 * x], line[3 * x + 1], line[3 * x + 2]};
                }
                wrong += read != ColourAt(b, x, y);
            }
        }
        EXPECT_EQ(wrong, 0);
        TIFFClose(tif);
        EXPECT_EQ(gTiffError, "");
        std::remove(path.c_str());
    }
}

// 15- and 16-bit pictures are written as the 24-bit pictures they convert to.
TEST(TiffFile, SixteenBitPicturesGoOutAsRgb) {
    for (TPixelFormat format : {pf15bit, pf16bit}) {
        const TBitmap b = Pattern(format, 4, 3);
        TBitmap wide = b;
        wide.SetPixelFormat(pf24bit);
        EXPECT_EQ(TiffFileBytes(b), TiffFileBytes(wide)) << format;
    }
}

} // namespace
