// EAN-8, EAN-13, UPC-A, UPC-E and the 2- and 5-digit add-ons.
#include "EngineModules.h"
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"
#include "engine/TextPreparation.h" // AddCheckDigit

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;

namespace {

// Number sets of ISO/IEC 15420: A (odd), C (right-hand); B is C read backwards.
const char* const kSetA[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                               "0110001", "0101111", "0111011", "0110111", "0001011"};
const char* const kSetC[10] = {"1110010", "1100110", "1101100", "1000010", "1011100",
                               "1001110", "1010000", "1000100", "1001000", "1110100"};
const char* const kLeadParity[10] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                     "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};
const char* const kUpcEParity[10] = {"BBBAAA", "BBABAA", "BBAABA", "BBAAAB", "BABBAA",
                                     "BAABBA", "BAAABB", "BABABA", "BABAAB", "BAABAB"};

std::string Digit(char set, char digit) {
    const int d = digit - '0';
    if (set == 'A') return kSetA[d];
    if (set == 'C') return kSetC[d];
    const std::string c = kSetC[d];
    return {c.rbegin(), c.rend()};
}

std::string Group(const std::string& digits, const std::string& parity) {
    std::string s;
    for (std::size_t i = 0; i < digits.size(); ++i) s += Digit(parity[i], digits[i]);
    return s;
}

std::string Expected(btCodeTypes type, const std::string& code) {
    switch (type) {
    case EAN_8:
        return "101" + Group(code.substr(0, 4), "AAAA") + "01010" +
               Group(code.substr(4, 4), "CCCC") + "101";
    case EAN_13:
        return "101" + Group(code.substr(1, 6), kLeadParity[code[0] - '0']) + "01010" +
               Group(code.substr(7, 6), "CCCCCC") + "101";
    case UPC_A:
        return "101" + Group(code.substr(0, 6), "AAAAAA") + "01010" +
               Group(code.substr(6, 6), "CCCCCC") + "101";
    default: // UPC_E
        return "101" + Group(code.substr(0, 6), kUpcEParity[code[6] - '0']) + "010101";
    }
}

using EanCase = TTextCase;

class EanUpcEncoding : public ::testing::TestWithParam<EanCase> {};

TEST_P(EanUpcEncoding, RepairsTextAddsCheckDigitAndBuildsPattern) {
    const EanCase& c = GetParam();
    const TLLBarcode e = EncodedBarcode(c.type, c.text);
    EXPECT_STREQ(e.CodeText, c.codeText);
    EXPECT_EQ(Bits(e), Expected(c.type, c.codeText));
    EXPECT_EQ(e.ModuleCount, c.type == EAN_8 ? 67 : c.type == UPC_E ? 51 : 95);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EanUpcEncoding,
    ::testing::Values(EanCase{EAN_8, "4711", "47110007"}, EanCase{EAN_8, "12AB", "12000005"},
                      EanCase{EAN_8, "", "00000000"}, EanCase{EAN_8, "123456789", "12345670"},
                      EanCase{EAN_8, "96385070", "96385074"}, EanCase{EAN_8, "-1.5e3", "01050301"},
                      EanCase{EAN_13, "400638133393", "4006381333931"},
                      EanCase{EAN_13, "4006381333931", "4006381333931"},
                      EanCase{EAN_13, "4006381333930", "4006381333931"},
                      EanCase{EAN_13, "40063813339312345", "4006381333931"},
                      EanCase{EAN_13, "590123412345", "5901234123457"},
                      EanCase{EAN_13, "4OO6", "4006000000008"},
                      EanCase{EAN_13, "", "0000000000000"}, EanCase{EAN_13, "1", "1000000000009"},
                      EanCase{EAN_13, "2", "2000000000008"}, EanCase{EAN_13, "3", "3000000000007"},
                      EanCase{EAN_13, "6", "6000000000004"}, EanCase{EAN_13, "7", "7000000000003"},
                      EanCase{EAN_13, "8", "8000000000002"}, EanCase{EAN_13, "9", "9000000000001"},
                      EanCase{UPC_A, "12345678901", "123456789012"},
                      EanCase{UPC_A, "036000291459", "036000291452"},
                      EanCase{UPC_A, "", "000000000000"},
                      // UPC-E: one case per check digit, so every parity entry is used.
                      EanCase{UPC_E, "555555", "5555550"}, EanCase{UPC_E, "123453", "1234531"},
                      EanCase{UPC_E, "123457", "1234572"}, EanCase{UPC_E, "123452", "1234523"},
                      EanCase{UPC_E, "425261", "4252614"}, EanCase{UPC_E, "123456", "1234565"},
                      EanCase{UPC_E, "123459", "1234596"}, EanCase{UPC_E, "654321", "6543217"},
                      EanCase{UPC_E, "123455", "1234558"}, EanCase{UPC_E, "123458", "1234589"},
                      EanCase{UPC_E, "1234567", "1234565"}, EanCase{UPC_E, "12a", "1200003"},
                      EanCase{UPC_E, "", "0000000"}, EanCase{UPC_E, "123454", "1234543"}));

TEST(EanUpc, WellKnownEan13PatternByHand) {
    const TLLBarcode e = EncodedBarcode(EAN_13, "4006381333931");
    // Guards and the digit groups 0 0 6 3 8 1 (parity ABAABB), 3 3 3 9 3 1.
    const std::string expected = "101 0001101 0100111 0101111 0111101 0001001 0110011 01010 "
                                 "1000010 1000010 1000010 1110100 1000010 1100110 101";
    std::string bits;
    for (char c : expected)
        if (c != ' ') bits += c;
    EXPECT_EQ(Bits(e), bits);
}

TEST(EanUpc, CheckDigitRefusesTypesWithoutWeights) {
    for (btCodeTypes t : {CODE39, CODE128_B, MSI_Plessey, Codabar, Postnet_FIM}) {
        char buf[TLLBarcode::kCodeTextCapacity + 1] = "123";
        try {
            AddCheckDigit(buf, t);
            ADD_FAILURE() << CodeTypeName(t);
        } catch (const EOverflow& x) {
            EXPECT_STREQ(x.what(), "BarcoLL: No check char with this barcode type");
        }
    }
}

struct AddonCase {
    btCodeTypes type;
    const char* addon;
    const char* parity;
};

std::ostream& operator<<(std::ostream& os, const AddonCase& c) {
    return os << CodeTypeName(c.type) << " add-on " << c.addon;
}

class EanAddon : public ::testing::TestWithParam<AddonCase> {};

TEST_P(EanAddon, FollowsMainSymbolAfterNineModuleGap) {
    const AddonCase& c = GetParam();
    const TLLBarcode e = EncodedBarcode(c.type, "400638133393", c.addon);
    std::string expected = Expected(c.type, e.CodeText) + std::string(9, '0') + "1011";
    for (std::size_t i = 0; c.addon[i]; ++i)
        expected += (i ? "01" : "") + Digit(c.parity[i], c.addon[i]);
    expected += "0";
    EXPECT_EQ(Bits(e), expected);
    EXPECT_EQ(e.ModuleCount, std::strlen(c.addon) == 2 ? 125 : 152);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EanAddon,
    ::testing::Values(
        // Two digits: parity by value mod 4.
        AddonCase{EAN_13, "12", "AA"}, AddonCase{EAN_13, "13", "AB"}, AddonCase{EAN_13, "14", "BA"},
        AddonCase{EAN_13, "15", "BB"}, AddonCase{UPC_A, "99", "BB"}, AddonCase{UPC_A, "00", "AA"},
        // Five digits: parity by 3 x odd + 9 x even positions, mod 10; all ten entries.
        AddonCase{EAN_13, "00000", "BBAAA"}, AddonCase{EAN_13, "52495", "BABAA"},
        AddonCase{EAN_13, "24680", "BAABA"}, AddonCase{EAN_13, "00001", "BAAAB"},
        AddonCase{EAN_13, "00008", "ABBAA"}, AddonCase{EAN_13, "00005", "AABBA"},
        AddonCase{UPC_A, "00002", "AAABB"}, AddonCase{UPC_A, "90000", "ABABA"},
        AddonCase{UPC_A, "00006", "ABAAB"}, AddonCase{UPC_A, "51234", "AABAB"}));

} // namespace
