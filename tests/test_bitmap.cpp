// The picture in memory and its Windows bitmap file.
#include "ByteReading.h"
#include "FileTesting.h"
#include "export/Bitmap.h"
#include "export/FileWriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace varimark;

namespace {

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
        for (int y = 0; y < height; ++y)
            b.ScanLine(y)[used - 1] &= static_cast<std::uint8_t>(0xFF00 >> rest);
    return b;
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
    EXPECT_THROW(b.ScanLine(3), EBitmap);
    EXPECT_THROW(b.ScanLine(-1), EBitmap);
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
        } catch (const EBitmap& e) {
            EXPECT_STREQ(e.what(), "Invalid pixel format");
        }
    }
    EXPECT_THROW(TBitmap(-1, 1, pf24bit), EBitmap);
    const TBitmap empty;
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(empty.PixelFormat(), pfDevice);
    EXPECT_EQ(empty.BitsPerPixel(), kDisplayBitsPerPixel);
}

// The file holds what ToBmpFile gives; a file that cannot be made raises EFile.
TEST(BitmapFile, SaveToFile) {
    TScratchFolder folder;
    const std::string path = folder.Path("picture.bmp");
    for (TPixelFormat format : kAllFormats) {
        const TBitmap b = Pattern(format, 7, 5);
        b.SaveToFile(path);
        EXPECT_EQ(ReadWholeFile<Bytes>(path), b.ToBmpFile()) << int(format);
    }
    // Fill bytes that hold something are written as zeros.
    TBitmap dirty = Pattern(pf24bit, 7, 1);
    dirty.ScanLine(0)[21] = 0xFF;
    dirty.SaveToFile(path);
    const Bytes file = ReadWholeFile<Bytes>(path);
    ASSERT_EQ(file.size(), 54u + 24);
    EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 75),
              Bytes(dirty.ScanLine(0), dirty.ScanLine(0) + 21));
    EXPECT_EQ(Bytes(file.begin() + 75, file.end()), Bytes(3, 0));
    EXPECT_THROW(Pattern(pf4bit, 7, 5).SaveToFile(folder.Path("missing/picture.bmp")), EFile);
}

// The file made in place is the file ToBmpFile gives, in every format, with dirty fill
// and converted pictures too; the picture is left empty.
TEST(BitmapFile, TakeBmpFileIsTheFile) {
    std::vector<TBitmap> pictures;
    for (TPixelFormat format : kAllFormats) pictures.push_back(Pattern(format, 7, 5));
    pictures.push_back(Pattern(pf24bit, 7, 1));
    pictures.back().ScanLine(0)[21] = 0xFF; // fill that holds something
    pictures.push_back(Pattern(pf8bit, 3, 4));
    pictures.back().SetPixelFormat(pf1bit);
    pictures.push_back(Pattern(pfDevice, 2, 2));
    pictures.back().SetPixelFormat(pf24bit);
    pictures.emplace_back(); // never sized
    pictures.emplace_back(0, 3, pf4bit);
    for (TBitmap& b : pictures) {
        const Bytes expected = b.ToBmpFile();
        const int format = b.PixelFormat();
        EXPECT_EQ(std::move(b).TakeBmpFile(), expected) << format;
        EXPECT_TRUE(b.Empty() && b.Bits().empty()) << format;
    }
}

} // namespace
