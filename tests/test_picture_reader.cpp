// The picture reader, on files ImageMagick writes from pixels we know (and on our own CLI's
// renderings), and on bad input: empty, garbage, truncated, and headers that claim a
// picture too large to hold.
#include "ByteReading.h"
#include "FileTesting.h"
#include "export/PictureReader.h"
#include "varimark/error.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <functional>

using namespace varimark;

namespace {

using TRgba = std::array<int, 4>;
using TPattern = std::function<TRgba(int x, int y)>;
constexpr int kW = 13, kH = 11; // odd: row padding, bit packing and every interlace pass

// Eight colours in little squares; pure red reads white, pure blue black.
TRgba Colours(int x, int y) {
    static constexpr TRgba k[8] = {{255, 0, 0, 255},     {0, 0, 255, 255},   {0, 255, 0, 255},
                                   {255, 255, 255, 255}, {0, 0, 0, 255},     {200, 30, 60, 255},
                                   {90, 90, 90, 255},    {30, 200, 250, 255}};
    return k[(x / 2 + y / 2 * 3) % 8];
}
TRgba Greys(int x, int y) {
    const int v = (x * 19 + y * 23) % 256;
    return {v, v, v, 255};
}
TRgba BlackWhite(int x, int y) {
    const int v = (x + 2 * y) % 3 == 0 ? 0 : 255;
    return {v, v, v, 255};
}
TRgba Translucent(int x, int y) {
    static constexpr int alpha[3] = {0, 77, 255};
    return {40 * (x % 7), 100, 50, alpha[(x + y) % 3]};
}
TRgba SeeThrough(int x, int y) { // GIF: a pixel is opaque or not at all
    return {(x * 40) % 256, 0, 0, (x + y) % 2 ? 255 : 0};
}
TRgba Blocks(int x, int y) { // JPEG: 8 x 8 squares of one colour each
    return Colours((x / 8) * 2, (y / 8) * 2);
}

// The level a scanner sees: red over white.
int Expected(const TRgba& c) {
    return (c[0] * c[3] + 255 * (255 - c[3]) + 127) / 255;
}

// The pattern as a PAM file (RGB and alpha) for ImageMagick.
void WritePam(const std::string& path, int w, int h, const TPattern& pattern) {
    std::ofstream out(path, std::ios::binary);
    out << "P7\nWIDTH " << w << "\nHEIGHT " << h
        << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int v : pattern(x, y)) out.put(static_cast<char>(v));
}

// A BMP turned top-down: rows reversed, the height negated.
Bytes TopDown(Bytes b) {
    const std::uint32_t at = U32(b, 10), w = U32(b, 18), h = U32(b, 22), depth = U16(b, 28);
    const std::size_t stride = (w * depth + 31) / 32 * 4;
    for (std::uint32_t y = 0; y < h / 2; ++y)
        std::swap_ranges(b.begin() + at + y * stride, b.begin() + at + (y + 1) * stride,
                         b.begin() + at + (h - 1 - y) * stride);
    const std::uint32_t negative = ~h + 1;
    for (int i = 0; i < 4; ++i) b[22 + i] = static_cast<std::uint8_t>(negative >> (8 * i));
    return b;
}

// A 24-bit BMP (of black and white only) as 16 bits, 5-6-5, with its bit fields after a
// 40-byte header.
Bytes To565(Bytes b) {
    const std::uint32_t at = U32(b, 10), w = U32(b, 18), h = U32(b, 22);
    const std::size_t from = (w * 24 + 31) / 32 * 4, to = (w * 16 + 31) / 32 * 4;
    Bytes out(b.begin(), b.begin() + 54);
    for (std::uint32_t mask : {0xF800u, 0x07E0u, 0x001Fu})
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(mask >> (8 * i)));
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::size_t x = 0; x < to / 2; ++x) {
            const bool white = x < w && b.at(at + y * from + x * 3) != 0;
            out.push_back(white ? 0xFF : 0), out.push_back(white ? 0xFF : 0);
        }
    out[10] = 54 + 12, out[11] = out[12] = out[13] = 0; // where the pixels start
    out[28] = 16, out[30] = 3;                          // 16 bits in bit fields
    return out;
}

struct TCase {
    const char* name;
    TPattern pattern;
    int w, h;
    const char* convert;   // ImageMagick's options and output (FORMAT:file)
    int tolerance;         // in levels
    double dpi;            // -1: not checked
    int byteAt, byteValue; // a byte of the file that shows the case is what it says (-1: none)
    Bytes (*change)(Bytes) = nullptr; // applied to the file before reading
};

const TCase kCases[] = {
    {"PngRgb", Colours, kW, kH, "PNG24:out.png", 0, 0, 25, 2},
    {"PngPalette", Colours, kW, kH, "PNG8:out.png", 0, -1, 25, 3},
    {"Png16Bit", Colours, kW, kH, "-depth 16 PNG48:out.png", 0, -1, 24, 16},
    {"PngGrey", Greys, kW, kH, "-type Grayscale PNG:out.png", 0, -1, 25, 0},
    {"PngOneBit", BlackWhite, kW, kH, "-type Bilevel PNG:out.png", 0, -1, 24, 1},
    {"PngTranslucent", Translucent, kW, kH, "PNG32:out.png", 0, -1, 25, 6},
    {"PngInterlaced", Colours, kW, kH, "-interlace PNG PNG24:out.png", 0, -1, 28, 1},
    {"PngDpi", Colours, kW, kH, "-units PixelsPerInch -density 300 PNG24:out.png", 0, 300, -1, 0},
    {"Bmp24", Colours, kW, kH, "-units PixelsPerInch -density 300 BMP3:out.bmp", 0, 300, 28, 24},
    {"BmpPalette", Colours, kW, kH, "-type Palette BMP3:out.bmp", 0, -1, 28, 4},
    {"BmpOneBit", BlackWhite, kW, kH, "-type Bilevel BMP3:out.bmp", 0, -1, 28, 1},
    {"BmpTopDown", Colours, kW, kH, "BMP3:out.bmp", 0, -1, 25, 0xFF, TopDown},
    {"BmpAlpha", Translucent, kW, kH, "BMP:out.bmp", 0, -1, 28, 32},
    {"Bmp16Bit", BlackWhite, kW, kH, "BMP3:out.bmp", 0, -1, 28, 16, To565},
    {"TiffRgbLzw", Colours, kW, kH, "-compress LZW -type TrueColor TIFF:out.tif", 0, -1, -1, 0},
    {"TiffPalette", Colours, kW, kH, "-type Palette TIFF:out.tif", 0, -1, -1, 0},
    {"Tiff16BitGrey", Greys, kW, kH, "-depth 16 -type Grayscale TIFF:out.tif", 0, -1, -1, 0},
    {"TiffMinIsWhite", BlackWhite, kW, kH,
     "-type Bilevel -define tiff:photometric=min-is-white TIFF:out.tif", 0, -1, -1, 0},
    {"TiffTranslucent", Translucent, kW, kH, "TIFF:out.tif", 1, -1, -1, 0},
    {"TiffTiledCm", Colours, kW, kH,
     "-define tiff:tile-geometry=16x16 -units PixelsPerCentimeter -density 100 TIFF:out.tif", 0,
     254, -1, 0},
    {"Gif", Colours, kW, kH, "-units PixelsPerInch -density 300 GIF:out.gif", 0, 0, -1, 0},
    {"GifInterlaced", Colours, kW, kH, "-interlace GIF GIF:out.gif", 0, -1, -1, 0},
    {"GifTransparent", SeeThrough, kW, kH, "GIF:out.gif", 0, -1, -1, 0},
    {"Jpeg", Blocks, 16, 16,
     "-quality 100 -sampling-factor 1x1 -units PixelsPerInch -density 300 JPG:out.jpg", 6, 300, -1,
     0},
    {"JpegCmyk", Blocks, 16, 16, "-quality 100 -colorspace CMYK JPG:out.jpg", 8, -1, -1, 0},
    {"JpegGrey", Greys, kW, kH, "-quality 100 -type Grayscale JPG:out.jpg", 4, -1, -1, 0},
};

void PrintTo(const TCase& c, std::ostream* os) {
    *os << c.name;
}

class PictureReader : public ::testing::TestWithParam<TCase> {};

TEST_P(PictureReader, ReadsTheLevelsAScannerSees) {
    const TCase& c = GetParam();
    TScratchFolder dir;
    WritePam(dir.Path("in.pam"), c.w, c.h, c.pattern);
    const std::string output = std::string(c.convert).substr(std::string(c.convert).rfind(':') + 1);
    const auto [status, said] =
        RunShell("cd '" + dir.Dir() + "' && convert in.pam " + c.convert + " 2>&1");
    ASSERT_EQ(status, 0) << said;
    Bytes file = ReadWholeFile<Bytes>(dir.Path(output));
    if (c.change != nullptr) {
        file = c.change(file);
        std::ofstream(dir.Path(output), std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    }
    if (c.byteAt >= 0) {
        ASSERT_EQ(file.at(c.byteAt), c.byteValue) << "the file has another layout";
    }
    const TGreyPicture picture = ReadGreyPictureFile(dir.Path(output));
    ASSERT_EQ(picture.width, c.w);
    ASSERT_EQ(picture.height, c.h);
    ASSERT_EQ(picture.level.size(), std::size_t(c.w) * c.h);
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x)
            ASSERT_NEAR(picture.level[y * c.w + x], Expected(c.pattern(x, y)), c.tolerance)
                << "at " << x << "," << y;
    if (c.dpi >= 0) {
        EXPECT_NEAR(picture.dpiX, c.dpi, 0.01);
        EXPECT_NEAR(picture.dpiY, c.dpi, 0.01);
    }
    // The same bytes read the same way whatever the file is called.
    EXPECT_EQ(ReadGreyPicture(file).level, picture.level);
}

INSTANTIATE_TEST_SUITE_P(Formats, PictureReader, ::testing::ValuesIn(kCases),
                         [](const auto& test) { return std::string(test.param.name); });

// Our own renderings: wherever the PNG is black or white, every other format reads the same
// (the JPEG close to it); GIF and TIFF store the grey edges of the text in their palettes.
TEST(PictureReaderOnRenderings, EveryFormatReadsTheSameBars) {
    TScratchFolder dir;
    std::vector<TGreyPicture> pictures;
    for (const char* format : {"png", "bmp", "gif", "tif", "jpg"}) {
        const std::string path = dir.Path(std::string("ean.") + format);
        const auto [status, said] =
            RunShell(std::string(VARIMARK_CLI) + " render --type EAN_13 -o '" + path +
                     "' 400638133393 2>&1");
        ASSERT_EQ(status, 0) << said;
        pictures.push_back(ReadGreyPictureFile(path));
        SCOPED_TRACE(format);
        const TGreyPicture& png = pictures[0];
        ASSERT_EQ(pictures.back().width, png.width);
        ASSERT_EQ(pictures.back().height, png.height);
        const int tolerance = std::string(format) == "jpg" ? 40 : 0;
        std::size_t off = 0;
        for (std::size_t i = 0; i < png.level.size(); ++i)
            off += (png.level[i] == 0 || png.level[i] == 255) &&
                   std::abs(pictures.back().level[i] - png.level[i]) > tolerance;
        EXPECT_EQ(off, 0u);
    }
    const auto& levels = pictures[0].level;
    const auto black = std::count(levels.begin(), levels.end(), 0);
    const auto white = std::count(levels.begin(), levels.end(), 255);
    EXPECT_GT(black, std::ptrdiff_t(levels.size() / 10));
    EXPECT_GT(black + white, std::ptrdiff_t(levels.size() * 95 / 100));
}

// --- Bad input ------------------------------------------------------------------------------

// The CRC of a PNG chunk's type and data.
std::uint32_t Crc(const Bytes& b, std::size_t from, std::size_t to) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = from; i < to; ++i) {
        crc ^= b[i];
        for (int k = 0; k < 8; ++k) crc = crc >> 1 ^ (crc & 1 ? 0xEDB88320 : 0);
    }
    return ~crc;
}

// A PNG chunk, its length before and its CRC after.
void AddChunk(Bytes& b, const std::string& type, const Bytes& data) {
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(data.size() >> (8 * i)));
    const std::size_t from = b.size();
    b.insert(b.end(), type.begin(), type.end());
    b.insert(b.end(), data.begin(), data.end());
    const std::uint32_t crc = Crc(b, from, b.size());
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
}

Bytes HugePng() {
    Bytes b = Hex("89504E470D0A1A0A");
    AddChunk(b, "IHDR", Hex("000186A0 000186A0 08 00 00 00 00"));
    AddChunk(b, "IDAT", {});
    return b;
}

// The message of the Error that reading the bytes raises ("" when none is raised).
std::string Refusal(const Bytes& bytes) {
    try {
        ReadGreyPicture(bytes);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

// A picture of each format, from ImageMagick.
Bytes Written(const std::string& target) {
    TScratchFolder dir;
    WritePam(dir.Path("in.pam"), 40, 30, Colours);
    const std::string name = target.substr(target.find(':') + 1);
    RunShell("cd '" + dir.Dir() + "' && convert in.pam " + target + " 2>&1");
    return ReadWholeFile<Bytes>(dir.Path(name));
}

Bytes Cut(Bytes b) {
    b.resize(b.size() * 2 / 3);
    return b;
}

TEST(PictureReaderRefuses, BadInputWithAMessage) {
    const std::string notAPicture = "not a PNG, BMP, TIFF, GIF or JPEG picture";
    const std::string tooLarge = "the picture is larger than 67108864 pixels";
    const struct {
        const char* name;
        Bytes bytes;
        std::string message;
    } cases[] = {
        {"empty", {}, notAPicture},
        {"garbage", Hex("48656C6C6F2C20776F726C64"), notAPicture},
        {"PNG signature alone", Hex("89504E470D0A1A0A"), "truncated PNG picture"},
        {"truncated PNG", Cut(Written("PNG24:a.png")), "truncated PNG picture"},
        {"truncated BMP", Cut(Written("BMP3:a.bmp")), "truncated BMP picture"},
        {"truncated GIF", Cut(Written("GIF:a.gif")), "truncated GIF picture"},
        {"truncated JPEG", Cut(Written("JPG:a.jpg")), "truncated JPEG picture"},
        {"truncated TIFF", Cut(Written("-compress none TIFF:a.tif")), "truncated TIFF picture"},
        {"TIFF header alone", Hex("49492A00 08000000"), "truncated TIFF picture"},
        {"RLE BMP", Written("-type Palette -compress RLE BMP3:a.bmp"),
         "RLE-compressed BMP pictures are not read"},
        {"huge PNG", HugePng(), tooLarge + " (100000 x 100000)"},
        {"huge BMP",
         Hex("424D 00000000 00000000 36000000 28000000 A0860100 A0860100 0100 1800 00000000"
             "00000000 00000000 00000000 00000000 00000000"),
         tooLarge + " (100000 x 100000)"},
        {"upside-down BMP of no rows",
         Hex("424D 00000000 00000000 36000000 28000000 01000000 00000000 0100 1800 00000000"
             "00000000 00000000 00000000 00000000 00000000"),
         "the BMP picture has no pixels (1 x 0)"},
        {"huge GIF", Hex("474946383961 FFFF FFFF 00 00 00 2C 0000 0000 FFFF FFFF 00 02 00 3B"),
         tooLarge + " (65535 x 65535)"},
        {"huge TIFF",
         Hex("49492A00 08000000 0600"
             "0001 0400 01000000 A0860100" // width
             "0101 0400 01000000 A0860100" // height
             "0201 0300 01000000 08000000" // 8 bits
             "0601 0300 01000000 01000000" // black is zero
             "1101 0400 01000000 08000000" // the strip's offset
             "1701 0400 01000000 01000000" // and length
             "00000000"),
         tooLarge + " (100000 x 100000)"},
        {"huge JPEG", Hex("FFD8 FFC0 000B 08 FFDC FFDC 01 011100 FFDA 0008 01 0100 003F00 FFD9"),
         tooLarge + " (65500 x 65500)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NE(Refusal(c.bytes).find(c.message), std::string::npos) << Refusal(c.bytes);
    }
}

TEST(PictureReaderRefuses, FilesItCannotReadNamingThem) {
    TScratchFolder dir;
    std::ofstream(dir.Path("notes.png")) << "hello";
    const struct {
        std::string path, message;
    } cases[] = {
        {dir.Path("missing.png"), dir.Path("missing.png") + ": no such file"},
        {dir.Dir(), dir.Dir() + ": cannot be read"},
        {dir.Path("notes.png"), dir.Path("notes.png") + ": not a PNG, BMP"},
    };
    for (const auto& c : cases) {
        std::string message;
        try {
            ReadGreyPictureFile(c.path);
        } catch (const Error& e) {
            message = e.what();
        }
        EXPECT_EQ(message.rfind(c.message, 0), 0u) << message;
    }
}

} // namespace
