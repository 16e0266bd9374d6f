// The JPEG, enhanced metafile and PNG writers, checked with independent readers: libjpeg
// decodes the JPEG data, emf2svg-conv converts the metafile, libpng decodes the PNG data.
#include "ByteReading.h"
#include "FileTesting.h"
#include "PixelTesting.h"
#include "export/FileWriter.h"
#include "export/JPEGImage.h"
#include "export/Metafile.h"
#include "export/PngWriter.h"

#include <gtest/gtest.h>

#include <cstdio> // before jpeglib.h
#include <jerror.h>
#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

using namespace varimark;

namespace fs = std::filesystem;

namespace {

struct Rgb {
    int r, g, b;
};
using IndexFn = std::function<int(int x, int y)>;

// A picture whose pixel (x, y) has colours[index(x, y)]; palette formats get the colours
// as their palette, 15/16-bit ones need colours whose samples are 0 or 255.
TBitmap Picture(TPixelFormat format, int w, int h, const std::vector<Rgb>& colours,
                const IndexFn& index) {
    TBitmap b(w, h, format);
    const int bits = b.BitsPerPixel();
    if (bits <= 8) {
        std::vector<TRGBQuad> palette;
        for (const Rgb& c : colours)
            palette.push_back({std::uint8_t(c.b), std::uint8_t(c.g), std::uint8_t(c.r), 0});
        palette.resize(std::size_t{1} << bits);
        b.SetPalette(palette);
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int k = index(x, y);
            const Rgb c = colours[k];
            if (bits <= 8)
                SetIndex(b, x, y, k);
            else if (bits == 16)
                SetWord(b, x, y,
                        format == pf16bit ? (c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3
                                          : (c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3);
            else
                SetRgb(b, x, y, c.r, c.g, c.b);
        }
    return b;
}

const std::vector<Rgb> kBlackWhite = {{0, 0, 0}, {255, 255, 255}};
// Bars of irregular widths, and a black block in the top rows only (upside down shows).
int Bars(int x, int y) {
    return y < 8 ? 0 : (x / 3 + x / 7) % 2;
}

class TempDir : public ::testing::Test {
protected:
    const TScratchFolder scratch_;
    const fs::path dir_{scratch_.Dir()};
};

// ---------------------------------------------------------------- JPEG

// A decoded picture: RGB samples, rows from the top.
struct Decoded {
    int width = 0, height = 0, components = 0;
    std::vector<std::uint8_t> rgb;
};

// Mean and largest absolute difference of the decoded samples from the picture.
std::pair<double, int> Difference(const Decoded& d, const std::vector<Rgb>& colours,
                                  const IndexFn& index) {
    if (d.rgb.size() != std::size_t(d.width) * d.height * 3 || d.rgb.empty()) return {255, 255};
    double sum = 0;
    int worst = 0;
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
            const Rgb c = colours[index(x, y)];
            const std::uint8_t* p = &d.rgb[(std::size_t(y) * d.width + x) * 3];
            for (int e : {std::abs(p[0] - c.r), std::abs(p[1] - c.g), std::abs(p[2] - c.b)}) {
                sum += e;
                worst = std::max(worst, e);
            }
        }
    return {sum / (3.0 * d.width * d.height), worst};
}

// Decodes a PNG with libpng's simplified reader; empty on failure.
Decoded DecodePng(const std::vector<std::uint8_t>& data) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) return {};
    image.format = PNG_FORMAT_RGB;
    Decoded d{int(image.width), int(image.height), 3,
              std::vector<std::uint8_t>(PNG_IMAGE_SIZE(image))};
    if (!png_image_finish_read(&image, nullptr, d.rgb.data(), 0, nullptr)) return {};
    return d;
}

struct JpegErrorJump {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

// Decodes to RGB with libjpeg; a decoding failure gives an empty result.
Decoded DecodeJpeg(const std::vector<std::uint8_t>& data) {
    jpeg_decompress_struct cinfo{};
    JpegErrorJump err;
    Decoded d;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = [](j_common_ptr c) {
        std::longjmp(reinterpret_cast<JpegErrorJump*>(c->err)->jump, 1);
    };
    if (setjmp(err.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        ADD_FAILURE() << "libjpeg cannot decode the data";
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    d.width = int(cinfo.image_width), d.height = int(cinfo.image_height);
    d.components = cinfo.num_components;
    cinfo.out_color_space = JCS_RGB;
    cinfo.do_fancy_upsampling = FALSE; // chroma stays within its block
    jpeg_start_decompress(&cinfo);
    d.rgb.resize(std::size_t(d.width) * d.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = d.rgb.data() + std::size_t(cinfo.output_scanline) * d.width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return d;
}

// The marker segments before the scan data: code and position of the 0xFF.
std::vector<std::pair<int, std::size_t>> Segments(const std::vector<std::uint8_t>& d) {
    std::vector<std::pair<int, std::size_t>> out;
    for (std::size_t at = 2; at + 4 <= d.size() && d[at] == 0xFF;
         at += 2 + (d[at + 2] << 8 | d[at + 3])) {
        out.emplace_back(d[at + 1], at);
        if (d[at + 1] == 0xDA) break; // start of scan
    }
    return out;
}

// The standard quantisation tables at quality 90 (scale 20 %, baseline: 1..255), in the
// zigzag order in which DQT lists them.
std::vector<int> Quality90Table(bool chrominance) {
    // clang-format off
    static const int kLum[64] = {
        16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
        14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
        18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
        49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    static const int kChr[32] = {
        17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
        24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99}; // then 99s
    // clang-format on
    std::vector<int> zigzag;
    for (int s = 0; s < 15; ++s)
        for (int i = 0; i <= s; ++i) {
            const int r = s % 2 == 0 ? s - i : i, c = s - r, at = r * 8 + c;
            if (r > 7 || c > 7) continue;
            const int base = chrominance ? (at < 32 ? kChr[at] : 99) : kLum[at];
            zigzag.push_back(std::clamp((base * 20 + 50) / 100, 1, 255));
        }
    return zigzag;
}

struct JpegCase {
    const char* name;
    TPixelFormat format;
    bool grayscale, progressive;
    int sof, components;
};

// Black-and-white bars in every mode; in colour mode also every pixel format, with
// colours in 16-pixel blocks, away from the edges of the subsampled chroma.
class JpegTest : public ::testing::TestWithParam<JpegCase> {};

TEST_P(JpegTest, JfifAtQuality90DecodesToThePicture) {
    const JpegCase& c = GetParam();
    const bool bars = c.format == pf24bit;
    const std::vector<Rgb> colours =
        bars ? kBlackWhite
        : c.format == pf1bit
            ? std::vector<Rgb>{{255, 0, 0}, {255, 255, 255}}
            : std::vector<Rgb>{{0, 0, 0}, {255, 0, 0}, {0, 0, 255}, {255, 255, 255}};
    const IndexFn index = bars ? IndexFn(Bars) : [n = int(colours.size())](int x, int y) {
        return (x / 16 + y / 16 * 3) % n;
    };
    TJPEGImage jpeg;
    jpeg.Grayscale = c.grayscale;
    jpeg.ProgressiveEncoding = c.progressive;
    jpeg.Assign(Picture(c.format, 80, 48, colours, index));
    const std::vector<std::uint8_t> d = jpeg.Data();
    ASSERT_GT(d.size(), 20u);
    EXPECT_EQ(d[0] << 8 | d[1], 0xFFD8);
    EXPECT_EQ(std::string(d.begin() + 6, d.begin() + 11), std::string("JFIF\0", 5));

    std::vector<int> codes, tables[2];
    for (const auto& [code, at] : Segments(d)) {
        codes.push_back(code);
        if (code == c.sof) {
            EXPECT_EQ(d[at + 5] << 8 | d[at + 6], 48);
            EXPECT_EQ(d[at + 7] << 8 | d[at + 8], 80);
            EXPECT_EQ(d[at + 9], c.components);
        }
        const std::size_t end = at + 2 + (d[at + 2] << 8 | d[at + 3]);
        for (std::size_t p = at + 4; code == 0xDB && p + 65 <= end; p += 65) {
            ASSERT_LT(d[p], 2) << "8-bit table 0 or 1";
            tables[d[p]].assign(d.begin() + p + 1, d.begin() + p + 65);
        }
    }
    EXPECT_EQ(codes.front(), 0xE0); // APP0 first
    EXPECT_EQ(std::count(codes.begin(), codes.end(), c.sof), 1);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), c.sof ^ 2), 0); // baseline / progressive
    EXPECT_EQ(tables[0], Quality90Table(false));
    EXPECT_EQ(tables[1], c.components == 3 ? Quality90Table(true) : std::vector<int>{});

    const Decoded back = DecodeJpeg(d);
    ASSERT_EQ(back.width, 80);
    ASSERT_EQ(back.height, 48);
    EXPECT_EQ(back.components, c.components);
    const auto [mean, worst] = Difference(back, colours, index);
    EXPECT_LT(mean, 2.0);
    // Bars: black stays dark and white light. Blocks: only rounding; a wrong bit field
    // of a 15/16-bit pixel is off by 8.
    EXPECT_LE(worst, bars ? 64 : 4);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, JpegTest,
    ::testing::Values(JpegCase{"Baseline", pf24bit, false, false, 0xC0, 3},
                      JpegCase{"Grey", pf24bit, true, false, 0xC0, 1},
                      JpegCase{"Progressive", pf24bit, false, true, 0xC2, 3},
                      JpegCase{"GreyProgressive", pf24bit, true, true, 0xC2, 1},
                      JpegCase{"OneBit", pf1bit, false, false, 0xC0, 3},
                      JpegCase{"FourBit", pf4bit, false, false, 0xC0, 3},
                      JpegCase{"EightBit", pf8bit, false, false, 0xC0, 3},
                      JpegCase{"FifteenBit", pf15bit, false, false, 0xC0, 3},
                      JpegCase{"SixteenBit", pf16bit, false, false, 0xC0, 3},
                      JpegCase{"Device", pfDevice, false, false, 0xC0, 3},
                      JpegCase{"ThirtyTwoBit", pf32bit, false, false, 0xC0, 3}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Jpeg, EmptyPictureHasNoData) {
    for (const auto& [w, h] : {std::pair{0, 0}, {7, 0}, {0, 5}}) {
        TJPEGImage jpeg;
        jpeg.Assign(TBitmap(w, h, pf24bit));
        EXPECT_TRUE(jpeg.Data().empty()) << w << " x " << h;
    }
}

TEST(Jpeg, FailureRaisesTheLibraryCode) {
    TJPEGImage jpeg;
    jpeg.Assign(TBitmap(70000, 1, pf24bit)); // beyond JPEG_MAX_DIMENSION
    const std::string expected = "JPEG error #" + std::to_string(JERR_IMAGE_TOO_BIG);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            jpeg.Data();
            FAIL() << "no EJPEG";
        } catch (const EJPEG& e) {
            EXPECT_EQ(std::string(e.what()), expected);
        }
    }

    // A new picture discards the failure.
    jpeg.Assign(Picture(pf24bit, 16, 16, kBlackWhite, Bars));
    EXPECT_EQ(DecodeJpeg(jpeg.Data()).width, 16);
    // Assigning again discards the compressed data.
    jpeg.Assign(Picture(pf24bit, 32, 8, kBlackWhite, Bars));
    EXPECT_EQ(DecodeJpeg(jpeg.Data()).width, 32);
}

// ---------------------------------------------------------------- Metafile

std::uint32_t U32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | std::uint32_t(d[at + 3]) << 24;
}

TMetafile Record(const TBitmap& picture, const TDisplayFacts& display = {}) {
    TMetafile metafile;
    metafile.SetHeight(picture.Height());
    metafile.SetWidth(picture.Width());
    TMetafileCanvas(metafile, display).Draw(0, 0, picture); // the destructor closes it
    return metafile;
}

struct LayoutCase {
    TPixelFormat format;
    int displayBits;
    std::vector<std::uint32_t> types;
    int stretchMode; // of the record of type 21, if any
};

class MetafileLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

// n little-endian 32-bit words from at.
std::vector<std::int64_t> Words(const std::vector<std::uint8_t>& d, std::size_t at, int n) {
    std::vector<std::int64_t> out;
    for (int i = 0; i < n && at + 4 * i + 4 <= d.size(); ++i)
        out.push_back(std::int32_t(U32(d, at + 4 * i)));
    return out;
}

TEST_P(MetafileLayoutTest, HeaderPlacementAndEnd) {
    const LayoutCase& c = GetParam();
    const TBitmap picture = Picture(c.format, 40, 20, kBlackWhite, Bars);
    const std::vector<std::uint8_t> d =
        Record(picture, {1280, 1024, 320, 256, c.displayBits}).Data();
    const std::int64_t size = std::int64_t(d.size()), records = std::int64_t(c.types.size());
    // type, size, bounds, frame (hundredths of a mm), " EMF", version, bytes, records,
    // handles, description, palette, pixels, mm, pixel format, OpenGL, micrometres
    EXPECT_EQ(Words(d, 0, 27),
              (std::vector<std::int64_t>{1,   108,  0,   0,          39,      19,    0,
                                         0,   1000, 500, 0x464D4520, 0x10000, size,  records,
                                         1,   0,    0,   0,          1280,    1024,  320,
                                         256, 0,    0,   0,          320000,  256000}));
    const std::vector<std::uint8_t> info = picture.InfoHeader();
    const std::int64_t infoSize = std::int64_t(info.size()),
                       bits = std::int64_t(picture.ImageSize());

    std::vector<std::uint32_t> types;
    for (std::size_t at = 0; at + 8 <= d.size(); at += U32(d, at + 4)) {
        ASSERT_EQ(U32(d, at + 4) % 4, 0u);
        ASSERT_GT(U32(d, at + 4), 0u);
        types.push_back(U32(d, at));
        using W = std::vector<std::int64_t>;
        if (types.back() == 21) {
            EXPECT_EQ(Words(d, at, 3), (W{21, 12, c.stretchMode}));
        } else if (types.back() == 14) {
            EXPECT_EQ(Words(d, at, 5), (W{14, 20, 0, 16, 20}));
            EXPECT_EQ(at + 20, d.size());
        } else if (types.back() == 81) {
            // size, bounds, destination, source, header and rows (offset, size),
            // DIB_RGB_COLORS, SRCCOPY, destination size, then the header and rows
            EXPECT_EQ(
                Words(d, at, 20),
                (W{81,       80 + infoSize + bits, 0,    0, 39,         19, 0, 0, 0, 0, 40, 20, 80,
                   infoSize, 80 + infoSize,        bits, 0, 0x00CC0020, 40, 20}));
            EXPECT_TRUE(std::equal(info.begin(), info.end(), d.begin() + at + 80));
            EXPECT_TRUE(std::equal(picture.Bits().begin(), picture.Bits().end(),
                                   d.begin() + at + 80 + info.size()));
        }
    }
    EXPECT_EQ(types, c.types);
}

INSTANTIATE_TEST_SUITE_P(Layouts, MetafileLayoutTest,
                         ::testing::Values(LayoutCase{pfDevice, 24, {1, 21, 81, 14}, 3},
                                           LayoutCase{pf8bit, 24, {1, 21, 81, 14}, 3},
                                           LayoutCase{
                                               pf1bit, 24, {1, 81, 14}, 0}, // monochrome: no mode
                                           LayoutCase{pf24bit, 8, {1, 21, 81, 14}, 4}));

// Frame = pixels × (mm × 100) ÷ display pixels, to the nearest; 0 pixels: the whole display.
TEST(MetafileFrameTest, FrameInHundredthsOfMillimetre) {
    struct {
        int pixels, displayPixels, displayMM, frame;
    } const cases[] = {{400, 1280, 320, 10000},
                       {0, 1280, 320, 32000},
                       {1, 1920, 508, 26},
                       {12, 1920, 508, 318},
                       {2040, 1920, 508, 53975}}; // 26.46, 317.5
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pixels);
        TMetafile metafile;
        metafile.SetHeight(c.pixels); // the height takes the same rule on its own axis
        metafile.SetWidth(c.pixels);
        TMetafileCanvas(metafile, {c.displayPixels, c.displayPixels, c.displayMM, c.displayMM})
            .Close();
        EXPECT_EQ(metafile.FrameWidth(), c.frame);
        EXPECT_EQ(metafile.FrameHeight(), c.frame);
        EXPECT_EQ(Words(metafile.Data(), 24, 4),
                  (std::vector<std::int64_t>{0, 0, c.frame, c.frame}));
        EXPECT_EQ(metafile.Width(), c.pixels != 0 ? c.pixels : c.displayPixels) << "from the frame";
    }
}

std::vector<std::uint8_t> Base64(const std::string& text) {
    std::vector<std::uint8_t> out;
    unsigned acc = 0;
    int bits = 0;
    for (char ch : text) {
        const auto pos = std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                          "0123456789+/")
                             .find(ch);
        if (pos == std::string_view::npos) continue;
        acc = acc << 6 | unsigned(pos);
        if ((bits += 6) >= 8) out.push_back(std::uint8_t(acc >> (bits -= 8)));
    }
    return out;
}

class MetafileSvgTest : public TempDir, public ::testing::WithParamInterface<TPixelFormat> {};

TEST_P(MetafileSvgTest, ConvertsToSvgImageOfThePicture) {
    const TBitmap picture = Picture(GetParam(), 40, 20, kBlackWhite, Bars);
    const fs::path emf = dir_ / "bars.emf", svg = dir_ / "bars.svg";
    WriteFileReplacing(emf.string(), Record(picture).Data());
    const std::string command =
        "emf2svg-conv -i '" + emf.string() + "' -o '" + svg.string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::vector<std::uint8_t> bytes = ReadWholeFile<Bytes>(svg.string());
    const std::string text(bytes.begin(), bytes.end());
    std::smatch m;
    ASSERT_TRUE(
        std::regex_search(text, m,
                          std::regex("<image width=\"([0-9.]+)\" height=\"([0-9.]+)\" "
                                     "x=\"([0-9.]+)\" y=\"([0-9.]+)\"[^>]*base64,([^\"]+)")))
        << text;
    EXPECT_EQ(std::stod(m[1]), 40);
    EXPECT_EQ(std::stod(m[2]), 20);
    EXPECT_EQ(std::stod(m[3]), 0);
    EXPECT_EQ(std::stod(m[4]), 0);
    const Decoded back = DecodePng(Base64(m[5]));
    EXPECT_EQ(back.width, 40);
    EXPECT_EQ(back.height, 20);
    EXPECT_EQ(Difference(back, kBlackWhite, Bars).second, 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, MetafileSvgTest, ::testing::Values(pfDevice, pf8bit, pf1bit));

// ---------------------------------------------------------------- PNG

struct PngCase {
    const char* name;
    TPixelFormat format;
    int colours;    // distinct colours used
    int paletteGap; // palette formats: unused entries between used ones
    int colourType, depth;
    int width = 23, height = 19;
};

class PngTest : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngTest, TypeDepthAndExactPixels) {
    const PngCase& c = GetParam();
    // Distinct colours; in palette formats each used entry follows paletteGap unused
    // ones that repeat it, so only the colours count.
    std::vector<Rgb> colours;
    for (int k = 0; k < c.colours; ++k)
        for (int g = 0; g <= c.paletteGap; ++g)
            colours.push_back(c.colours == 2 ? kBlackWhite[k]
                                             : Rgb{k % 256, k / 256 * 90, 255 - k % 256});
    const int step = c.paletteGap + 1, count = c.colours;
    const IndexFn index = [=](int x, int y) { return (y * 23 + x) % count * step; };
    const TBitmap picture = Picture(c.format, c.width, c.height, colours, index);
    const std::vector<std::uint8_t> png = PngFileBytes(picture);
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(U32(png, 12), 0x52444849u); // "IHDR"
    EXPECT_EQ(png[24], c.depth);
    EXPECT_EQ(png[25], c.colourType);
    const Decoded back = DecodePng(png);
    EXPECT_EQ(back.width, c.width);
    EXPECT_EQ(back.height, c.height);
    EXPECT_EQ(Difference(back, colours, index).second, 0) << "exactly the pixels";
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PngTest,
    ::testing::Values(
        PngCase{"BlackWhite24", pf24bit, 2, 0, 3, 1}, PngCase{"Three24", pf24bit, 3, 0, 3, 2},
        PngCase{"Sixteen32", pf32bit, 16, 0, 3, 4}, PngCase{"Full24", pf24bit, 256, 0, 3, 8},
        PngCase{"Over24", pf24bit, 257, 0, 2, 8}, PngCase{"Many24", pf24bit, 300, 0, 2, 8},
        PngCase{"OneBit", pf1bit, 2, 0, 3, 1}, PngCase{"FourBitRepeats", pf4bit, 3, 4, 3, 2},
        PngCase{"EightBit", pf8bit, 20, 0, 3, 8}, PngCase{"EightBitFew", pf8bit, 5, 40, 3, 4},
        // More than the deflater's 64 KiB of kept bytes:
        // matches reach back across the dropped front.
        PngCase{"LargeRgb", pf24bit, 300, 0, 2, 8, 401, 83},
        PngCase{"LargePalette", pf24bit, 256, 0, 3, 8, 611, 157}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PngErrorTest, LibraryFailureBecomesException) {
    try {
        PngFileBytes(TBitmap(0, 0, pf24bit)); // no PNG has an empty picture
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("IHDR"), std::string::npos) << e.what();
    }
}

} // namespace
