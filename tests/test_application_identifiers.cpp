// GS1 Application Identifiers: bracketed input to element strings, the refusal of each rule
// broken, a scanner's element string split and checked, and the table against GS1's Barcode
// Syntax Dictionary when the dictionary is at hand.
//
// Examples worked by hand:
//   GTIN check digit of 0950110153000x (7.9.1): weights 3, 1, 3 ... from the right:
//     0*3 + 0*1 + 0*3 + 3*1 + 5*3 + 1*1 + 0*3 + 1*1 + 1*3 + 0*1 + 5*3 + 9*1 + 0*3 = 47,
//     50 - 47 = 3, so 09501101530003; a 4 there gets "check digit 4, should be 3".
//   SSCC 10614141123456789x: 9*3 + 8 + 7*3 + 6 + 5*3 + 4 + 3*3 + 2 + 1*3 + 1 + 4*3 + 1 +
//     4*3 + 1 + 6*3 + 0 + 1*3 = 143, 150 - 143 = 7.
//   Check character pair of "95A" (7.9.5): values in character set 82 9 = 22, 5 = 18,
//     A = 29, weights 5, 3, 2 from the left: 110 + 54 + 58 = 222; 222 mod 1021 = 222;
//     222 / 32 = 6 -> "8", 222 % 32 = 30 -> "Y" in 23456789ABCDEFGHJKLMNPQRSTUVWXYZ: 95A8Y.
//   Dates: 2028 is a leap year (divisible by 4, not by 100), 2027 is not; 2000 is (by 400),
//     1900 is not (by 100, not by 400). (17) allows day 00 (yymmd0); (4326) does not.
//   Century (7.12), today 2026: 76 - 26 = 50 stays in this century (2076); 77 - 26 = 51
//     goes back one (1977). In 2051: 0 - 51 = -51 goes forward one (2100).
//   Lengths: (8008) is N6 N2 [N2] [N2]: 8, 10 or 12 digits; (3103) is N6.
#include "engine/ApplicationIdentifiers.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace varimark;

namespace {

// The element string or the refusal of a bracketed text; "~" stands for the separator.
std::string Outcome(const std::string& text) {
    try {
        std::string s = Gs1ElementString(ParseGs1Bracketed(text));
        for (char& c : s)
            if (c == kGs1Separator) c = '~';
        return s;
    } catch (const EGs1Data& e) {
        return std::string("! ") + e.what();
    }
}

struct TBracketedCase {
    const char* text;
    const char* outcome; // element string, or "! " and the refusal
};

const TBracketedCase kBracketed[] = {
    // Element strings: a variable AI not last gets the separator.
    {"(00)106141411234567897", "00106141411234567897"},
    {"(01)09501101530003(10)AB-123(17)260131", "010950110153000310AB-123~17260131"},
    {"(01)09501101530003(17)260131(10)AB-123", "01095011015300031726013110AB-123"},
    {"(01)09501101530003(3103)001250", "01095011015300033103001250"},
    {"[01]09501101530003[10]A(B)", "010950110153000310A(B)"},
    {"(10)ABC(21)XYZ(30)5", "10ABC~21XYZ~305"},
    // Structure of the text.
    {"", "! no GS1 data: give each AI in parentheses, as (01)"},
    {"abc(01)09501101530003",
     "! \"abc\" before the first Application Identifier: GS1 data begins with an AI in "
     "parentheses, as (01)"},
    {"(01)09501101530003(10", "! \"(\" at character 19 is not closed"},
    {"[01]09501101530003", "0109501101530003"},
    {"(99x)1", "! (99x): not an Application Identifier"},
    {"(9999)1", "! (9999): not an Application Identifier"},
    {"(1)1", "! (1): not an Application Identifier"},
    {"(01234)1", "! (01234): not an Application Identifier"},
    {"(10)", "! (10): no data"},
    {"(10)(17)260131", "! (10): no data"},
    // Elements taken together: ex= pairs, an AI given twice.
    {"(01)09501101530003(02)09501101530003", "! (02) 09501101530003: not to be used with (01)"},
    {"(01)09501101530003(3102)001250(3103)001250", "! (3103) 001250: not to be used with (3102)"},
    {"(10)ABC(10)ABD", "! (10) ABD: (10) given twice, first as ABC"},
    {"(10)ABC(10)ABC", "10ABC~10ABC"},
    // Lengths and character sets; the character set is checked first.
    {"(01) 09501101530003", "! (01)  09501101530003: character 1 (\" \") is not a digit"},
    {"(01)0950110153000", "! (01) 0950110153000: 13 digits, takes 14"},
    {"(3103)12345", "! (3103) 12345: 5 digits, takes 6"},
    {"(10)ABCDEFGHIJKLMNOPQRST", "10ABCDEFGHIJKLMNOPQRST"},
    {"(10)ABCDEFGHIJKLMNOPQRSTU", "! (10) ABCDEFGHIJKLMNOPQRSTU: 21 characters, takes at most 20"},
    {"(8008)260131123", "! (8008) 260131123: 9 digits, takes 8, 10 or 12"},
    {"(8008)2601311230", "80082601311230"},
    {"(253)950110153000", "! (253) 950110153000: 12 characters, takes at least 13"},
    {"(10)AB~1", "! (10) AB~1: character 3 (\"~\") is not in the GS1 character set"},
    {"(10)A[B", "! (10) A[B: character 2 (\"[\") is not in the GS1 character set"},
    {"(01)0950110153000A", "! (01) 0950110153000A: character 14 (\"A\") is not a digit"},
    {"(8010)95011015#-/AB", "801095011015#-/AB"},
    {"(8010)9501a", "! (8010) 9501a: character 5 (\"a\") is not in the GS1 character set 39"},
    {"(8030)ab-_9=", "8030ab-_9="},
    {"(8030)a=b", "! (8030) a=b: character 2 (\"=\") is not in the base64url character set"},
};

TEST(ApplicationIdentifiers, BracketedTextGivesTheElementStringOrTheFirstFault) {
    for (const TBracketedCase& c : kBracketed) EXPECT_EQ(Outcome(c.text), c.outcome) << c.text;
}

// Each linter of GS1's syntax dictionary with data it takes (or "") and data it refuses,
// and why.
struct TLinterCase {
    const char* linter;
    const char* inside;
    const char* outside;
    const char* why;
};

const TLinterCase kLinters[] = {
    {"csum", "(01)09501101530003", "(01)09501101530004", "check digit 4, should be 3"},
    {"csum", "(00)106141411234567897", "(00)106141411234567890", "check digit 0, should be 7"},
    {"csumalpha", "(8013)95A8Y", "(8013)95A8Z", "check characters 8Z, should be 8Y"},
    {"csumalpha", "(8013)1987654Ad4X4bL5ttr2310c2K", "(8013)1987654Ad4X4bL5ttr2310c2L",
     "check characters 2L, should be 2K"},
    {"gcppos1", "(00)106141411234567897", "(00)000000000000000000",
     "the GS1 Company Prefix at character 2 is all zeros"},
    {"gcppos2", "(8004)9501ABC", "(8004)ABC123",
     "character 1 (\"A\") cannot begin a GS1 Company Prefix"},
    // 950108922 has the digit pair 22
    {"hasnondigit", "(8014)95A8Y", "(8014)950108922",
     "all digits, takes at least one other character"},
    {"yymmd0", "(17)260200", "(17)261331", "month 13"},
    {"yymmd0", "(17)280229", "(17)260031", "month 00"},
    {"yymmd0", "", "(17)260230", "day 30 of February 2026"},
    {"yymmd0", "", "(17)270229", "day 29 of February 2027"},
    {"yymmd0", "", "(17)260431", "day 31 of April 2026"},
    {"yymmdd", "(4326)280229", "(4326)260229", "day 29 of February 2026"},
    {"yymmdd", "", "(4326)260200", "day 00"},
    {"yyyymmdd", "(7250)20000229", "(7250)19000229", "day 29 of February 1900"},
    {"hhmi", "(7003)2601312359", "(7003)2601312400", "hour 24"},
    {"hhmi", "", "(7003)2601312360", "minute 60"},
    {"hh", "(8008)260131235959", "(8008)26013124", "hour 24"},
    {"mi", "", "(8008)2601312360", "minute 60"},
    {"ss", "", "(8008)260131235960", "second 60"},
    {"nonzero", "(8001)01000120005011", "(8001)00000120005011",
     "characters 1 to 4 (\"0000\") are zero"},
    {"winding", "", "(8001)01000120005021", "winding direction 2, takes 0, 1 or 9"},
    {"zero", "(8003)09501101530003ABC", "(8003)19501101530003", "character 1 (\"1\") is not 0"},
    {"nozeroprefix", "(8011)0", "(8011)0123", "character 1 (\"0\") is a leading zero"},
    {"yesno", "(4321)1", "(4321)2", "character 1 (\"2\") is neither 0 (no) nor 1 (yes)"},
    {"hyphen", "(4330)001234-", "(4330)001234+", "character 7 (\"+\") is not \"-\""},
    {"pieceoftotal", "(8006)095011015300030202", "(8006)095011015300030302", "piece 03 of 02"},
    {"pieceoftotal", "", "(8006)095011015300030002", "piece 00"},
    {"pieceoftotal", "", "(8006)095011015300030100", "total 00"},
    {"pcenc", "(4300)ABC%20D", "(4300)ABC%2GD",
     "character 4 (\"%\") does not begin a percent-encoded byte"},
    {"latitude", "(4309)18000000003600000000", "(4309)18000000013600000000",
     "latitude 1800000001 is over 1800000000"},
    {"longitude", "", "(4309)18000000003600000001", "longitude 3600000001 is over 3600000000"},
    {"iso5218", "(7252)9", "(7252)3", "sex 3, takes 0, 1, 2 or 9 (ISO/IEC 5218)"},
    {"posinseqslash", "(7258)2/2", "(7258)3/2", "position 3 of 2"},
    {"posinseqslash", "", "(7258)1-2", "\"1-2\" is not a position in a sequence such as 1/2"},
    {"mediatype", "(7241)10", "(7241)00", "media type 00, takes 01 to 10 or 80 to 99"},
    {"mediatype", "(7241)80", "(7241)11", "media type 11, takes 01 to 10 or 80 to 99"},
    {"importeridx", "(7040)1AB_", "(7040)1AB!",
     "character 4 (\"!\") is not an importer index (0-9, A-Z, a-z, \"-\", \"_\")"},
};

// One element, "(AI)data": its element string "AIdata", its refusal "! (AI) data: why".
TEST(ApplicationIdentifiers, EachLinterInsideAndOutside) {
    for (const TLinterCase& c : kLinters) {
        if (*c.inside != '\0') {
            std::string bare = c.inside;
            std::erase_if(bare, [](char ch) { return ch == '(' || ch == ')'; });
            EXPECT_EQ(Outcome(c.inside), bare) << c.linter;
        }
        std::string spaced = c.outside;
        spaced.insert(spaced.find(')') + 1, " ");
        EXPECT_EQ(Outcome(c.outside), "! " + spaced + ": " + c.why) << c.linter;
    }
}

TEST(ApplicationIdentifiers, HumanReadableLineAndDataCharacterCount) {
    const auto elements = ParseGs1Bracketed("[01]09501101530003[10]AB-123[17]260131");
    EXPECT_EQ(Gs1HumanReadable(elements), "(01) 09501101530003 (10) AB-123 (17) 260131");
    // 01 + 14 digits, 10 + 6 characters, one separator, 17 + 6 digits.
    EXPECT_EQ(Gs1DataCharacterCount(elements), 16u + 8u + 1u + 8u);
}

struct TScannedCase {
    const char* data; // "~" stands for the separator
    const char* elements;
    std::vector<std::string> faults;
};

const TScannedCase kScanned[] = {
    {"010950110153000310AB-123~17260131", "(01) 09501101530003 (10) AB-123 (17) 260131", {}},
    // A predefined length followed directly by the next AI, and by a needless separator.
    {"010950110153000317260131", "(01) 09501101530003 (17) 260131", {}},
    {"0109501101530003~10ABC", "(01) 09501101530003 (10) ABC", {}},
    // A missing separator within the variable AI's maximum cannot be seen ...
    {"10AB-12317260131", "(10) AB-12317260131", {}},
    // ... past it, it can.
    {"211234567890123456789017260131",
     "(21) 12345678901234567890 (17) 260131",
     {"(21) 12345678901234567890: no separator after these 20 characters, the most it takes"}},
    {"0109501101530003236ABC", "(01) 09501101530003", {"(236): not an Application Identifier"}},
    {"0109501101530", "(01) 09501101530", {"(01) 09501101530: 11 digits, takes 14"}},
    {"0109501101530~10ABC", "(01) 09501101530 (10) ABC", {"(01) 09501101530: 11 digits, takes 14"}},
    {"0109501101530004~10AB~1",
     "(01) 09501101530004 (10) AB",
     {"(01) 09501101530004: check digit 4, should be 3", "(1): not an Application Identifier"}},
    {"10ABC~", "(10) ABC", {"character 6: a separator after the last element"}},
    {"10ABC~~17260131",
     "(10) ABC (17) 260131",
     {"character 7: a separator where an Application Identifier begins"}},
    {"17261331~",
     "(17) 261331",
     {"character 9: a separator after the last element", "(17) 261331: month 13"}},
    {"10~17260131", "(10)  (17) 260131", {"(10): no data"}},
    {"10ABC~10ABD", "(10) ABC (10) ABD", {"(10) ABD: (10) given twice, first as ABC"}},
    {"", "", {}},
};

TEST(ApplicationIdentifiers, ScannerDataIsSplitAndEveryFaultListed) {
    for (const TScannedCase& c : kScanned) {
        std::string data = c.data;
        for (char& ch : data)
            if (ch == '~') ch = kGs1Separator;
        const TGs1Check check = CheckGs1ElementString(data);
        EXPECT_EQ(Gs1HumanReadable(check.elements), c.elements) << c.data;
        EXPECT_EQ(check.faults, c.faults) << c.data;
    }
}

// req= rules: each key met by one alternative, an alternative by all its AIs; "31nn" is any
// AI of four digits that begins with 31.
TEST(ApplicationIdentifiers, UnmetAssociationsAreListed) {
    const struct {
        const char* text;
        std::vector<std::string> unmet;
    } kCases[] = {
        {"(10)AB-123", {"(10) AB-123: goes with (01), (02), (03), (8006) or (8026)"}},
        {"(01)09501101530003(10)AB-123", {}},
        {"(250)X", {"(250) X: goes with (01)+(21), (03)+(21) or (8006)+(21)"}},
        {"(01)09501101530003(21)1(250)X", {}},
        {"(01)09501101530003(250)X", {"(250) X: goes with (01)+(21), (03)+(21) or (8006)+(21)"}},
        {"(3103)001250(3103)001250", {"(3103) 001250: goes with (01) or (02)"}},
        {"(01)09501101530003(3103)001250(3922)1234", {}},
        {"(3922)1234",
         {"(3922) 1234: goes with (01)+(30), (01)+(31nn), (01)+(32nn), (01)+(35nn) or "
          "(01)+(36nn)"}},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(Gs1UnmetAssociations(ParseGs1Bracketed(c.text)), c.unmet) << c.text;
}

TEST(ApplicationIdentifiers, CheckDigitAndCentury) {
    EXPECT_EQ(Gs1CheckDigit("0950110153000"), 3);
    EXPECT_EQ(Gs1CheckDigit("10614141123456789"), 7);
    EXPECT_EQ(Gs1CheckDigit("12a"), -1);
    const struct {
        int yy, current, year;
    } kYears[] = {{26, 2026, 2026}, {76, 2026, 2076}, {77, 2026, 1977},
                  {0, 2051, 2100},  {99, 2051, 2099}, {0, 2049, 2000}};
    for (const auto& y : kYears)
        EXPECT_EQ(Gs1FullYear(y.yy, y.current), y.year) << y.yy << " in " << y.current;
}

TEST(ApplicationIdentifiers, PredefinedLength) {
    EXPECT_TRUE(Gs1PredefinedLength("01"));
    EXPECT_TRUE(Gs1PredefinedLength("3103"));
    EXPECT_FALSE(Gs1PredefinedLength("10"));
    EXPECT_FALSE(Gs1PredefinedLength("3106")); // not an AI: 3100-3105 only
    EXPECT_FALSE(Gs1PredefinedLength("99x"));
}

// --- The table against the dictionary ------------------------------------------------------

struct TDictionaryAi {
    std::string ai;
    bool predefined = false;
    std::vector<TGs1ComponentFormat> components;
};

// A plain reading of the dictionary's lines "AIs [flags] components [attributes] [# title]";
// the linters' names are kept in names.
std::vector<TDictionaryAi> ReadDictionary(std::istream& in, std::set<std::string>& names) {
    std::vector<TDictionaryAi> ais;
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string range;
        if (!(words >> range)) continue;
        TDictionaryAi entry;
        std::string word;
        while (words >> word) {
            const bool optional = word[0] == '[';
            const std::string kind = optional ? word.substr(1) : word;
            if (word.find('=') != std::string::npos || std::islower(word[0])) continue;
            if (std::string("NXYZ").find(kind[0]) == std::string::npos) {
                entry.predefined = word.find('*') != std::string::npos;
                continue;
            }
            TGs1ComponentFormat c;
            c.type = kind[0];
            c.optional = optional;
            std::size_t end = 1;
            while (end < kind.size() && (std::isdigit(kind[end]) || kind[end] == '.')) ++end;
            const std::string length = kind.substr(1, end - 1);
            const std::size_t dots = length.find("..");
            if (dots == std::string::npos) {
                c.minLength = c.maxLength = std::stoi(length);
            } else {
                c.minLength = dots == 0 ? 1 : std::stoi(length.substr(0, dots));
                c.maxLength = std::stoi(length.substr(dots + 2));
            }
            std::string rest = kind.substr(end);
            if (optional) rest = rest.substr(rest.find(']') + 1);
            std::istringstream linters(rest);
            std::string linter;
            while (std::getline(linters, linter, ','))
                if (!linter.empty()) c.linters.push_back(*names.insert(linter).first);
            entry.components.push_back(c);
        }
        const std::size_t dash = range.find('-');
        const std::string first = range.substr(0, dash);
        const std::string last = dash == std::string::npos ? first : range.substr(dash + 1);
        for (int n = std::stoi(first); n <= std::stoi(last); ++n) {
            entry.ai = std::to_string(n);
            entry.ai.insert(0, first.size() - entry.ai.size(), '0');
            ais.push_back(entry);
        }
    }
    return ais;
}

TEST(ApplicationIdentifiers, TableMatchesGs1SyntaxDictionary) {
    std::ifstream file(VARIMARK_GS1_DICTIONARY);
    if (!file) GTEST_SKIP() << "no " << VARIMARK_GS1_DICTIONARY;
    std::set<std::string> names;
    const std::vector<TDictionaryAi> ais = ReadDictionary(file, names);
    ASSERT_GT(ais.size(), 500u);
    for (const TDictionaryAi& d : ais) {
        const auto format = Gs1AiFormat(d.ai);
        ASSERT_TRUE(format) << d.ai;
        EXPECT_EQ(format->predefinedLength, d.predefined) << d.ai;
        ASSERT_EQ(format->components.size(), d.components.size()) << d.ai;
        for (std::size_t k = 0; k < d.components.size(); ++k) {
            const TGs1ComponentFormat& t = format->components[k];
            const TGs1ComponentFormat& e = d.components[k];
            EXPECT_EQ(t.type, e.type) << d.ai << " component " << k;
            EXPECT_EQ(t.minLength, e.minLength) << d.ai << " component " << k;
            EXPECT_EQ(t.maxLength, e.maxLength) << d.ai << " component " << k;
            EXPECT_EQ(t.optional, e.optional) << d.ai << " component " << k;
            EXPECT_EQ(t.linters, e.linters) << d.ai << " component " << k;
        }
    }
    // No AI the dictionary lacks, and none the prefix of another (how a scanner's data splits).
    std::size_t held = 0;
    for (int digits = 2; digits <= 4; ++digits)
        for (int n = 0; n < (digits == 2 ? 100 : digits == 3 ? 1000 : 10000); ++n) {
            std::string ai = std::to_string(n);
            ai.insert(0, static_cast<std::size_t>(digits) - ai.size(), '0');
            if (!Gs1AiFormat(ai)) continue;
            ++held;
            for (std::size_t p = 2; p < ai.size(); ++p)
                EXPECT_FALSE(Gs1AiFormat(ai.substr(0, p))) << ai << " begins with an AI";
        }
    EXPECT_EQ(held, ais.size());
}

} // namespace
