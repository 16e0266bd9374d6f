// Converting pictures between pixel formats, and the halftone palette of 8-bit pictures.
#include "Bitmap.h"
#include "HalftonePalette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

struct TColour {
    int r, g, b;
    friend bool operator==(const TColour&, const TColour&) = default;
};

std::ostream& operator<<(std::ostream& os, const TColour& c) {
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

TColour Of(const TRGBQuad& q) {
    return {q.red, q.green, q.blue};
}

// The lowest index among the nearest entries, by trying them all.
template <class Palette> unsigned BruteNearest(const Palette& palette, TColour c) {
    unsigned best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (unsigned i = 0; i < palette.size(); ++i) {
        const TColour p = Of(palette[i]);
        const int d =
            (c.r - p.r) * (c.r - p.r) + (c.g - p.g) * (c.g - p.g) + (c.b - p.b) * (c.b - p.b);
        if (d < bestDistance) bestDistance = d, best = i;
    }
    return best;
}

// Pixel index of a palette picture, read from the stored bits.
unsigned IndexAt(const TBitmap& b, int x, int y) {
    const std::uint8_t* row = b.ScanLine(y);
    switch (b.BitsPerPixel()) {
    case 1: return row[x / 8] >> (7 - x % 8) & 1;
    case 4: return x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 15;
    default: return row[x];
    }
}

// The colour of a pixel in any format.
TColour ColourAt(const TBitmap& b, int x, int y) {
    const std::uint8_t* row = b.ScanLine(y);
    const int bits = b.BitsPerPixel();
    if (bits <= 8) return Of(b.Palette().at(IndexAt(b, x, y)));
    if (bits == 16) {
        const int v = row[2 * x] | row[2 * x + 1] << 8;
        auto w5 = [](int c) { return c << 3 | c >> 2; };
        if (b.PixelFormat() == pf15bit) return {w5(v >> 10 & 31), w5(v >> 5 & 31), w5(v & 31)};
        return {w5(v >> 11), (v >> 5 & 63) << 2 | (v >> 9 & 3), w5(v & 31)};
    }
    const std::uint8_t* p = row + x * (bits / 8);
    return {p[2], p[1], p[0]};
}

void SetColour(TBitmap& b, int x, int y, TColour c) {
    std::uint8_t* p = b.ScanLine(y) + x * (b.BitsPerPixel() / 8);
    p[0] = static_cast<std::uint8_t>(c.b);
    p[1] = static_cast<std::uint8_t>(c.g);
    p[2] = static_cast<std::uint8_t>(c.r);
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
        EXPECT_EQ(SystemPalette16()[i], fourBit.Palette()[i]) << i;
        EXPECT_EQ(Of(p[i]), Of(SystemPalette16()[i])) << i;
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
        const unsigned want = BruteNearest(HalftonePalette(), {r, g, b});
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
    case pf8bit: return Of(target.Palette().at(BruteNearest(target.Palette(), c)));
    case pf15bit: {
        auto w = [](int v) { return (v >> 3) << 3 | v >> 5; };
        return {w(c.r), w(c.g), w(c.b)};
    }
    case pf16bit: {
        auto w5 = [](int v) { return (v >> 3) << 3 | v >> 5; };
        return {w5(c.r), (c.g >> 2) << 2 | c.g >> 6, w5(c.b)};
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
                                         IndexAt(target, x, y) == BruteNearest(target.Palette(), c);
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
    } catch (const EBitmapError& e) {
        EXPECT_STREQ(e.what(), "Invalid pixel format");
    }
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_EQ(std::vector<std::uint8_t>(b.Bits().begin(), b.Bits().end()), before);
}

} // namespace
