#pragma once
// GS1 Application Identifiers (GS1 General Specifications, section 3): the table of every
// AI with the format of its data field, and the checks of a GS1 element string made from
// them. The table is derived from GS1's Barcode Syntax Dictionary (see Gs1Table.inc).
#include "varimark/error.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varimark {

// One element of GS1 data: an Application Identifier ("01", "3103") and its data field.
struct TGs1Element {
    std::string ai;
    std::string data;
    friend bool operator==(const TGs1Element&, const TGs1Element&) = default;
};

// GS1 data that breaks a rule of the table. The message names the AI in parentheses, its
// data and the reason: "(17) 261331: month 13", "(01) 09501101530004: check digit 4, should
// be 3", "(99x): not an Application Identifier".
class EGs1Data : public Error {
public:
    using Error::Error;
};

// The byte a scanner sends for an FNC1 that separates two elements (ASCII GS).
inline constexpr char kGs1Separator = '\x1d';

// Parses AIs written in parentheses or square brackets, each followed by its data:
// "(01)09501101530003(17)260131(10)AB-123" or "[01]09501101530003[17]260131". The first
// character sets the brackets for the whole text; with parentheses, data cannot hold a "("
// (it would begin the next AI), so such data is written with square brackets. Every element
// is checked against the table (its character set, length and linters), then the elements
// together (an AI given twice with different data, two AIs the table keeps apart); the first
// fault is raised as EGs1Data. An empty text, text before the first AI, an unclosed bracket
// and an AI that the table does not hold are refused too.
std::vector<TGs1Element> ParseGs1Bracketed(std::string_view text);

// An element string as a symbol carries it and a scanner sends it after "]C1": AI, data,
// and kGs1Separator after each element of variable length that is not the last.
std::string Gs1ElementString(const std::vector<TGs1Element>& elements);

// The human-readable line: "(01) 09501101530003 (17) 260131 (10) AB-123".
std::string Gs1HumanReadable(const std::vector<TGs1Element>& elements);

// Whether the AI has a predefined length (no separator is needed after its data). False
// for an AI the table does not hold.
bool Gs1PredefinedLength(std::string_view ai);

// Splits an element string as a scanner sends it (without the symbology identifier) into
// its elements and checks each, then the elements together as ParseGs1Bracketed does. The
// AI is the table's AI that begins the data; an AI of predefined length takes exactly its
// length (a needless separator after it is passed over), any other runs to the separator or
// the end, capped at its maximum length (a fault when more data follows without one).
// Never raises for bad data: what breaks a rule is listed in faults, one message each (as
// EGs1Data words them); elements holds what could be split off before the first fault
// that stops the split (an unknown AI, data cut short by the end).
struct TGs1Check {
    std::vector<TGs1Element> elements;
    std::vector<std::string> faults;
};
TGs1Check CheckGs1ElementString(std::string_view data);

// The dictionary's mandatory associations (req=) that the elements leave unmet, one message
// each: "(10) AB-123: goes with (01), (02), (03), (8006) or (8026)", "(250) X: goes with
// (01)+(21), (03)+(21) or (8006)+(21)". GS1 judges them over all the carriers of an item (a
// label may hold (00) in one symbol and (02)(37) in another), so ParseGs1Bracketed and
// CheckGs1ElementString do not count them as faults; a caller that holds all of an item's
// data may. Those two do refuse an AI given twice with different data and two AIs that the
// dictionary's ex= rules keep apart, which no carrier may hold together.
std::vector<std::string> Gs1UnmetAssociations(const std::vector<TGs1Element>& elements);

// The number of data characters GS1-128 counts against its limit of 48 (GS1 General
// Specifications, the GS1-128 symbol's characteristics): the AIs' digits, the data and the
// separating FNC1s, not the leading FNC1 nor the symbol check character.
std::size_t Gs1DataCharacterCount(const std::vector<TGs1Element>& elements);

// The format of an AI's data field as the table holds it: its components in order, each of
// type 'N' (digits), 'X' (GS1 AI encodable character set 82), 'Y' (GS1 AI encodable
// character set 39) or 'Z' (base64url), of minLength..maxLength characters (equal when
// fixed; only the last may vary), optional or not, and the names of the dictionary's linters
// that check it ("csum", "yymmd0"). Nothing for an AI the table does not hold.
struct TGs1ComponentFormat {
    char type = 'N';
    int minLength = 0;
    int maxLength = 0;
    bool optional = false;
    std::vector<std::string_view> linters;
};
struct TGs1AiFormat {
    bool predefinedLength = false;
    std::vector<TGs1ComponentFormat> components;
    std::string_view title; // "BATCH/LOT", UTF-8
};
std::optional<TGs1AiFormat> Gs1AiFormat(std::string_view ai);

// The GS1 mod-10 check digit (GS1 General Specifications 7.9.1) of a string of digits that
// does not yet hold it: weights 3, 1, 3 ... from the right, the digit that brings the sum up
// to a multiple of 10. -1 when a character is not a digit.
int Gs1CheckDigit(std::string_view digits);

// The year of a two-digit year YY in a date field, by GS1 General Specifications 7.12: the
// century that puts it within -49..+50 years of currentYear.
int Gs1FullYear(int yy, int currentYear);

} // namespace varimark
