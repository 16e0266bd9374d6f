// Parameter record: defaults, the caption limit and the add-on normalisation.
#include "engine/BarcodeParams.h"
#include "engine/EOverflow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;
using enum btCodeSizes;
using enum btCodeRatio;
using enum btCodeRotate;

namespace {

TEST(BarcodeParams, ConstructorSetsDefaults) {
    const TBarcodeParams p;
    EXPECT_STREQ(p.Caption, "4711");
    EXPECT_STREQ(p.CodeAddon, "");
    EXPECT_EQ(p.CodeType, EAN_8);
    EXPECT_EQ(p.ModuleWidth, SC2);
    EXPECT_EQ(p.Ratio, Ratio_3);
    EXPECT_EQ(p.HeightPercent, 100);
    EXPECT_EQ(p.Fontname, "Arial");
    EXPECT_EQ(p.Fontscaling, 100);
    EXPECT_FALSE(p.WidthReduce);
    EXPECT_FALSE(p.HighDensity);
    EXPECT_FALSE(p.ZoomSize);
    EXPECT_EQ(p.Rotation, rotate_000);
    EXPECT_TRUE(p.HumanReadable);
    EXPECT_EQ(p.GroupSplit, 7);
}

TEST(BarcodeParams, CaptionAcceptsUpToFiftyCharacters) {
    TBarcodeParams p;
    const std::string fifty(50, 'x');
    p.SetCaption(fifty);
    EXPECT_EQ(std::string(p.Caption), fifty);

    p.SetCaption("12"); // shorter text terminates properly
    EXPECT_STREQ(p.Caption, "12");

    p.SetCaption("");
    EXPECT_STREQ(p.Caption, "");

    const std::string high = "\x87\xff\xe9 abc"; // 8-bit characters are stored as given
    p.SetCaption(high);
    EXPECT_EQ(std::string(p.Caption), high);
}

TEST(BarcodeParams, CaptionRefusesFiftyOneCharactersAndKeepsOldText) {
    TBarcodeParams p;
    p.SetCaption("keep me");
    for (std::size_t len : {51u, 52u, 200u}) {
        try {
            p.SetCaption(std::string(len, '7'));
            ADD_FAILURE() << "no exception for length " << len;
        } catch (const EOverflow& e) {
            EXPECT_STREQ(e.what(), "String exceeds maximum length");
        }
        EXPECT_STREQ(p.Caption, "keep me");
    }
}

struct AddonCase {
    const char* input;
    const char* stored;
};

std::ostream& operator<<(std::ostream& os, const AddonCase& c) {
    return os << "'" << c.input << "'";
}

class AddonNormalisation : public ::testing::TestWithParam<AddonCase> {};

TEST_P(AddonNormalisation, KeepsDigitsCutToFiveTwoOrNone) {
    const AddonCase& c = GetParam();
    char out[TBarcodeParams::kMaxAddon + 1];
    std::fill(std::begin(out), std::end(out), '#');
    NormaliseAddon(c.input, out);
    EXPECT_STREQ(out, c.stored);

    TBarcodeParams p;
    p.SetCodeAddon("99999"); // a previous value must be replaced completely
    p.SetCodeAddon(c.input);
    EXPECT_STREQ(p.CodeAddon, c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddonNormalisation,
    ::testing::Values(AddonCase{"", ""}, AddonCase{"7", ""}, AddonCase{"ab", ""},
                      AddonCase{"x7y", ""}, AddonCase{"12", "12"}, AddonCase{"1a2", "12"},
                      AddonCase{"123", "12"}, AddonCase{"1234", "12"}, AddonCase{"12345", "12345"},
                      AddonCase{"12345678", "12345"}, AddonCase{"a1b2c3d4e5f6", "12345"},
                      AddonCase{" 5-2.4 9/5 ", "52495"},
                      AddonCase{"\xb2\xb3", ""}, // superscript digits
                      AddonCase{"09", "09"}));

} // namespace
