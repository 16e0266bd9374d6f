// Reference decoding: the engine's own symbols read back from their element widths, with
// bar gain, a moved edge, wrong check digits and widths that are no symbol.
#include "EngineModules.h"
#include "engine/LLBarcode.h"
#include "engine/SymbologyTables.h"
#include "verify/ReferenceDecode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;
using enum btCodeRatio;

namespace {

constexpr double kX = 4.0; // px per module

struct Symbol {
    std::string codeText, modules;
};

Symbol Encode(btCodeTypes type, const char* caption, const char* addon = "",
              btCodeRatio ratio = Ratio_3) {
    const TLLBarcode barcode = EncodedBarcode(type, caption, addon, ratio);
    return {barcode.CodeText, Bits(barcode)};
}

// Run lengths of the modules from the first bar to the last, times kX.
std::vector<double> Widths(const std::string& modules) {
    std::vector<double> widths;
    for (const int run : RunLengths(modules)) widths.push_back(run * kX);
    return widths;
}

// Every bar wider by g, every space narrower by g.
std::vector<double> WithGain(std::vector<double> widths, double g) {
    for (std::size_t i = 0; i < widths.size(); ++i) widths[i] += i % 2 == 0 ? g : -g;
    return widths;
}

std::vector<double> Reversed(const std::vector<double>& widths) {
    return {widths.rbegin(), widths.rend()};
}

void ExpectNear(const std::vector<double>& a, const std::vector<double>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 1e-9) << "element " << i;
}

struct RoundTrip {
    btCodeTypes type;
    const char* caption;
    const char* addon;
    btCodeRatio ratio;
    btCodeTypes any; // what ReferenceDecodeAny reports
    const char* message;
    const char* identifier;
};

// EAN-13 with a leading 0 is the UPC-A symbol; Code 128 reports its start character's set;
// CODE25iP's check digit differs from CODE25i's for these digits. The messages' check digits,
// worked by hand:
// - EAN-8 1234567: 3x(1+3+5+7) + (2+4+6) = 60, 0. EAN-13 400638133393: (4+0+3+1+3+9) +
//   3x(0+6+8+3+3+3) = 89, 1; 978020137962: (9+8+2+1+7+6) + 3x(7+0+0+3+9+2) = 96, 4;
//   0123456 padded to 012345600000: (0+2+4+6+0+0) + 3x(1+3+5+0+0+0) = 39, 1.
// - UPC-A 03600029145: 3x(0+6+0+2+1+5) + (3+0+0+9+4) = 58, 2; 12345678901: 3x(1+3+5+7+9+1)
//   + (2+4+6+8+0) = 98, 2.
// - UPC-E 123456 stands for 0 12345 00006: 3x(0+2+4+0+0+6) + (1+3+5+0+0) = 45, 5, sent as
//   0 123456 5; 042100 for 0 04 00000 210: 3x(0+4+0+0+2+0) + (0+0+0+0+1) = 19, 1.
// - Interleaved 2 of 5 0123456: 3x(0+2+4+6) + (1+3+5) = 45, 5; 9876543: 3x(9+7+5+3) +
//   (8+6+4) = 90, 0; CODE25iP weights 4, 9: 4x(0+2+4+6) + 9x(1+3+5) = 129, 1.
// - MSI 1234: 2 x 24 = 48, 4 + 8 + (1 + 3) = 16, 4; 80523: 2 x 853 = 1706, 1+7+0+6 +
//   (0 + 2) = 16, 4.
const RoundTrip kRoundTrips[] = {
    {EAN_8, "1234567", "", Ratio_3, EAN_8, "12345670", "]E4"},
    {EAN_13, "400638133393", "", Ratio_3, EAN_13, "4006381333931", "]E0"},
    {EAN_13, "400638133393", "12", Ratio_3, EAN_13, "400638133393112", "]E3"},
    {EAN_13, "978020137962", "52495", Ratio_3, EAN_13, "978020137962452495", "]E3"},
    {EAN_13, "0123456", "", Ratio_3, UPC_A, "0123456000001", "]E0"},
    {UPC_A, "03600029145", "", Ratio_3, UPC_A, "036000291452", "]E0"},
    {UPC_A, "12345678901", "07", Ratio_3, UPC_A, "12345678901207", "]E3"},
    {UPC_E, "123456", "", Ratio_3, UPC_E, "01234565", "]E0"},
    {UPC_E, "042100", "", Ratio_3, UPC_E, "00421001", "]E0"},
    {CODE39, "AB-12", "", Ratio_3, CODE39, "AB-12", "]A0"},
    {CODE39, "$/+% .Z", "", Ratio_2, CODE39, "$/+% .Z", "]A0"},
    {CODE25i, "0123456", "", Ratio_3, CODE25i, "01234565", "]I0"},
    {CODE25i, "9876543", "", Ratio_2, CODE25i, "98765430", "]I0"},
    {CODE25iP, "0123456", "", Ratio_3, CODE25iP, "01234561", "]I0"},
    {CODE25i, "01234567", "", Ratio_3, CODE25i, "01234567", "]I0"}, // even: no check digit
    {CODE128_A, "AB12", "", Ratio_3, CODE128_A, "AB12", "]C0"},
    {CODE128_B, "Ab12~", "", Ratio_3, CODE128_B, "Ab12~", "]C0"},
    {CODE128_C, "123456", "", Ratio_3, CODE128_C, "123456", "]C0"},
    {CODE128_C, "12345", "", Ratio_3, CODE128_C, "12345", "]C0"}, // ends in code set A
    {MSI_Plessey, "1234", "", Ratio_3, MSI_Plessey, "12344", "]M0"},
    {MSI_Plessey, "80523", "", Ratio_2, MSI_Plessey, "805234", "]M0"},
    {Codabar, "A123B", "", Ratio_3, Codabar, "A123B", "]F0"},
    {Codabar, "C-$:/.+D", "", Ratio_2, Codabar, "C-$:/.+D", "]F0"},
};

TEST(ReferenceDecode, ReadsBackEveryTypeBothWays) {
    for (const RoundTrip& row : kRoundTrips) {
        SCOPED_TRACE(std::string(CodeTypeName(row.type)) + " " + row.caption + " +" + row.addon);
        const Symbol symbol = Encode(row.type, row.caption, row.addon, row.ratio);
        const std::vector<double> widths = Widths(symbol.modules);
        for (const auto& scan : {widths, Reversed(widths)}) {
            const TDecoded d = ReferenceDecode(row.type, scan);
            ASSERT_TRUE(d.ok) << d.failure;
            EXPECT_EQ(d.data, symbol.codeText);
            EXPECT_EQ(d.addon, row.addon);
            EXPECT_EQ(d.message, row.message);
            EXPECT_EQ(d.identifier, row.identifier);
            EXPECT_NEAR(d.decodability, 1, 1e-9);
            EXPECT_NEAR(d.moduleWidth, kX, 1e-9);
            ExpectNear(d.nominal, scan);
            EXPECT_TRUE(d.failure.empty());
        }
        const TDecoded any = ReferenceDecodeAny(widths);
        ASSERT_TRUE(any.ok) << any.failure;
        EXPECT_EQ(any.type, row.any);
        const bool asUpcA = row.any == UPC_A && row.type == EAN_13;
        EXPECT_EQ(any.data, asUpcA ? symbol.codeText.substr(1) : symbol.codeText);
        EXPECT_EQ(any.message, asUpcA ? std::string(row.message).substr(1) : row.message);
    }
}

// The engine draws add-ons after EAN-13 and UPC-A only; a UPC-E or an EAN-8 symbol with one
// (its modules, a gap, the add-on of an EAN-13 drawing from module 105) decodes as well.
// EAN-8 keeps its identifier "]E4" with the add-on's digits after its own. The gap's nominal
// width is what was drawn held to 7 to 12 modules (ISO/IEC 15420).
struct AddOnAfter {
    btCodeTypes type;
    const char* caption;
    const char* addon;
    const char* message;
    const char* identifier;
    int gap, nominalGap;
};
const AddOnAfter kAddOnsAfter[] = {
    {UPC_E, "123456", "12", "0123456512", "]E3", 9, 9},
    {UPC_E, "123456", "52495", "0123456552495", "]E3", 6, 7},
    {EAN_8, "1234567", "52495", "1234567052495", "]E4", 13, 12},
};

TEST(ReferenceDecode, AddOnAfterUpcEAndEan8) {
    for (const AddOnAfter& row : kAddOnsAfter) {
        SCOPED_TRACE(row.message);
        const Symbol main = Encode(row.type, row.caption);
        const std::string withAddon = Encode(EAN_13, "400638133393", row.addon).modules;
        const std::string modules = main.modules +
                                    std::string(static_cast<std::size_t>(row.gap), '0') +
                                    withAddon.substr(104);
        const TDecoded d = ReferenceDecode(row.type, Widths(modules));
        ASSERT_TRUE(d.ok) << d.failure;
        EXPECT_EQ(d.data, main.codeText);
        EXPECT_EQ(d.addon, row.addon);
        EXPECT_EQ(d.message, row.message);
        EXPECT_EQ(d.identifier, row.identifier);
        std::vector<double> nominal = Widths(modules);
        nominal[RunLengths(main.modules).size()] = row.nominalGap * kX;
        ExpectNear(d.nominal, nominal);
    }
}

// Text with {n} standing for the byte n.
std::string Bytes(const char* text) {
    std::string bytes;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p != '{') {
            bytes += *p;
            continue;
        }
        char* end = nullptr;
        bytes += static_cast<char>(std::strtol(p + 1, &end, 10));
        p = end; // the '}'
    }
    return bytes;
}

// Code 128 data as transmitted (ISO/IEC 15417), from captions in the engine's bytes: a symbol
// value v is the byte v + 32, so {128} FNC3, {129} FNC2, {130} SHIFT, {131} CODE C, {132}
// CODE B (FNC4 in code set B), {133} CODE A (FNC4 in code set A), {134} FNC1.
struct Transmitted {
    const char* what;
    btCodeTypes type;
    const char *caption, *message, *identifier;
};
const Transmitted kTransmitted[] = {
    {"set B", CODE128_B, "ABC-123", "ABC-123", "]C0"},
    {"set C: four digit pairs", CODE128_C, "12345678", "12345678", "]C0"},
    {"FNC1 first: not data", CODE128_C, "{134}0112345678901231", "0112345678901231", "]C1"},
    {"FNC1 first and later: GS", CODE128_B, "{134}AB{134}CD", "AB{29}CD", "]C1"},
    {"FNC1 after one letter", CODE128_B, "A{134}BC", "ABC", "]C2"},
    {"FNC1 after one digit pair", CODE128_C, "12{134}34", "1234", "]C2"},
    {"FNC1 third: GS", CODE128_B, "AB{134}CD", "AB{29}CD", "]C0"},
    {"FNC1 after one digit of set B: GS", CODE128_B, "1{134}2", "1{29}2", "]C0"},
    // B "ab", CODE C, 12 34, CODE B, "c".
    {"code set switches", CODE128_B, "ab{131}1234{132}c", "ab1234c", "]C0"},
    // "a" is the byte 97, the value 65: in code set A the control character 65 - 64 = 1.
    {"set A control", CODE128_A, "ABa", "AB{1}", "]C0"},
    // SHIFT: the "a" after it is read in set B, the "C" after that in set A again.
    {"SHIFT", CODE128_A, "AB{130}aC", "ABaC", "]C0"},
    // FNC4 in set B (value 100): "A" 65 + 128 = 193.
    {"FNC4 in set B", CODE128_B, "x{132}Ay", "x{193}y", "]C0"},
    // FNC4 in set A (value 101): "B" 66 + 128 = 194.
    {"FNC4 in set A", CODE128_A, "A{133}B", "A{194}", "]C0"},
    // Two FNC4 latch: A, B + 128; a single FNC4 takes it off C; two more end it before D.
    {"FNC4 latched", CODE128_B, "{132}{132}AB{132}C{132}{132}D", "{193}{194}CD", "]C0"},
    {"FNC2 is no data", CODE128_B, "A{129}B", "AB", "]C0"},
    {"FNC3 is no data", CODE128_B, "{128}AB", "AB", "]C0"},
};

TEST(ReferenceDecode, Code128TransmittedData) {
    for (const Transmitted& row : kTransmitted) {
        SCOPED_TRACE(row.what);
        const Symbol symbol = Encode(row.type, Bytes(row.caption).c_str());
        const TDecoded d = ReferenceDecode(row.type, Widths(symbol.modules));
        ASSERT_TRUE(d.ok) << d.failure;
        EXPECT_EQ(d.message, Bytes(row.message));
        EXPECT_EQ(d.identifier, row.identifier);
    }
}

TEST(ReferenceDecode, EveryEanDigitInEveryPosition) {
    for (int d = 0; d < 10; ++d) {
        std::string caption;
        for (int i = 0; i < 12; ++i) caption += static_cast<char>('0' + (d + i) % 10);
        const Symbol symbol = Encode(EAN_13, caption.c_str());
        const TDecoded decoded = ReferenceDecode(EAN_13, Widths(symbol.modules));
        EXPECT_EQ(decoded.data, symbol.codeText) << decoded.failure;
    }
}

TEST(ReferenceDecode, EveryCode128Value) {
    const TBarCode128& table = BarCode128();
    const auto modules = [&](int value) {
        std::string s;
        for (int k = 0; k < 11; ++k) s += static_cast<char>('0' + table.Pattern(value)[k]);
        return s;
    };
    for (int v = 0; v < 103; ++v) {
        const int check = (104 + v) % 103;
        const std::string symbol = modules(104) + modules(v) + modules(check) + modules(106) + "11";
        const TDecoded d = ReferenceDecode(CODE128_B, Widths(symbol));
        ASSERT_TRUE(d.ok) << v << ": " << d.failure;
        const std::string data = {char(136), char(v + 32), char(check + 32), char(138)};
        EXPECT_EQ(d.data, data);
    }
}

// Bar gain: every bar 0.8 px (0.2 X) wider, every space as much narrower.
struct Gain {
    btCodeTypes type;
    const char* caption;
    double decodability; // < 0: only below 1
};
const Gain kGains[] = {
    // Similar-edge distances are free of gain; the bars of 1/7 and 2/8 move 0.4 module off
    // their nominal, 0.6 module from the threshold, still over half a module: 1.
    {EAN_13, "400638133393", 1},
    {UPC_E, "123456", 1},
    {CODE128_B, "Ab12~", 1},
    // Code 39, each character 2 wide bars 12.8, 1 wide space 11.2, 3 narrow bars 4.8, 3
    // narrow spaces 3.2: mean narrow 4, mean wide 12.27, RT 8.13; narrow side
    // (8.13 - 4.8) / 4.13 = 0.81, wide side (11.2 - 8.13) / 4.13 = 23/31 = 0.742.
    {CODE39, "AB-12", 23.0 / 31},
    // A digit pair's bars, 3 narrow 4.8 and 2 wide 12.8, RT 8.8: (8.8 - 4.8) / 4 = 1, and
    // its spaces, 3.2 and 11.2, RT 7.2, 1 as well; the start's and the stop's bars and spaces
    // against those: 1. (One threshold over the ten elements, RT 8, gave 0.8.)
    {CODE25i, "0123456", 1},
    {MSI_Plessey, "1234", -1},
    // Every character's bars (4.8, 12.8) and spaces (3.2, 11.2) against thresholds of their
    // own: 1, as for Interleaved 2 of 5.
    {Codabar, "A123B", 1},
};

TEST(ReferenceDecode, BarGainKeepsTheDataAndTheModule) {
    for (const Gain& row : kGains) {
        SCOPED_TRACE(CodeTypeName(row.type));
        const Symbol symbol = Encode(row.type, row.caption);
        const std::vector<double> ideal = Widths(symbol.modules);
        const TDecoded d = ReferenceDecode(row.type, WithGain(ideal, 0.8));
        ASSERT_TRUE(d.ok) << d.failure;
        EXPECT_EQ(d.data, symbol.codeText);
        EXPECT_NEAR(d.moduleWidth, kX, 1e-9);
        ExpectNear(d.nominal, ideal);
        if (row.decodability >= 0) {
            EXPECT_NEAR(d.decodability, row.decodability, 1e-9);
        } else {
            EXPECT_GT(d.decodability, 0.5);
            EXPECT_LT(d.decodability, 1 - 1e-6);
        }
    }
}

// One edge moved by `shift` px: element `at` wider, element at + 1 narrower.
struct MovedEdge {
    btCodeTypes type;
    const char* caption;
    std::size_t at;
    double shift, decodability;
};
const MovedEdge kMovedEdges[] = {
    // EAN-13 4006381333931: the first left-hand character, 0 in set A (space 3, bar 2,
    // space 1, bar 1), elements 3..6. Its bar 2 takes 1 px of the space after it: e1 =
    // 12 + 9 = 21 px = 5.25 modules, 0.25 from 5, 0.25 module from the threshold 5.5: 0.5.
    {EAN_13, "400638133393", 4, 1.0, 0.5},
    // Code 128 A "AB12": "A" (value 33: 1 1 1 3 2 3) is elements 6..11; its first space
    // takes 1.2 px of the bar after it: e1 = 4 + 5.2 = 9.2 px = 2.3 modules, 0.2 module from
    // the threshold 2.5 over half a module: 0.4. The bars keep 3.7 modules, nearest even 4.
    {CODE128_A, "AB12", 7, 1.2, 0.4},
    // Code 39 "AB-12": "A" (W N N N N W N N W) is elements 10..18; its first narrow space
    // takes 1.6 px of the narrow bar after it: narrow 5.6, 2.4 and four of 4, mean 4, RT 8:
    // (8 - 5.6) / (8 - 4) = 0.6.
    {CODE39, "AB-12", 11, 1.6, 0.6},
};

TEST(ReferenceDecode, MovedEdgeLowersTheDecodability) {
    for (const MovedEdge& row : kMovedEdges) {
        SCOPED_TRACE(CodeTypeName(row.type));
        const Symbol symbol = Encode(row.type, row.caption);
        std::vector<double> widths = Widths(symbol.modules);
        widths[row.at] += row.shift;
        widths[row.at + 1] -= row.shift;
        const TDecoded d = ReferenceDecode(row.type, widths);
        ASSERT_TRUE(d.ok) << d.failure;
        EXPECT_EQ(d.data, symbol.codeText);
        EXPECT_NEAR(d.decodability, row.decodability, 1e-9);
    }
}

// Two-width symbols at a wide to narrow ratio R, in X: the engine's 2:1 elements with the
// wide ones made R, every bar `gain` wider and every space as much narrower, then element
// `at` (from the end when negative) `delta` wider. ISO/IEC 15416: V is the worst element's
// distance from its reference threshold RT over (N - 1) Z / 2, the distance of a nominal
// element, here half the step between the narrow and the wide mean.
struct TwoWidth {
    const char* what;
    btCodeTypes type;
    const char* caption;
    double ratio, gain;
    int at;
    double delta, decodability;
};
const TwoWidth kTwoWidths[] = {
    // Bars 1.2 / 2.7, RT 1.95, (N - 1) Z / 2 = 0.75: (1.95 - 1.2) / 0.75 = 1; spaces
    // 0.8 / 2.3, RT 1.55: 1. One threshold over a pair's ten elements (means 1.0 and 2.5, RT
    // 1.75) gave (1.75 - 1.2) / 0.75 = 0.733.
    {"I2of5 uniform gain", CODE25i, "0123456", 2.5, 0.2, 0, 0, 1},
    // The start's first bar 1.5 against the first pair's bar RT 1.95: 0.45 / 0.75 = 0.6
    // (against its space RT 1.55 it would be 0.067).
    {"I2of5 start bar", CODE25i, "0123456", 2.5, 0.2, 0, 0.3, 0.6},
    // The stop's space 1.1 against the last pair's space RT 1.55: 0.45 / 0.75 = 0.6 (against
    // its bar RT 1.95 it would be 1).
    {"I2of5 stop space", CODE25i, "0123456", 2.5, 0.2, -2, 0.3, 0.6},
    // The stop's wide bar 2.4 and its last narrow bar 1.5, against the last pair's bar RT
    // 1.95: 0.45 / 0.75 = 0.6 each.
    {"I2of5 stop wide bar", CODE25i, "0123456", 2.5, 0.2, -3, -0.3, 0.6},
    {"I2of5 stop narrow bar", CODE25i, "0123456", 2.5, 0.2, -1, 0.3, 0.6},
    // The pair "01": element 5 is the first space of the 1 (wide spaces 10001), 2.3 - 0.6 =
    // 1.7. Its spaces: wide 1.7 and 2.3, mean 2.0, narrow 0.8, RT 1.4, 0.6 from each mean:
    // (1.7 - 1.4) / 0.6 = 0.5; the bars' threshold does not move: 0.5.
    {"I2of5 one wide space", CODE25i, "0123456", 2.5, 0.2, 5, -0.6, 0.5},
    // Bar loss of 0.25 X at 2:1: bars 0.75 / 1.75, RT 1.25; spaces 1.25 / 2.25, RT 1.75:
    // every element 0.5 from its RT, V = 1. The start A (0011010), 0.75 0.75 0.75 1.25 1.75
    // 2.25 2.25 sorted, has equal steps below its 2 and its 3 widest elements: the reading
    // that tried only the larger step took 2 wide and found no start character.
    {"Codabar bar loss", Codabar, "A123B", 2, -0.25, 0, 0, 1},
    // "/" (1010001): bars 1.75 1.75 0.75 1.75 against their own RT 1.25: 1; its spaces, all
    // narrow 1.25, against the whole character's RT: narrow mean (0.75 + 3 x 1.25) / 4 =
    // 1.125, wide 1.75, RT 1.4375, 0.3125 from each: (1.4375 - 1.25) / 0.3125 = 0.6.
    {"Codabar all-narrow spaces", Codabar, "A1/2B", 2, -0.25, 0, 0, 0.6},
};

TEST(ReferenceDecode, TwoWidthThresholdsPerCharacter) {
    for (const TwoWidth& row : kTwoWidths) {
        SCOPED_TRACE(row.what);
        const Symbol symbol = Encode(row.type, row.caption, "", Ratio_2);
        std::vector<double> widths;
        for (const int run : RunLengths(symbol.modules)) {
            const double gain = widths.size() % 2 == 0 ? row.gain : -row.gain;
            widths.push_back((run == 1 ? 1 : row.ratio) + gain);
        }
        const std::size_t at = row.at < 0 ? widths.size() + row.at : row.at;
        widths[at] += row.delta;
        const TDecoded d = ReferenceDecode(row.type, widths);
        ASSERT_TRUE(d.ok) << d.failure;
        EXPECT_EQ(d.data, symbol.codeText);
        EXPECT_NEAR(d.decodability, row.decodability, 1e-9);
    }
}

// The modules of `symbol` with those of `other` from `from` written over them at `at`.
std::string Patched(std::string symbol, std::size_t at, const std::string& other, std::size_t from,
                    std::size_t count) {
    symbol.replace(at, count, other.substr(from, count));
    return symbol;
}

std::string EanC(int digit) {
    std::string s;
    for (const auto m : kEanSets[2][digit]) s += static_cast<char>('0' + m);
    return s;
}

struct Refused {
    const char* what;
    btCodeTypes type;
    std::string modules;
    const char* failure;
};

TEST(ReferenceDecode, RefusesWrongCheckAndTruncatedSymbols) {
    const std::string ean = Encode(EAN_13, "400638133393").modules; // check digit 1
    const std::string code128 = Encode(CODE128_A, "AB12").modules;  // check value 18
    const std::string code39 = Encode(CODE39, "AB-12").modules;
    const std::string codabar = Encode(Codabar, "A1B").modules;
    const Refused rows[] = {
        {"EAN-13 check", EAN_13, Patched(ean, 85, EanC(5), 0, 7),
         "wrong check digit: read 5, computed 1"},
        {"Code 128 check", CODE128_A, Patched(code128, 55, Encode(CODE128_A, "3").modules, 11, 11),
         "wrong check character: read 19, computed 18"},
        // MSI "1234" + 4: its last digit replaced by the 7 of MSI "7" (16 modules each after
        // the 4 of the start).
        {"MSI check", MSI_Plessey,
         Patched(Encode(MSI_Plessey, "1234").modules, 4 + 16 * 4, Encode(MSI_Plessey, "7").modules,
                 4, 16),
         "wrong check digit: read 7, computed 4"},
        // Cut in the last character: its bar, space and first bar of 2 modules stay.
        {"EAN-13 truncated", EAN_13, ean.substr(0, 90),
         "55 elements: an EAN-13 symbol has 59 (73 or 91 with an add-on)"},
        {"Code 39 without its stop", CODE39, code39.substr(0, code39.size() - 16),
         "no stop character"},
        // The gap after "*" (15 modules) 5 modules wide, past a wide and a narrow element (4).
        {"Code 39 gap", CODE39, code39.substr(0, 16) + "0000" + code39.substr(16),
         "the gap after character 1 is wider than a wide element and a narrow one"},
        // "A1B": the 1 (11 modules after the A's 13 and its gap) made seven elements of 2
        // modules each: no pattern has its wide elements wider than its narrow ones.
        {"Codabar equal elements", Codabar,
         codabar.substr(0, 14) + "11001100110011" + codabar.substr(25),
         "character 2: its elements fit no Codabar character"},
        // Refusals after the Interleaved 2 of 5 or Code 128 symbol decoded, which must not
        // transmit what it read. GS1 check digit of 1234567890123, weights 3 and 1 from the
        // right: 3*3+2+1*3+0+9*3+8+7*3+6+5*3+4+3*3+2+1*3 = 109, so 10 - 9 = 1; read 4.
        {"ITF-14 check", ITF_14, Encode(CODE25i, "12345678901234").modules,
         "wrong check digit: read 4, computed 1"},
        {"GS1-128 without FNC1", GS1_128, code128,
         "no FNC1 after the start character: a GS1-128 symbol begins with FNC1"},
    };
    for (const Refused& row : rows) {
        SCOPED_TRACE(row.what);
        const TDecoded d = ReferenceDecode(row.type, Widths(row.modules));
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.failure, row.failure);
        // A failed decode transmits nothing.
        EXPECT_EQ(d.message, "");
        EXPECT_EQ(d.identifier, "");
    }
}

// A Codabar symbol laid out from the alphabet's patterns, narrow 1 and wide 3 (times kX),
// a narrow gap after each character.
std::vector<double> CodabarWidths(const std::string& text) {
    std::vector<double> widths;
    for (const char c : text) {
        const char* pattern = TBarCodabar::kPatterns[BarCodabar().IndexOf(c)];
        if (!widths.empty()) widths.push_back(kX);
        for (const char* e = pattern; *e != '\0'; ++e) widths.push_back((*e == '1' ? 3 : 1) * kX);
    }
    return widths;
}

// What a decode refuses inside a symbol (EN 798: A to D only at its ends), and what a read
// of an unnamed symbology must hold to be believed: Interleaved 2 of 5 6 digits, Codabar 4
// characters with its start and stop, MSI Plessey a digit other than 0.
TEST(ReferenceDecode, LettersInsideCodabarAndTheShortestReadsBelieved) {
    struct TRow {
        const char* what;
        btCodeTypes type;
        std::vector<double> widths;
        const char* failure; // "" when it decodes
        bool any;            // ReferenceDecodeAny believes it
    };
    const TRow kRows[] = {
        {"Codabar A1B", Codabar, CodabarWidths("A1B"), "", false},
        {"Codabar A12B", Codabar, CodabarWidths("A12B"), "", true},
        {"Codabar A1C2B", Codabar, CodabarWidths("A1C2B"),
         "character 3: a start or stop character inside the symbol", false},
        {"Codabar AD2B", Codabar, CodabarWidths("AD2B"),
         "character 2: a start or stop character inside the symbol", false},
        {"I2of5 4 digits", CODE25i, Widths(Encode(CODE25i, "1234").modules), "", false},
        {"I2of5 6 digits", CODE25i, Widths(Encode(CODE25i, "123456").modules), "", true},
        {"MSI 0 and its check 0", MSI_Plessey, Widths(Encode(MSI_Plessey, "0").modules), "", false},
    };
    for (const TRow& row : kRows) {
        const TDecoded d = ReferenceDecode(row.type, row.widths);
        EXPECT_EQ(d.ok, std::string(row.failure).empty()) << row.what;
        EXPECT_EQ(d.failure, row.failure) << row.what;
        const TDecoded any = ReferenceDecodeAny(row.widths);
        EXPECT_EQ(any.ok, row.any) << row.what << ": " << any.failure;
        if (row.any) {
            EXPECT_EQ(any.type, row.type) << row.what;
        }
    }
}

TEST(ReferenceDecode, WidthsThatAreNoSymbol) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> ean = Widths(Encode(EAN_13, "400638133393").modules);
    const auto with = [&](std::size_t at, double value) {
        std::vector<double> w = ean;
        w[at] = value;
        return w;
    };
    const std::vector<std::pair<std::vector<double>, const char*>> rows = {
        {{}, "no elements to decode"},
        {{4, 4}, "2 elements: a symbol runs from a bar to a bar, an odd number of elements"},
        {with(3, 0), "element 4 is 0 wide: every width must be a positive number"},
        {with(0, -4), "element 1 is -4 wide: every width must be a positive number"},
        {with(9, nan), "element 10 is nan wide: every width must be a positive number"},
        {with(9, inf), "element 10 is inf wide: every width must be a positive number"},
        {std::vector<double>(59, 1e308), "the widths add up beyond the range of a number"},
    };
    for (const auto& [widths, failure] : rows) {
        const TDecoded d = ReferenceDecode(EAN_13, widths);
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.failure, failure);
        EXPECT_FALSE(ReferenceDecodeAny(widths).ok);
    }
    // A million elements (a count that Code 39 and Codabar accept) is refused at once.
    const std::vector<double> many(999'999, 1.0);
    EXPECT_FALSE(ReferenceDecodeAny(many).ok);
    const TDecoded postal = ReferenceDecode(Postnet, ean);
    EXPECT_FALSE(postal.ok);
    EXPECT_EQ(postal.failure,
              "Postnet and FIM are postal symbols, outside ISO/IEC 15416 print-quality grading");
    EXPECT_FALSE(ReferenceDecode(Postnet_FIM, ean).ok);
}

} // namespace
