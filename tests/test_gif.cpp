// The GIF writer, checked with giflib (reading the files, and encoding the same indices)
// and with a small code reader that follows the code widths the way a decoder does.
#include "ByteReading.h"
#include "FileTesting.h"
#include "PixelTesting.h"
#include "export/FileWriter.h"
#include "export/GIFImage.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

using namespace varimark;

namespace {

// A palette picture of random indices below colors, with a random palette; the indices
// (rows from the top) go to expected.
TBitmap RandomIndexed(int w, int h, TPixelFormat f, std::size_t colors, unsigned seed,
                      Bytes& expected) {
    std::mt19937 rng(seed);
    TBitmap b(w, h, f);
    std::vector<TRGBQuad> palette(colors);
    for (TRGBQuad& q : palette) q = {std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())};
    b.SetPalette(palette);
    expected.clear();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            expected.push_back(static_cast<std::uint8_t>(rng() % colors));
            SetIndex(b, x, y, expected.back());
        }
    return b;
}

Bytes Save(const TBitmap& b) {
    TGIFImage gif;
    gif.Assign(b);
    return gif.SaveToBytes();
}

// The EGif message of a call, or "" when none is raised.
template <class F> std::string GifError(F f) {
    try {
        f();
    } catch (const EGif& e) {
        return e.what();
    }
    return "";
}

// The image data of a one-frame file, checked for the layout around it: signature,
// screen without global table, image descriptor, sub-blocks of 255 bytes but the last
// (none empty), terminator, and the trailer at the very end.
struct ImageData {
    int minCodeSize = 0, tableEntries = 0;
    std::size_t at = 0; // offset of the minimum code size byte
    std::vector<std::size_t> blocks;
    Bytes stream; // the compressed bytes without block lengths
};

ImageData Parse(const Bytes& f) {
    ImageData d;
    EXPECT_GE(f.size(), 28u);
    if (f.size() < 28) return d;
    EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF87a");
    EXPECT_EQ(f[10] & 0x80, 0) << "no global table";
    EXPECT_EQ(f[13], 0x2C);
    d.tableEntries = (f[22] & 0x80) != 0 ? 1 << ((f[22] & 7) + 1) : 0;
    d.at = 23 + 3 * static_cast<std::size_t>(d.tableEntries);
    d.minCodeSize = f.at(d.at);
    std::size_t p = d.at + 1;
    while (p < f.size() && f[p] != 0) {
        EXPECT_TRUE(d.blocks.empty() || d.blocks.back() == 255) << "short block before the end";
        d.blocks.push_back(f[p]);
        d.stream.insert(d.stream.end(), f.begin() + p + 1,
                        f.begin() + std::min(p + 1 + f[p], f.size()));
        p += 1 + f[p];
    }
    EXPECT_EQ(p + 2, f.size()) << "terminator and trailer end the file";
    EXPECT_EQ(f.back(), 0x3B);
    return d;
}

// The codes of the stream, read with the widths a decoder uses. At every clear code but
// the first, freeAtClear records the decoder's next free code.
struct Codes {
    std::vector<int> codes, freeAtClear;
};

Codes ReadCodes(const ImageData& d) {
    Codes c;
    const int clear = 1 << d.minCodeSize, end = clear + 1;
    int width = d.minCodeSize + 1, next = clear + 2;
    bool first = true;
    std::size_t bit = 0;
    while (bit + width <= d.stream.size() * 8) {
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit) code |= ((d.stream[bit / 8] >> (bit % 8)) & 1) << i;
        c.codes.push_back(code);
        if (code == end) break;
        if (code == clear) {
            if (c.codes.size() > 1) c.freeAtClear.push_back(next);
            width = d.minCodeSize + 1, next = clear + 2, first = true;
            continue;
        }
        // A code may be the one being defined (a string repeating its own start).
        EXPECT_LE(code, first ? clear - 1 : next) << "code not yet defined";
        if (!first && ++next == (1 << width) && width < 12) ++width;
        first = false;
    }
    EXPECT_EQ(d.stream.size(), (bit + 7) / 8) << "only padding after the end code";
    return c;
}

// What giflib reads.
struct Decoded {
    int width = 0, height = 0;
    std::vector<TGIFColor> colors;
    Bytes indices;
};

Decoded ReadWithGiflib(const Bytes& file) {
    std::pair<const Bytes*, std::size_t> source{&file, 0};
    auto read = [](GifFileType* g, GifByteType* buf, int n) -> int {
        auto* s = static_cast<std::pair<const Bytes*, std::size_t>*>(g->UserData);
        const std::size_t k = std::min<std::size_t>(n, s->first->size() - s->second);
        std::memcpy(buf, s->first->data() + s->second, k);
        s->second += k;
        return static_cast<int>(k);
    };
    int error = 0;
    GifFileType* gif = DGifOpen(&source, read, &error);
    Decoded d;
    EXPECT_NE(gif, nullptr) << GifErrorString(error);
    if (gif == nullptr) return d;
    EXPECT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
    EXPECT_EQ(gif->ImageCount, 1);
    if (gif->ImageCount == 1) {
        const SavedImage& image = gif->SavedImages[0];
        d.width = image.ImageDesc.Width, d.height = image.ImageDesc.Height;
        if (const ColorMapObject* map = image.ImageDesc.ColorMap)
            for (int i = 0; i < map->ColorCount; ++i)
                d.colors.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
        d.indices.assign(image.RasterBits, image.RasterBits + std::size_t(d.width) * d.height);
    }
    DGifCloseFile(gif, &error);
    return d;
}

// giflib's own encoder on the same indices (one row): its image data (minimum code size,
// blocks, terminator). It makes the same LZW choices.
Bytes GiflibImageData(const Bytes& pixels, int bits) {
    Bytes file;
    auto write = [](GifFileType* g, const GifByteType* bytes, int n) -> int {
        auto* out = static_cast<Bytes*>(g->UserData);
        out->insert(out->end(), bytes, bytes + n);
        return n;
    };
    int error = 0;
    GifFileType* gif = EGifOpen(&file, write, &error);
    ColorMapObject* map = GifMakeMapObject(1 << bits, nullptr);
    const int w = static_cast<int>(pixels.size());
    EXPECT_EQ(EGifPutScreenDesc(gif, w, 1, bits, 0, nullptr), GIF_OK);
    EXPECT_EQ(EGifPutImageDesc(gif, 0, 0, w, 1, false, map), GIF_OK);
    EXPECT_EQ(EGifPutLine(gif, const_cast<GifPixelType*>(pixels.data()), w), GIF_OK);
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    GifFreeMapObject(map);
    return Bytes(file.begin() + 23 + 3 * (1 << bits), file.end() - 1);
}

// The 216 cube colours, then black up to 256 entries.
std::vector<TGIFColor> CubeTable() {
    std::vector<TGIFColor> out(256);
    for (int i = 0; i < 216; ++i)
        out[i] = {std::uint8_t(51 * (i / 36)), std::uint8_t(51 * (i / 6 % 6)),
                  std::uint8_t(51 * (i % 6))};
    return out;
}

TEST(GifWriter, SmallPicturesGiveTheExactFiles) {
    TBitmap b(4, 1, pf1bit);
    b.SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
    for (int x = 0; x < 4; ++x) SetIndex(b, x, 0, x < 2 ? 0 : 1);
    EXPECT_EQ(Save(b), Hex("474946383761 0400 0100 000000 2C 0000 0000 0400 0100 80 000000 FFFFFF "
                           "02 03 041205 00 3B"));
    // An empty picture: an empty frame without colour table; codes clear and end.
    EXPECT_EQ(Save(TBitmap()), Hex("474946383761 0000 0000 000000 2C 0000 0000 0000 0000 00 "
                                   "02 01 2C 00 3B"));
}

TEST(GifWriter, CheckerboardGivesTheExactImageData) {
    TBitmap b(2, 2, pf24bit);
    SetRgb(b, 0, 0, 0, 0, 0), SetRgb(b, 1, 0, 255, 255, 255);
    SetRgb(b, 0, 1, 255, 255, 255), SetRgb(b, 1, 1, 0, 0, 0);
    TGIFImage gif;
    gif.Assign(b);
    EXPECT_EQ(gif.Images().at(0).Data, (Bytes{0, 215, 215, 0}));
    const Bytes f = gif.SaveToBytes();
    EXPECT_EQ(Bytes(f.begin() + Parse(f).at, f.end() - 1), Hex("08 07 00015CBB062020 00"));
}

// Each colour of each true-colour format maps to the cube entry of its components
// (5- and 6-bit ones widened to 8 bits), and giflib reads the same indices back.
TEST(GifWriter, TrueColourPixelsMapToTheCube) {
    struct Case {
        TPixelFormat format;
        int r, g, b; // 15 and 16 bits: b holds the raw pixel value
        int expected;
    } cases[] = {// 5-bit red 12 widens to 99 (level 2), 6-bit green 37 to 150 (level 3)
                 {pf24bit, 128, 128, 128, 86},
                 {pf24bit, 47, 48, 98, 7},
                 {pf24bit, 99, 251, 252, 101},
                 {pf24bit, 149, 150, 200, 93},
                 {pf32bit, 201, 255, 0, 174},
                 {pf32bit, 255, 255, 255, 215},
                 {pfDevice, 0, 0, 255, 5},
                 {pfDevice, 0, 0, 0, 0},
                 {pf15bit, 0, 0, 12 << 10 | 31 << 5, 102},
                 {pf16bit, 0, 0, 12 << 11 | 37 << 5 | 31, 95},
                 {pf16bit, 0, 0, 63 << 5, 30},
                 {pf15bit, 0, 0, 0x7FFF, 215}};
    for (const Case& c : cases) {
        TBitmap b(3, 2, c.format);
        for (int x = 0; x < 3; ++x)
            b.BitsPerPixel() == 16 ? SetWord(b, x, 1, c.b) : SetRgb(b, x, 1, c.r, c.g, c.b);
        TGIFImage gif;
        gif.Assign(b);
        const TGIFSubImage& frame = gif.Images().at(0);
        const auto e = static_cast<std::uint8_t>(c.expected);
        EXPECT_EQ(frame.Data, (Bytes{215, 215, 215, e, e, e}))
            << "format " << int(c.format) << ": " << c.r << "," << c.g << "," << c.b;
        EXPECT_EQ(frame.ColorMap.Count(), 216);
        EXPECT_EQ(ReadWithGiflib(gif.SaveToBytes()).indices, frame.Data);
    }
    EXPECT_EQ(TNetscapeColorLookup::Color(86), (TGIFColor{102, 102, 102}));
}

TEST(GifWriter, BlackAndWhitePictureUsesTwoCubeEntries) {
    TBitmap b(101, 37, pf24bit);
    Bytes expected;
    for (int y = 0; y < 37; ++y)
        for (int x = 0; x < 101; ++x) {
            const bool black = (x / 3 + (y > 30 ? x : 0)) % 2 == 0;
            if (black) SetRgb(b, x, y, 0, 0, 0);
            expected.push_back(black ? 0 : 215);
        }
    const Bytes f = Save(b);
    const ImageData d = Parse(f);
    EXPECT_EQ(f[10], 0x77);
    EXPECT_EQ(f[22], 0x87);
    const Decoded g = ReadWithGiflib(f);
    EXPECT_EQ(g.colors, CubeTable());
    EXPECT_EQ(g.indices, expected);
    EXPECT_EQ(d.minCodeSize, 8);
    ASSERT_GE(d.stream.size(), 2u);
    EXPECT_EQ(d.stream[0] | (d.stream[1] & 1) << 8, 256) << "clear code in 9 bits first";
    const Codes c = ReadCodes(d);
    EXPECT_EQ(c.codes.front(), 256);
    EXPECT_EQ(c.codes.back(), 257);
}

// Palette pictures keep palette and indices; odd sizes check the row unpacking.
TEST(GifWriter, PalettePicturesRoundTripThroughGiflib) {
    struct Case {
        TPixelFormat format;
        int w, h;
        std::size_t colors;
        int packedScreen, packedImage;
    } cases[] = {{pf1bit, 13, 5, 2, 0x00, 0x80},    {pf1bit, 9, 3, 1, 0x00, 0x80},
                 {pf4bit, 7, 11, 16, 0x33, 0x83},   {pf4bit, 3, 3, 5, 0x22, 0x82},
                 {pf8bit, 33, 17, 256, 0x77, 0x87}, {pf8bit, 1, 1, 256, 0x77, 0x87},
                 {pf8bit, 17, 9, 40, 0x55, 0x85}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.format) << ": " << c.w << "x" << c.h);
        Bytes expected;
        const TBitmap b = RandomIndexed(c.w, c.h, c.format, c.colors, c.w * 31 + c.h, expected);
        const Bytes f = Save(b);
        EXPECT_EQ(f[10], c.packedScreen);
        EXPECT_EQ(f[22], c.packedImage);
        EXPECT_EQ(Parse(f).minCodeSize, std::max((c.packedImage & 7) + 1, 2));
        const Decoded g = ReadWithGiflib(f);
        EXPECT_EQ(g.width, c.w);
        EXPECT_EQ(g.height, c.h);
        EXPECT_EQ(g.indices, expected);
        std::vector<TGIFColor> table(std::size_t{2} << (c.packedImage & 7)); // black fill
        for (std::size_t i = 0; i < c.colors; ++i)
            table[i] = {b.Palette()[i].red, b.Palette()[i].green, b.Palette()[i].blue};
        EXPECT_EQ(g.colors, table);
    }
}

// Random pixels fill the dictionary again and again: each clear code comes when the next
// free code reaches 4095, and giflib still reads every pixel.
TEST(GifWriter, FullDictionaryIsClearedAt4095) {
    for (auto [format, colors] :
         {std::pair{pf8bit, 256}, std::pair{pf4bit, 16}, std::pair{pf1bit, 2}}) {
        Bytes expected;
        const Bytes f = Save(RandomIndexed(401, 403, format, colors, colors, expected));
        const Codes c = ReadCodes(Parse(f));
        EXPECT_GE(c.freeAtClear.size(), 3u) << colors;
        for (int next : c.freeAtClear) EXPECT_EQ(next, 4095) << colors;
        EXPECT_EQ(ReadWithGiflib(f).indices, expected) << colors;
    }
}

// Runs, bars, noise and mixtures of two to many colours: the image data equals giflib's.
TEST(GifWriter, ImageDataEqualsGiflibEncoder) {
    std::mt19937 rng(99);
    auto make = [&](std::size_t n, auto pixel) {
        Bytes p(n);
        for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(pixel(i));
        return p;
    };
    const std::pair<int, Bytes> cases[] = {
        {8, make(1, [](std::size_t) { return 3; })},
        {8, make(2, [](std::size_t) { return 0; })},
        {8, make(60000, [](std::size_t) { return 215; })},
        {8, make(300000, [](std::size_t i) { return (i / 10 % 7 + i / 20 % 3) % 2 * 215; })},
        {8, make(200000, [&](std::size_t) { return rng() % 3 == 0 ? 0 : 215; })},
        {8, make(200000, [&](std::size_t i) { return i < 99999 ? rng() % 4 * 60 : rng() % 256; })},
        {8, make(200000, [&](std::size_t i) { return i % 999 < 900 ? i / 37 % 2 : rng() % 9; })},
        {8, make(100000, [&](std::size_t i) { return i / 5 % 6 + (rng() % 50 == 0 ? 99 : 0); })},
        {2, make(70000, [&](std::size_t) { return rng() % 100 < 95 ? 1 : rng() % 4; })},
        {1, make(90000, [&](std::size_t i) { return i / 3 % 2 ^ (rng() % 20 == 0); })},
    };
    for (const auto& [bits, pixels] : cases) {
        Bytes data;
        TLZWEncoder().Encode(pixels, bits, 1 << bits, data);
        EXPECT_EQ(data, GiflibImageData(pixels, bits)) << pixels.size() << " pixels";
    }
}

TEST(GifWriter, StreamOf255BytesIsOneBlock) {
    // Random 8-bit pixels give about one byte each: look for a width that gives exactly
    // 255 compressed bytes.
    bool found = false;
    for (int w = 200; w < 300 && !found; ++w) {
        Bytes expected;
        const Bytes f = Save(RandomIndexed(w, 1, pf8bit, 256, 7, expected));
        const ImageData d = Parse(f);
        if (d.stream.size() != 255) continue;
        found = true;
        EXPECT_EQ(d.blocks, (std::vector<std::size_t>{255}));
        EXPECT_EQ(f.size(), d.at + 1 + 1 + 255 + 2);
        EXPECT_EQ(ReadWithGiflib(f).indices, expected);
    }
    EXPECT_TRUE(found);
}

TEST(GifWriter, PixelOutsideTheColourMapIsRefused) {
    struct Case {
        TPixelFormat format;
        std::size_t colors;
        unsigned pixel;
        int at; // pixel number, rows from the top
    } cases[] = {{pf1bit, 1, 1, 14},    {pf4bit, 3, 3, 0},   {pf4bit, 9, 15, 7},
                 {pf8bit, 10, 200, 14}, {pf8bit, 10, 10, 0}, {pf8bit, 0, 0, 3}};
    for (const Case& c : cases) {
        TBitmap b(5, 3, c.format);
        b.SetPalette(std::vector<TRGBQuad>(c.colors));
        for (int i = 0; i < 15; ++i) SetIndex(b, i % 5, i / 5, i == c.at ? c.pixel : 0);
        TGIFImage gif;
        gif.Assign(b);
        EXPECT_EQ(GifError([&] { gif.SaveToBytes(); }), "Color not in color table")
            << "pixel " << c.pixel << " of " << c.colors << " colours at " << c.at;
    }
    // Directly: a pixel must also be below the clear code.
    Bytes out;
    EXPECT_EQ(GifError([&] {
                  TLZWEncoder().Encode({0, 1, 4, 0}, 2, 256, out);
              }),
              "Color not in color table");
}

TEST(GifWriter, PictureTooLargeForTheFormatIsRefused) {
    for (auto [w, h] : {std::pair{65536, 1}, std::pair{2, 70000}}) {
        TGIFImage gif;
        gif.Assign(TBitmap(w, h, pf1bit));
        EXPECT_NE(GifError([&] {
                      gif.SaveToBytes();
                  }).find(std::to_string(w) + " x " + std::to_string(h) + " pixels is too large"),
                  std::string::npos);
    }
    EXPECT_EQ(ReadWithGiflib(Save(TBitmap(65535, 2, pf1bit))).width, 65535);
}

} // namespace
