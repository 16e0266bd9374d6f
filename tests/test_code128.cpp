// Code 128: code-set mapping, the modulo-103 check character and the module pattern, read
// back with the ISO/IEC 15417 symbol width table.
#include "EngineModules.h"
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"
#include "engine/SymbologyTables.h"
#include "engine/TextPreparation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;

namespace {

// The engine's own width table (TBarCode128::kWidths) reads the modules back here: it is held
// to the character rules below and to whole symbols written out by hand, so that a wrong entry
// cannot pass by being read back with itself.
const char* const* const kWidths = TBarCode128::kWidths;

std::string Pattern(int value) {
    std::string p;
    for (int k = 0; k < 6; ++k) p += std::string(kWidths[value][k] - '0', k % 2 ? '0' : '1');
    return p;
}

// Reads the symbol values back from the modules; -1 for an unknown pattern.
std::vector<int> ReadValues(const std::string& bits) {
    std::vector<int> values;
    for (std::size_t pos = 0; pos + 11 <= bits.size(); pos += 11) {
        int v = -1;
        for (int k = 0; k < 107 && v < 0; ++k)
            if (Pattern(k) == bits.substr(pos, 11)) v = k;
        values.push_back(v);
    }
    return values;
}

// Test notation: "{133}" stands for the character with code 133.
std::string T(const std::string& s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '{') {
            r += s[i];
            continue;
        }
        const std::size_t end = s.find('}', i);
        r += static_cast<char>(std::stoi(s.substr(i + 1, end - i - 1)));
        i = end;
    }
    return r;
}

std::string Map(const std::string& text, bool humanReadable) {
    char out[TLLBarcode::kMapCode128Capacity];
    std::memset(out, '#', sizeof out);
    const std::size_t n = TLLBarcode::MapCode128(T(text).c_str(), humanReadable, out);
    EXPECT_EQ(n, std::strlen(out));
    return std::string(out, n);
}

struct Case {
    btCodeTypes type;
    const char* text;
    std::vector<int> values; // start, data symbols and check; STOP follows
    const char* humanReadable;
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
    return os << CodeTypeName(c.type) << " '" << c.text << "'";
}

// ISO/IEC 15417, 4.1 (symbol character structure): each of the 107 values is 3 bars and
// 3 spaces over 11 modules, each element 1 to 4 modules, the bars an even number of modules
// in all (the spaces odd), and no two values alike. STOP (106) is listed without its
// final 2-module bar. Worked for value 0, "212222": bars 2 + 2 + 2 = 6 (even), spaces
// 1 + 2 + 2 = 5, 11 in all.
TEST(Code128Table, EveryValueFollowsTheCharacterRules) {
    std::set<std::string> seen;
    for (int v = 0; v < TBarCode128::kCount; ++v) {
        const std::string w = kWidths[v];
        ASSERT_EQ(w.size(), 6u) << v;
        int modules = 0, bars = 0;
        for (std::size_t k = 0; k < 6; ++k) {
            const int width = w[k] - '0';
            EXPECT_TRUE(width >= 1 && width <= 4) << v << ": " << w;
            modules += width;
            if (k % 2 == 0) bars += width;
        }
        EXPECT_EQ(modules, 11) << v << ": " << w;
        EXPECT_EQ(bars % 2, 0) << v << ": " << w;
        EXPECT_TRUE(seen.insert(w).second) << v << ": " << w << " twice";
    }
}

// Whole symbols written out module by module from the character table, independently of the
// engine's table ('1' bar, '0' space; the widths of each character in the comment).
struct WrittenSymbol {
    const char* name;
    btCodeTypes type;
    const char* text;
    const char* modules;
};

class Code128Written : public ::testing::TestWithParam<WrittenSymbol> {};

TEST_P(Code128Written, ModulesAsWrittenByHand) {
    const WrittenSymbol& c = GetParam();
    EXPECT_EQ(Bits(EncodedBarcode(c.type, c.text)), c.modules);
}

INSTANTIATE_TEST_SUITE_P(
    Symbols, Code128Written,
    ::testing::Values(
        // "PJJ123C" in code set B: START B 104 (211214), P 48 (313121), J 42 (112133) twice,
        // 1 17 (123221), 2 18 (223211), 3 19 (221132), C 35 (131321); check
        // 104 + 48x1 + 42x2 + 42x3 + 17x4 + 18x5 + 19x6 + 35x7 = 879 = 8 x 103 + 55, value 55
        // (311321); STOP (2331112).
        WrittenSymbol{"PJJ123C", CODE128_B, "PJJ123C",
                      "11010010000"
                      "11101110110"
                      "10110111000"
                      "10110111000"
                      "10011100110"
                      "11001110010"
                      "11001011100"
                      "10001000110"
                      "11101000110"
                      "1100011101011"},
        // "1234" in code set C: START C 105 (211232), 12 (112232), 34 (131123); check
        // 105 + 12x1 + 34x2 = 185 = 103 + 82, value 82 (121241); STOP.
        WrittenSymbol{"digits_1234", CODE128_C, "1234",
                      "11010011100"
                      "10110011100"
                      "10001011000"
                      "10010011110"
                      "1100011101011"}),
    [](const ::testing::TestParamInfo<WrittenSymbol>& row) { return std::string(row.param.name); });

class Code128 : public ::testing::TestWithParam<Case> {};

TEST_P(Code128, MapsChecksAndDrawsSymbols) {
    const Case& c = GetParam();
    const TLLBarcode e = EncodedBarcode(c.type, T(c.text));

    std::vector<int> expected = c.values, prepared;
    expected.push_back(106);
    for (const char* p = e.CodeText; *p; ++p)
        prepared.push_back(static_cast<unsigned char>(*p) - 32);
    EXPECT_EQ(prepared, expected);

    std::string bits;
    for (int v : expected) bits += Pattern(v);
    EXPECT_EQ(Bits(e), bits + "11");
    EXPECT_EQ(ReadValues(Bits(e)), expected);

    const std::string start = "{" + std::to_string(c.values[0] + 32) + "}";
    EXPECT_EQ(Map(start + c.text, true), c.humanReadable);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Code128,
    ::testing::Values(
        Case{CODE128_B, "Hello", {104, 40, 69, 76, 76, 79, 76}, "Hello"},
        Case{CODE128_A, "", {103, 0}, ""}, Case{CODE128_B, "", {104, 1}, ""},
        Case{CODE128_C, "", {105, 2}, ""},
        // Set C pairs digits; a digit left at the end goes out as CODE A and the digit.
        Case{CODE128_C, "12345", {105, 12, 34, 101, 21, 57}, "12345"},
        Case{CODE128_C, "5", {105, 101, 21, 42}, "5"},
        Case{CODE128_C, "12a4", {105, 12, 4, 22}, "1204"},
        Case{CODE128_C, "{9}1", {105, 1, 3}, "01"}, // set C refuses nothing
        Case{CODE128_C, "{9}", {105, 101, 16, 32}, "0"},
        Case{CODE128_C, "{134}12", {105, 102, 12, 25}, " 12"},
        Case{CODE128_C, "1{134}", {105, 10, 12}, "10"},
        Case{CODE128_C, "{131}", {105, 99, 101}, " "},
        // Set A: lowercase letters and DEL are control characters, printed as spaces.
        Case{CODE128_A, "abc", {103, 65, 66, 67, 89}, "   "},
        Case{CODE128_A, "`", {103, 64, 64}, " "}, Case{CODE128_A, "{127}", {103, 95, 95}, " "},
        Case{CODE128_B, "{127}", {104, 95, 96}, " "},
        // FNC4 (CODE A in set A, CODE B in set B) and the other function characters.
        Case{CODE128_A, "AB{133}", {103, 33, 34, 101, 95}, "AB "},
        Case{CODE128_B, "x{132}", {104, 88, 100, 83}, "x "},
        Case{CODE128_B, "{128}{129}{130}", {104, 96, 97, 98, 70}, "   "},
        // Switching code sets inside the text.
        Case{CODE128_B, "A{131}1234", {104, 33, 99, 12, 34, 95}, "A1234"},
        Case{CODE128_B, "{131}5", {104, 99, 101, 21, 56}, "5"},
        Case{CODE128_B, "a{133}b", {104, 65, 101, 66, 54}, "a "},
        Case{CODE128_B, "A{134}B", {104, 33, 102, 34, 31}, "A B"},
        Case{CODE128_C, "{133}12", {105, 101, 17, 18, 88}, "12"},
        // A digit pending in set C is written right after the switch to set A or B.
        Case{CODE128_C, "1{132}A", {105, 100, 17, 33, 29}, "1A"},
        Case{CODE128_C, "123{133}45", {105, 12, 101, 19, 20, 21, 46}, "12345"},
        Case{CODE128_C, "1{132}2{131}34", {105, 100, 17, 18, 99, 34, 35}, "1234"},
        // In set C the STOP byte is a non-digit like any other.
        Case{CODE128_C, "1{138}", {105, 10, 12}, "10"}));

TEST(Code128Limits, LongestTexts) {
    std::string switches;
    for (int i = 0; i < 25; ++i) switches += "1\x84";
    const std::tuple<btCodeTypes, std::string, std::size_t> cases[] = {
        {CODE128_B, std::string(50, 'M'), 53},
        {CODE128_A, std::string(50, '_'), 53},
        {CODE128_C, std::string(50, '7'), 28},
        {CODE128_C, switches, 53},
        // The end-of-text rule adds CODE A and the digit: the longest prepared text.
        {CODE128_B,
         std::string(48, 'M') + "\x83"
                                "5",
         54}};
    for (const auto& [type, text, length] : cases) {
        const TLLBarcode e = EncodedBarcode(type, text);
        EXPECT_EQ(std::strlen(e.CodeText), length);
        EXPECT_EQ(e.ModuleCount, static_cast<int>(11 * length + 2));
        for (int v : ReadValues(Bits(e))) EXPECT_GE(v, 0);
    }
}

TEST(Code128Limits, UnencodableCharactersRaise) {
    // START and STOP bytes would stand between the data symbols, where no reader takes them;
    // 255 would cut the text short.
    const std::pair<btCodeTypes, const char*> cases[] = {
        {CODE128_B, "a{9}b"},     {CODE128_A, "x{31}y"}, {CODE128_B, "{233}"},
        {CODE128_B, "{139}"},     {CODE128_A, "{254}"},  {CODE128_C, "1{132}{1}"},
        {CODE128_B, "A{138}B"},   {CODE128_A, "{138}"},  {CODE128_C, "1{133}{138}"},
        {CODE128_B, "a{135}b"},   {CODE128_A, "{136}A"}, {CODE128_C, "12{137}34"},
        {CODE128_B, "AB{255}CD"}, {CODE128_C, "12{255}"}};
    for (const auto& [type, text] : cases) {
        TLLBarcode e;
        e.Params.CodeType = type;
        e.Params.SetCaption(T(text));
        try {
            e.Encode();
            ADD_FAILURE() << "no exception for " << text;
        } catch (const EOverflow& x) {
            EXPECT_STREQ(x.what(), "BarcoLL: Code128 error");
        }
    }
}

TEST(MapCode128, DirectCalls) {
    // The first three have no start character, so no code set is active; the others leave a
    // digit pending in set C, which follows the switch away from set C at once.
    const struct {
        const char* text;
        const char* encoded;
        const char* readable;
    } cases[] = {{"", "{138}", ""},
                 {"AB", "AB{138}", "  "},
                 {"{131}{132}{133}", "{131}{132}{133}{138}", "   "},
                 {"{137}1{132}A", "{137}{132}1A{138}", "1A"},
                 {"{137}1{133}a", "{137}{133}1a{138}", "1 "},
                 {"{137}123{133}45", "{137},{133}345{138}", "12345"},
                 {"{137}7{132}", "{137}{132}7{138}", "7"},
                 {"{137}7{133}{131}1", "{137}{133}7{131}{133}1{138}", "71"}};
    for (const auto& c : cases) {
        EXPECT_EQ(Map(c.text, false), T(c.encoded)) << c.text;
        EXPECT_EQ(Map(c.text, true), T(c.readable)) << c.text;
    }
}

TEST(AddCode128Check, ReplacesPlaceholderAndAppendsStop) {
    const std::pair<const char*, const char*> cases[] = {
        {"{136}A{138}", "{136}AB{138}"},             // 104 + 1 x 33 = 137 -> 34
        {"{137}{138}", "{137}\"{138}"},              // 105 mod 103 = 2
        {"{135}{138}", "{135} {138}"},               // 103 mod 103 = 0
        {"{136}{127}{138}", "{136}{127}{128}{138}"}, // check 96 is held as code 128
        {"{136}A{1}", "{136}AB{138}"},               // the placeholder itself is not examined
        {"{136}{31}{138}", ""},
        {"{136}A{139}{138}", ""},
        {"{136}{255}A{138}", ""}};
    for (const auto& [in, out] : cases) {
        char buf[TLLBarcode::kCodeTextCapacity + 1] = {};
        std::strcpy(buf, T(in).c_str());
        try {
            AddCode128Check(buf);
            EXPECT_EQ(std::string(buf), T(out)) << in;
        } catch (const EOverflow& x) {
            EXPECT_STREQ(x.what(), "BarcoLL: Code128 error");
            EXPECT_STREQ(out, "") << in;
        }
    }
}

} // namespace
