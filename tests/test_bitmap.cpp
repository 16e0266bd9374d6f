// The picture in memory and its Windows bitmap file.
#include "Bitmap.h"
#include "ByteReading.h"
#include "FileWriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void Set16(Bytes& b, std::size_t at, std::uint32_t v) {
    b.at(at) = static_cast<std::uint8_t>(v);
    b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}
void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
    Set16(b, at, v & 0xFFFF);
    Set16(b, at + 2, v >> 16);
}

const TPixelFormat kAllFormats[] = {pfDevice, pf1bit,  pf4bit,  pf8bit,
                                    pf15bit,  pf16bit, pf24bit, pf32bit};

// A picture whose pixel bytes are all different from one another and from white.
TBitmap Pattern(TPixelFormat format, int width, int height) {
    TBitmap b(width, height, format);
    const std::size_t used = (static_cast<std::size_t>(width) * b.BitsPerPixel() + 7) / 8;
    for (int y = 0; y < height; ++y)
        for (std::size_t i = 0; i < used; ++i)
            b.ScanLine(y)[i] = static_cast<std::uint8_t>(17 * y + 5 * i + 3);
    // Bits after the last pixel of a partly used byte are fill, written as zeros.
    if (const int rest = width * b.BitsPerPixel() % 8; rest != 0)
        for (int y = 0; y < height; ++y) b.ScanLine(y)[used - 1] &= 0xFF00 >> rest;
    return b;
}

// The message of the EBitmapError that reading the file raises, or "" if none.
std::string ReadError(const Bytes& file) {
    try {
        TBitmap::FromBmpFile(file);
    } catch (const EBitmapError& e) {
        return e.what();
    }
    return "";
}

TEST(BitmapFile, OneBitThreeByTwoByteByByte) {
    TBitmap b(3, 2, pf1bit);
    ASSERT_EQ(b.Palette().size(), 2u);
    b.ScanLine(0)[0] = 0x40; // top row: black, white, black
    const Bytes expected = {'B',  'M', 70, 0, 0,    0,   0,   0, 0, 0, 62, 0, 0, 0, // file header
                            40,   0,   0,  0, 3,    0,   0,   0, 2, 0, 0,  0, 1, 0,
                            1,    0,   0,  0, 0,    0, // size .. compression
                            8,    0,   0,  0, 0,    0,   0,   0, 0, 0, 0,  0, 2, 0,
                            0,    0,   0,  0, 0,    0,            // image size .. important
                            0,    0,   0,  0, 255,  255, 255, 0,  // black, white
                            0xE0, 0,   0,  0, 0x40, 0,   0,   0}; // bottom row first
    EXPECT_EQ(b.ToBmpFile(), expected);
    const Bytes info = b.InfoHeader();
    EXPECT_EQ(info, Bytes(expected.begin() + 14, expected.begin() + 62));
}

struct Layout {
    TPixelFormat format;
    int width, height;
    std::uint32_t bits, compression, offset, stride, coloursUsed;
};

std::ostream& operator<<(std::ostream& os, const Layout& c) {
    return os << "format " << int(c.format) << " " << c.width << "x" << c.height;
}

class BitmapLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(BitmapLayout, HeadersRowsAndFill) {
    const Layout& c = GetParam();
    const TBitmap b = Pattern(c.format, c.width, c.height);
    const Bytes f = b.ToBmpFile();
    EXPECT_EQ(b.RowStride(), c.stride);
    ASSERT_EQ(f.size(), c.offset + c.stride * c.height);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(U32(f, 2), f.size());
    EXPECT_EQ(U32(f, 6), 0u);
    EXPECT_EQ(U32(f, 10), c.offset);
    EXPECT_EQ(U32(f, 14), 40u);
    EXPECT_EQ(U32(f, 18), std::uint32_t(c.width));
    EXPECT_EQ(U32(f, 22), std::uint32_t(c.height));
    EXPECT_EQ(U16(f, 26), 1u);
    EXPECT_EQ(U16(f, 28), c.bits);
    EXPECT_EQ(U32(f, 30), c.compression);
    EXPECT_EQ(U32(f, 34), c.stride * c.height);
    EXPECT_EQ(U32(f, 38), 0u);
    EXPECT_EQ(U32(f, 42), 0u);
    EXPECT_EQ(U32(f, 46), c.coloursUsed);
    EXPECT_EQ(U32(f, 50), 0u);
    if (c.compression == 3) {
        EXPECT_EQ(U32(f, 54), 0xF800u);
        EXPECT_EQ(U32(f, 58), 0x07E0u);
        EXPECT_EQ(U32(f, 62), 0x001Fu);
    }
    EXPECT_EQ(Bytes(f.begin() + 14, f.begin() + c.offset), b.InfoHeader());
    // Rows bottom first, the fill after the pixels zero.
    const std::size_t used = (std::size_t(c.width) * c.bits + 7) / 8;
    for (int y = 0; y < c.height; ++y) {
        const auto row = f.begin() + c.offset + std::size_t(c.height - 1 - y) * c.stride;
        EXPECT_EQ(Bytes(row, row + used), Bytes(b.ScanLine(y), b.ScanLine(y) + used)) << y;
        EXPECT_EQ(Bytes(row + used, row + c.stride), Bytes(c.stride - used, 0)) << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, BitmapLayout,
    ::testing::Values(Layout{pf24bit, 10, 1, 24, 0, 54, 32, 0}, // 30 bytes + 2 fill bytes
                      Layout{pf24bit, 10, 3, 24, 0, 54, 32, 0},
                      Layout{pfDevice, 5, 2, kDisplayBitsPerPixel, 0, 54, 16, 0},
                      Layout{pf1bit, 33, 2, 1, 0, 62, 8, 2}, Layout{pf4bit, 3, 2, 4, 0, 118, 4, 16},
                      Layout{pf8bit, 2, 2, 8, 0, 1078, 4, 256},
                      Layout{pf15bit, 3, 2, 16, 0, 54, 8, 0},
                      Layout{pf16bit, 3, 2, 16, 3, 66, 8, 0},
                      Layout{pf32bit, 3, 2, 32, 0, 54, 12, 0}));

TEST(BitmapFile, EightBitColourTableAfterThePalette) {
    TBitmap b(2, 2, pf8bit);
    b.SetPalette({{1, 2, 3, 9}, {4, 5, 6, 9}, {7, 8, 9, 9}});
    const Bytes f = b.ToBmpFile();
    ASSERT_EQ(f.size(), 1086u);
    EXPECT_EQ(Bytes(f.begin() + 54, f.begin() + 66), Bytes({1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0}));
    EXPECT_EQ(Bytes(f.begin() + 66, f.begin() + 1078), Bytes(1012, 0));
}

TEST(Bitmap, ScanLineIsTopDownStorageBottomUp) {
    TBitmap b(2, 3, pf24bit);
    b.ScanLine(0)[0] = 1;
    b.ScanLine(2)[0] = 3;
    EXPECT_EQ(b.Bits()[0], 3);
    EXPECT_EQ(b.Bits()[2 * b.RowStride()], 1);
    EXPECT_THROW(b.ScanLine(3), EBitmapError);
    EXPECT_THROW(b.ScanLine(-1), EBitmapError);
}

TEST(Bitmap, NewAndResizedPicturesAreWhite) {
    struct Case {
        TPixelFormat format;
        Bytes firstRow; // of a 3-pixel row, fill included
    } cases[] = {
        {pfDevice, {255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0}},
        {pf24bit, {255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0}},
        {pf32bit, Bytes(12, 255)},
        {pf15bit, {0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0x7F, 0, 0}},
        {pf16bit, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}},
        {pf1bit, {0xE0, 0, 0, 0}},
        {pf4bit, {0xFF, 0xF0, 0, 0}},
        {pf8bit, {255, 255, 255, 0}},
    };
    for (const Case& c : cases) {
        TBitmap b(1, 1, c.format);
        b.ScanLine(0)[0] = 0;
        b.SetSize(3, 2);
        EXPECT_EQ(b.Width(), 3);
        EXPECT_EQ(b.Height(), 2);
        for (int y = 0; y < 2; ++y)
            EXPECT_EQ(Bytes(b.ScanLine(y), b.ScanLine(y) + b.RowStride()), c.firstRow)
                << "format " << int(c.format);
    }
    // A palette of its own: the entry nearest to white, in every pixel of a row and in
    // none of its fill.
    const std::vector<TRGBQuad> greys = {
        {0, 0, 0, 0}, {0, 0, 255, 0}, {250, 250, 240, 0}, {200, 200, 200, 0}};
    const struct {
        TPixelFormat format;
        std::vector<TRGBQuad> palette;
        int width;
        Bytes row;
    } own[] = {
        {pf8bit, greys, 2, {2, 2, 0, 0}},
        {pf4bit, greys, 3, {0x22, 0x20, 0, 0}},
        {pf4bit, greys, 9, {0x22, 0x22, 0x22, 0x22, 0x20, 0, 0, 0}},
        {pf1bit, {{255, 255, 255, 0}, {0, 0, 0, 0}}, 11, {0, 0, 0, 0}},   // white first
        {pf1bit, {{0, 0, 0, 0}, {0, 0, 255, 0}}, 11, {0xFF, 0xE0, 0, 0}}, // red is nearer
    };
    for (const auto& c : own) {
        TBitmap b(0, 0, c.format);
        b.SetPalette(c.palette);
        b.SetSize(c.width, 1);
        EXPECT_EQ(Bytes(b.ScanLine(0), b.ScanLine(0) + b.RowStride()), c.row)
            << "format " << int(c.format) << ", width " << c.width;
    }
}

TEST(Bitmap, CustomAndUnknownFormatsAreRefused) {
    for (int f : {8, 9, 255}) {
        try {
            TBitmap b(1, 1, static_cast<TPixelFormat>(f));
            ADD_FAILURE() << f;
        } catch (const EBitmapError& e) {
            EXPECT_STREQ(e.what(), "Invalid pixel format");
        }
    }
    EXPECT_THROW(TBitmap(-1, 1, pf24bit), EBitmapError);
    const TBitmap empty;
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(empty.PixelFormat(), pfDevice);
    EXPECT_EQ(empty.BitsPerPixel(), kDisplayBitsPerPixel);
}

TEST(BitmapFile, RoundTripForEveryFormat) {
    for (TPixelFormat format : kAllFormats) {
        for (int width : {1, 5, 9}) {
            const TBitmap b = Pattern(format, width, 3);
            const Bytes f = b.ToBmpFile();
            const TBitmap r = TBitmap::FromBmpFile(f);
            const TPixelFormat expected = format == pfDevice ? pf24bit : format;
            EXPECT_EQ(r.PixelFormat(), expected) << int(format);
            EXPECT_EQ(r.Width(), width);
            EXPECT_EQ(r.Height(), 3);
            if (b.BitsPerPixel() <= 8) {
                EXPECT_EQ(r.Palette(), b.Palette());
            }
            EXPECT_EQ(r.ToBmpFile(), f) << int(format) << " width " << width;
        }
    }
}

// The 24-bit file of Pattern(pf24bit, 3, 2), rewritten with top row first.
TEST(BitmapFile, TopDownFileIsStoredBottomUp) {
    const TBitmap b = Pattern(pf24bit, 3, 2);
    Bytes f = b.ToBmpFile();
    Set32(f, 22, static_cast<std::uint32_t>(-2));
    std::swap_ranges(f.begin() + 54, f.begin() + 66, f.begin() + 66);
    const TBitmap r = TBitmap::FromBmpFile(f);
    EXPECT_EQ(r.Height(), 2);
    EXPECT_EQ(r.ToBmpFile(), b.ToBmpFile());
}

// Inserts the extra bytes of a larger information header after the first 40 bytes.
Bytes WithHeaderSize(Bytes f, std::uint32_t size, std::uint32_t compression, bool masksInFile) {
    const std::uint32_t masksSize = masksInFile ? 12 : 0;
    Bytes masks(f.begin() + 54, f.begin() + 54 + masksSize);
    f.erase(f.begin() + 54, f.begin() + 54 + masksSize);
    Bytes extra(size - 40, 0);
    std::copy(masks.begin(), masks.end(), extra.begin());
    f.insert(f.begin() + 54, extra.begin(), extra.end());
    Set32(f, 14, size);
    Set32(f, 30, compression);
    Set32(f, 10, U32(f, 10) + size - 40 - masksSize);
    return f;
}

TEST(BitmapFile, LargerHeadersAndMasks) {
    const TBitmap b565 = Pattern(pf16bit, 3, 2);
    const TBitmap b24 = Pattern(pf24bit, 3, 2);
    for (std::uint32_t size : {108u, 124u}) {
        const TBitmap r = TBitmap::FromBmpFile(WithHeaderSize(b565.ToBmpFile(), size, 3, true));
        EXPECT_EQ(r.PixelFormat(), pf16bit);
        EXPECT_EQ(r.ToBmpFile(), b565.ToBmpFile());
        const TBitmap r24 = TBitmap::FromBmpFile(WithHeaderSize(b24.ToBmpFile(), size, 0, false));
        EXPECT_EQ(r24.ToBmpFile(), b24.ToBmpFile());
    }
    // 5-5-5 with masks, and 32 bits with the 8-8-8 masks.
    Bytes f = b565.ToBmpFile();
    Set32(f, 54, 0x7C00);
    Set32(f, 58, 0x03E0);
    EXPECT_EQ(TBitmap::FromBmpFile(f).PixelFormat(), pf15bit);
    Set32(f, 54, 0x0F00);
    EXPECT_EQ(ReadError(f),
              "Bitmap image is not valid: unsupported colour masks for 16 bits per pixel");
    Bytes f32 = WithHeaderSize(Pattern(pf32bit, 2, 2).ToBmpFile(), 108, 3, false);
    Set32(f32, 54, 0xFF0000);
    Set32(f32, 58, 0xFF00);
    Set32(f32, 62, 0xFF);
    EXPECT_EQ(TBitmap::FromBmpFile(f32).PixelFormat(), pf32bit);
    Set32(f32, 54, 0xFF000000);
    EXPECT_NE(ReadError(f32).find("unsupported colour masks"), std::string::npos);
}

TEST(BitmapFile, ShortColourTable) {
    TBitmap b(2, 1, pf8bit);
    b.SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
    b.ScanLine(0)[0] = 0;
    b.ScanLine(0)[1] = 1;
    Bytes f = b.ToBmpFile();
    f.erase(f.begin() + 62, f.begin() + 1078);
    Set32(f, 46, 2);
    Set32(f, 10, 62);
    const TBitmap r = TBitmap::FromBmpFile(f);
    EXPECT_EQ(r.Palette(), b.Palette());
    EXPECT_EQ(r.ScanLine(0)[0], 0);
    EXPECT_EQ(r.ScanLine(0)[1], 1);
}

TEST(BitmapFile, EveryTruncationIsRefused) {
    for (TPixelFormat format : kAllFormats) {
        const Bytes f = Pattern(format, 5, 3).ToBmpFile();
        for (std::size_t length = 0; length < f.size(); ++length) {
            const std::string message = ReadError(Bytes(f.begin(), f.begin() + length));
            EXPECT_EQ(message.rfind("Bitmap image is not valid: ", 0), 0u)
                << "format " << int(format) << " length " << length << ": " << message;
        }
    }
}

struct Corruption {
    TPixelFormat format;
    std::size_t at, size;
    std::uint32_t value;
    const char* problem;
};

std::ostream& operator<<(std::ostream& os, const Corruption& c) {
    return os << c.problem;
}

class BitmapCorruption : public ::testing::TestWithParam<Corruption> {};

TEST_P(BitmapCorruption, IsRefusedWithItsMessage) {
    const Corruption& c = GetParam();
    Bytes f = Pattern(c.format, 4, 2).ToBmpFile();
    c.size == 2 ? Set16(f, c.at, c.value) : Set32(f, c.at, c.value);
    EXPECT_EQ(ReadError(f), std::string("Bitmap image is not valid: ") + c.problem);
}

INSTANTIATE_TEST_SUITE_P(
    HeaderFields, BitmapCorruption,
    ::testing::Values(
        Corruption{pf24bit, 0, 2, 'B' | 'X' << 8, "not a bitmap file"},
        Corruption{pf24bit, 14, 4, 12, "unsupported header size 12"},
        Corruption{pf24bit, 14, 4, 39, "invalid header size 39"},
        Corruption{pf24bit, 14, 4, 0xFFFFFFFF, "invalid header size 4294967295"},
        Corruption{pf24bit, 18, 4, 0, "invalid width 0"},
        Corruption{pf24bit, 18, 4, 0xFFFFFFFF, "invalid width -1"},
        Corruption{pf24bit, 18, 4, 2000000, "invalid width 2000000"},
        Corruption{pf24bit, 22, 4, 0, "invalid height 0"},
        Corruption{pf24bit, 22, 4, 0x80000000, "invalid height -2147483648"},
        Corruption{pf24bit, 22, 4, 1000001, "invalid height 1000001"},
        Corruption{pf24bit, 18, 4, 1000000, "file is truncated"},
        Corruption{pf24bit, 26, 2, 2, "invalid number of planes 2"},
        Corruption{pf24bit, 28, 2, 7, "invalid bit count 7"},
        Corruption{pf24bit, 30, 4, 1, "unsupported compression 1"},
        Corruption{pf8bit, 30, 4, 2, "unsupported compression 2"},
        Corruption{pf24bit, 30, 4, 3, "unsupported compression 3 with 24 bits per pixel"},
        Corruption{pf8bit, 46, 4, 257, "invalid number of colours 257"},
        Corruption{pf1bit, 46, 4, 3, "invalid number of colours 3"},
        Corruption{pf24bit, 10, 4, 1000, "pixel offset 1000 is beyond the end of the file"},
        Corruption{pf24bit, 10, 4, 0xFFFFFFFF,
                   "pixel offset 4294967295 is beyond the end of the file"},
        Corruption{pf8bit, 10, 4, 100, "pixel offset 100 overlaps the headers"},
        Corruption{pf16bit, 10, 4, 60, "pixel offset 60 overlaps the headers"},
        Corruption{pf24bit, 10, 4, 60, "file is truncated"}));

TEST(BitmapFile, FileSizeAndImageSizeFieldsAreNotTrusted) {
    Bytes f = Pattern(pf24bit, 3, 2).ToBmpFile();
    Set32(f, 2, 0xFFFFFFFF);
    Set32(f, 34, 0);
    EXPECT_EQ(TBitmap::FromBmpFile(f).ToBmpFile(), Pattern(pf24bit, 3, 2).ToBmpFile());
}

TEST(BitmapFile, SaveAndLoad) {
    const std::string path = ::testing::TempDir() + "varimark_bitmap_test.bmp";
    const TBitmap b = Pattern(pf4bit, 7, 5);
    b.SaveToFile(path);
    EXPECT_EQ(TBitmap::LoadFromFile(path).ToBmpFile(), b.ToBmpFile());
    WriteFileReplacing(path, std::string_view("BM"));
    EXPECT_THROW(TBitmap::LoadFromFile(path), EBitmapError);
    std::remove(path.c_str());
    try {
        TBitmap::LoadFromFile(path);
        ADD_FAILURE();
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file " + path + ": No such file or directory");
    }
}

} // namespace
