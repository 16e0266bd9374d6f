// Drawing onto a surface: bar rectangles and heights, drawn sizes, the human-readable
// line, rotation, add-ons, the postal symbols and what drawing leaves on the surface.
// Expected values are worked out by hand from the drawing rules; the arithmetic is noted.
#include "BarDrawing.h"
#include "RecordingSurface.h"
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;
using enum btCodeSizes;
using enum btCodeRatio;
using enum btCodeRotate;

namespace {

constexpr TColor kRed{255, 0, 0};
constexpr unsigned kCentreTop = TA_CENTER | TA_TOP;
constexpr unsigned kRightBottom = TA_RIGHT | TA_BOTTOM;

using Piece = std::tuple<std::string, int, int>; // text, x, y

std::vector<Piece> Pieces(const RecordingSurface& s) {
    std::vector<Piece> out;
    for (const RecordedText& t : s.texts) out.emplace_back(t.text, t.x, t.y);
    return out;
}

std::vector<Box> Bars(const RecordingSurface& s) {
    std::vector<Box> out;
    for (const RecordedFill& f : s.fills) out.push_back(f.Normalised());
    return out;
}

bool Contains(const std::vector<Box>& boxes, const Box& b) {
    for (const Box& x : boxes)
        if (x == b) return true;
    return false;
}

// UPC-A pattern written out from the number sets: set A on the left, set C (set A with
// bars and spaces exchanged) on the right.
const char* const kSetA[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                               "0110001", "0101111", "0111011", "0110111", "0001011"};

std::string UpcaPattern(const std::string& digits) {
    std::string s = "101";
    for (int i = 0; i < 6; ++i) s += kSetA[digits[i] - '0'];
    s += "01010";
    for (int i = 6; i < 12; ++i)
        for (const char* c = kSetA[digits[i] - '0']; *c; ++c) s += *c == '1' ? '0' : '1';
    return s + "101";
}

// Module i (from 1) spans left + (i - 1)p .. left + ip; data bars end at the short bottom.
std::vector<Box> UpcaBars(const std::string& pattern, int left, int p, int shortBottom,
                          int longBottom) {
    std::vector<Box> bars;
    for (std::size_t i = 0; i < pattern.size();) {
        std::size_t j = i;
        while (j < pattern.size() && pattern[j] == pattern[i]) ++j;
        const int s = static_cast<int>(i) + 1;
        const bool data = (s >= 4 && s <= 45) || (s >= 51 && s <= 92);
        if (pattern[i] == '1')
            bars.push_back({left + static_cast<int>(i) * p, 0, left + static_cast<int>(j) * p,
                            data ? shortBottom : longBottom});
        i = j;
    }
    return bars;
}

// --- UPC-A at whole-pixel modules -------------------------------------------------------

struct UpcaCase {
    const char* name;
    int dpi, p, l, shortBottom, longBottom;
    TDrawnSize size;
    int font;
    std::vector<Piece> pieces;
};

class UpcaGeometry : public ::testing::TestWithParam<UpcaCase> {};

TEST_P(UpcaGeometry, BarsSizeAndDigits) {
    const UpcaCase& c = GetParam();
    Drawing d({.dpiX = c.dpi, .dpiY = c.dpi});
    d.Draw();
    EXPECT_EQ(d.size, c.size);
    EXPECT_EQ(Bars(d.surface),
              UpcaBars(UpcaPattern("123456789012"), c.l, c.p, c.shortBottom, c.longBottom));
    for (const RecordedFill& f : d.surface.fills) EXPECT_EQ(f.color, kBlack);
    EXPECT_EQ(Pieces(d.surface), c.pieces);
    for (const RecordedText& t : d.surface.texts)
        EXPECT_EQ(std::tie(t.face, t.height, t.escapement, t.align),
                  std::make_tuple(std::string("Arial"), c.font, 0, kCentreTop));
    ASSERT_FALSE(d.surface.measures.empty()); // T is measured with the line's own font
    const RecordedMeasure& m = d.surface.measures.back();
    EXPECT_EQ(std::tie(m.text, m.face, m.height),
              std::make_tuple(std::string("Ay"), std::string("Arial"), c.font));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Dpi, UpcaGeometry, ::testing::Values(
    // 96 dpi: p = nearest(0.33 * 96 / 25.4 = 1.247) = 1, L = 10, H = nearest(74.24) = 74,
    // short bottom nearest(74 * 0.917 = 67.86) = 68, F = nearest(13.32) = 13;
    // W = 95 + 20 + 1 = 116, V = 13 + nearest(69.09) + 1 = 83; first guard (10,0,11,74).
    // Digits: X + L div 2 = 5, x[25] = 24 + 10, x[72] = 71 + 10, x[95] + p + 5 = 110.
    UpcaCase{"dpi96", 96, 1, 10, 68, 74, {116, 83}, 13,
             {{"1", 5, 68}, {"23456", 34, 68}, {"78901", 81, 68}, {"2", 110, 68}}},
    // 600 dpi: p = nearest(7.795) = 8, L = 80, H = nearest(74.24 * 8 = 593.92) = 594,
    // short nearest(544.70) = 545, F = nearest(106.92) = 107; W = 760 + 160 + 1 = 921,
    // V = 13 + nearest(554.56) + 1 = 569. x[25] = 192 + 80, x[72] = 568 + 80,
    // x[95] + p + L div 2 = 832 + 8 + 40.
    UpcaCase{"dpi600", 600, 8, 80, 545, 594, {921, 569}, 107,
             {{"1", 40, 545}, {"23456", 272, 545}, {"78901", 648, 545}, {"2", 880, 545}}}),
    kByName);
// clang-format on

TEST(UpcaZoomSize, ModuleEdgesAtExactMillimetres) {
    // m * rx = 1.24724; p = 1, L = 10; x[i] = nearest((i - 1) * 1.24724) + 10.
    // H = nearest(74.24 * 1.24724 = 92.60) = 93, short nearest(85.28) = 85, F = nearest(16.74).
    // W = x[95] + L + p + 1 = 127 + 12 = 139; V = 13 + nearest(86.82) + 1 = 101.
    Drawing d({.zoom = true});
    d.Draw();
    EXPECT_EQ(d.size, (TDrawnSize{139, 101}));
    EXPECT_EQ(d.surface.FontHeight(), 17);
    const std::vector<Box> bars = Bars(d.surface);
    ASSERT_EQ(bars.size(), 30u);
    EXPECT_EQ(bars[0], (Box{10, 0, 11, 93}));    // module 1
    EXPECT_EQ(bars[1], (Box{12, 0, 13, 93}));    // module 3: nearest(2.49) = 2
    EXPECT_EQ(bars[2], (Box{16, 0, 18, 85}));    // modules 6-7: nearest(6.24) = 6, + nearest(2.49)
    EXPECT_EQ(bars[29], (Box{127, 0, 128, 93})); // module 95: nearest(117.24) = 117
    // x[25] = nearest(29.93) + 10, x[72] = nearest(88.55) + 10, x[95] + 1 + 5 = 133.
    EXPECT_EQ(
        Pieces(d.surface),
        (std::vector<Piece>{{"1", 5, 85}, {"23456", 40, 85}, {"78901", 99, 85}, {"2", 133, 85}}));
}

// --- Zoomed placement ------------------------------------------------------------------

struct ZoomCase {
    const char* name;
    int dpi;
    btCodeSizes size;
    bool highDensity;
    btCodeTypes type;
    const char* caption;
    const char* addon;
};

// The first module and the length of each bar of the encoded pattern.
std::vector<std::pair<int, int>> BarRuns(const TLLBarcode& e) {
    std::vector<std::pair<int, int>> runs;
    for (int i = 1; i <= e.ModuleCount; ++i) {
        if (e.Modules[i] == 0) continue;
        if (i > 1 && e.Modules[i - 1] != 0)
            ++runs.back().second;
        else
            runs.emplace_back(i, 1);
    }
    return runs;
}

Drawing ZoomedDrawing(const ZoomCase& c) {
    Drawing d({.type = c.type,
               .caption = c.caption,
               .addon = c.addon,
               .dpiX = c.dpi,
               .dpiY = c.dpi,
               .size = c.size,
               .highDensity = c.highDensity,
               .zoom = true});
    d.Draw();
    return d;
}

class ZoomBelowAPixel : public ::testing::TestWithParam<ZoomCase> {};

// Modules narrower than a pixel: no bar vanishes and no two bars run together.
TEST_P(ZoomBelowAPixel, EveryBarAndEverySpaceBetweenBarsKeepsAPixel) {
    Drawing d = ZoomedDrawing(GetParam());
    const std::vector<Box> bars = Bars(d.surface);
    ASSERT_EQ(bars.size(), BarRuns(d.engine).size());
    for (std::size_t i = 0; i < bars.size(); ++i) {
        EXPECT_GE(bars[i][2] - bars[i][0], 1) << "bar " << i;
        if (i > 0) {
            EXPECT_GE(bars[i][0] - bars[i - 1][2], 1) << "space before bar " << i;
        }
    }
    EXPECT_LE(bars.back()[2], d.size.width); // the width follows the pushed edges
}

// Module widths: 0.135 mm at 72 dpi 0.38 pixels, at 96 dpi 0.51; 0.165 mm at 50 dpi 0.32;
// 0.33 mm at 72 dpi 0.94; 0.445 mm at 30 dpi 0.53.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, ZoomBelowAPixel, ::testing::Values(
    ZoomCase{"code128_72dpi_sc0_hd", 72, SC0, true, CODE128_B, "Hello", ""},
    ZoomCase{"upca_72dpi_sc0_hd", 72, SC0, true, UPC_A, "12345678901", ""},
    ZoomCase{"ean13_addon_96dpi_sc0_hd", 96, SC0, true, EAN_13, kEan13, "52495"},
    ZoomCase{"code39_50dpi_sc2_hd", 50, SC2, true, CODE39, "VARIMARK", ""},
    ZoomCase{"code128c_72dpi_sc9_hd", 72, SC9, true, CODE128_C, "0123456789012345", ""},
    ZoomCase{"msi_30dpi_sc5", 30, SC5, false, MSI_Plessey, "1234567", ""},
    ZoomCase{"codabar_72dpi_sc0_hd", 72, SC0, true, Codabar, "A1234B", ""}),
    kByName);
// clang-format on

class ZoomWholePixels : public ::testing::TestWithParam<ZoomCase> {};

// Where every bar and space already had a pixel, the bars stand where each module edge's own
// rounded position puts them, as they always did: a bar of r modules from s is
// nearest(r m rx) wide from nearest((s - 1) m rx) + X + L.
TEST_P(ZoomWholePixels, BarsStayAtTheirRoundedPositions) {
    const ZoomCase& c = GetParam();
    Drawing d = ZoomedDrawing(c);
    const long double mrx = d.engine.ModuleWidthMM() * (c.dpi * 0.039370078740157480314L);
    const int p = std::max(1, static_cast<int>(std::lrintl(mrx)));
    const int l = c.type == EAN_13 || c.type == UPC_A ? 10 * p : 0;
    std::vector<std::pair<int, int>> expected;
    for (const auto& [s, r] : BarRuns(d.engine)) {
        const int left = static_cast<int>(std::lrintl((s - 1) * mrx)) + l;
        expected.emplace_back(left, left + static_cast<int>(std::lrintl(r * mrx)));
    }
    std::vector<std::pair<int, int>> drawn;
    for (const Box& b : Bars(d.surface)) drawn.emplace_back(b[0], b[2]);
    EXPECT_EQ(drawn, expected);
    const int n = d.engine.ModuleCount;
    EXPECT_EQ(d.size.width, static_cast<int>(std::lrintl((n - 1) * mrx)) + 2 * l + p + 1);
}

// Modules of 1.25 pixels (0.33 mm at 96 dpi), 1.59 (0.135 mm at 300 dpi, 0.27 mm at 150).
// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, ZoomWholePixels, ::testing::Values(
    ZoomCase{"upca_96dpi_sc2", 96, SC2, false, UPC_A, "12345678901", ""},
    ZoomCase{"ean13_addon_96dpi_sc2", 96, SC2, false, EAN_13, kEan13, "52495"},
    ZoomCase{"code128_300dpi_sc0_hd", 300, SC0, true, CODE128_B, "Hello", ""},
    ZoomCase{"code39_150dpi_sc0", 150, SC0, false, CODE39, "VARIMARK", ""}),
    kByName);
// clang-format on

// --- Drawn sizes and font heights ------------------------------------------------------

struct SizeCase {
    const char* name;
    Setup setup;
    TDrawnSize size;
    int font; // surface font height afterwards
};

class DrawnSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(DrawnSize, WidthHeightAndFont) {
    Drawing d(GetParam().setup);
    d.Draw();
    EXPECT_EQ(d.size, GetParam().size);
    EXPECT_EQ(d.surface.FontHeight(), GetParam().font);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, DrawnSize, ::testing::Values(
    // 0.27 * 72 / 25.4 = 0.765 -> p = 1; H = nearest(74.24) = 74: as at 96 dpi.
    SizeCase{"sc0_72dpi", {.dpiX = 72, .dpiY = 72, .size = SC0}, {116, 83}, 13},
    // 0.135 * 72 / 25.4 = 0.383 -> 0, taken as 1.
    SizeCase{"sc0_high_density_72dpi", {.dpiX = 72, .dpiY = 72, .size = SC0, .highDensity = true},
             {116, 83}, 13},
    // One zero resolution: both come from the screen (96), so 600 down is not used.
    SizeCase{"zero_dpi_uses_screen", {.dpiX = 0, .dpiY = 600}, {116, 83}, 13},
    // c = MulDiv(74, 80, 100) = 59; V = 13 + nearest(69.09 - 59) + 1 = 24.
    SizeCase{"ean13_height20", {.type = EAN_13, .caption = kEan13, .heightPercent = 20}, {116, 24}, 13},
    // H = 93, c = MulDiv(93, 50, 100) = 46.5 -> 47; V = 13 + nearest(86.82 - 47) + 1 = 54.
    SizeCase{"ean13_zoom_height50",
             {.type = EAN_13, .caption = kEan13, .zoom = true, .heightPercent = 50}, {139, 54}, 17},
    // *A*: 48 modules, W = 49; H = nearest(56.24) = 56, V = 13 + 56 + 1;
    // F = nearest(56 * 74.24 / 56.24 * 0.18 = 13.31) = 13; at 50 %: nearest(6.65) = 7.
    SizeCase{"code39", {.type = CODE39, .caption = "A"}, {49, 70}, 13},
    SizeCase{"code39_fontscaling50", {.type = CODE39, .caption = "A", .fontscaling = 50}, {49, 70}, 7},
    // c = 28, V = 13 + 56 - 28 + 1 (no 0.9336 outside the EAN/UPC family).
    SizeCase{"code39_height50", {.type = CODE39, .caption = "A", .heightPercent = 50}, {49, 42}, 13},
    SizeCase{"code39_rot270", {.type = CODE39, .caption = "A", .rotation = rotate_270}, {70, 49}, 13},
    // 67 modules: W = 68; V = 13 + nearest(56 * 0.9336 = 52.28) + 1 = 66.
    SizeCase{"ean8", {.type = EAN_8, .caption = "4711"}, {68, 66}, 13},
    // Postnet 9 digits: W = 226, V = 26, font 14 (worked out below); screen dpi for a zero.
    SizeCase{"postnet_zero_dpi_uses_screen",
             {.type = Postnet, .caption = "123456789", .dpiX = 600, .dpiY = 0}, {226, 26}, 14},
    SizeCase{"postnet_rot90",
             {.type = Postnet, .caption = "123456789", .rotation = rotate_090}, {26, 226}, 14},
    // 32 bars: x[32] = nearest(135.27) = 135, W = 138; without text V = D + 1.
    SizeCase{"postnet5_no_text",
             {.type = Postnet, .caption = "12345", .humanReadable = false}, {138, 13}, 14},
    // 110 dpi: q = 6.875, x[9] = 55 but the bars stand at 8 * nearest(q) = 56, b = 3,
    // D = nearest(68.75) = 69: W = 56 + 3 + 1 = 60 (the last bar inside), V = 83;
    // font nearest(69 * 1.32 * 0.18 = 16.40) = 16.
    SizeCase{"fim_110dpi", {.type = Postnet_FIM, .caption = "b", .dpiX = 110, .dpiY = 110},
             {60, 83}, 16}),
    kByName);
// clang-format on

// --- Rotation --------------------------------------------------------------------------

struct RotationCase {
    btCodeRotate rotation;
    TDrawnSize size;
    Box firstBar;                 // raw corners of the first guard bar (10, 0, 11, 74)
    int textX, textY, escapement; // first digit, unrotated (5, 68)
};

class Rotation : public ::testing::TestWithParam<RotationCase> {};

TEST_P(Rotation, UpcaMapsBarsTextAndSize) {
    const RotationCase& c = GetParam();
    Drawing d({.rotation = c.rotation});
    d.Draw();
    EXPECT_EQ(d.size, c.size);
    ASSERT_EQ(d.surface.fills.size(), 30u);
    EXPECT_EQ(d.surface.fills[0].Raw(), c.firstBar);
    for (const Box& b : Bars(d.surface)) { // everything inside the returned size
        EXPECT_GE(b[0], 0);
        EXPECT_GE(b[1], 0);
        EXPECT_LE(b[2], c.size.width);
        EXPECT_LE(b[3], c.size.height);
    }
    ASSERT_EQ(d.surface.texts.size(), 4u);
    EXPECT_EQ(d.surface.texts[0].x, c.textX);
    EXPECT_EQ(d.surface.texts[0].y, c.textY);
    for (const RecordedText& t : d.surface.texts) EXPECT_EQ(t.escapement, c.escapement);
}

// W = 116, V = 83. 90: (v, W - u); 180: (W - u, V - v); 270: (V - v, u).
INSTANTIATE_TEST_SUITE_P(
    Quarters, Rotation,
    ::testing::Values(RotationCase{rotate_000, {116, 83}, {10, 0, 11, 74}, 5, 68, 0},
                      RotationCase{rotate_090, {83, 116}, {0, 106, 74, 105}, 68, 111, 900},
                      RotationCase{rotate_180, {116, 83}, {105, 83, 106, 9}, 111, 15, 1800},
                      RotationCase{rotate_270, {83, 116}, {83, 10, 9, 11}, 15, 5, 2700}));

struct MapCase {
    btCodeRotate rotation;
    btCodeTypes type;
    Box fill;                     // raw corners
    int x, y, escapement, height; // text reference point and font
};

class RotationHelpers : public ::testing::TestWithParam<MapCase> {};

TEST_P(RotationHelpers, FillRectAndTextOutThroughTheMap) {
    const MapCase& c = GetParam();
    TLLBarcode e;
    e.Params.Rotation = c.rotation;
    e.Params.CodeType = c.type;
    e.Params.Fontname = std::string(31, 'F') + "ontname."; // face cut to 31 characters
    RecordingSurface s;
    s.SetBrushColor(kRed);
    s.SetTextAlign(kRightBottom);
    e.FillRectRotated(s, {15, 7, 16, 76}, 5, 7, 116, 83);
    e.TextOutRotated(s, 5, 7, "AB", 74, 116, 83, 75, 39);
    ASSERT_EQ(s.fills.size(), 1u);
    EXPECT_EQ(s.fills[0].Raw(), c.fill);
    EXPECT_EQ(s.fills[0].color, kRed);
    ASSERT_EQ(s.texts.size(), 1u);
    const RecordedText& t = s.texts[0];
    EXPECT_EQ(std::tie(t.text, t.x, t.y, t.escapement, t.height),
              std::make_tuple(std::string("AB"), c.x, c.y, c.escapement, c.height));
    EXPECT_EQ(t.face, std::string(31, 'F'));
    EXPECT_EQ(t.align, kCentreTop);
    EXPECT_EQ(s.TextAlign(), kCentreTop);
}

// Box (5, 7, 116, 83). Rect (15, 7, 16, 76): dl = 10, dr = 11, dt = 0, db = 69 (the bar
// (10, 0, 11, 69) of a box at the origin, which turns into the row (0, 106, 69, 105)).
// Text point (39, 75): d = 34, e = 68. Font from basis 74: EAN-13/UPC-A
// nearest(74 * 0.18 = 13.32) = 13, other types nearest(74 * 1.32 * 0.18 = 17.58) = 18.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Quarters, RotationHelpers, ::testing::Values(
    MapCase{rotate_000, UPC_A,       {15, 7, 16, 76},    39, 75, 0,    13},
    MapCase{rotate_090, CODE39,      {5, 113, 74, 112},  73, 89, 900,  18},
    MapCase{rotate_180, EAN_13,      {110, 90, 111, 21}, 87, 22, 1800, 13},
    MapCase{rotate_270, MSI_Plessey, {88, 17, 19, 18},   20, 41, 2700, 18}));
// clang-format on

// --- Bar widths and heights ------------------------------------------------------------

struct ReduceCase {
    btCodeRatio ratio;
    bool reduce;
    std::vector<int> lefts, widths;
};

class WidthReduce : public ::testing::TestWithParam<ReduceCase> {};

TEST_P(WidthReduce, NarrowsBarsOfTwoOrMorePixels) {
    const ReduceCase& c = GetParam();
    Drawing d({.type = CODE39, .caption = "", .ratio = c.ratio, .widthReduce = c.reduce});
    d.Draw();
    std::vector<Box> expected;
    for (std::size_t i = 0; i < c.lefts.size(); ++i)
        expected.push_back({c.lefts[i], 0, c.lefts[i] + c.widths[i], 56});
    EXPECT_EQ(Bars(d.surface), expected);
}

// "**" at p = 1. Start/stop bars n n w w n. Ratio_3: 16 modules a character, bars at
// modules 1, 5, 7-9, 11-13, 15; Ratio_2: 13 modules, bars at 1, 4, 6-7, 9-10, 12.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Ratios, WidthReduce, ::testing::Values(
    ReduceCase{Ratio_3, false, {0, 4, 6, 10, 14, 16, 20, 22, 26, 30}, {1, 1, 3, 3, 1, 1, 1, 3, 3, 1}},
    ReduceCase{Ratio_3, true,  {0, 4, 6, 10, 14, 16, 20, 22, 26, 30}, {1, 1, 2, 2, 1, 1, 1, 2, 2, 1}},
    ReduceCase{Ratio_2, false, {0, 3, 5, 8, 11, 13, 16, 18, 21, 24},  {1, 1, 2, 2, 1, 1, 1, 2, 2, 1}},
    ReduceCase{Ratio_2, true,  {0, 3, 5, 8, 11, 13, 16, 18, 21, 24},  {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}}));
// clang-format on

struct HeightCase {
    const char* name;
    bool zoom;
    int heightPercent, shortBottom, longBottom;
    Box dataBar, centreGuard;
    std::vector<Piece> pieces;
};

class HeightPercent : public ::testing::TestWithParam<HeightCase> {};

TEST_P(HeightPercent, CutsBarsFromTheBottomAndLiftsTheDigits) {
    const HeightCase& c = GetParam();
    Drawing d(
        {.type = EAN_13, .caption = kEan13, .zoom = c.zoom, .heightPercent = c.heightPercent});
    d.Draw();
    const std::vector<Box> bars = Bars(d.surface);
    ASSERT_FALSE(bars.empty());
    EXPECT_EQ(bars[0], (Box{10, 0, 11, c.longBottom})); // left guard stays long
    EXPECT_TRUE(Contains(bars, c.dataBar));
    EXPECT_TRUE(Contains(bars, c.centreGuard));
    for (const Box& b : bars) {
        EXPECT_EQ(b[1], 0);
        EXPECT_TRUE(b[3] == c.shortBottom || b[3] == c.longBottom) << b[3];
    }
    EXPECT_EQ(Pieces(d.surface), c.pieces);
}

// Digit 2 of 4006381333931 is 0 in set A (0001101): first data bar at modules 7-8.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Ean13, HeightPercent, ::testing::Values(
    // H = 74, c = MulDiv(74, 80, 100) = 59.2 -> 59: long 15, short 68 - 59 = 9.
    HeightCase{"percent20", false, 20, 9, 15, {16, 0, 18, 9}, {56, 0, 57, 15},
               {{"4", 5, 9}, {"006381", 34, 9}, {"333931", 81, 9}}},
    // Zoom: H = 93, c = 46.5 -> 47 (half away from zero): long 46, short 85 - 47 = 38.
    // x[7] = nearest(7.48) + 10 = 17, x[47] = nearest(57.37) + 10 = 67.
    HeightCase{"zoom_percent50", true, 50, 38, 46, {17, 0, 19, 38}, {67, 0, 68, 46},
               {{"4", 5, 38}, {"006381", 40, 38}, {"333931", 99, 38}}}),
    kByName);
// clang-format on

// --- Add-ons ---------------------------------------------------------------------------

struct AddonCase {
    const char* name;
    const char* addon;
    bool humanReadable;
    int textHeight, moduleCount, addonTop;
    TDrawnSize size;
    int addonCentre;
};

class Addon : public ::testing::TestWithParam<AddonCase> {};

TEST_P(Addon, LoweredBarsAndDigitsAbove) {
    const AddonCase& c = GetParam();
    Drawing d({.type = EAN_13,
               .caption = kEan13,
               .addon = c.addon,
               .humanReadable = c.humanReadable,
               .textHeight = c.textHeight,
               .x = 3,
               .y = 4});
    d.Draw();
    EXPECT_EQ(d.engine.ModuleCount, c.moduleCount);
    EXPECT_EQ(d.size, c.size);
    // x[105] = 104 + 3 + 10 = 117; start guard 1011: bars at 117 and 119-120; bottom 4 + 74.
    const std::vector<Box> bars = Bars(d.surface);
    EXPECT_TRUE(Contains(bars, {117, c.addonTop, 118, 78}));
    EXPECT_TRUE(Contains(bars, {119, c.addonTop, 121, 78}));
    for (const Box& b : bars) {
        EXPECT_EQ(b[1], b[0] >= 117 ? c.addonTop : 4) << b[0];
        if (b[0] >= 117) {
            EXPECT_EQ(b[3], 78);
        }
    }
    if (!c.humanReadable) {
        EXPECT_TRUE(d.surface.texts.empty());
        return;
    }
    // Main digits: X + L div 2 = 8, x[25] = 37, x[72] = 84, short top 4 + 68.
    EXPECT_EQ(
        Pieces(d.surface),
        (std::vector<Piece>{
            {"4", 8, 72}, {"006381", 37, 72}, {"333931", 84, 72}, {c.addon, c.addonCentre, 4}}));
}

INSTANTIATE_TEST_SUITE_P(
    Ean13, Addon,
    ::testing::Values(
        // Add-on bars start at Y + T + p = 4 + 13 + 1; digits on x[128] = 127 + 13.
        AddonCase{"five", "52495", true, 13, 152, 18, {173, 83}, 140},
        // Two digits on x[115] = 114 + 13.
        AddonCase{"two", "12", true, 13, 125, 18, {146, 83}, 127},
        // No text, but T (20 here) still lowers the add-on bars: 4 + 20 + 1; V = 74 + 1.
        AddonCase{"five_no_text", "52495", false, 20, 152, 25, {173, 75}, 0}),
    kByName);

// --- Human-readable line per type -------------------------------------------------------

struct LineCase {
    const char* name;
    btCodeTypes type;
    const char* caption;
    std::vector<Piece> pieces;
    const char* codeTextAfter;
};

class HumanReadable : public ::testing::TestWithParam<LineCase> {};

TEST_P(HumanReadable, PiecesAndCentres) {
    const LineCase& c = GetParam();
    Drawing d({.type = c.type, .caption = c.caption});
    d.Draw();
    EXPECT_EQ(Pieces(d.surface), c.pieces);
    EXPECT_STREQ(d.engine.CodeText, c.codeTextAfter);
}

// 96 dpi, p = 1, no margin for these types: x[i] = i - 1. H = 56: long top 56, short top
// nearest(51.35) = 51. Centre x[n div 2].
// clang-format off
INSTANTIATE_TEST_SUITE_P(Types, HumanReadable, ::testing::Values(
    LineCase{"ean8", EAN_8, "1234567", {{"1234", 17, 51}, {"5670", 49, 51}}, "12345670"},
    // 51 modules: x[25]; CodeText keeps only the six printed digits.
    LineCase{"upce", UPC_E, "123456", {{"123456", 24, 51}}, "123456"},
    LineCase{"ean13", EAN_13, kEan13, {{"4", 5, 68}, {"006381", 34, 68}, {"333931", 81, 68}},
             "4006381333931"},
    // *ABC*: 80 modules, x[40].
    LineCase{"code39", CODE39, "abc", {{"ABC", 39, 56}}, "*ABC*"},
    // A123A: 14 + 3 * 12 + 14 = 64 modules, x[32].
    LineCase{"codabar", Codabar, "123", {{"123", 31, 56}}, "A123A"},
    // 4 + 6 * 9 + 5 = 63 modules, x[31].
    LineCase{"code25i", CODE25i, "123456", {{"123456", 30, 56}}, "123456"},
    // 14 digits: 4 + 126 + 5 = 135 modules, x[67]; 12 digits: 117 modules, x[58].
    LineCase{"code25ip_14", CODE25iP, "1234567890123", {{"12345.678.901.23   6", 66, 56}},
             "12345.678.901.23   6"},
    LineCase{"code25ip_12", CODE25iP, "12345678901", {{"12.34567   8901   6", 57, 56}},
             "12.34567   8901   6"},
    // 8 digits of 4 bits plus 3: 35 * 4 = 140 modules, x[70].
    LineCase{"msi", MSI_Plessey, "1234567", {{"12345674", 69, 56}}, "12345674"},
    // Start, 3 data, check, stop: 6 * 11 + 2 = 68 modules, x[34]; controls print blank.
    LineCase{"code128a", CODE128_A, "abc", {{"   ", 33, 56}}, "\x87" "abcy\x8a"},
    // Start, 12, 34, CODE A, 5, check, stop: 79 modules, x[39].
    LineCase{"code128c", CODE128_C, "12345", {{"12345", 38, 56}}, "\x89,B\x85" "5Y\x8a"},
    // 8 characters: 90 modules, x[45].
    LineCase{"code128b", CODE128_B, "Hello", {{"Hello", 44, 56}}, "\x88" "Hellol\x8a"}),
    kByName);
// clang-format on

// --- Postal symbols --------------------------------------------------------------------

TEST(DrawPostnet, NineDigitsFullAndHalfBars) {
    // 96 dpi: b = 2, q = 96 / 22, D = nearest(12.0) = 12, h = nearest(4.8) = 5.
    Drawing d({.type = Postnet, .caption = "123456789", .x = 3, .y = 4});
    d.Draw();
    // Frame bar, 1234567895 (check digit 5), frame bar.
    const std::string bars = std::string("1") + "00011" + "00101" + "00110" + "01001" + "01010" +
                             "01100" + "10001" + "10010" + "10100" + "01010" + "1";
    std::vector<Box> expected;
    for (int i = 1; i <= 52; ++i) {
        const int left = 3 + ((i - 1) * 96 * 2 + 22) / 44; // nearest((i - 1) * 96 / 22)
        expected.push_back({left, bars[i - 1] == '1' ? 4 : 4 + 12 - 5, left + 2, 4 + 12});
    }
    EXPECT_EQ(Bars(d.surface), expected);
    EXPECT_EQ(expected[51][0], 3 + 223);
    EXPECT_EQ(d.size, (TDrawnSize{226, 26}));
    // Centre (x[1] + x[52]) div 2 = (3 + 226) div 2 = 114, top Y + D.
    ASSERT_EQ(d.surface.texts.size(), 1u);
    EXPECT_EQ(Pieces(d.surface), (std::vector<Piece>{{"1234567895", 114, 16}}));
    EXPECT_EQ(d.surface.texts[0].height, 14);
    EXPECT_EQ(d.surface.texts[0].face, "Arial");
}

TEST(DrawPostnet, FimUsesWholePixelPitchAndOneHeight) {
    // 110 dpi: q = 6.875, nearest(q) = 7, b = 3, D = 69. FIM-B 101101101.
    Drawing d({.type = Postnet_FIM, .caption = "b", .dpiX = 110, .dpiY = 110});
    d.Draw();
    std::vector<Box> expected;
    for (int i : {1, 3, 4, 6, 7, 9}) expected.push_back({(i - 1) * 7, 0, (i - 1) * 7 + 3, 69});
    EXPECT_EQ(Bars(d.surface), expected);
    // Centre (x[1] + x[9]) div 2 = (0 + nearest(55.0)) div 2 = 27.
    EXPECT_EQ(Pieces(d.surface), (std::vector<Piece>{{"FIM-B", 27, 69}}));
    ASSERT_EQ(d.surface.texts.size(), 1u);
    EXPECT_EQ(d.surface.texts[0].height, 16);
}

// --- Failure and surface state ---------------------------------------------------------

struct FailureCase {
    const char* name;
    btCodeTypes type;
    const char* caption;
    bool postnetEntry; // DrawPostnet called directly
    const char* message;
};

// A surface state that drawing must not leave unnoticed.
void Preset(RecordingSurface& s) {
    s.SetBrushColor(kRed);
    s.SetBrushStyle(TBrushStyle::Solid);
    s.SetTextAlign(kRightBottom);
    s.SetBkColor({1, 2, 3});
    s.SetBkMode(TBkMode::Opaque);
    s.SetFontFace("Courier");
    s.SetFontHeight(99);
}

class EncodingFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(EncodingFailure, DrawsNothingAndLeavesSizeUnwritten) {
    const FailureCase& c = GetParam();
    Drawing d({.type = c.type, .caption = c.caption});
    Preset(d.surface);
    try {
        if (c.postnetEntry)
            d.engine.DrawPostnet(d.surface, 0, 0, d.size);
        else
            d.Draw();
        FAIL() << "no exception";
    } catch (const EOverflow& e) {
        EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_TRUE(d.surface.fills.empty());
    EXPECT_TRUE(d.surface.texts.empty());
    EXPECT_EQ(d.size, (TDrawnSize{-7, -9}));
    // A failed encode leaves the surface as the caller set it up.
    EXPECT_EQ(d.surface.BrushColor(), kRed);
    EXPECT_EQ(d.surface.BrushStyle(), TBrushStyle::Solid);
    EXPECT_EQ(d.surface.TextAlign(), kRightBottom);
    EXPECT_EQ(d.surface.BkMode(), TBkMode::Opaque);
    EXPECT_EQ(d.surface.FontFace(), "Courier"); // the font is set only after encoding
    EXPECT_EQ(d.surface.FontHeight(), 99);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, EncodingFailure,
    ::testing::Values(FailureCase{"unknown_type", static_cast<btCodeTypes>(kCodeTypeCount), "1",
                                  false, "Barcode: Unknown Type of Barcode"},
                      FailureCase{"code128_tab", CODE128_B, "a\tb", false,
                                  "BarcoLL: Code128 error"},
                      FailureCase{"postnet_unknown_type", static_cast<btCodeTypes>(kCodeTypeCount),
                                  "1", true, "Barcode: Unknown Type of Barcode"}),
    kByName);

struct StateCase {
    const char* name;
    btCodeTypes type;
    const char* caption;
    TColor bkColor;
    TBkMode bkMode;
    const char* face;
    int fontHeight;
};

class SurfaceState : public ::testing::TestWithParam<StateCase> {};

TEST_P(SurfaceState, BrushAndAlignmentRestored) {
    const StateCase& c = GetParam();
    Drawing d({.type = c.type, .caption = c.caption});
    RecordingSurface& s = d.surface;
    Preset(s);
    d.Draw();
    ASSERT_FALSE(s.fills.empty());
    for (const RecordedFill& f : s.fills) { // bars in black with the caller's brush style
        EXPECT_EQ(f.color, kBlack);
        EXPECT_EQ(f.style, TBrushStyle::Solid);
    }
    ASSERT_FALSE(s.texts.empty());
    for (const RecordedText& t : s.texts) EXPECT_EQ(t.align, kCentreTop);
    EXPECT_EQ(s.BrushColor(), kRed);
    EXPECT_EQ(s.BrushStyle(), TBrushStyle::Solid);
    EXPECT_EQ(s.TextAlign(), kRightBottom);
    EXPECT_EQ(s.BkColor(), c.bkColor);
    EXPECT_EQ(s.BkMode(), c.bkMode);
    EXPECT_EQ(s.FontFace(), c.face);
    EXPECT_EQ(s.FontHeight(), c.fontHeight);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, SurfaceState,
    ::testing::Values(
        // Bars: white transparent background and the line's font stay behind.
        StateCase{"bars", UPC_A, "12345678901", kWhite, TBkMode::Transparent, "Arial", 13},
        // Postal: the font height changes, and the text's background is transparent too.
        StateCase{"postal", Postnet, "123456789", kWhite, TBkMode::Transparent, "Courier", 14}),
    kByName);

// Every piece of text goes over a transparent background, whatever mode the surface had.
TEST(TextBackground, IsTransparentWhenTheTextIsWritten) {
    const std::pair<btCodeTypes, const char*> cases[] = {
        {UPC_A, "12345678901"}, {CODE39, "A"}, {Postnet, "12345"}, {Postnet_FIM, "a"}};
    for (const auto& [type, caption] : cases) {
        Drawing d({.type = type, .caption = caption});
        Preset(d.surface);
        d.Draw();
        ASSERT_FALSE(d.surface.texts.empty()) << caption;
        for (const RecordedText& t : d.surface.texts)
            EXPECT_EQ(t.bkMode, TBkMode::Transparent) << t.text;
    }
}

} // namespace
