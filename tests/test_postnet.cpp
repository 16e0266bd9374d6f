// Postnet (5, 9 and 11 digits plus check digit) and the facing identification marks.
#include "EngineModules.h"
#include "engine/LLBarcode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;
using enum btCodeRatio;

namespace {

// POSTNET digit bars, 1 = full height; every digit has exactly two full bars.
const char* const kDigitBars[10] = {"11000", "00011", "00101", "00110", "01001",
                                    "01010", "01100", "10001", "10010", "10100"};

struct Case {
    const char* text;
    const char* codeText;
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
    return os << "'" << c.text << "'";
}

class PostnetEncoding : public ::testing::TestWithParam<Case> {};

TEST_P(PostnetEncoding, CutsPadsAddsCheckDigitAndFrames) {
    const Case& c = GetParam();
    for (btCodeRatio ratio : {Ratio_3, Ratio_2}) { // ratio has no effect
        TLLBarcode e;
        e.Params.CodeType = Postnet;
        e.Params.Ratio = ratio;
        e.Params.SetCaption(c.text);
        e.Encode();
        EXPECT_STREQ(e.CodeText, c.codeText);
        std::string expected = "1";
        for (const char* p = c.codeText; *p; ++p) expected += kDigitBars[*p - '0'];
        expected += "1";
        EXPECT_EQ(Bits(e), expected);

        int digitSum = 0;
        for (const char* p = e.CodeText; *p; ++p) digitSum += *p - '0';
        EXPECT_EQ(digitSum % 10, 0) << "digits and check digit sum to a multiple of ten";
        const std::string bits = Bits(e);
        EXPECT_EQ(std::count(bits.begin(), bits.end(), '1'),
                  2 + 2 * static_cast<long>(std::string(e.CodeText).size()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PostnetEncoding,
    ::testing::Values(Case{"12345", "123455"}, Case{"", "000000"}, Case{"1", "100009"},
                      Case{"1234567", "123455"}, Case{"12345678", "123455"},
                      Case{"123456789", "1234567895"}, Case{"12345-6789", "1234506784"},
                      Case{"12345678901", "123456789014"}, Case{"1234567890123", "123456789014"},
                      Case{"ab-12", "000127"}, Case{"9876543210", "9876543215"},
                      Case{"55555", "555555"}));

TEST(FacingIdentificationMark, FirstCharacterSelectsTheMark) {
    const struct {
        const char* text;
        const char* name;
        const char* bars;
    } cases[] = {
        {"A", "FIM-A", "110010011"}, {"a", "FIM-A", "110010011"},  {"Ab", "FIM-A", "110010011"},
        {"b", "FIM-B", "101101101"}, {"B", "FIM-B", "101101101"},  {"bA", "FIM-B", "101101101"},
        {"c", "FIM-C", "110101011"}, {"C", "FIM-C", "110101011"},  {"", "FIM-C", "110101011"},
        {"x", "FIM-C", "110101011"}, {"1a", "FIM-C", "110101011"}, {"-", "FIM-C", "110101011"}};
    for (const auto& c : cases) {
        TLLBarcode e;
        e.Params.CodeType = Postnet_FIM;
        e.Params.SetCaption(c.text);
        e.Encode();
        EXPECT_STREQ(e.CodeText, c.name) << "'" << c.text << "'";
        EXPECT_EQ(Bits(e), c.bars) << "'" << c.text << "'";
        EXPECT_EQ(e.ModuleCount, 9);
    }
}

} // namespace
