// GS1 in verify: GS1-128 recognised by its leading FNC1 and its AIs checked, ITF-14 between
// bearer bars (measured, never taken for bars), and --gs1's size checks against GS1's
// symbol specification tables.
#include "CliRunner.h"
#include "varimark/verify.h"
#include "verify/Gs1Checks.h"
#include "verify/ReferenceDecode.h"
#include "verify/VerifyPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace varimark;

namespace {

TGreyPicture Drawn(const Symbol& symbol, int dpi) {
    PictureOptions options;
    options.dpi = dpi;
    return ReadGreyPicture(Render(symbol, options));
}

VerifyReport Graded(const TGreyPicture& picture, double dpi, bool gs1 = false,
                    std::optional<Type> type = std::nullopt) {
    VerifyOptions options;
    options.dpi = dpi;
    options.gs1 = gs1;
    options.type = type;
    return VerifyGreyPicture(picture, options);
}

std::vector<std::string> Ais(const Gs1Report& gs1) {
    std::vector<std::string> ais;
    for (const Gs1ElementReport& e : gs1.elements) ais.push_back(e.ai + ":" + e.data);
    return ais;
}

const Gs1SizeCheck* Check(const Gs1Report& gs1, const std::string& name) {
    for (const Gs1SizeCheck& c : gs1.sizeChecks)
        if (c.name == name) return &c;
    return nullptr;
}

// Code 128 B with escapes: "\\x86" is FNC1, which the making takes as it is.
Symbol Code128Escaped(const char* text) {
    Symbol symbol;
    symbol.type = Type::CODE128_B;
    symbol.escapes = true;
    symbol.text = text;
    return symbol;
}

// A GS1 symbol that passes every check: its type, its AIs and its bearer bars.
void ExpectPasses(const VerifyReport& r, Type type, const std::vector<std::string>& ais,
                  const char* bearers) {
    ASSERT_TRUE(r.decoded) << r.failure;
    EXPECT_EQ(r.type, type);
    // ISO/IEC 15424: GS1-128 is "]C1" (FNC1 first); ITF-14 "]I1" (check digit validated and
    // transmitted).
    EXPECT_EQ(r.identifier, type == Type::ITF_14 ? "]I1" : "]C1");
    EXPECT_EQ(r.bearerBars, bearers);
    EXPECT_EQ(Ais(r.gs1), ais);
    for (const Gs1SizeCheck& c : r.gs1.sizeChecks) EXPECT_TRUE(c.passed) << c.text;
    EXPECT_EQ(r.gs1.sizeChecks.size(), type == Type::ITF_14 ? 6u : 5u);
    EXPECT_TRUE(r.gs1.passed);
}

// --- Our own GS1-128 and ITF-14 at 300 and 600 dpi: module 9 (0.66 mm) is 8 (16) pixels,
// 0.677 mm, inside GS1's 0.495 to 1.016 mm; the bars at 200 % are 76.2 mm high. Every check
// passes, at the table's aperture: 10 mils for GS1-128, 20 for ITF-14 from X 0.635 mm.

struct TOwnRow {
    Type type;
    const char* text;
    Bearer bearer;
    int dpi;
    const char* bearers;
    const char* gradeText;
    std::vector<std::string> ais;
};

TEST(VerifyGs1, OwnSymbolsPassEveryCheck) {
    const std::vector<std::string> label{"01:09501101530003", "17:260131", "10:AB-123"};
    const std::vector<std::string> gtin{"01:09501101530003"};
    const char* const labelText = "(01)09501101530003(17)260131(10)AB-123";
    const TOwnRow rows[] = {
        {Type::GS1_128, labelText, Bearer::Frame, 300, "", "4.0/10/660", label},
        {Type::GS1_128, labelText, Bearer::Frame, 600, "", "4.0/10/660", label},
        {Type::ITF_14, "0950110153000", Bearer::Frame, 300, "frame", "4.0/20/660", gtin},
        {Type::ITF_14, "0950110153000", Bearer::TopBottom, 600, "top and bottom", "4.0/20/660",
         gtin},
    };
    for (const TOwnRow& row : rows) {
        SCOPED_TRACE(std::string(TypeName(row.type)) + " at " + std::to_string(row.dpi));
        Symbol symbol;
        symbol.type = row.type;
        symbol.text = row.text;
        symbol.bearer = row.bearer;
        symbol.moduleSize = 9;
        symbol.barHeight = 200;
        const VerifyReport r = Graded(Drawn(symbol, row.dpi), row.dpi, true);
        ExpectPasses(r, row.type, row.ais, row.bearers);
        EXPECT_EQ(r.gradeText, row.gradeText);
        EXPECT_NEAR(r.xMillimetres, 0.677, 0.001);
    }
}

// --- A label with an impossible date: drawn through Code 128 B with FNC1 as an escape, so
// no GS1 check stops the making. The symbol is sound (grade 4.0); its data is not.

TEST(VerifyGs1, ImpossibleDateFailsTheGs1CheckButNotTheGrade) {
    Symbol label = Code128Escaped("\\x86"
                                  "0109501101530003"
                                  "17261331"
                                  "10AB-123");
    label.moduleSize = 9;
    const VerifyReport r = Graded(Drawn(label, 600), 600);
    ASSERT_TRUE(r.decoded) << r.failure;
    EXPECT_EQ(r.type, Type::GS1_128);
    EXPECT_EQ(r.identifier, "]C1");
    EXPECT_EQ(r.data, "0109501101530003"
                      "17261331"
                      "10AB-123");
    EXPECT_DOUBLE_EQ(r.grade, 4.0);
    EXPECT_TRUE(r.passed); // the ISO/IEC 15416 grade
    ASSERT_TRUE(r.gs1.checked);
    EXPECT_FALSE(r.gs1.passed);
    EXPECT_FALSE(r.gs1.sizeChecked); // sizes only with --gs1
    EXPECT_EQ(Ais(r.gs1),
              (std::vector<std::string>{"01:09501101530003", "17:261331", "10:AB-123"}));
    ASSERT_EQ(r.gs1.faults.size(), 1u);
    EXPECT_EQ(r.gs1.faults[0], "(17) 261331: month 13");
    EXPECT_EQ(r.gs1.elements[1].faults, r.gs1.faults);
}

// --- Named types: CODE128_x still decodes a GS1-128 symbol as Code 128; GS1_128 wants the
// leading FNC1.

TEST(VerifyGs1, NamedTypes) {
    const Symbol gs1 = Code128Escaped("\\x86"
                                      "0109501101530003");
    const Symbol plain = Code128Escaped("0109501101530003");
    struct TRow {
        const Symbol* symbol;
        std::optional<Type> named;
        bool decoded;
        bool gs1Checked;
        const char* failure; // part of it
    };
    const TRow rows[] = {
        {&gs1, std::nullopt, true, true, ""},
        {&gs1, Type::GS1_128, true, true, ""},
        {&gs1, Type::CODE128_B, true, false, ""},
        {&plain, std::nullopt, true, false, ""},
        {&plain, Type::GS1_128, false, false, "no FNC1 after the start character"},
    };
    for (const TRow& row : rows) {
        const VerifyReport r = Graded(Drawn(*row.symbol, 600), 600, false, row.named);
        SCOPED_TRACE(row.symbol->text + " as " +
                     (row.named ? TypeName(*row.named) : std::string("auto")));
        EXPECT_EQ(r.decoded, row.decoded);
        EXPECT_EQ(r.gs1.checked, row.gs1Checked);
        EXPECT_NE(r.failure.find(row.failure), std::string::npos) << r.failure;
        if (r.decoded) {
            EXPECT_EQ(r.data, "0109501101530003");
            EXPECT_EQ(r.type == Type::GS1_128, row.gs1Checked);
        }
    }
}

// --- ITF-14: our Interleaved 2 of 5 with bearer bars drawn round it.

struct TBox {
    int left = 0, top = 0, right = 0, bottom = 0; // the dark pixels', inclusive
};

TBox DarkBox(const TGreyPicture& p) {
    TBox box{p.width, p.height, -1, -1};
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (p.level[static_cast<std::size_t>(y) * p.width + x] < 128) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

// The symbol on white with `margin` pixels round its bars, bearer bars `bearer` pixels
// thick touching the bars above and below, and with frame sides `quiet` pixels from the
// outer bars.
TGreyPicture WithBearers(const TGreyPicture& symbol, int margin, int bearer, bool frame,
                         int quiet) {
    const TBox box = DarkBox(symbol);
    TGreyPicture p;
    p.width = box.right - box.left + 1 + 2 * margin;
    p.height = box.bottom - box.top + 1 + 2 * margin;
    p.level.assign(static_cast<std::size_t>(p.width) * p.height, 255);
    const auto at = [&](int x, int y) -> std::uint8_t& {
        return p.level[static_cast<std::size_t>(y) * p.width + x];
    };
    for (int y = box.top; y <= box.bottom; ++y)
        for (int x = box.left; x <= box.right; ++x)
            at(x - box.left + margin, y - box.top + margin) =
                symbol.level[static_cast<std::size_t>(y) * symbol.width + x];
    const int left = margin, right = margin + box.right - box.left;
    const int top = margin, bottom = margin + box.bottom - box.top;
    const int x0 = frame ? left - quiet - bearer : left,
              x1 = frame ? right + quiet + bearer : right;
    for (int k = 1; k <= bearer; ++k)
        for (int x = x0; x <= x1; ++x) at(x, top - k) = at(x, bottom + k) = 0;
    if (frame)
        for (int y = top - bearer; y <= bottom + bearer; ++y)
            for (int k = 1; k <= bearer; ++k)
                at(left - quiet - k, y) = at(right + quiet + k, y) = 0;
    return p;
}

TEST(VerifyGs1, Itf14BearerBarsAreMeasuredNotRead) {
    // CODE25i of 13 digits gets the check digit 3 (weights 3, 1, ... from the left, the
    // same as GS1's from the right for 13 digits): 0*3 9*1 5*3 0*1 1*3 1*1 0*3 1*1 5*3 3*1
    // 0*3 0*1 0*3 = 0+9+15+0+3+1+0+1+15+3+0+0+0 = 47, and 50 - 47 = 3.
    Symbol itf;
    itf.type = Type::CODE25i;
    itf.text = "0950110153000";
    itf.humanReadable = false;
    itf.moduleSize = 9;
    const int dpi = 300;
    const TGreyPicture plain = Drawn(itf, dpi);
    const VerifyReport bare = Graded(plain, dpi);
    ASSERT_TRUE(bare.decoded);
    EXPECT_EQ(bare.type, Type::CODE25i); // no bearer bars: not ITF-14
    const double x = bare.xPixels;       // 0.66 mm at 300 dpi: 8 pixels
    ASSERT_NEAR(x, 8, 0.01);
    struct TRow {
        bool frame;
        int bearerModules, quietModules;
        bool quietPasses;
    };
    const TRow rows[] = {{true, 5, 10, true},
                         {false, 2, 10, true},
                         {true, 2, 12, true},
                         {true, 3, 8, false},
                         {false, 5, 10, true}};
    for (const TRow& row : rows) {
        SCOPED_TRACE(std::string(row.frame ? "frame" : "top and bottom") + " " +
                     std::to_string(row.bearerModules) + "X, quiet zone " +
                     std::to_string(row.quietModules) + "X");
        const int bearer = row.bearerModules * 8, quiet = row.quietModules * 8;
        const int margin = quiet + bearer + 40;
        const VerifyReport r =
            Graded(WithBearers(plain, margin, bearer, row.frame, quiet), dpi, true);
        ASSERT_TRUE(r.decoded) << r.failure;
        EXPECT_EQ(r.type, Type::ITF_14);
        EXPECT_EQ(r.data, "09501101530003");
        EXPECT_EQ(r.bearerBars, row.frame ? "frame" : "top and bottom");
        EXPECT_NEAR(r.bearerPixels, bearer, 0.5);
        EXPECT_NEAR(r.xPixels, x, 0.05);
        // The quiet zones end at the frame's inner edge, else at the picture's edge.
        const double quietModules = row.frame ? row.quietModules : margin / 8.0;
        EXPECT_NEAR(r.quietStartModules, quietModules, 0.1);
        EXPECT_NEAR(r.quietEndModules, quietModules, 0.1);
        // A quiet zone short of 10X fails Decode (ISO/IEC 15416) and the GS1 check.
        EXPECT_EQ(r.grade == 4.0, row.quietPasses) << r.gradeText;
        EXPECT_EQ(Ais(r.gs1), std::vector<std::string>{"01:09501101530003"});
        ASSERT_NE(Check(r.gs1, "Bearer bars"), nullptr);
        EXPECT_TRUE(Check(r.gs1, "Bearer bars")->passed);
        EXPECT_EQ(Check(r.gs1, "Left quiet zone")->passed, row.quietPasses);
    }
}

// ITF-14 named: 14 digits and the GS1 check digit, or no decode.
TEST(VerifyGs1, Itf14NamedChecksItsDigits) {
    struct TRow {
        const char* digits;
        const char* failure;
    };
    const TRow rows[] = {{"09501101530003", ""},
                         {"09501101530004", "wrong check digit: read 4, computed 3"},
                         {"095011015303", "12 digits: an ITF-14 symbol has 14"}};
    for (const TRow& row : rows) {
        Symbol itf;
        itf.type = Type::CODE25i; // an even count of digits: drawn as typed
        itf.text = row.digits;
        const VerifyReport r = Graded(Drawn(itf, 600), 600, false, Type::ITF_14);
        EXPECT_EQ(r.decoded, *row.failure == '\0') << row.digits;
        EXPECT_NE(r.failure.find(row.failure), std::string::npos) << r.failure;
    }
}

// --- The size checks against the tables, on measured values.

// A report of a symbol measured so, carrying data (by default a GTIN as its type carries
// one).
VerifyReport Measured(Type type, double xMm, double heightMm, double quiet, double grade,
                      double aperture, const char* data = nullptr) {
    VerifyReport r;
    r.found = r.decoded = true;
    r.type = type;
    r.data = data                   ? data
             : type == Type::EAN_13 ? "4006381333931"
             : type == Type::ITF_14 ? "09501101530003"
                                    : "0109501101530003";
    r.dpi = 600;
    r.xMillimetres = xMm;
    r.xPixels = xMm / 25.4 * 600;
    r.barHeightPixels = heightMm / 25.4 * 600;
    r.quietStartModules = r.quietEndModules = quiet;
    r.grade = grade;
    r.apertureMils = aperture;
    r.gradeText = "x";
    return r;
}

struct TSizeRow {
    const char* what;
    Type type;
    double xMm, heightMm, quiet, grade, aperture;
    const char* check;
    bool passed;
    const char* text; // the line, or "" when only passed is checked
};

// EAN-13 at X 0.264 mm (80 %): Table 1's 22.85 mm at the target X 0.330 mm scales to
// 22.85 * 0.264 / 0.330 = 18.28 mm, so 18.30 mm passes and 18.20 mm fails.
// GS1-128 at 0.33 mm lies below Table 2's 0.495 mm; at 0.5 mm within 0.495 to 1.016 mm.
constexpr Type kGs1 = Type::GS1_128;
const TSizeRow kSizeRows[] = {
    {"GS1-128 X 0.33", kGs1, 0.33, 32, 10, 4, 10, "X dimension", false,
     "X dimension 0.330 mm: allowed 0.495 to 1.016 mm: fails"},
    {"GS1-128 X 0.5", kGs1, 0.5, 32, 10, 4, 10, "X dimension", true,
     "X dimension 0.500 mm: allowed 0.495 to 1.016 mm: passes"},
    {"GS1-128 X 1.1", kGs1, 1.1, 32, 10, 4, 10, "X dimension", false, ""},
    {"GS1-128 low", kGs1, 0.5, 25.4, 10, 4, 10, "Bar height", false,
     "Bar height 25.40 mm: at least 31.75 mm: fails"},
    {"GS1-128 quiet 9.4X", kGs1, 0.5, 32, 9.4, 4, 10, "Left quiet zone", false,
     "Left quiet zone 9.4X: at least 10X: fails"},
    {"GS1-128 grade D", kGs1, 0.5, 32, 10, 1.0, 10, "Print quality", false,
     "Print quality x: at least 1.5/10/660: fails"},
    {"GS1-128 at 6 mils", kGs1, 0.5, 32, 10, 4, 6, "Print quality", false,
     "Print quality x: at least 1.5/10/660: unchecked: graded at another aperture"},
    {"EAN-13 0.264 18.30", Type::EAN_13, 0.264, 18.30, 11, 4, 6, "Bar height", true,
     "Bar height 18.30 mm: at least 18.28 mm: passes"},
    {"EAN-13 0.264 18.20", Type::EAN_13, 0.264, 18.20, 11, 4, 6, "Bar height", false, ""},
    {"EAN-13 left 7X", Type::EAN_13, 0.33, 22.85, 7, 4, 6, "Left quiet zone", false,
     "Left quiet zone 7.0X: at least 11X: fails"},
    {"ITF-14 no bearers", Type::ITF_14, 0.5, 32, 10, 4, 10, "Bearer bars", false,
     "Bearer bars not measured (none found): at least 2X: unchecked"},
    {"ITF-14 wide X", Type::ITF_14, 0.7, 32, 10, 0.6, 20, "Print quality", true,
     "Print quality x: at least 0.5/20/660: passes"},
};

TEST(VerifyGs1, SizeChecksAgainstTheTables) {
    for (const TSizeRow& row : kSizeRows) {
        SCOPED_TRACE(row.what);
        const Gs1Report gs1 = CheckGs1(
            Measured(row.type, row.xMm, row.heightMm, row.quiet, row.grade, row.aperture), true);
        const Gs1SizeCheck* c = Check(gs1, row.check);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->passed, row.passed) << c->text;
        if (*row.text != '\0') {
            EXPECT_EQ(c->text, row.text);
        }
        if (!row.passed) {
            EXPECT_FALSE(gs1.passed);
        }
    }
}

// EAN/UPC carry a GTIN: under --gs1 it is checked as AI (01), padded to 14 digits. UPC-E
// 0 012345 7 stands for UPC-A 0 01234 00005 7 (the sixth digit 5: the first five, four
// zeros, the sixth); its check digit: 0*3 + 0 + 1*3 + 2 + 3*3 + 4 + 0 + 0 + 0 + 0 + 5*3 =
// 33, and 40 - 33 = 7.
TEST(VerifyGs1, EanUpcCarryAGtin) {
    struct TRow {
        Type type;
        const char* data;
        const char* addon;
        const char* gtin;
    };
    const TRow rows[] = {{Type::EAN_13, "4006381333931", "", "04006381333931"},
                         {Type::EAN_13, "400638133393112", "12", "04006381333931"},
                         {Type::UPC_A, "036000291452", "", "00036000291452"},
                         {Type::EAN_8, "12345670", "", "00000012345670"},
                         {Type::UPC_E, "00123457", "", "00001234000057"}};
    for (const TRow& row : rows) {
        VerifyReport r = Measured(row.type, 0.33, 25, 11, 4, 6, row.data);
        r.addon = row.addon;
        const Gs1Report gs1 = CheckGs1(r, true);
        EXPECT_EQ(Ais(gs1), std::vector<std::string>{std::string("01:") + row.gtin}) << row.data;
        EXPECT_TRUE(gs1.faults.empty()) << row.data;
    }
}

// GS1-128's 48 data characters: (01) and 14 digits are 16, (10) and 20 characters with the
// separating FNC1 23, (21) and 20 characters 22: 61 in all.
TEST(VerifyGs1, Gs1128HoldsAtMost48DataCharacters) {
    const std::string long20(20, 'A');
    const std::string data = "0109501101530003"
                             "10" +
                             long20 +
                             "\x1d"
                             "21" +
                             long20;
    const Gs1Report gs1 =
        CheckGs1(Measured(Type::GS1_128, 0.5, 32, 10, 4, 10, data.c_str()), false);
    EXPECT_EQ(gs1.faults, std::vector<std::string>{"61 data characters: GS1-128 holds at most 48"});
    EXPECT_EQ(gs1.elements.size(), 3u);
}

TEST(VerifyGs1, NoResolutionNoSize) {
    VerifyReport r = Measured(Type::GS1_128, 0, 0, 10, 4, 0);
    r.relative = true;
    r.dpi = 0;
    const Gs1Report gs1 = CheckGs1(r, true);
    for (const char* name : {"X dimension", "Bar height", "Print quality"}) {
        const Gs1SizeCheck* c = Check(gs1, name);
        ASSERT_NE(c, nullptr);
        EXPECT_FALSE(c->passed) << name;
        EXPECT_NE(c->text.find("unchecked"), std::string::npos) << c->text;
    }
    EXPECT_TRUE(Check(gs1, "Left quiet zone")->passed); // modules need no resolution
    EXPECT_FALSE(gs1.passed);
}

TEST(VerifyGs1, NotAGs1Symbology) {
    VerifyReport r = Measured(Type::CODE39, 0.5, 32, 10, 4, 10, "ABC");
    EXPECT_FALSE(CheckGs1(r, false).checked);
    const Gs1Report gs1 = CheckGs1(r, true);
    EXPECT_TRUE(gs1.checked);
    EXPECT_FALSE(gs1.passed);
    EXPECT_TRUE(gs1.sizeChecks.empty());
    EXPECT_NE(gs1.table.find("no GS1 symbology"), std::string::npos);
}

// --- Zint's GS1-128 and ITF-14 (an outside maker), at 300 and 600 dpi: X 0.508 mm, the bars
// 32 mm high, quiet zones 10X: every check passes.

bool HaveZint() {
    return std::system("command -v zint >/dev/null 2>&1") == 0;
}

struct TZintRow {
    const char* name;
    const char* arguments; // without scale and height
    int dpi;
    Type type;
    const char* bearers;
    std::vector<std::string> ais;
};

TEST(VerifyGs1, ZintSymbolsPass) {
    if (!HaveZint()) GTEST_SKIP() << "zint is not installed";
    const TZintRow rows[] = {
        {"gs1-128-300",
         "-b 16 --gs1 -d '[01]09501101530003[17]260131[10]AB-123'",
         300,
         Type::GS1_128,
         "",
         {"01:09501101530003", "17:260131", "10:AB-123"}},
        {"gs1-128-600",
         "-b 16 --gs1 -d '[01]09501101530003[17]260131[10]AB-123'",
         600,
         Type::GS1_128,
         "",
         {"01:09501101530003", "17:260131", "10:AB-123"}},
        {"itf-14-box-300",
         "-b 89 --box --border=5 -d 0950110153000",
         300,
         Type::ITF_14,
         "frame",
         {"01:09501101530003"}},
        {"itf-14-bind-600",
         "-b 89 --bind --border=3 -d 0950110153000",
         600,
         Type::ITF_14,
         "top and bottom",
         {"01:09501101530003"}},
    };
    for (const TZintRow& row : rows) {
        SCOPED_TRACE(row.name);
        // Zint's scale 1 is 2 pixels a module: 6 (12) pixels at 300 (600) dpi are 0.508 mm;
        // 63 modules high, 32.0 mm.
        const int scale = row.dpi / 100;
        const std::string file = ::testing::TempDir() + row.name + ".png";
        const std::string command = std::string("zint --filetype=png --quietzones --scale=") +
                                    std::to_string(scale) + " --height=63 " + row.arguments +
                                    " -o " + file + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        VerifyOptions options;
        options.dpi = row.dpi;
        options.gs1 = true;
        const VerifyReport r = VerifyFile(file, options);
        std::remove(file.c_str());
        ExpectPasses(r, row.type, row.ais, row.bearers);
        EXPECT_DOUBLE_EQ(r.grade, 4.0) << r.gradeText;
    }
}

// --- The command line: --gs1's lines, the JSON's "gs1" object and the exit status.

TEST(VerifyGs1, CommandLine) {
    const Symbol label = Code128Escaped("\\x86"
                                        "0109501101530003"
                                        "17261331");
    const std::string file = ::testing::TempDir() + "gs1-label.png";
    PictureOptions options;
    options.dpi = 600;
    RenderToFile(label, options, file);
    struct TRow {
        std::vector<std::string> args;
        const char* expected; // a part of standard output
    };
    const TRow rows[] = {
        {{"verify", "--dpi", "600", file}, "GS1 fault     (17) 261331: month 13\n"},
        {{"verify", "--dpi", "600", file}, "GS1 data      (01) 09501101530003 (17) 261331\n"},
        {{"verify", "--dpi", "600", "--gs1", file},
         "  X dimension 0.339 mm: allowed 0.495 to 1.016 mm: fails\n"},
        {{"verify", "--gs1", file},
         "  X dimension not measured (the picture states no resolution; give --dpi)"},
        {{"verify", "--dpi", "600", "--json", file},
         "\"gs1\":{\"passed\":false,\"ais\":[{\"ai\":\"01\",\"data\":\"09501101530003\","
         "\"faults\":[]},{\"ai\":\"17\",\"data\":\"261331\",\"faults\":[\"(17) 261331: month "
         "13\"]}],\"faults\":[\"(17) 261331: month 13\"]}"},
        {{"verify", "--dpi", "600", "--json", "--gs1", file},
         "{\"name\":\"X dimension\",\"unit\":\"mm\",\"measured\":0.3387,\"min\":0.495,"
         "\"max\":1.016,\"passed\":false,"},
        {{"verify", "--help"}, "  --gs1 "},
    };
    for (const TRow& row : rows) {
        const RunResult r = RunCli(row.args);
        SCOPED_TRACE(row.args[row.args.size() - 2]);
        EXPECT_NE(r.out.find(row.expected), std::string::npos) << r.out.substr(0, 3000);
        // The grade passes; the GS1 data fault fails the label.
        EXPECT_EQ(r.status, row.args[1] == "--help" ? 0 : 1) << r.err;
    }
    std::remove(file.c_str());
}

} // namespace
