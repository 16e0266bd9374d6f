// The picture reader, on files ImageMagick writes from pixels we know (and on our own CLI's
// renderings), and on bad input: empty, garbage, truncated, headers that claim a picture too
// large to hold, files that would cost far more than their picture (many compressed texts,
// many progressive scans), and resolutions no scanner has.
#include "ByteReading.h"
#include "FileTesting.h"
#include "varimark/error.h"
#include "verify/PictureReader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>

#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

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

// --- Files that cost more than their picture ------------------------------------------------

// A 1 x 1 grey PNG (white), with these chunks before its pixels.
Bytes OnePixelPng(const Bytes& chunks) {
    Bytes b = Hex("89504E470D0A1A0A");
    AddChunk(b, "IHDR", Hex("00000001 00000001 08 00 00 00 00"));
    b.insert(b.end(), chunks.begin(), chunks.end());
    const Bytes row = {0, 255}; // filter, pixel
    Bytes packed(compressBound(row.size()));
    uLongf size = packed.size();
    compress(packed.data(), &size, row.data(), row.size());
    packed.resize(size);
    AddChunk(b, "IDAT", packed);
    AddChunk(b, "IEND", {});
    return b;
}

// The peak of this process's resident memory, in KB.
long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

TEST(PictureReaderBounds, ManyCompressedTextsAreNeitherInflatedNorKept) {
    // 100 zTXt chunks of 7.9 MB of letters each, 8 KB compressed: inflated and kept, 790 MB.
    const Bytes text(7'900'000, 'A');
    Bytes packed(compressBound(text.size()));
    uLongf size = packed.size();
    ASSERT_EQ(compress2(packed.data(), &size, text.data(), text.size(), 9), Z_OK);
    packed.resize(size);
    Bytes chunk, chunks;
    Bytes data = Hex("436F6D6D656E74 00 00"); // "Comment", deflate
    data.insert(data.end(), packed.begin(), packed.end());
    AddChunk(chunk, "zTXt", data);
    for (int i = 0; i < 100; ++i) chunks.insert(chunks.end(), chunk.begin(), chunk.end());
    const Bytes png = OnePixelPng(chunks);
    // In a child, whose peak memory starts at what it holds (the file): the reading's own peak.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const long before = PeakKilobytes();
        int code = 3;
        try {
            const TGreyPicture picture = ReadGreyPicture(png);
            code = picture.width == 1 && picture.height == 1 && picture.level[0] == 255 ? 0 : 2;
        } catch (const Error&) {
        }
        if (code == 0 && (before < 0 || PeakKilobytes() - before > 64 * 1024)) code = 1;
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: 64 MB more memory or more, 2: not the white pixel, "
                                         "3: refused";
}

// A JPEG marker segment: its marker, its length, its bytes.
void AddSegment(Bytes& b, int marker, const Bytes& payload) {
    const std::size_t length = payload.size() + 2;
    b.insert(b.end(), {0xFF, static_cast<std::uint8_t>(marker),
                       static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
    b.insert(b.end(), payload.begin(), payload.end());
}

// A grey progressive JPEG of `scans` scans of coefficients 1 to 63 that each end every block
// at once: end-of-band runs of 32767 blocks, 15 bits each (the one code of the table, 0, and
// 14 bits of 1). libjpeg goes over every block in each scan; the picture is mid-grey.
Bytes ProgressiveJpeg(int width, int height, int scans) {
    Bytes b = Hex("FFD8");
    Bytes quantisation(65, 1); // table 0, all ones
    quantisation[0] = 0;
    AddSegment(b, 0xDB, quantisation);
    AddSegment(b, 0xC2,
               {8, std::uint8_t(height >> 8), std::uint8_t(height), std::uint8_t(width >> 8),
                std::uint8_t(width), 1, 1, 0x11, 0});
    AddSegment(b, 0xC4, Hex("10 01000000000000000000000000000000 E0")); // AC 0: EOB14 alone
    Bytes runs;
    const long long blocks = (width + 7LL) / 8 * ((height + 7LL) / 8);
    unsigned bits = 0, count = 0;
    for (long long run = 0; run < (blocks + 32766) / 32767; ++run)
        for (int i = 0; i < 15; ++i) {
            bits = bits << 1 | (i == 0 ? 0 : 1), ++count;
            if (count == 8) {
                runs.push_back(static_cast<std::uint8_t>(bits));
                if (bits == 0xFF) runs.push_back(0); // stuffed
                bits = count = 0;
            }
        }
    if (count > 0) runs.push_back(static_cast<std::uint8_t>(bits << (8 - count) | 0xFF >> count));
    if (runs.back() == 0xFF) runs.push_back(0);
    for (int scan = 0; scan < scans; ++scan) {
        AddSegment(b, 0xDA, Hex("01 0100 01 3F 00")); // component 1, coefficients 1..63
        b.insert(b.end(), runs.begin(), runs.end());
    }
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

struct TTiffResolution {
    std::uint32_t numerator, denominator;
    std::uint16_t unit;
};

// A grey TIFF of 8 bits, with these strips (JPEG streams when compression is 7) and
// resolution.
Bytes GreyTiff(std::uint32_t width, std::uint32_t height, std::uint16_t compression,
               std::uint32_t rowsPerStrip, const std::vector<Bytes>& strips,
               std::optional<TTiffResolution> resolution = {}) {
    const auto count = static_cast<std::uint32_t>(strips.size());
    const std::uint32_t entries = resolution ? 12 : 9;
    std::uint32_t at = 8 + 2 + 12 * entries + 4;
    const std::uint32_t offsetsAt = at, countsAt = at + (count > 1 ? 4 * count : 0);
    const std::uint32_t resolutionAt = countsAt + (count > 1 ? 4 * count : 0);
    at = resolutionAt + (resolution ? 16 : 0);
    std::vector<std::uint32_t> offsets;
    for (const Bytes& strip : strips) offsets.push_back(at), at += std::uint32_t(strip.size());
    Bytes b = Hex("49492A00 08000000");
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    const auto entry = [&](int tag, int type, std::uint32_t n, std::uint32_t value) {
        put(tag, 2), put(type, 2), put(n, 4), put(value, 4);
    };
    put(entries, 2);
    entry(256, 4, 1, width);
    entry(257, 4, 1, height);
    entry(258, 3, 1, 8);
    entry(259, 3, 1, compression);
    entry(262, 3, 1, 1); // black is zero
    entry(273, 4, count, count > 1 ? offsetsAt : offsets[0]);
    entry(277, 3, 1, 1);
    entry(278, 4, 1, rowsPerStrip);
    entry(279, 4, count, count > 1 ? countsAt : std::uint32_t(strips[0].size()));
    if (resolution) {
        entry(282, 5, 1, resolutionAt);
        entry(283, 5, 1, resolutionAt + 8);
        entry(296, 3, 1, resolution->unit);
    }
    put(0, 4);
    if (count > 1) {
        for (std::uint32_t offset : offsets) put(offset, 4);
        for (const Bytes& strip : strips) put(std::uint32_t(strip.size()), 4);
    }
    if (resolution)
        for (int i = 0; i < 2; ++i) put(resolution->numerator, 4), put(resolution->denominator, 4);
    for (const Bytes& strip : strips) b.insert(b.end(), strip.begin(), strip.end());
    return b;
}

bool HasMarker(const Bytes& b, std::uint8_t marker) {
    for (std::size_t i = 0; i + 1 < b.size(); ++i)
        if (b[i] == 0xFF && b[i + 1] == marker) return true;
    return false;
}

TEST(PictureReaderBounds, ProgressiveScans) {
    // ImageMagick's progressive JPEG (libjpeg's own progression: 6 scans for grey, 10 for
    // colour), alone and as the strip of a TIFF; its baseline JPEG in TIFF.
    const Bytes grey = Written("-type Grayscale -interlace JPEG JPG:a.jpg");
    const Bytes colour = Written("-interlace JPEG JPG:a.jpg");
    ASSERT_TRUE(HasMarker(grey, 0xC2) && HasMarker(colour, 0xC2)) << "not progressive";
    const Bytes tiffJpeg = Written("-compress JPEG TIFF:a.tif");
    // 8192 x 8192 in strips of 512 rows, each 17 scans over its 2^16 blocks: 17 x 2^20 in all.
    const std::vector<Bytes> strips(16, ProgressiveJpeg(8192, 512, 17));
    const std::string most = "; at most 64 are read";
    const std::string blocks = " blocks of 8 x 8 pixels in all; at most 16777216 are read";
    const struct {
        const char* name;
        Bytes bytes;
        std::string message; // "": read
    } cases[] = {
        {"ImageMagick's grey", grey, ""},
        {"ImageMagick's colour", colour, ""},
        {"ImageMagick's grey in TIFF", GreyTiff(40, 30, 7, 30, {grey}), ""},
        {"ImageMagick's TIFF with JPEG", tiffJpeg, ""},
        {"64 scans", ProgressiveJpeg(16, 16, 64), ""},
        {"65 scans", ProgressiveJpeg(16, 16, 65),
         "the JPEG picture has 65 progressive scans" + most},
        {"499 scans", ProgressiveJpeg(16, 16, 499),
         "the JPEG picture has 499 progressive scans" + most},
        // 2^18 blocks: 64 scans over them are the most that is read.
        {"4096 x 4096, 64 scans", ProgressiveJpeg(4096, 4096, 64), ""},
        {"4104 x 4096, 64 scans", ProgressiveJpeg(4104, 4096, 64),
         "the JPEG picture has 64 progressive scans over 16809984" + blocks},
        {"TIFF strip of 65 scans", GreyTiff(16, 16, 7, 16, {ProgressiveJpeg(16, 16, 65)}),
         "the TIFF picture's strip 1 of 1 has 65 progressive scans" + most},
        {"TIFF strips of 17 scans", GreyTiff(8192, 8192, 7, 512, strips),
         "the TIFF picture's JPEG data has 272 progressive scans over 17825792" + blocks},
        {"2^18 + 1 TIFF strips", GreyTiff(1, 262145, 7, 1, std::vector<Bytes>(262145, {0xFF})),
         "the TIFF picture has 262145 JPEG strips; at most 262144 are read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Refusal(c.bytes), c.message);
    }
}

// --- Stated resolutions ---------------------------------------------------------------------

// A 1 x 1 PNG stating so many pixels per unit (1: per metre, 0: an aspect ratio).
Bytes PngResolution(std::uint32_t x, std::uint32_t y, std::uint8_t unit) {
    Bytes phys;
    for (std::uint32_t v : {x, y})
        for (int i = 3; i >= 0; --i) phys.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    phys.push_back(unit);
    Bytes chunk;
    AddChunk(chunk, "pHYs", phys);
    return OnePixelPng(chunk);
}

// A 1 x 1 BMP of 24 bits stating so many pixels per metre.
Bytes BmpResolution(std::int32_t x, std::int32_t y) {
    Bytes b = Hex("424D 3A000000 00000000 36000000 28000000 01000000 01000000 0100 1800 00000000"
                  "04000000 00000000 00000000 00000000 00000000 FFFFFF00");
    for (int i = 0; i < 4; ++i) {
        b[38 + i] = static_cast<std::uint8_t>(std::uint32_t(x) >> (8 * i));
        b[42 + i] = static_cast<std::uint8_t>(std::uint32_t(y) >> (8 * i));
    }
    return b;
}

// ImageMagick's JPEG with its JFIF density changed (unit 1: per inch, 2: per centimetre).
Bytes JpegResolution(std::uint16_t x, std::uint16_t y, std::uint8_t unit) {
    static const Bytes written = Written("JPG:a.jpg");
    Bytes b = written;
    if (b.size() < 18 || std::memcmp(b.data() + 6, "JFIF", 4) != 0) return {};
    b[13] = unit;
    b[14] = static_cast<std::uint8_t>(x >> 8), b[15] = static_cast<std::uint8_t>(x);
    b[16] = static_cast<std::uint8_t>(y >> 8), b[17] = static_cast<std::uint8_t>(y);
    return b;
}

Bytes TiffResolution(std::uint32_t numerator, std::uint32_t denominator, std::uint16_t unit) {
    return GreyTiff(1, 1, 1, 1, {{0x80}}, TTiffResolution{numerator, denominator, unit});
}

TEST(PictureReaderResolution, OutsideOneTo100000DpiIsNone) {
    const std::string outside = " dpi, outside 1 to 100000 dpi";
    const struct {
        const char* name;
        Bytes bytes;
        double dpiX, dpiY;
        std::string note;
    } cases[] = {
        {"PNG, none", OnePixelPng({}), 0, 0, ""},
        {"PNG, aspect ratio", PngResolution(2, 1, 0), 0, 0, ""},
        {"PNG, 11811 per metre", PngResolution(11811, 11811, 1), 299.9994, 299.9994, ""},
        {"PNG, 40 and 3937007 per metre", PngResolution(40, 3937007, 1), 1.016, 99999.98, ""},
        {"PNG, 0 per metre", PngResolution(0, 0, 1), 0, 0, "the file states 0" + outside},
        {"PNG, 39 per metre", PngResolution(39, 39, 1), 0, 0, "the file states 0.9906" + outside},
        {"PNG, 1 per metre", PngResolution(1, 1, 1), 0, 0, "the file states 0.0254" + outside},
        {"PNG, 3937008 per metre", PngResolution(3937008, 3937008, 1), 0, 0,
         "the file states 100000.0032" + outside},
        {"PNG, 4294967295 per metre", PngResolution(4294967295, 4294967295, 1), 0, 0,
         "the file states 109092169.3" + outside},
        {"PNG, 11811 x 1 per metre", PngResolution(11811, 1, 1), 0, 0,
         "the file states 299.9994 x 0.0254" + outside},
        // 0 is what BMP writers (ImageMagick among them) put when they state none.
        {"BMP, 0", BmpResolution(0, 0), 0, 0, ""},
        {"BMP, 11811 per metre", BmpResolution(11811, 11811), 299.9994, 299.9994, ""},
        {"BMP, 1 per metre", BmpResolution(1, 1), 0, 0, "the file states 0.0254" + outside},
        {"BMP, -11811 per metre", BmpResolution(-11811, -11811), 0, 0,
         "the file states -299.9994" + outside},
        {"BMP, 4000000 per metre", BmpResolution(4000000, 4000000), 0, 0,
         "the file states 101600" + outside},
        {"TIFF, 300 per inch", TiffResolution(300, 1, 2), 300, 300, ""},
        {"TIFF, 1000 per centimetre", TiffResolution(1000, 1, 3), 2540, 2540, ""},
        {"TIFF, no unit", TiffResolution(300, 1, 1), 0, 0, ""},
        {"TIFF, 0 per inch", TiffResolution(0, 1, 2), 0, 0, "the file states 0" + outside},
        {"TIFF, 1/2 per inch", TiffResolution(1, 2, 2), 0, 0, "the file states 0.5" + outside},
        {"TIFF, 200000 per inch", TiffResolution(200000, 1, 2), 0, 0,
         "the file states 200000" + outside},
        {"TIFF, 50000 per centimetre", TiffResolution(50000, 1, 3), 0, 0,
         "the file states 127000" + outside},
        {"JPEG, 300 per inch", JpegResolution(300, 300, 1), 300, 300, ""},
        {"JPEG, aspect ratio", JpegResolution(1, 1, 0), 0, 0, ""},
        {"JPEG, 0 per inch", JpegResolution(0, 0, 1), 0, 0, "the file states 0" + outside},
        {"JPEG, 65535 per inch", JpegResolution(65535, 65535, 1), 65535, 65535, ""},
        {"JPEG, 65535 per centimetre", JpegResolution(65535, 65535, 2), 0, 0,
         "the file states 166458.9" + outside},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TGreyPicture picture;
        ASSERT_NO_THROW(picture = ReadGreyPicture(c.bytes)) << Refusal(c.bytes);
        EXPECT_NEAR(picture.dpiX, c.dpiX, 0.01);
        EXPECT_NEAR(picture.dpiY, c.dpiY, 0.01);
        EXPECT_EQ(picture.resolutionNote, c.note);
    }
}

} // namespace
