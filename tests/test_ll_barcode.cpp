// The engine as a whole: Encode, add-on rules, the pattern buffer, the module width table,
// and the structural rules that every symbology table must obey.
#include "EngineModules.h"
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;
using enum btCodeRatio;

namespace {

std::vector<int> Runs(const std::string& bits) {
    std::vector<int> runs;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (i == 0 || bits[i] != bits[i - 1]) runs.push_back(0);
        ++runs.back();
    }
    return runs;
}

void Encode(TLLBarcode& e, btCodeTypes type, const std::string& text, const char* addon = "",
            btCodeRatio ratio = Ratio_3) {
    e.Params.CodeType = type;
    e.Params.Ratio = ratio;
    e.Params.SetCaption(text);
    std::strcpy(e.Params.CodeAddon, addon); // unnormalised on purpose
    e.Encode();
}

std::string ErrorOf(TLLBarcode& e) {
    try {
        e.Encode();
    } catch (const EOverflow& x) {
        return x.what();
    }
    return "";
}

TEST(LLBarcode, NewEngineEncodesDefaultCaptionAsEan8) {
    TLLBarcode e;
    e.Encode();
    EXPECT_STREQ(e.CodeText, "47110007");
    EXPECT_EQ(e.ModuleCount, 67);
    EXPECT_STREQ(e.Params.Caption, "4711"); // encoding leaves the caption alone
}

TEST(LLBarcode, UnknownCodeTypeRaises) {
    for (int t : {kCodeTypeCount, kCodeTypeCount + 1, 255}) { // past ITF_14
        TLLBarcode e;
        e.Params.CodeType = static_cast<btCodeTypes>(t);
        EXPECT_EQ(ErrorOf(e), "Barcode: Unknown Type of Barcode") << t;
    }
}

struct AddonRule {
    btCodeTypes type;
    const char* addon;
    const char* error; // "" = encodes
    int moduleCount;
};

TEST(LLBarcode, AddonOnlyForEan13AndUpcAWithTwoOrFiveDigits) {
    // clang-format off
    const AddonRule cases[] = {
        {EAN_13, "", "", 95}, {EAN_13, "12", "", 125}, {EAN_13, "52495", "", 152},
        {UPC_A, "99", "", 125}, {UPC_A, "00000", "", 152},
        {EAN_13, "1", "BarLL: Wrong Addoncode", 95}, {EAN_13, "123", "BarLL: Wrong Addoncode", 95},
        {UPC_A, "1234", "BarLL: Wrong Addoncode", 95},
        {EAN_8, "123", "", 67}, {EAN_8, "12", "", 67}, {UPC_E, "12345", "", 51}, {UPC_E, "1", "", 51},
        {CODE128_C, "123", "", 35}, {Postnet, "12", "", 32}};
    // clang-format on
    for (const AddonRule& c : cases) {
        SCOPED_TRACE(std::string(CodeTypeName(c.type)) + " addon '" + c.addon + "'");
        TLLBarcode e;
        e.Params.CodeType = c.type;
        e.Params.SetCaption("");
        std::strcpy(e.Params.CodeAddon, c.addon);
        EXPECT_EQ(ErrorOf(e), c.error);
        // The main symbol has been built before the add-on is examined.
        EXPECT_EQ(e.ModuleCount, c.moduleCount);
        EXPECT_NE(e.CodeText[0], '\0');
    }
}

TEST(LLBarcode, ReencodingLeavesNothingBeyondModuleCount) {
    struct Step {
        btCodeTypes type;
        std::string text;
        const char* addon;
    };
    const std::pair<Step, Step> cases[] = {
        {{CODE39, std::string(50, 'W'), ""}, {EAN_8, "1", ""}},
        {{EAN_13, "1", "52495"}, {EAN_13, "1", ""}},
        {{CODE128_B, std::string(50, 'M'), ""}, {Postnet_FIM, "A", ""}},
        {{MSI_Plessey, std::string(50, '9'), ""}, {CODE25i, "", ""}}};
    for (const auto& [first, second] : cases) {
        TLLBarcode fresh, reused;
        Encode(reused, first.type, first.text, first.addon);
        Encode(reused, second.type, second.text, second.addon);
        Encode(fresh, second.type, second.text, second.addon);
        EXPECT_STREQ(reused.CodeText, fresh.CodeText);
        EXPECT_EQ(Bits(reused), Bits(fresh));
        for (int i = reused.ModuleCount + 1; i <= TLLBarcode::kMaxModules; ++i)
            ASSERT_EQ(reused.Modules[i], 0) << CodeTypeName(second.type) << " entry " << i;
    }
}

TEST(LLBarcode, LongestCode39FillsTheBuffer) {
    TLLBarcode e;
    Encode(e, CODE39, std::string(50, '%'));
    EXPECT_EQ(std::strlen(e.CodeText), 52u);
    EXPECT_EQ(e.ModuleCount, 832);
    EXPECT_EQ(e.Modules[832], 0); // the gap after the stop character
}

TEST(LLBarcode, ModuleWidthTable) {
    const double mm[] = {0.27, 0.297, 0.33, 0.363, 0.396, 0.445, 0.495, 0.544, 0.61, 0.66};
    TLLBarcode e;
    for (int sc : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 200}) {
        const double expected = sc <= 9 ? mm[sc] : 0.33; // out of range falls back to SC2
        e.Params.ModuleWidth = static_cast<btCodeSizes>(sc);
        for (bool high : {false, true}) {
            e.Params.HighDensity = high;
            EXPECT_NEAR(static_cast<double>(e.ModuleWidthMM()), high ? expected / 2 : expected,
                        1e-12)
                << sc;
        }
    }
}

// --- Structural rules of the published symbology tables, read from encoded output ---

std::string Reversed(std::string s) {
    std::reverse(s.begin(), s.end());
    return s;
}

TEST(SymbologyTables, EanDigitSetsFollowTheParityRules) {
    std::map<int, std::string> setA, setB, setC;
    std::vector<std::string> texts;
    for (char d = '0'; d <= '9'; ++d) texts.push_back(std::string(12, d));
    texts.push_back("100000000000");
    for (const std::string& text : texts) {
        TLLBarcode e;
        Encode(e, EAN_13, text);
        const std::string bits = Bits(e);
        for (int k = 0; k < 6; ++k) {
            const std::string left = bits.substr(3 + 7 * k, 7);
            const std::string right = bits.substr(50 + 7 * k, 7);
            const int dl = e.CodeText[1 + k] - '0', dr = e.CodeText[7 + k] - '0';
            const auto ones = [](const std::string& s) {
                return std::count(s.begin(), s.end(), '1');
            };
            EXPECT_EQ(Runs(left).size(), 4u) << left; // space, bar, space, bar
            EXPECT_EQ(left.front(), '0');
            EXPECT_EQ(left.back(), '1');
            EXPECT_EQ(Runs(right).size(), 4u) << right;
            EXPECT_EQ(right.front(), '1');
            EXPECT_EQ(right.back(), '0');
            EXPECT_EQ(ones(right) % 2, 0) << right;
            (ones(left) % 2 == 1 ? setA : setB)[dl] = left;
            setC[dr] = right;
        }
    }
    ASSERT_EQ(setA.size(), 10u);
    ASSERT_EQ(setB.size(), 10u);
    ASSERT_EQ(setC.size(), 10u);
    std::set<std::string> all;
    for (int d = 0; d < 10; ++d) {
        std::string complement = setA[d];
        for (char& c : complement) c = c == '1' ? '0' : '1';
        EXPECT_EQ(setC[d], complement) << d;        // right set = complement of the odd set
        EXPECT_EQ(setB[d], Reversed(setC[d])) << d; // even set = right set mirrored
        all.insert({setA[d], setB[d], setC[d]});
    }
    EXPECT_EQ(all.size(), 30u);
}

TEST(SymbologyTables, Code128PatternsAreElevenModulesWithThreeBarsAndEvenBarSum) {
    std::string data1, data2;
    for (int c = 32; c < 80; ++c) data1 += static_cast<char>(c);
    for (int c = 80; c < 128; ++c) data2 += static_cast<char>(c);
    const std::string functions = "\x80\x81\x82\x84\x85\x86\x83";
    std::map<int, std::string> byValue;
    // Each type starts with its own start character (values 103, 104, 105).
    const std::pair<btCodeTypes, std::string> texts[] = {{CODE128_B, data1},
                                                         {CODE128_B, data2},
                                                         {CODE128_B, functions},
                                                         {CODE128_A, ""},
                                                         {CODE128_C, ""}};
    for (const auto& [type, text] : texts) {
        TLLBarcode e;
        Encode(e, type, text);
        const std::string bits = Bits(e);
        const std::size_t n = std::strlen(e.CodeText);
        ASSERT_EQ(bits.size(), 11 * n + 2);
        EXPECT_EQ(bits.substr(11 * n), "11"); // final bar of STOP
        for (std::size_t i = 0; i < n; ++i) {
            const int v = static_cast<unsigned char>(e.CodeText[i]) - 32;
            const std::string p = bits.substr(11 * i, 11);
            const auto [it, inserted] = byValue.emplace(v, p);
            EXPECT_EQ(it->second, p) << "value " << v << " drawn two ways";
        }
    }
    ASSERT_EQ(byValue.size(), 107u);
    std::set<std::string> distinct;
    for (const auto& [v, p] : byValue) {
        const std::vector<int> r = Runs(p);
        ASSERT_EQ(r.size(), 6u) << v << ' ' << p;
        EXPECT_EQ(p.front(), '1') << v;
        for (int w : r) EXPECT_TRUE(w >= 1 && w <= 4) << v << ' ' << p;
        EXPECT_EQ((r[0] + r[2] + r[4]) % 2, 0) << v << ' ' << p;
        EXPECT_EQ((r[1] + r[3] + r[5]) % 2, 1) << v << ' ' << p;
        distinct.insert(p);
    }
    EXPECT_EQ(distinct.size(), 107u);
}

TEST(SymbologyTables, Code39CharactersHaveThreeWideOfNineElements) {
    const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
    for (btCodeRatio ratio : {Ratio_3, Ratio_2}) {
        const int wide = ratio == Ratio_3 ? 3 : 2;
        TLLBarcode e;
        Encode(e, CODE39, alphabet, "", ratio);
        ASSERT_EQ(e.ModuleCount, 45 * (6 + 3 * wide + 1));
        const std::vector<int> r = Runs(Bits(e));
        ASSERT_EQ(r.size(), 45u * 10);
        std::set<std::vector<int>> distinct;
        for (int ch = 0; ch < 45; ++ch) {
            const std::vector<int> el(r.begin() + 10 * ch, r.begin() + 10 * ch + 9);
            EXPECT_EQ(r[10 * ch + 9], 1) << "inter-character gap";
            EXPECT_EQ(std::count(el.begin(), el.end(), wide), 3) << ch;
            EXPECT_EQ(std::count(el.begin(), el.end(), 1), 6) << ch;
            const int wideBars = (el[0] == wide) + (el[2] == wide) + (el[4] == wide) +
                                 (el[6] == wide) + (el[8] == wide);
            const bool special = std::strchr("$/+%", e.CodeText[ch]) != nullptr;
            EXPECT_EQ(wideBars, special ? 0 : 2) << e.CodeText[ch];
            distinct.insert(el);
        }
        EXPECT_EQ(distinct.size(), 44u); // '*' appears twice
    }
}

} // namespace
