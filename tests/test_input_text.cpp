// Texts of the UTF-8 interfaces checked for what each symbology carries: accepted texts are
// passed on unchanged, refused ones say what and where.
#include "engine/Escapes.h"
#include "engine/InputText.h"

#include <gtest/gtest.h>

#include <string>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;

namespace {

struct TRow {
    btCodeTypes type;
    const char* text;
    bool escapes;
    const char* refusal; // nullptr: accepted as it is (escapes expanded)
};

// UPC-E 012345 stands for the UPC-A number 00123400005 (number system 0; a last digit 5
// keeps the five before it as the manufacturer's, then 0000 and the 5): weights 3 1 3 ...
// give 0 + 0 + 3 + 2 + 9 + 4 + 0 + 0 + 0 + 0 + 15 = 33, so its check digit is 10 - 3 = 7.
constexpr TRow kRows[] = {
    {UPC_E, "0123457", false, nullptr},
    {UPC_E, "0123456", false, "check digit 6 is wrong: 7 expected"},
    {EAN_8, "1234567", false, nullptr},
    {EAN_8, "12345670", false, nullptr},
    {UPC_A, "0360002914", false, "UPC_A takes 11 digits, or 12 with its check digit: 10 given"},
    {CODE39, "AB-1 $/+%.", false, nullptr},
    {CODE39, "A*B", false, "character 2 (\"*\") is not one CODE39 can carry"},
    {CODE39, "ab", false, "character 1 (\"a\") is not one CODE39 can carry"},
    {Codabar, "A12-3$B", false, nullptr},
    {Codabar, "A1C2B", false,
     "character 3 (\"C\") is not one Codabar can carry between its "
     "start and stop"},
    {CODE25i, "12x4", false, "character 3 (\"x\") is not one CODE25i can carry"},
    {MSI_Plessey, "007", false, nullptr},
    {Postnet, "123456", false, "Postnet takes 5, 9 or 11 digits: 6 given"},
    {Postnet, "123456789", false, nullptr},
    {Postnet_FIM, "b", false, nullptr},
    {Postnet_FIM, "D", false, "character 1 (\"D\") is not one Postnet_FIM can carry"},
    // Code 128: code set A has no lower-case letters, C pairs of digits; the function and
    // code set characters only as escapes, start and stop never.
    {CODE128_A, "AB\\x86", true, nullptr},
    {CODE128_A, "Ab", false,
     "character 2 (\"b\") is not one Code 128 A can carry (it has no lower-case letters)"},
    {CODE128_B,
     "A\\x83"
     "1234\\x84b",
     true, nullptr},
    {CODE128_C, "\\x861234", true, nullptr},
    {CODE128_C, "1\\x8634", true,
     "the escape \\x86 at character 2 comes between the two digits of a pair of code set C"},
    {CODE128_B, "A\\x88", true,
     "the escape \\x88 at character 2 is a Code 128 start or stop character, which the symbol "
     "places itself"},
    {CODE128_B, "\xE2\x80\xA0", false,
     "character 1 (\"\xE2\x80\xA0\", U+2020) is not one Code 128 can carry: its byte 0x86 "
     "stands for a function character, and those are given as escapes (\\x80 .. \\x86)"},
    // UTF-8 and Windows-1252.
    {CODE128_B, "caf\xC3", false, "character 4 is not UTF-8 (byte 0xC3)"},
    {CODE39, "\xF0\x9F\x98\x80", false,
     "character 1 (\"\xF0\x9F\x98\x80\", U+01F600) is outside Windows-1252: no barcode here "
     "can carry it"},
    {CODE128_B, "", false, "the text is empty"},
    // ITF-14: the GTIN-14's check digit, weights 3 1 3 ... from the left over 13 digits:
    // 1540014128876 gives 3 + 5 + 12 + 0 + 0 + 1 + 12 + 1 + 6 + 8 + 24 + 7 + 18 = 97, check
    // digit 10 - 7 = 3. Given right, given wrong, left to be computed, and lengths.
    {ITF_14, "15400141288763", false, nullptr},
    {ITF_14, "15400141288764", false, "check digit 4 is wrong: 3 expected"},
    {ITF_14, "1540014128876", false, nullptr},
    {ITF_14, "154001412887", false, "ITF_14 takes 13 digits, or 14 with its check digit: 12 given"},
    {ITF_14, "154001412887A", false,
     "character 13 (\"A\") is not a digit: ITF_14 carries digits only"},
};

TEST(InputText, EachSymbologyCarriesItsOwnCharacters) {
    for (const TRow& row : kRows) {
        const TTextRules rules{row.escapes, false};
        if (row.refusal == nullptr) {
            std::string expected = row.text;
            if (row.escapes) ExpandEscapes(expected);
            EXPECT_EQ(CheckedText(row.text, row.type, rules), expected) << row.text;
            continue;
        }
        try {
            CheckedText(row.text, row.type, rules);
            ADD_FAILURE() << row.text << " accepted";
        } catch (const ETextRefused& e) {
            EXPECT_STREQ(e.what(), row.refusal) << row.text;
        }
    }
}

// With repair, what the desktop program types passes: '?' for what Windows-1252 lacks, a
// malformed byte as '?', letters left for the engine to repair.
TEST(InputText, RepairPassesTheTextOnAsWindows1252) {
    EXPECT_EQ(CheckedText("12AB", EAN_13, {false, true}), "12AB");
    EXPECT_EQ(CheckedText("A\xE4\xB8\xAD\xC3", CODE128_B, {false, true}), "A??");
    EXPECT_EQ(CheckedText("\xE2\x82\xAC", CODE128_B, {false, true}), "\x80");
    EXPECT_THROW(CheckedText(std::string("1\0", 2), EAN_13, {false, true}), ENulInText);
    EXPECT_EQ(CheckedAddon("1x", EAN_13, true), "1x");
    EXPECT_EQ(Code128Error("A\xE9", CODE128_B),
              "BarcoLL: Code128 error: character 2 (\"\xC3\xA9\", U+00E9) is not one Code 128 B "
              "can carry");
}

} // namespace
