// One scan reflectance profile graded: synthetic square profiles of an EAN-13 whose
// parameters are set by hand, one row per grade step.
#include "EngineModules.h"
#include "varimark/varimark.h"
#include "verify/ProfileGrading.h"
#include "verify/ReferenceDecode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;

namespace {

constexpr int kModule = 6;        // samples per module
constexpr int kQuietModules = 15; // more than EAN-13's 11 and 7

// The symbol's runs of modules, bars first.
std::vector<int> Runs(Type type = Type::EAN_13, const char* text = "400638133393") {
    Symbol symbol;
    symbol.type = type;
    symbol.text = text;
    return RunLengths(Encode(symbol).modules);
}

struct TProfile {
    std::vector<double> r;
    std::vector<std::pair<int, int>> elements; // first sample and length, bars at even indices
};

// Bars at bar %, spaces at space %, edges on sample boundaries; quiet zones in modules.
TProfile Square(double bar, double space, int left = kQuietModules, int right = kQuietModules,
                const std::vector<int>& runs = Runs(), int module = kModule) {
    TProfile p;
    p.r.assign(static_cast<std::size_t>(left * module), space);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        p.elements.emplace_back(static_cast<int>(p.r.size()), runs[i] * module);
        p.r.insert(p.r.end(), static_cast<std::size_t>(runs[i] * module), i % 2 == 0 ? bar : space);
    }
    p.r.insert(p.r.end(), static_cast<std::size_t>(right * module), space);
    return p;
}

// Reflectance of an 8-bit grey level.
constexpr double Level(int level) {
    return level * 100.0 / 255;
}

// The first element of the given kind (bar or space) and width in modules past the guard.
std::size_t Element(const TProfile& p, bool bar, int modules) {
    for (std::size_t i = 3; i < p.elements.size(); ++i)
        if ((i % 2 == 0) == bar && p.elements[i].second == modules * kModule) return i;
    return 0;
}

void Fill(TProfile& p, std::size_t element, double reflectance) {
    const auto [first, length] = p.elements[element];
    std::fill_n(p.r.begin() + first, length, reflectance);
}

TEST(ProfileGrading, ASquareProfileDecodesWithFullModulation) {
    const TProfileGrade g = GradeProfile(Square(5, 85).r, std::nullopt);
    EXPECT_TRUE(g.decoded) << g.failure;
    EXPECT_EQ(g.data, "4006381333931");
    EXPECT_EQ(g.type, EAN_13);
    EXPECT_DOUBLE_EQ(g.symbolContrast, 80);
    EXPECT_DOUBLE_EQ(g.modulation, 1);
    EXPECT_DOUBLE_EQ(g.defects, 0);
    EXPECT_NEAR(g.moduleWidth, kModule, 1e-9);
    EXPECT_NEAR(g.barGain, 0, 1e-9);
    EXPECT_DOUBLE_EQ(g.quietLeft, kQuietModules);
    EXPECT_EQ(g.grade, 4);
}

// Symbol Contrast and Rmin from the two reflectances alone (A >= 70, B >= 55, C >= 40,
// D >= 20; Rmin at most half of Rmax); each limit's other rows are in EachGradeLimit.
TEST(ProfileGrading, SymbolContrastAndRminSteps) {
    struct TRow {
        double bar, space;
        int contrastGrade, rminGrade;
    };
    constexpr TRow kRows[] = {
        {10, 80, 4, 4}, // SC 70
        {11, 80, 3, 4}, // 69
        {40, 80, 2, 4}, // 40, Rmin exactly half
        {41, 80, 1, 0}, // 39, Rmin above half
        {19, 38, 0, 4}, // 19
    };
    for (const TRow& row : kRows) {
        const TProfileGrade g = GradeProfile(Square(row.bar, row.space).r, EAN_13);
        EXPECT_EQ(g.contrastGrade, row.contrastGrade) << row.bar << " " << row.space;
        EXPECT_EQ(g.rminGrade, row.rminGrade) << row.bar << " " << row.space;
        EXPECT_EQ(g.grade, std::min(row.contrastGrade, row.rminGrade));
    }
}

// One narrow space darkened to s and the bar after it lightened to b: ECmin = s - b, the
// Modulation ECmin / SC with SC = 80 (bars 5, spaces 85, the threshold 45).
TEST(ProfileGrading, EdgeContrastAndModulationSteps) {
    struct TRow {
        double space, bar;
        double modulation;
        int modulationGrade, edgeGrade;
    };
    constexpr TRow kRows[] = {
        {61, 5, 0.7000, 4, 4},  {60, 5, 0.6875, 3, 4},  {53, 5, 0.6000, 3, 4},
        {52, 5, 0.5875, 2, 4},  {45, 5, 0.5000, 2, 4},  {60, 24, 0.4500, 1, 4},
        {60, 21, 0.4875, 1, 4}, {56, 24, 0.4000, 1, 4}, {55, 24, 0.3875, 0, 4},
        {47, 32, 0.1875, 0, 4}, {46, 32, 0.1750, 0, 0}, // ECmin 15 and 14
    };
    for (const TRow& row : kRows) {
        TProfile p = Square(5, 85);
        const std::size_t space = Element(p, false, 1);
        Fill(p, space, row.space);
        Fill(p, space + 1, row.bar);
        const TProfileGrade g = GradeProfile(p.r, EAN_13);
        ASSERT_TRUE(g.decoded) << row.space << " " << g.failure;
        EXPECT_NEAR(g.modulation, row.modulation, 1e-9) << row.space;
        EXPECT_EQ(g.modulationGrade, row.modulationGrade) << row.space;
        EXPECT_EQ(g.edgeContrastGrade, row.edgeGrade) << row.space;
    }
}

// A one-sample dip of depth d in the middle of a wide space: Defects = d / 80.
TEST(ProfileGrading, DefectSteps) {
    struct TRow {
        double depth;
        int grade;
    };
    constexpr TRow kRows[] = {{12, 4}, {13, 3}, {16, 3}, {17, 2},
                              {20, 2}, {21, 1}, {24, 1}, {25, 0}};
    for (const TRow& row : kRows) {
        TProfile p = Square(5, 85);
        const auto [first, length] = p.elements[Element(p, false, 3)];
        p.r[static_cast<std::size_t>(first + length / 2)] = 85 - row.depth;
        const TProfileGrade g = GradeProfile(p.r, EAN_13);
        EXPECT_NEAR(g.defects, row.depth / 80, 1e-9);
        EXPECT_EQ(g.defectsGrade, row.grade) << row.depth;
    }
}

// The two worked examples, grey levels of an 8-bit picture: bars 25 (9.80 %), spaces 204
// (80.00 %); SC = 179 / 255 = 70.20 %, the global threshold 44.90 %.
// 1. One narrow space only reaches 153 (60.00 %). ECmin = (153 - 25) / 255 = 50.20 %,
//    MOD = 128 / 179 = 0.715 (A). Its edges lie where the profile crosses (60 + 9.8) / 2 =
//    34.9 %, halfway through each step from bar to space as every other edge (at
//    (80 + 9.8) / 2), so every width is whole and V = 1.00: grade 4. (The global threshold
//    crossings would put them 0.699 and 0.301 of a sample into the steps: that space 0.4
//    samples narrow.)
// 2. One module of a 4-module bar at 66 (25.88 %): ERN = (66 - 25) / 255 = 16.08 %,
//    Defects = 41 / 179 = 0.229 (C: above 0.20, at most 0.25); SC A, MOD A, V A: grade 2.
TEST(ProfileGrading, WorkedExamples) {
    TProfile narrow = Square(Level(25), Level(204));
    Fill(narrow, Element(narrow, false, 1), Level(153));
    TProfile defect = Square(Level(25), Level(204));
    const auto [first, length] = defect.elements[Element(defect, true, 4)];
    std::fill_n(defect.r.begin() + first + kModule, kModule, Level(66));
    struct TRow {
        const char* what;
        const std::vector<double>& r;
        double ecmin, modulation, defects, decodability;
        int grade;
    };
    const TRow kRows[] = {{"narrow space at 60 %", narrow.r, 50.196, 0.7151, 0, 1.0, 4},
                          {"bar module at 25.9 %", defect.r, 70.196, 1.0, 0.2291, 1.0, 2}};
    for (const TRow& row : kRows) {
        const TProfileGrade g = GradeProfile(row.r, std::nullopt);
        ASSERT_TRUE(g.decoded) << row.what << g.failure;
        EXPECT_NEAR(g.symbolContrast, 70.196, 1e-3) << row.what;
        EXPECT_NEAR(g.minEdgeContrast, row.ecmin, 1e-3) << row.what;
        EXPECT_NEAR(g.modulation, row.modulation, 1e-4) << row.what;
        EXPECT_NEAR(g.defects, row.defects, 1e-4) << row.what;
        EXPECT_NEAR(g.decodability, row.decodability, 1e-9) << row.what;
        EXPECT_EQ(g.grade, row.grade) << row.what;
    }
}

// A Gaussian blur of sigma samples over the profile (the ends continued).
std::vector<double> Blurred(const std::vector<double>& r, double sigma) {
    const int reach = static_cast<int>(std::ceil(3 * sigma));
    std::vector<double> out(r.size());
    for (std::size_t k = 0; k < r.size(); ++k) {
        double sum = 0, weights = 0;
        for (int i = -reach; i <= reach; ++i) {
            const auto j = static_cast<std::size_t>(
                std::clamp(static_cast<long>(k) + i, 0L, static_cast<long>(r.size()) - 1));
            const double w = std::exp(-i * i / (2 * sigma * sigma));
            sum += w * r[j];
            weights += w;
        }
        out[k] = sum / weights;
    }
    return out;
}

// Blur takes contrast from the narrow elements, and the standard's edges (at (Rs + Rb) / 2
// of each pair) move with it where the global threshold's crossings hardly do: a blurred
// UPC-A (8 samples a module, sigma 3 samples) decodes with a far lower decodability from
// the standard's edges than from the threshold crossings.
TEST(ProfileGrading, BlurLowersDecodabilityThroughTheStandardsEdges) {
    const std::vector<double> r =
        Blurred(Square(5, 85, 12, 12, Runs(Type::UPC_A, "03600029145"), 8).r, 3);
    const TProfileGrade g = GradeProfile(r, UPC_A);
    ASSERT_TRUE(g.decoded) << g.failure;
    // The widths between the global threshold's crossings, decoded alike.
    std::vector<double> widths;
    double start = -1;
    for (std::size_t k = 1; k < r.size(); ++k) {
        if ((r[k - 1] < g.threshold) == (r[k] < g.threshold)) continue;
        const double edge =
            static_cast<double>(k - 1) + (g.threshold - r[k - 1]) / (r[k] - r[k - 1]);
        if (start >= 0) widths.push_back(edge - start);
        start = edge;
    }
    const TDecoded crossings = ReferenceDecode(UPC_A, widths);
    ASSERT_TRUE(crossings.ok) << crossings.failure;
    EXPECT_NEAR(g.decodability, 0.432, 0.001);
    EXPECT_EQ(g.decodabilityGrade, 2); // C: at least 0.37, below 0.50
    EXPECT_NEAR(crossings.decodability, 0.978, 0.001);
}

// What fails Decode, and the fewest elements a run must have to be taken for a symbol (5:
// a bar, a space and a bar is print, not a symbol).
TEST(ProfileGrading, WhatDoesNotDecodeGradesF) {
    TProfile shortZone = Square(5, 85);
    shortZone.r.erase(shortZone.r.begin(), shortZone.r.begin() + 10 * kModule); // 5 modules left
    struct TRow {
        std::vector<double> profile;
        btCodeTypes type;
        const char* failure;
        bool found;
    };
    const TRow kRows[] = {
        {shortZone.r, EAN_13, "the left quiet zone is 5.0 modules wide; EAN_13 needs 11", true},
        {std::vector<double>(400, 50), EAN_13, "no bars: the scan line is one shade", false},
        {Square(5, 85).r, Postnet, kPostalNotGraded, false},
        {Square(5, 85, 15, 15, {2, 2, 2}).r, EAN_13, "no symbol found on the scan line", false},
        {Square(5, 85, 15, 15, {2, 2, 2, 2, 2}).r, EAN_13,
         "5 elements: an EAN-13 symbol has 59 (73 or 91 with an add-on)", true},
    };
    for (const TRow& row : kRows) {
        const TProfileGrade g = GradeProfile(row.profile, row.type);
        EXPECT_EQ(g.decodeGrade, 0) << row.failure;
        EXPECT_EQ(g.grade, 0) << row.failure;
        EXPECT_EQ(g.failure, row.failure);
        EXPECT_EQ(g.found, row.found) << row.failure;
    }
}

// Each symbology's quiet zones (ISO/IEC 15420's table: EAN-13 11 before its first digit and
// 7 after its last, EAN-8 7 and 7, UPC-A 9 and 9, UPC-E 9 and 7; 10 X each side for Code 39,
// Interleaved 2 of 5, Code 128, Codabar and MSI Plessey) on the zone and one module short of
// it on each side, wherever they lie: a profile reversed (the symbol turned half round) has
// its first zone on its right.
TEST(ProfileGrading, QuietZonesOfEachSymbologyOnBothSides) {
    struct TSymbology {
        Type type;
        const char* text;
        int left, right;
    };
    constexpr TSymbology kSymbologies[] = {
        {Type::EAN_13, "400638133393", 11, 7}, {Type::EAN_8, "1234567", 7, 7},
        {Type::UPC_A, "03600029145", 9, 9},    {Type::UPC_E, "0123457", 9, 7},
        {Type::CODE39, "AB-12", 10, 10},       {Type::CODE25i, "123456", 10, 10},
        {Type::CODE128_B, "Ab12", 10, 10},     {Type::Codabar, "A123B", 10, 10},
        {Type::MSI_Plessey, "1234", 10, 10},
    };
    struct TRow {
        int leftShort, rightShort;
        bool reversed;
    };
    constexpr TRow kRows[] = {{0, 0, false}, {0, 0, true}, {1, 0, false},
                              {0, 1, false}, {1, 0, true}, {0, 1, true}};
    for (const TSymbology& s : kSymbologies) {
        const auto type = static_cast<btCodeTypes>(s.type);
        for (const TRow& row : kRows) {
            std::vector<double> r = Square(5, 85, s.left - row.leftShort, s.right - row.rightShort,
                                           Runs(s.type, s.text))
                                        .r;
            if (row.reversed) std::reverse(r.begin(), r.end());
            const TProfileGrade g = GradeProfile(r, type);
            const std::string what =
                std::string(CodeTypeName(type)) + " short " + std::to_string(row.leftShort) + "/" +
                std::to_string(row.rightShort) + (row.reversed ? " reversed" : "");
            ASSERT_TRUE(g.decoded) << what << ": " << g.failure;
            EXPECT_EQ(g.quietLeftNeeded, row.reversed ? s.right : s.left) << what;
            EXPECT_EQ(g.quietRightNeeded, row.reversed ? s.left : s.right) << what;
            const bool leftShort = row.leftShort > 0;
            const std::string failure =
                row.leftShort + row.rightShort == 0
                    ? ""
                    : std::string(leftShort != row.reversed ? "the left" : "the right") +
                          " quiet zone is " + std::to_string(leftShort ? s.left - 1 : s.right - 1) +
                          ".0 modules wide; " + CodeTypeName(type) + " needs " +
                          std::to_string(leftShort ? s.left : s.right);
            EXPECT_EQ(g.failure, failure) << what;
            EXPECT_EQ(g.decodeGrade, failure.empty() ? 4 : 0) << what;
        }
    }
}

// An EAN/UPC add-on stands at least 7 modules from the main symbol (ISO/IEC 15420: its gap
// is the main symbol's right quiet zone): a gap of 6 fails Decode, read either way.
TEST(ProfileGrading, AnAddOnsGapIsAQuietZone) {
    Symbol symbol;
    symbol.type = Type::EAN_13;
    symbol.text = "400638133393";
    symbol.addon = "12";
    std::vector<int> runs = RunLengths(Encode(symbol).modules);
    ASSERT_EQ(runs.size(), 59u + 14u);
    struct TRow {
        int gap;
        bool reversed;
        int decodeGrade;
    };
    constexpr TRow kRows[] = {{7, false, 4}, {7, true, 4}, {6, false, 0}, {6, true, 0}};
    for (const TRow& row : kRows) {
        runs[59] = row.gap;
        std::vector<double> r = Square(5, 85, 15, 15, runs).r;
        if (row.reversed) std::reverse(r.begin(), r.end());
        const TProfileGrade g = GradeProfile(r, EAN_13);
        EXPECT_TRUE(g.decoded) << row.gap << g.failure;
        EXPECT_EQ(g.decodeGrade, row.decodeGrade) << row.gap << " " << row.reversed << g.failure;
        if (row.decodeGrade == 0) {
            EXPECT_EQ(g.failure,
                      "the gap before the add-on is 6.0 modules wide; at least 7 are needed");
        }
    }
}

// Each limit of ISO/IEC 15416's grading table (clause 5.4): a value on limit i grades 4 - i,
// one just outside it a grade less. Symbol Contrast in percent, Modulation and Decodability
// at least, Defects at most (SC 70 is A, 69.9999 B; Defects 0.15 A, 0.1501 B).
TEST(ProfileGrading, EachGradeLimitOnBothSides) {
    struct TRow {
        const char* what;
        const double (&table)[4];
        double limits[4];
        bool atMost;
    };
    using L = TGradeLimits;
    const TRow kRows[] = {{"SC", L::kContrast, {70, 55, 40, 20}, false},
                          {"MOD", L::kModulation, {.70, .60, .50, .40}, false},
                          {"Defects", L::kDefects, {.15, .20, .25, .30}, true},
                          {"V", L::kDecodability, {.62, .50, .37, .25}, false}};
    for (const TRow& row : kRows)
        for (int i = 0; i < 4; ++i) {
            const double on = row.limits[i], outside = on + (row.atMost ? 1e-4 : -1e-4);
            const auto grade = [&](double v) {
                return row.atMost ? GradeAtMost(v, row.table) : GradeAtLeast(v, row.table);
            };
            EXPECT_EQ(grade(on), 4 - i) << row.what << " " << on;
            EXPECT_EQ(grade(outside), 3 - i) << row.what << " " << outside;
        }
}

TEST(ProfileGrading, GradeLetters) {
    const std::pair<double, char> kRows[] = {{4.0, 'A'}, {3.5, 'A'}, {3.49, 'B'}, {2.5, 'B'},
                                             {1.5, 'C'}, {1.0, 'D'}, {0.49, 'F'}};
    for (const auto& [grade, letter] : kRows) EXPECT_EQ(GradeLetter(grade), letter) << grade;
}

} // namespace
