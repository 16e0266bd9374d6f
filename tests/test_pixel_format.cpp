// Converting pictures between pixel formats, the halftone palette of 8-bit pictures, and
// the pixel reading they share with the picture writers.
#include "PixelTesting.h"
#include "export/Bitmap.h"
#include "export/HalftonePalette.h"
#include "export/Pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace varimark;

namespace {

TColour Of(const TRGBQuad& q) {
    return {q.red, q.green, q.blue};
}

using varimark::NearestColour;

// The lowest index among the nearest entries of a palette.
template <class Palette> unsigned Nearest(const Palette& palette, TColour c) {
    return NearestColour(palette, static_cast<std::uint8_t>(c.r), static_cast<std::uint8_t>(c.g),
                         static_cast<std::uint8_t>(c.b));
}

// Pixel index of a palette picture, read from the stored bits.
unsigned IndexAt(const TBitmap& b, int x, int y) {
    return varimark::PixelIndex(b.ScanLine(y), x, b.BitsPerPixel());
}

void SetColour(TBitmap& b, int x, int y, TColour c) {
    SetRgb(b, x, y, c.r, c.g, c.b);
}

// A 24-bit picture of random colours with pure black, pure white and greys among them.
TBitmap Colourful(int width, int height, unsigned seed) {
    TBitmap b(width, height, pf24bit);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int kind = (x + y) % 5, v = static_cast<int>(random() % 256);
            const TColour c = kind == 0   ? TColour{0, 0, 0}
                              : kind == 1 ? TColour{255, 255, 255}
                              : kind == 2 ? TColour{v, v, v}
                                          : TColour{v, static_cast<int>(random() % 256),
                                                    static_cast<int>(random() % 256)};
            SetColour(b, x, y, c);
        }
    return b;
}

TEST(HalftonePalette, HoldsBlackWhiteAndSystemColoursAllDifferent) {
    const auto& p = HalftonePalette();
    std::set<std::uint32_t> seen;
    for (const TRGBQuad& q : p) seen.insert(q.red << 16 | q.green << 8 | q.blue);
    EXPECT_EQ(seen.size(), 256u);
    EXPECT_EQ(Of(p[0]), (TColour{0, 0, 0}));
    EXPECT_EQ(Of(p[15]), (TColour{255, 255, 255}));
    const TBitmap fourBit(1, 1, pf4bit); // the bitmap layer's default 4-bit palette
    ASSERT_EQ(fourBit.Palette().size(), 16u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(varimark::SystemPalette16()[i], fourBit.Palette()[i]) << i;
        EXPECT_EQ(Of(p[i]), Of(varimark::SystemPalette16()[i])) << i;
    }
}

// Every cell corner and edge of the lookup table, every grey, and random colours.
TEST(HalftonePalette, NearestIndexIsExact) {
    std::vector<int> levels;
    for (int v = 0; v < 256; v += 8) levels.insert(levels.end(), {v, v + 3, v + 7});
    auto check = [](int r, int g, int b) {
        const auto got =
            NearestHalftoneIndex(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                 static_cast<std::uint8_t>(b));
        const unsigned want = Nearest(HalftonePalette(), {r, g, b});
        if (got != want) ADD_FAILURE() << TColour{r, g, b} << ": " << +got << " not " << want;
        return got == want;
    };
    int failures = 0;
    for (int r : levels)
        for (int g : levels)
            for (int b : levels) failures += !check(r, g, b);
    for (int v = 0; v < 256; ++v) failures += !check(v, v, v);
    std::mt19937 random(7);
    for (int i = 0; i < 200000 && failures < 10; ++i)
        failures += !check(random() % 256, random() % 256, random() % 256);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(NearestHalftoneIndex(0, 0, 0), 0);
    EXPECT_EQ(NearestHalftoneIndex(255, 255, 255), 15);
}

const TPixelFormat kFormats[] = {pfDevice, pf1bit,  pf4bit,  pf8bit,
                                 pf15bit,  pf16bit, pf24bit, pf32bit};

// What a pixel of colour c becomes in the target format, worked out independently.
TColour Expected(const TBitmap& target, TColour c) {
    switch (target.PixelFormat()) {
    case pf1bit:
    case pf4bit:
    case pf8bit: return Of(target.Palette().at(Nearest(target.Palette(), c)));
    case pf15bit: {
        auto w = [](int v) { return varimark::Widen5(v >> 3); };
        return {w(c.r), w(c.g), w(c.b)};
    }
    case pf16bit: {
        auto w5 = [](int v) { return varimark::Widen5(v >> 3); };
        return {w5(c.r), varimark::Widen6(c.g >> 2), w5(c.b)};
    }
    default: return c;
    }
}

// Every pair of formats: each pixel becomes the nearest colour the target can hold,
// palette pictures by the lowest nearest index of their palette.
TEST(SetPixelFormat, EveryPairTakesTheNearestColour) {
    for (TPixelFormat from : kFormats)
        for (TPixelFormat to : kFormats) {
            SCOPED_TRACE("from " + std::to_string(from) + " to " + std::to_string(to));
            TBitmap source = Colourful(13, 5, from * 8 + to);
            source.SetPixelFormat(from);
            ASSERT_EQ(source.PixelFormat(), from);
            TBitmap target = source;
            target.SetPixelFormat(to);
            ASSERT_EQ(target.PixelFormat(), to);
            ASSERT_EQ(target.Width(), 13);
            ASSERT_EQ(target.Height(), 5);
            ASSERT_EQ(target.ImageSize(), TBitmap(13, 5, to).ImageSize());
            if (to == pf4bit) {
                EXPECT_EQ(target.Palette(), TBitmap(1, 1, pf4bit).Palette());
            }
            if (to == pf8bit && from != pf8bit) {
                EXPECT_EQ(target.Palette(), std::vector<TRGBQuad>(HalftonePalette().begin(),
                                                                  HalftonePalette().end()));
            }
            int wrong = 0;
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 13; ++x) {
                    const TColour c = ColourAt(source, x, y);
                    const bool indexOk = target.BitsPerPixel() > 8 ||
                                         IndexAt(target, x, y) == Nearest(target.Palette(), c);
                    if (ColourAt(target, x, y) != Expected(target, c) || !indexOk) ++wrong;
                }
            EXPECT_EQ(wrong, 0);
            // The fill after the last pixel stays clear: the file keeps what memory holds.
            const std::vector<std::uint8_t> file = target.ToBmpFile();
            EXPECT_TRUE(std::equal(target.Bits().begin(), target.Bits().end(),
                                   file.end() - static_cast<std::ptrdiff_t>(target.ImageSize())));
        }
}

TEST(SetPixelFormat, BlackAndWhiteStayExactIn8Bits) {
    TBitmap b(4, 1, pf24bit);
    SetColour(b, 0, 0, {0, 0, 0});
    SetColour(b, 2, 0, {0, 0, 0}); // 1 and 3 stay white
    b.SetPixelFormat(pf8bit);
    const std::vector<unsigned> want = {0, 15, 0, 15};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(IndexAt(b, x, 0), want[x]) << x;
    EXPECT_EQ(ColourAt(b, 0, 0), (TColour{0, 0, 0}));
    EXPECT_EQ(ColourAt(b, 1, 0), (TColour{255, 255, 255}));
}

TEST(SetPixelFormat, EightBitsToEightBitsChangesNothing) {
    TBitmap b(5, 3, pf8bit);
    std::vector<TRGBQuad> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[i] = TRGBQuad{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(3 * i),
                              static_cast<std::uint8_t>(255 - i), 0};
    b.SetPalette(palette);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) b.ScanLine(y)[x] = static_cast<std::uint8_t>(40 * y + 7 * x);
    const std::vector<std::uint8_t> before(b.Bits().begin(), b.Bits().end());
    b.SetPixelFormat(pf8bit);
    EXPECT_EQ(b.Palette(), palette);
    EXPECT_EQ(std::vector<std::uint8_t>(b.Bits().begin(), b.Bits().end()), before);
}

// 4-bit indices mean the same colours in the halftone palette.
TEST(SetPixelFormat, FourBitIndicesSurviveEightBits) {
    TBitmap b(16, 1, pf4bit);
    for (int x = 0; x < 16; x += 2)
        b.ScanLine(0)[x / 2] = static_cast<std::uint8_t>(x << 4 | (x + 1));
    b.SetPixelFormat(pf8bit);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(IndexAt(b, x, 0), static_cast<unsigned>(x));
}

struct TWordCase {
    TPixelFormat format;
    TColour colour;
    std::uint16_t stored;
};

TEST(SetPixelFormat, FifteenAndSixteenBitWords) {
    const TWordCase cases[] = {
        {pf16bit, {255, 255, 255}, 0xFFFF}, {pf16bit, {0, 0, 0}, 0x0000},
        {pf16bit, {255, 0, 0}, 0xF800},     {pf16bit, {0, 255, 0}, 0x07E0},
        {pf16bit, {0, 0, 255}, 0x001F},     {pf16bit, {8, 4, 16}, 0x0822},
        {pf15bit, {255, 255, 255}, 0x7FFF}, {pf15bit, {255, 0, 0}, 0x7C00},
        {pf15bit, {0, 255, 0}, 0x03E0},     {pf15bit, {8, 16, 24}, 0x0443},
    };
    for (const TWordCase& c : cases) {
        TBitmap b(1, 1, pf24bit);
        SetColour(b, 0, 0, c.colour);
        b.SetPixelFormat(c.format);
        const std::uint8_t* p = b.ScanLine(0);
        EXPECT_EQ(p[0] | p[1] << 8, c.stored) << c.colour;
    }
    // The 5-6-5 picture's file carries its colour masks.
    TBitmap b(1, 1, pf24bit);
    b.SetPixelFormat(pf16bit);
    const std::vector<std::uint8_t> info = b.InfoHeader();
    ASSERT_EQ(info.size(), 52u);
    EXPECT_EQ(info[16], 3); // BI_BITFIELDS
    const std::vector<std::uint8_t> masks(info.begin() + 40, info.end());
    EXPECT_EQ(masks, (std::vector<std::uint8_t>{0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0x1F, 0, 0, 0}));
    // Widening: 5 bits 0b10001 -> 0b10001100, 6 bits 0b100001 -> 0b10000110.
    b.ScanLine(0)[0] = 0x31; // 0x8431: red 16, green 33, blue 17
    b.ScanLine(0)[1] = 0x84;
    b.SetPixelFormat(pf24bit);
    EXPECT_EQ(ColourAt(b, 0, 0), (TColour{0x84, 0x86, 0x8C}));
}

TEST(SetPixelFormat, RoundTripsThroughWiderFormatsAreExact) {
    const TBitmap original = Colourful(7, 3, 99);
    for (TPixelFormat via : {pf32bit, pfDevice}) {
        TBitmap b = original;
        b.SetPixelFormat(via);
        b.SetPixelFormat(pf24bit);
        EXPECT_TRUE(std::equal(b.Bits().begin(), b.Bits().end(), original.Bits().begin(),
                               original.Bits().end()))
            << "via " << via;
    }
    // The display's format and 24 bits share their bytes.
    TBitmap device(7, 3);
    for (int y = 0; y < 3; ++y) device.ScanLine(y)[4] = static_cast<std::uint8_t>(y + 1);
    const std::vector<std::uint8_t> bytes(device.Bits().begin(), device.Bits().end());
    device.SetPixelFormat(pf24bit);
    EXPECT_EQ(device.PixelFormat(), pf24bit);
    EXPECT_EQ(std::vector<std::uint8_t>(device.Bits().begin(), device.Bits().end()), bytes);
}

TEST(SetPixelFormat, OneBitKeepsItsOwnTwoColours) {
    TBitmap b(3, 1, pf1bit);
    const std::vector<TRGBQuad> two = {TRGBQuad{0, 0, 200, 0}, TRGBQuad{200, 0, 0, 0}};
    b.SetPalette(two);
    b.SetPixelFormat(pf24bit);
    SetColour(b, 1, 0, {190, 10, 5}); // near red
    b.SetPixelFormat(pf1bit);
    EXPECT_EQ(b.Palette(), two);
    EXPECT_EQ(IndexAt(b, 1, 0), 0u);
}

TEST(SetPixelFormat, CustomIsRefused) {
    TBitmap b = Colourful(3, 2, 5);
    const std::vector<std::uint8_t> before(b.Bits().begin(), b.Bits().end());
    try {
        b.SetPixelFormat(pfCustom);
        FAIL() << "no error";
    } catch (const EBitmap& e) {
        EXPECT_STREQ(e.what(), "Invalid pixel format");
    }
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_EQ(std::vector<std::uint8_t>(b.Bits().begin(), b.Bits().end()), before);
}

// --- The pixel reading the conversions and the writers share

TEST(Pixels, EveryFormatReadsAsRedGreenBlue) {
    const std::vector<TRGBQuad> palette = {{1, 2, 3, 0}, {4, 5, 6, 0}};
    const struct {
        TPixelFormat format;
        std::vector<std::uint8_t> row;
        int width;
        std::vector<std::uint8_t> rgb;
    } cases[] = {
        {pf1bit, {0x40}, 3, {3, 2, 1, 6, 5, 4, 3, 2, 1}},
        {pf4bit, {0x1F}, 2, {6, 5, 4, 0, 0, 0}}, // beyond the palette: black
        {pf8bit, {0, 1, 2}, 3, {3, 2, 1, 6, 5, 4, 0, 0, 0}},
        {pf15bit, {0x11, 0x42}, 1, {0x84, 0x84, 0x8C}}, // red 16, green 16, blue 17
        {pf16bit, {0x31, 0x84}, 1, {0x84, 0x86, 0x8C}}, // red 16, green 33, blue 17
        {pf16bit, {0xFF, 0xFF}, 1, {255, 255, 255}},
        {pf24bit, {1, 2, 3, 4, 5, 6}, 2, {3, 2, 1, 6, 5, 4}},
        {pfDevice, {1, 2, 3}, 1, {3, 2, 1}},
        {pf32bit, {1, 2, 3, 9, 4, 5, 6, 9}, 2, {3, 2, 1, 6, 5, 4}},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> rgb(c.rgb.size());
        varimark::RowToRgb(c.row.data(), c.width, c.format, palette, rgb.data());
        EXPECT_EQ(rgb, c.rgb) << "format " << int(c.format);
    }
}

TEST(Pixels, NearestColourTakesTheLowestOfEquals) {
    const std::vector<TRGBQuad> palette = {
        {0, 0, 10, 0}, {0, 0, 30, 0}, {0, 0, 20, 0}, {0, 0, 20, 0}, {100, 0, 0, 0}};
    const struct {
        std::uint8_t r, g, b;
        unsigned index;
    } cases[] = {{10, 0, 0, 0}, {15, 0, 0, 0},  {16, 0, 0, 2}, {20, 0, 0, 2},
                 {25, 0, 0, 1}, {0, 0, 100, 4}, {0, 0, 60, 4}, {0, 0, 49, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(NearestColour(palette, c.r, c.g, c.b), c.index) << TColour{c.r, c.g, c.b};
    EXPECT_EQ(NearestColour({}, 1, 2, 3), 0u);
}

} // namespace
