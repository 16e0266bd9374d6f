// Code 39, Interleaved 2 of 5, Codabar and MSI Plessey: preparation and wide/narrow patterns,
// checked by reading the symbols back with the published character tables.
#include "EngineModules.h"
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"
#include "engine/SymbologyTables.h"
#include "engine/TextPreparation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;
using enum btCodeRatio;

namespace {

// The engine's own element tables read the symbols back here ("1" = wide): they are held to
// the character rules below and to symbols written out by hand, so that a wrong entry cannot
// pass by being read back with itself.
const std::string kAlphabet39 = TBarCode39::kAlphabet;
const char* const* const kCode39 = TBarCode39::kPatterns;
const std::string kAlphabetCodabar = TBarCodabar::kAlphabet;
const char* const* const kCodabar = TBarCodabar::kPatterns;
const std::string kDigits = "0123456789";
const char* const* const k25 = kCode25Digits;

// Run lengths of the pattern, each checked to be narrow (1) or wide (2 or 3 modules).
std::vector<int> Runs(const TLLBarcode& e) {
    const std::string bits = Bits(e);
    std::vector<int> runs;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (i == 0 || bits[i] != bits[i - 1]) runs.push_back(0);
        ++runs.back();
    }
    EXPECT_EQ(bits.empty() ? '1' : bits[0], '1');
    return runs;
}

std::string Flags(const std::vector<int>& runs, std::size_t from, std::size_t count, int wide) {
    std::string f;
    for (std::size_t i = from; i < from + count; ++i) {
        EXPECT_TRUE(runs.at(i) == 1 || runs.at(i) == wide) << "element width " << runs.at(i);
        f += runs.at(i) == wide ? '1' : '0';
    }
    return f;
}

char Lookup(const std::string& alphabet, const char* const* table, const std::string& flags) {
    for (std::size_t i = 0; i < alphabet.size(); ++i)
        if (flags == table[i]) return alphabet[i];
    return '?';
}

// Characters of fixed element count, each followed by a one-module gap.
std::string ReadGapped(const TLLBarcode& e, const std::string& alphabet, const char* const* table,
                       std::size_t elements) {
    const int wide = e.Params.Ratio == Ratio_3 ? 3 : 2;
    const std::vector<int> r = Runs(e);
    std::string text;
    for (std::size_t pos = 0; pos < r.size(); pos += elements + 1) {
        text += Lookup(alphabet, table, Flags(r, pos, elements, wide));
        EXPECT_EQ(r.at(pos + elements), 1) << "gap after character " << text.size();
    }
    return text;
}

std::string Read25(const TLLBarcode& e) {
    const int wide = e.Params.Ratio == Ratio_3 ? 3 : 2;
    const std::vector<int> r = Runs(e);
    EXPECT_EQ(Flags(r, 0, 4, wide), "0000");
    EXPECT_EQ(Flags(r, r.size() - 3, 3, wide), "100");
    std::string text;
    for (std::size_t p = 4; p + 3 < r.size(); p += 10) {
        const std::string f = Flags(r, p, 10, wide);
        std::string bars, spaces;
        for (int k = 0; k < 10; ++k) (k % 2 ? spaces : bars) += f[k];
        text += Lookup(kDigits, k25, bars);
        text += Lookup(kDigits, k25, spaces);
    }
    return text;
}

using Case = TTextCase;

class WideNarrow : public ::testing::TestWithParam<std::tuple<Case, btCodeRatio>> {};

TEST_P(WideNarrow, PreparesTextAndReadsBack) {
    const auto& [c, ratio] = GetParam();
    const TLLBarcode e = EncodedBarcode(c.type, c.text, "", ratio);
    ASSERT_STREQ(e.CodeText, c.codeText);
    const std::size_t n = std::strlen(c.codeText);
    const int wide = ratio == Ratio_3 ? 3 : 2;
    switch (c.type) {
    case CODE39:
        EXPECT_EQ(ReadGapped(e, kAlphabet39, kCode39, 9), c.codeText);
        EXPECT_EQ(e.ModuleCount, static_cast<int>(n) * (7 + 3 * wide));
        break;
    case Codabar: EXPECT_EQ(ReadGapped(e, kAlphabetCodabar, kCodabar, 7), c.codeText); break;
    case MSI_Plessey: {
        std::string expected;
        auto bit = [&](bool one) {
            expected += one ? std::string(wide, '1') + "0" : "1" + std::string(wide, '0');
        };
        bit(true);
        for (std::size_t i = 0; i < n; ++i)
            for (int b = 3; b >= 0; --b) bit((c.codeText[i] - '0') >> b & 1);
        bit(false);
        bit(false);
        EXPECT_EQ(Bits(e), expected);
        break;
    }
    default: // Interleaved 2 of 5
        EXPECT_EQ(Read25(e), c.codeText);
        EXPECT_EQ(e.ModuleCount, 4 + static_cast<int>(n) * (3 + 2 * wide) + wide + 2);
    }
}

const std::string kText39 = kAlphabet39.substr(0, 43);
const std::string kFull39 = "*" + kText39 + "*";

INSTANTIATE_TEST_SUITE_P(
    Cases, WideNarrow,
    ::testing::Combine(
        ::testing::Values(
            Case{CODE39, "abc-1", "*ABC-1*"}, Case{CODE39, "a+b", "*A+B*"},
            Case{CODE39, "a#b", "*A0B*"}, Case{CODE39, "", "**"}, Case{CODE39, "A*B", "*A*B*"},
            Case{CODE39, "x\xe9_z", "*X00Z*"}, Case{CODE39, kText39.c_str(), kFull39.c_str()},
            Case{CODE25i, "1234567", "12345670"}, Case{CODE25iP, "1234567", "12345678"},
            Case{CODE25i, "123456", "123456"}, Case{CODE25iP, "123456", "123456"},
            Case{CODE25i, "", ""}, Case{CODE25i, "12a", "1205"}, Case{CODE25iP, "12a", "1208"},
            Case{CODE25i, "0123456789", "0123456789"},
            Case{CODE25iP, "1234567890123", "12345678901236"},
            Case{CODE25iP, "12345678901", "123456789016"}, Case{Codabar, "123", "A123A"},
            Case{Codabar, "B123C", "B123C"}, Case{Codabar, "b12", "B12A"},
            Case{Codabar, "1b2", "A102A"}, Case{Codabar, "12x", "A12A"}, Case{Codabar, "A", "AA"},
            Case{Codabar, "", "AA"}, Case{Codabar, "ABC", "A0C"}, Case{Codabar, "d", "DA"},
            Case{Codabar, "x", "AA"}, Case{Codabar, "1d", "A1D"},
            Case{Codabar, "c$-:/.+d", "C$-:/.+D"}, Case{Codabar, "4 5", "A45A"},
            Case{Codabar, "a0123456789b", "A0123456789B"}, Case{MSI_Plessey, "1234567", "12345674"},
            Case{MSI_Plessey, "", "0"}, Case{MSI_Plessey, "80523", "805234"},
            Case{MSI_Plessey, "9", "91"}, Case{MSI_Plessey, "99", "992"},
            Case{MSI_Plessey, "1x", "109"},
            Case{MSI_Plessey, "99999999999999999999999999999999999999999999999999",
                 "999999999999999999999999999999999999999999999999990"},
            Case{MSI_Plessey, "31415926535897932384626433832795028841971693993751",
                 "314159265358979323846264338327950288419716939937519"}),
        ::testing::Values(Ratio_3, Ratio_2)));

// The character rules, one row per table: elements per character, how many of them are wide,
// and no two characters alike. Code 39 (ISO/IEC 16388, 4.2): 9 elements, 3 wide ("*" is
// 010010100: elements 2, 5 and 7). Interleaved 2 of 5 (ISO/IEC 16390, 4.2): 5 elements, 2
// wide. Codabar (EN 798): 7 elements, 2 wide for the digits and "-$", 3 for ":/.+" and
// A to D ("A" is 0011010: elements 3, 4 and 6).
TEST(WideNarrowTables, EveryCharacterFollowsItsRules) {
    const struct {
        const char* name;
        const std::string& alphabet;
        const char* const* table;
        std::size_t elements;
        int minWide, maxWide;
    } rows[] = {{"Code 39", kAlphabet39, kCode39, 9, 3, 3},
                {"2 of 5", kDigits, k25, 5, 2, 2},
                {"Codabar", kAlphabetCodabar, kCodabar, 7, 2, 3}};
    for (const auto& row : rows) {
        std::set<std::string> seen;
        for (std::size_t i = 0; i < row.alphabet.size(); ++i) {
            const std::string flags = row.table[i];
            const std::string where = std::string(row.name) + " '" + row.alphabet[i] + "' " + flags;
            EXPECT_EQ(flags.size(), row.elements) << where;
            EXPECT_EQ(flags.find_first_not_of("01"), std::string::npos) << where;
            const auto wide = std::count(flags.begin(), flags.end(), '1');
            EXPECT_TRUE(wide >= row.minWide && wide <= row.maxWide) << where;
            EXPECT_TRUE(seen.insert(flags).second) << where << " twice";
        }
    }
    // Codabar: the digits and "-$" have 2 wide elements, the rest 3.
    for (std::size_t i = 0; i < kAlphabetCodabar.size(); ++i)
        EXPECT_EQ(std::count(kCodabar[i], kCodabar[i] + 7, '1'), i < 12 ? 2 : 3)
            << kAlphabetCodabar[i];
}

// Interleaved 2 of 5: the wide elements of a digit weigh 1, 2, 4, 7 and 0 (the fifth is
// parity) and add up to the digit, 0 being 4 + 7 = 11 (ISO/IEC 16390, the character table).
// Worked: 7 is NNNWW, 7 + 0 = 7; 0 is NNWWN, 4 + 7 = 11.
TEST(WideNarrowTables, TwoOfFiveDigitsAreTheirWeights) {
    constexpr int kWeights[5] = {1, 2, 4, 7, 0};
    for (int digit = 0; digit < 10; ++digit) {
        int sum = 0;
        for (int k = 0; k < 5; ++k)
            if (k25[digit][k] == '1') sum += kWeights[k];
        EXPECT_EQ(sum, digit == 0 ? 11 : digit) << digit << ": " << k25[digit];
    }
}

// Interleaved 2 of 5 digit pairs written out as element widths, bar first: start NNNN,
// the pair (bars from the first digit, spaces from the second), stop WNN. Widths from the
// character table, N = 1 and W = the ratio:
//   3 WWNNN, 8 WNNWN: 3 3 3 1 1 1 1 3 1 1     9 NWNWN, 0 NNWWN: 1 1 3 1 1 3 3 3 1 1
//   4 NNWNW, 7 NNNWW: 1 1 1 1 2 1 1 2 2 2     5 WNWNN, 6 NWWNN: 2 1 1 2 2 2 1 1 1 1
TEST(WideNarrowPatterns, TwoOfFivePairsAsWidths) {
    const struct {
        const char* text;
        btCodeRatio ratio;
        const char* widths;
    } rows[] = {{"38", Ratio_3,
                 "1111"
                 "3331111311"
                 "311"},
                {"90", Ratio_3,
                 "1111"
                 "1131133311"
                 "311"},
                {"47", Ratio_2,
                 "1111"
                 "1111211222"
                 "211"},
                {"56", Ratio_2,
                 "1111"
                 "2112221111"
                 "211"}};
    for (const auto& row : rows) {
        std::string modules;
        for (std::size_t k = 0; row.widths[k] != '\0'; ++k)
            modules +=
                std::string(static_cast<std::size_t>(row.widths[k] - '0'), k % 2 ? '0' : '1');
        EXPECT_EQ(Bits(EncodedBarcode(CODE25i, row.text, "", row.ratio)), modules) << row.text;
    }
}

TEST(WideNarrowPatterns, HandWrittenSymbols) {
    const struct {
        btCodeTypes type;
        btCodeRatio ratio;
        const char* text;
        std::string bits;
    } cases[] = {
        {CODE39, Ratio_3, "", "10001011101110101000101110111010"}, // "*" "*"
        {CODE39, Ratio_2, "", "10010110110101001011011010"},
        {CODE25i, Ratio_3, "", "101011101"}, // start, stop
        {CODE25i, Ratio_2, "", "10101101"},
        {CODE25i, Ratio_3, "12", "101011101000101011100011101"},
        {Codabar, Ratio_3, "", "1011100010001010111000100010"}, // "A" "A"
        {MSI_Plessey, Ratio_2, "", "110100100100100100100"}     // 1, 0000, 00
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Bits(EncodedBarcode(c.type, c.text, "", c.ratio)), c.bits)
            << CodeTypeName(c.type) << " '" << c.text << "'";
    }
}

TEST(WideNarrowPatterns, CodabarUppercasesTheCaption) {
    TLLBarcode e;
    e.Params.CodeType = Codabar;
    e.Params.SetCaption("b1x2c");
    e.Encode();
    EXPECT_STREQ(e.CodeText, "B12C");
    EXPECT_STREQ(e.Params.Caption, "B1X2C");

    e.Params.CodeType = CODE39; // other types leave the caption as typed
    e.Params.SetCaption("abc");
    e.Encode();
    EXPECT_STREQ(e.Params.Caption, "abc");
}

TEST(WideNarrowPatterns, MsiCheckRefusesOtherTypes) {
    char text[TLLBarcode::kCodeTextCapacity + 1] = "123";
    try {
        AddMSIProofchar(text, CODE39);
        ADD_FAILURE() << "no exception";
    } catch (const EOverflow& x) {
        EXPECT_STREQ(x.what(), "Wrong barcode type in procedure AddMSIProofchar");
    }
}

TEST(FormatCode25iP, GroupsTwelveAndFourteenDigitLines) {
    const struct {
        int groupSplit;
        const char* in;
        const char* out;
    } cases[] = {{7, "12345678901236", "12345.678.901.23   6"},
                 {7, "123456789016", "12.34567   8901   6"},
                 {5, "123456789016", "12.345   678901   6"},
                 {3, "123456789016", "12.3   45678901   6"},
                 {7, "1234567890123", "1234567890123"},
                 {7, "123456789012345", "123456789012345"},
                 {7, "12345670", "12345670"},
                 {7, "", ""}};
    for (const auto& c : cases) {
        TLLBarcode e;
        e.Params.GroupSplit = c.groupSplit;
        char buf[32] = {};
        std::strcpy(buf, c.in);
        e.FormatCode25iP(buf);
        EXPECT_STREQ(buf, c.out) << c.in << " split " << c.groupSplit;
    }
}

} // namespace
