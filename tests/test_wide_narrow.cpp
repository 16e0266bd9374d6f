// Code 39, Interleaved 2 of 5, Codabar and MSI Plessey: preparation and wide/narrow patterns,
// checked by reading the symbols back with the published character tables.
#include "EngineModules.h"
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"
#include "engine/TextPreparation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

using namespace varimark;

namespace {

// Element flags of ISO/IEC 16388 (Code 39), ISO/IEC 16390 (2 of 5) and USS-Codabar, in the
// order of the alphabets; 1 = wide.
const std::string kAlphabet39 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";
const char* const kCode39[44] = {
    "000110100", "100100001", "001100001", "101100000", "000110001", "100110000", "001110000",
    "000100101", "100100100", "001100100", "100001001", "001001001", "101001000", "000011001",
    "100011000", "001011000", "000001101", "100001100", "001001100", "000011100", "100000011",
    "001000011", "101000010", "000010011", "100010010", "001010010", "000000111", "100000110",
    "001000110", "000010110", "110000001", "011000001", "111000000", "010010001", "110010000",
    "011010000", "010000101", "110000100", "011000100", "010101000", "010100010", "010001010",
    "000101010", "010010100"};
const std::string kAlphabetCodabar = "0123456789-$:/.+ABCD";
const char* const kCodabar[20] = {"0000011", "0000110", "0001001", "1100000", "0010010",
                                  "1000010", "0100001", "0100100", "0110000", "1001000",
                                  "0001100", "0011000", "1000101", "1010001", "1010100",
                                  "0010101", "0011010", "0101001", "0001011", "0001110"};
const std::string kDigits = "0123456789";
const char* const k25[10] = {"00110", "10001", "01001", "11000", "00101",
                             "10100", "01100", "00011", "10010", "01010"};

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

struct Case {
    btCodeTypes type;
    const char* text;
    const char* codeText;
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
    return os << CodeTypeName(c.type) << " '" << c.text << "'";
}

class WideNarrow : public ::testing::TestWithParam<std::tuple<Case, btCodeRatio>> {};

TEST_P(WideNarrow, PreparesTextAndReadsBack) {
    const auto& [c, ratio] = GetParam();
    TLLBarcode e;
    e.Params.CodeType = c.type;
    e.Params.Ratio = ratio;
    e.Params.SetCaption(c.text);
    e.Encode();
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
        TLLBarcode e;
        e.Params.CodeType = c.type;
        e.Params.Ratio = c.ratio;
        e.Params.SetCaption(c.text);
        e.Encode();
        EXPECT_EQ(Bits(e), c.bits) << CodeTypeName(c.type) << " '" << c.text << "'";
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
