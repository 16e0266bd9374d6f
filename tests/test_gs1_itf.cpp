// GS1-128 and ITF-14: GS1-128's code sets (the shortest symbol), its FNC1 separators and its
// limit of 48 data characters; ITF-14's ratios and its bearer bars measured on a picture.
#include "engine/BarLayout.h"
#include "engine/InputText.h"
#include "engine/LLBarcode.h"
#include "varimark/varimark.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;
using enum btCodeSizes;

namespace {

// The symbol values of a GS1-128 text, from the start character to STOP (106).
std::vector<int> Gs1Values(const std::string& text) {
    TLLBarcode barcode;
    barcode.Params.CodeType = GS1_128;
    barcode.Params.SetCaption(CheckedText(text, GS1_128, {}));
    barcode.Encode();
    std::vector<int> values;
    for (const char* p = barcode.CodeText; *p != '\0'; ++p)
        values.push_back(static_cast<unsigned char>(*p) - 32);
    EXPECT_EQ(barcode.ModuleCount, static_cast<int>(11 * values.size() + 2)) << text;
    return values;
}

// START A 103, B 104, C 105; FNC1 102; CODE C 99, CODE B 100; STOP 106. In set C a pair of
// digits is its number, in set B a character is its ASCII code - 32. The check character
// is the start's value plus each symbol's value times its place, modulo 103 (ISO/IEC
// 15417's symbol check character); the modules are 11 per symbol character and 13 for STOP.
struct TCodeSetRow {
    const char* text;
    std::vector<int> values;
};

const TCodeSetRow kCodeSetRows[] = {
    // SSCC, 20 digits: START C, FNC1, 10 pairs, check, STOP = 14 characters, 13 x 11 + 13 =
    // 156 modules. Check: 105 + 102 + 2 x 0 + 3 x 9 + 4 x 50 + 5 x 11 + 6 x 1 + 11 x 18 =
    // 693 = 6 x 103 + 75.
    {"(00)095011010000000018", {105, 102, 0, 9, 50, 11, 1, 0, 0, 0, 0, 18, 75, 106}},
    // "10AB": START C, FNC1, 10, CODE B, A, B would be 6 characters before the check as
    // START B, FNC1, 1, 0, A, B are: the tie goes to fewer code changes. Check: 104 + 102 +
    // 2 x 17 + 3 x 16 + 4 x 33 + 5 x 34 = 590 = 5 x 103 + 75.
    {"(10)AB", {104, 102, 17, 16, 33, 34, 75, 106}},
    // Seven digits: one goes in set B, the other six as pairs after CODE C (7 characters).
    {"(10)12345", {104, 102, 17, 99, 1, 23, 45, 102, 106}},
    // (3103) is four digits of the AI: 10 digits, 5 pairs.
    {"(3103)001250", {105, 102, 31, 3, 0, 12, 50, 20, 106}},
    // A variable-length element not last takes FNC1 after it, the last none: START B, FNC1,
    // 2, 1, A, 1, FNC1, 1, 0, B.
    {"(21)A1(10)B", {104, 102, 18, 17, 33, 17, 102, 17, 16, 34, 27, 106}},
    // Eight digits in the middle go to set C (4 pairs for 8 characters in B, plus CODE C);
    // "211" after FNC1 is 21 and CODE B, 1: 15 characters before the check.
    {"(10)AB12345678(21)1",
     {104, 102, 17, 16, 33, 34, 99, 12, 34, 56, 78, 102, 21, 100, 17, 71, 106}},
    // GTIN (fixed length: no FNC1 after it), a batch ending in digits and a serial: "123",
    // FNC1, "21" stay in B (6 characters, as "1", CODE C, 23, FNC1, 21, CODE B would be).
    {"(01)09501101530003(10)ABC123(21)XYZ",
     {105, 102, 1,  9,  50, 11,  1,  53, 0,  3,  10, 100, 33,
      34,  35,  17, 18, 19, 102, 18, 17, 56, 57, 58, 65,  106}},
};

TEST(Gs1Code128, CodeSetsGiveTheShortestSymbol) {
    for (const TCodeSetRow& row : kCodeSetRows)
        EXPECT_EQ(Gs1Values(row.text), row.values) << row.text;
}

// Data characters: AI digits, data and separating FNC1s (GS1 General Specifications).
struct TLimitRow {
    const char* text;
    const char* refusal; // nullptr: accepted
};

const TLimitRow kLimitRows[] = {
    // 20 + 16 + 12 = 48.
    {"(00)095011010000000018(01)09501101530003(10)ABCDEFGHIJ", nullptr},
    {"(00)095011010000000018(01)09501101530003(10)ABCDEFGHIJK",
     "GS1-128 holds at most 48 data characters: 49 given"},
    // 20 + 18 + the FNC1 after (10) + 9 = 48; one more digit of (21) is 49.
    {"(00)095011010000000018(10)ABCDEFGHIJKLMNOP(21)1234567", nullptr},
    {"(00)095011010000000018(10)ABCDEFGHIJKLMNOP(21)12345678",
     "GS1-128 holds at most 48 data characters: 49 given"},
    // The AI table's refusals come through as they are worded.
    {"(17)261331", "(17) 261331: month 13"},
};

TEST(Gs1Code128, HoldsAtMost48DataCharacters) {
    for (const TLimitRow& row : kLimitRows) {
        Symbol symbol;
        symbol.type = Type::GS1_128;
        symbol.text = row.text;
        try {
            Encode(symbol);
            EXPECT_EQ(row.refusal, nullptr) << row.text << " accepted";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), row.refusal == nullptr ? "(accepted)" : row.refusal) << row.text;
        }
    }
}

// The longest symbol: 48 data characters none of which pair as digits in set C after FNC1
// (the AIs 21 and 91 stand between letters): START B, FNC1, 48 characters, check, STOP =
// 52 characters, 51 x 11 + 13 = 574 modules.
TEST(Gs1Code128, LongestSymbolFitsTheEngine) {
    const std::string text =
        "(10)ABCDEFGHIJKLMNOPQRS(21)ABCDEFGHIJKLMNOPQRS(91)AB"; // 21 + 1 + 21 + 1 + 4
    const std::vector<int> values = Gs1Values(text);
    EXPECT_EQ(values.size(), 52u);
    EXPECT_EQ(values.front(), 104);
}

// The line, and room beside the bars when it is wider than they are. At 96 dpi and SC2 a
// module is 1 pixel, the bars 56 pixels high and the font 13 (56 x 74.24 / 56.24 x 0.18).
// The second text's 40 digits make 20 pairs: 24 symbol characters, 266 modules; its line is
// 40 x 0.556 + 7 x 0.278 + 8 x 0.333 = 26.9 em of 13 / 1.15 pixels, with a tenth more 334:
// 34 pixels on either side. The first's 266 modules leave its line of 21.4 em (266.2 pixels)
// 1 pixel on either side.
struct TLineRow {
    const char* text;
    const char* line;
    int room; // pixels between the box's left edge and the bars
};

const TLineRow kLineRows[] = {
    {"[01]09501101530003[17]260131[10]AB-123", "(01) 09501101530003 (17) 260131 (10) AB-123", 1},
    {"(00)095011010000000018(11)260101(17)260131(20)12",
     "(00) 095011010000000018 (11) 260101 (17) 260131 (20) 12", 34},
};

TEST(Gs1Code128, HumanReadableLineUnderTheBars) {
    for (const TLineRow& row : kLineRows) {
        TLLBarcode barcode;
        barcode.Params.CodeType = GS1_128;
        barcode.Params.SetCaption(CheckedText(row.text, GS1_128, {}));
        barcode.Encode();
        const TBarLayout layout =
            LayOutBarcode(barcode, ResolutionAt(96, 96), 0, 0, [](int, bool) { return 15; });
        ASSERT_EQ(layout.pieceCount, 1);
        EXPECT_EQ(layout.pieces[0].Text(), row.line);
        const int left = layout.bars[0].rect.left;
        const int right = layout.box.width - 1 - layout.bars[layout.barCount - 1].rect.right;
        EXPECT_EQ(left, row.room) << row.text;
        EXPECT_EQ(left, right) << row.text;
    }
}

// ITF-14's ratio: 2.25 to 3 in quarters; 2 and 3 stay the other types' only ratios. Modules:
// 14 digits are 7 pairs of 2 x (2 wide + 3 narrow) elements, with the start (4 narrow) and
// the stop (wide, 2 narrow): 29 wide and 48 narrow elements. At 2.5 in half modules
// 29 x 5 + 48 x 2 = 241; at 2.25 and 2.75 in quarters 29 x 9 + 192 = 453 and 29 x 11 + 192
// = 511; at 3 29 x 3 + 48 = 135.
struct TRatioRow {
    Type type;
    double ratio;
    std::size_t modules; // 0: refused with message
    const char* message;
};

const TRatioRow kRatioRows[] = {
    {Type::ITF_14, 0, 241, nullptr},
    {Type::ITF_14, 2.25, 453, nullptr},
    {Type::ITF_14, 2.5, 241, nullptr},
    {Type::ITF_14, 2.75, 511, nullptr},
    {Type::ITF_14, 3, 135, nullptr},
    {Type::ITF_14, 2.2, 0, "bad ratio 2.2 (ITF_14: 2.25, 2.5, 2.75 or 3)"},
    {Type::ITF_14, 2, 0, "bad ratio 2 (ITF_14: 2.25, 2.5, 2.75 or 3)"},
    {Type::ITF_14, 3.1, 0, "bad ratio 3.1 (ITF_14: 2.25, 2.5, 2.75 or 3)"},
    // Interleaved 2 of 5 of the same 14 digits: start 4, 7 pairs of 2 x (2 x 3 + 3), stop 5.
    {Type::CODE25i, 0, 135, nullptr},
    {Type::CODE25i, 2, 0 + 4 + 7 * 2 * 7 + 4, nullptr},
    {Type::CODE25i, 2.5, 0, "bad ratio 2.5 (3 or 2)"},
};

TEST(Itf14, RatioRangeIsItsOwn) {
    for (const TRatioRow& row : kRatioRows) {
        Symbol symbol;
        symbol.type = row.type;
        symbol.text = "15400141288763";
        symbol.ratio = row.ratio;
        SCOPED_TRACE(std::string(TypeName(row.type)) + " ratio " + std::to_string(row.ratio));
        try {
            EXPECT_EQ(Encode(symbol).modules.size(), row.modules);
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), row.message == nullptr ? "(accepted)" : row.message);
        }
    }
}

// A 24-bit BMP as rows of darkness, top row first.
struct TPicture {
    int width = 0, height = 0;
    std::vector<std::vector<bool>> dark;

    explicit TPicture(const std::vector<std::uint8_t>& bmp) {
        const auto at = [&](std::size_t offset) {
            return static_cast<std::int32_t>(bmp[offset] | bmp[offset + 1] << 8 |
                                             bmp[offset + 2] << 16 | bmp[offset + 3] << 24);
        };
        const std::size_t data = static_cast<std::size_t>(at(10));
        width = at(18);
        height = at(22); // positive: bottom-up
        const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
        dark.assign(static_cast<std::size_t>(height), std::vector<bool>(width));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                dark[static_cast<std::size_t>(height - 1 - y)][static_cast<std::size_t>(x)] =
                    bmp[data + static_cast<std::size_t>(y) * stride +
                        static_cast<std::size_t>(x) * 3] < 128;
    }
    // The runs of equal pixels along a row or a column, light runs negative.
    std::vector<int> Runs(bool row, int index) const {
        std::vector<int> runs;
        const int n = row ? width : height;
        for (int i = 0; i < n; ++i) {
            const bool d = row ? dark[static_cast<std::size_t>(index)][static_cast<std::size_t>(i)]
                               : dark[static_cast<std::size_t>(i)][static_cast<std::size_t>(index)];
            if (runs.empty() || (runs.back() > 0) != d) runs.push_back(0);
            runs.back() += d ? 1 : -1;
        }
        return runs;
    }
};

// The bearer bars measured in pixels on the picture, against the narrow bar N it measures
// too (the start's first bar): SC9 at 300 dpi is 7.8 pixels, whole pixels 8 at ratio 3, and
// twice 4 (half modules of 3.9) at 2.5. Expected: bars 5 N thick; between the frame's sides
// (or the ends of the bars over and under) and the first and last bar 10 N; the stop's wide
// bar ratio x N.
struct TBearerRow {
    Bearer bearer;
    double ratio;
    int narrow;
    int wide;
};

const TBearerRow kBearerRows[] = {
    {Bearer::Frame, 0, 8, 20},
    {Bearer::TopBottom, 0, 8, 20},
    {Bearer::Frame, 3, 8, 24},
    {Bearer::TopBottom, 3, 8, 24},
};

TEST(Itf14, BearerBarsOnThePicture) {
    for (const TBearerRow& row : kBearerRows) {
        Symbol symbol;
        symbol.type = Type::ITF_14;
        symbol.text = "1540014128876";
        symbol.moduleSize = 9;
        symbol.ratio = row.ratio;
        symbol.bearer = row.bearer;
        symbol.humanReadable = false;
        PictureOptions options;
        options.format = Format::Bmp;
        options.dpi = 300;
        options.margin = 3;
        const TPicture picture(Render(symbol, options));
        const bool frame = row.bearer == Bearer::Frame;
        SCOPED_TRACE(frame ? "frame" : "top-bottom");
        const int n = row.narrow;

        // Across the middle: margin, (side of the frame,) quiet zone, bars, quiet zone, ...;
        // first and last are the light runs before and after the bars.
        const std::vector<int> across = picture.Runs(true, picture.height / 2);
        ASSERT_GE(across.size(), 8u);
        std::size_t first = 0;
        if (frame) {
            EXPECT_EQ(across[1], 5 * n);
            EXPECT_EQ(across[across.size() - 2], 5 * n);
            first = 2;
        }
        const std::size_t last = across.size() - 1 - first; // mirrors first
        EXPECT_EQ(across[first + 1], n);                    // the start's first bar
        EXPECT_EQ(across[last - 1], n);                     // the stop's last bar
        EXPECT_EQ(across[last - 3], row.wide);              // the stop's wide bar
        // Without the sides the margin (3 pixels, and the drawing's extra one on the right)
        // adds to the quiet zones.
        EXPECT_EQ(across[first], -10 * n - (frame ? 0 : 3));
        EXPECT_EQ(across[last], -10 * n - (frame ? 0 : 4));

        // Down a column through the left quiet zone: margin, bar over, light, bar under.
        const int column = 3 + (frame ? 5 * n : 0) + 5 * n;
        const std::vector<int> down = picture.Runs(false, column);
        ASSERT_EQ(down.size(), 5u);
        EXPECT_EQ(down[1], 5 * n);
        EXPECT_EQ(down[3], 5 * n);
        // The bars over and under reach 10 N past the first and last bar.
        const std::vector<int> top = picture.Runs(true, 3 + 2 * n);
        ASSERT_EQ(top.size(), 3u);
        int bars = 0;
        for (std::size_t i = first + 1; i < last; ++i) bars += std::abs(across[i]);
        EXPECT_EQ(top[1], 2 * (frame ? 5 * n : 0) + 20 * n + bars);
    }
}

// The bearer bars and quiet zones in the layout, in pixels, where a module may be below a
// pixel. SC2 (0.33 mm) at 300 dpi (11.811 px/mm) without ZoomSize, in halves for the ratio
// 2.5: 0.165 mm = 1.95 px, whole 2; bearer bars 5 x 2 x 2 = 20 thick (down the same, scaled
// to the whole pixels), quiet zones 10 x 2 x 2 = 40. SC0 at high density (0.135 mm) at
// 10 dpi (0.3937 px/mm) with ZoomSize, in halves: 0.0266 px; bearer bars round(5 x 2 x
// 0.0266) = 0 and quiet zones round(0.53) = 1, the bearer bars held to a pixel as the bars
// are, or they vanish.
struct TBearerPixelRow {
    int dpi;
    bool zoom;
    btCodeSizes size;
    bool highDensity;
    TBearer bearer;
    int thickness, quiet;
};

const TBearerPixelRow kBearerPixelRows[] = {
    {300, false, SC2, false, TBearer::Frame, 20, 40},
    {300, false, SC2, false, TBearer::TopBottom, 20, 40},
    {10, true, SC0, true, TBearer::Frame, 1, 1},
    {10, true, SC0, true, TBearer::TopBottom, 1, 1},
};

TEST(Itf14, BearerBarsAtLeastAPixel) {
    for (const TBearerPixelRow& row : kBearerPixelRows) {
        SCOPED_TRACE(std::to_string(row.dpi) + " dpi, " +
                     (row.bearer == TBearer::Frame ? "frame" : "top-bottom"));
        TLLBarcode barcode;
        TBarcodeParams& params = barcode.Params;
        params.CodeType = ITF_14;
        params.SetCaption("1540014128876");
        params.ModuleWidth = row.size;
        params.HighDensity = row.highDensity;
        params.ZoomSize = row.zoom;
        params.Bearer = row.bearer;
        params.HumanReadable = false;
        barcode.Encode();
        const TBarLayout layout = LayOutBarcode(barcode, ResolutionAt(row.dpi, row.dpi), 0, 0,
                                                [](int, bool) { return 0; });
        std::vector<TRect> bearers, bars;
        for (const TBar& bar : layout.Bars())
            (bar.kind == TBarKind::Bearer ? bearers : bars).push_back(bar.rect);
        const bool frame = row.bearer == TBearer::Frame;
        ASSERT_EQ(bearers.size(), frame ? 4u : 2u);
        ASSERT_FALSE(bars.empty());
        for (std::size_t i = 0; i < 2; ++i)
            EXPECT_EQ(bearers[i].bottom - bearers[i].top, row.thickness) << "over, under";
        for (std::size_t i = 2; i < bearers.size(); ++i)
            EXPECT_EQ(bearers[i].right - bearers[i].left, row.thickness) << "sides";
        // The quiet zones: from the side (or the bearer bars' ends) to the first and last bar.
        const int inner = frame ? bearers[2].right : bearers[0].left;
        const int outer = frame ? bearers[3].left : bearers[0].right;
        EXPECT_EQ(bars.front().left - inner, row.quiet);
        EXPECT_EQ(outer - bars.back().right, row.quiet);
    }
}

} // namespace
