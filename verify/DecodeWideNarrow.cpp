// Code 39, Interleaved 2 of 5, Codabar and MSI Plessey reference decode: per character (or
// per group of a character's elements) a reference threshold halfway between the mean narrow
// and the mean wide element, an element wider than it is wide; the inter-character gaps are
// not decoded. Each symbology's reading of its threshold is given at its decoder.
#include "engine/BarcodeParams.h"
#include "engine/SymbologyTables.h"
#include "engine/TextPreparation.h"
#include "verify/DecodeCharacters.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace varimark::decode {

namespace {

// A table of element flag strings ("1" = wide) turned into a lookup by bit mask (bit i:
// element i wide): the position in the table, or -1.
template <int kBits> struct TMaskTable {
    std::array<std::int8_t, 1u << kBits> index;
    std::vector<std::uint32_t> masks; // by position in the table
    TMaskTable(const char* const* patterns, int count) {
        index.fill(-1);
        for (int i = 0; i < count; ++i) {
            std::uint32_t mask = 0;
            for (int k = 0; k < kBits; ++k)
                if (patterns[i][k] == '1') mask |= 1u << k;
            index[mask] = static_cast<std::int8_t>(i);
            masks.push_back(mask);
        }
    }
    int operator[](std::uint32_t mask) const { return index[mask & ((1u << kBits) - 1)]; }
};

const TMaskTable<9>& Code39Table() {
    static const TMaskTable<9> kTable(TBarCode39::kPatterns, TBarCode39::kCount);
    return kTable;
}
const TMaskTable<7>& CodabarTable() {
    static const TMaskTable<7> kTable(TBarCodabar::kPatterns, TBarCodabar::kCount);
    return kTable;
}
const TMaskTable<5>& Code25Table() {
    static const TMaskTable<5> kTable(kCode25Digits, 10);
    return kTable;
}
const TMaskTable<4>& MsiTable() {
    // kMsiDigits holds the bits most significant first, read in that order.
    static const TMaskTable<4> kTable(kMsiDigits, 10);
    return kTable;
}

std::string CharacterFailure(std::size_t c, const char* what) {
    return "character " + std::to_string(c + 1) + ": " + what;
}

void SetKind(std::vector<std::uint8_t>& kind, std::size_t from, std::size_t count,
             std::uint32_t wide) {
    for (std::size_t k = 0; k < count; ++k) kind[from + k] = (wide >> k) & 1u;
}

// Every second of the widths from `at`: the bars or the spaces of a stretch of elements.
template <std::size_t kN> std::array<double, kN> EverySecond(TWidths widths, std::size_t at) {
    std::array<double, kN> group{};
    for (std::size_t k = 0; k < kN; ++k) group[k] = widths[at + 2 * k];
    return group;
}

// The wide flags of a group (bit k: its element k) laid out at every second element from
// `first`, and back.
std::uint32_t Interleave(std::uint32_t group, std::size_t size, std::size_t first) {
    std::uint32_t wide = 0;
    for (std::size_t k = 0; k < size; ++k) wide |= ((group >> k) & 1u) << (first + 2 * k);
    return wide;
}
std::uint32_t Deinterleave(std::uint32_t wide, std::size_t size, std::size_t first) {
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < size; ++k) group |= ((wide >> (first + 2 * k)) & 1u) << k;
    return group;
}

// One character of a gapped symbology read from its elements: its position in the alphabet
// (-1: none, and why), its wide elements and its margin.
struct TCharacter {
    int index = -1;
    std::uint32_t wide = 0;
    double margin = 0;
    const char* refusal = "";
};

// Code 39 (ISO/IEC 16388): one reference threshold over a character's nine elements, halfway
// between the mean of its three widest and the mean of its six others. Code 39 characters
// have 0 or 2 wide bars, so a threshold for the bars alone does not exist in every character;
// the one threshold over the nine is the reading kept.
TCharacter ReadCode39(TWidths elements) {
    const TTwoWidth split = SplitTwoWidth(elements, 3);
    if (!split.ok) return {.refusal = "its elements do not split into narrow and wide"};
    const int index = Code39Table()[split.wide];
    if (index < 0) return {.refusal = "its wide elements match no character"};
    return {index, split.wide, split.margin, ""};
}

// How well a Codabar character's seven elements fit one pattern of the alphabet, bars and
// spaces apart: each group with both narrow and wide elements in the pattern against its own
// threshold, a group that has none wide (the spaces of : / . +) against the threshold of the
// whole character read as the pattern. -1 when an element lies on the wrong side.
double CodabarFit(TWidths elements, std::uint32_t wide) {
    const TTwoWidth whole = ReadTwoWidth(elements, wide);
    if (whole.threshold == 0) return -1; // no narrow or no wide element, or wide not wider
    const std::array<double, 4> bars = EverySecond<4>(elements, 0);
    const std::array<double, 3> spaces = EverySecond<3>(elements, 1);
    double margin = 1;
    for (const std::size_t first : {0u, 1u}) {
        const TWidths group = first == 0 ? TWidths(bars) : TWidths(spaces);
        const std::uint32_t groupWide = Deinterleave(wide, group.size(), first);
        const TTwoWidth own = groupWide != 0 ? ReadTwoWidth(group, groupWide) : TTwoWidth{};
        const double fit = groupWide == 0 ? TwoWidthMargin(group, 0, whole)
                           : own.ok       ? own.margin
                                          : -1;
        if (fit < 0) return -1;
        margin = std::min(margin, fit);
    }
    return margin;
}

// Codabar (EN 798): the character is the pattern of the alphabet that the elements fit with
// the largest margin (every element on its side of its threshold), none when no pattern fits.
// This reading tries every split of 2 and 3 wide elements alike, so bar gain or loss that
// moves the bars' and the spaces' widths apart does not hide a character.
TCharacter ReadCodabar(TWidths elements) {
    TCharacter best{.refusal = "its elements fit no Codabar character"};
    const std::vector<std::uint32_t>& masks = CodabarTable().masks;
    for (std::size_t i = 0; i < masks.size(); ++i) {
        const double fit = CodabarFit(elements, masks[i]);
        if (fit >= 0 && (best.index < 0 || fit > best.margin))
            best = {static_cast<int>(i), masks[i], fit, ""};
    }
    return best;
}

// Code 39 and Codabar: characters of `size` elements with a gap after each, start and stop
// characters at the ends.
template <int kSize> struct TGapped {
    const char* name;
    const char* alphabet;
    TCharacter (*read)(TWidths);
    bool (*isStartStop)(char);
    bool transmitsStartStop;
    const char* identifier; // ISO/IEC 15424
};

template <int kSize>
TAttempt DecodeGapped(btCodeTypes type, const TGapped<kSize>& symbology, TWidths widths) {
    TAttempt attempt;
    TDecoded& result = attempt.result;
    result.type = type;
    const std::size_t m = widths.size(), step = kSize + 1;
    if (m < 2 * step - 1 || (m + 1) % step != 0)
        return Fail(attempt, std::to_string(m) + " elements: a " + symbology.name + " symbol has " +
                                 std::to_string(kSize) +
                                 " per character and a gap between characters");
    const std::size_t characters = (m + 1) / step;
    std::vector<std::uint8_t> kind(m, 2);
    double decodability = 1;
    for (std::size_t c = 0; c < characters; ++c) {
        const TCharacter read = symbology.read(widths.subspan(c * step, kSize));
        if (read.index < 0) {
            if (c == 0) return Fail(attempt, "no start character");
            return Fail(attempt, CharacterFailure(c, read.refusal));
        }
        const char letter = symbology.alphabet[read.index];
        const bool end = c == 0 || c + 1 == characters;
        if (end && !symbology.isStartStop(letter))
            return Fail(attempt, c == 0 ? "no start character" : "no stop character");
        if (!end && type == btCodeTypes::Codabar && symbology.isStartStop(letter))
            return Fail(attempt, CharacterFailure(c, "a start or stop character inside the "
                                                     "symbol"));
        result.data += letter;
        SetKind(kind, c * step, kSize, read.wide);
        decodability = std::min(decodability, read.margin);
        attempt.progress = static_cast<int>(c) + 1;
    }
    const int gap = FinishTwoWidth(result, widths, kind);
    if (gap >= 0)
        return Fail(attempt, "the gap after character " + std::to_string(gap / step + 1) +
                                 " is wider than a wide element and a narrow one");
    result.decodability = decodability;
    result.message =
        symbology.transmitsStartStop ? result.data : result.data.substr(1, characters - 2);
    result.identifier = symbology.identifier;
    result.ok = true;
    return attempt;
}

std::string CheckFailure(char read, char computed) {
    return std::string("wrong check digit: read ") + read + ", computed " + computed;
}

// The check digit the engine appends to `digits` for the type.
char EngineCheckDigit(const std::string& digits, btCodeTypes type) {
    std::vector<char> text(digits.size() + 2, '\0');
    std::copy(digits.begin(), digits.end(), text.begin());
    if (type == btCodeTypes::MSI_Plessey)
        AddMSIProofchar(text.data(), type);
    else
        AddCheckDigit(text.data(), type);
    return text[digits.size()];
}

} // namespace

bool Code25CheckDigitMatches(const std::string& digits, btCodeTypes type) {
    return digits.size() >= 2 &&
           EngineCheckDigit(digits.substr(0, digits.size() - 1), type) == digits.back();
}

// Code 39 is transmitted without its start and stop "*", no check character validated and
// no full ASCII pairs interpreted (ISO/IEC 15424: "]A0").
TAttempt DecodeCode39(TWidths widths) {
    static const TGapped<9> kCode39{
        "Code 39", TBarCode39::kAlphabet, ReadCode39, [](char c) { return c == '*'; }, false, "]A0"};
    return DecodeGapped(btCodeTypes::CODE39, kCode39, widths);
}

// Codabar is transmitted with its start and stop letters as they stand in the symbol, the
// only trace of which of A..D were chosen; no check character validated (ISO/IEC 15424:
// "]F0").
TAttempt DecodeCodabar(TWidths widths) {
    static const TGapped<7> kCodabar{"Codabar",   TBarCodabar::kAlphabet,
                                    ReadCodabar, [](char c) { return c >= 'A' && c <= 'D'; },
                                    true,        "]F0"};
    return DecodeGapped(btCodeTypes::Codabar, kCodabar, widths);
}

// Interleaved 2 of 5 (ISO/IEC 16390): a digit pair's five bars are one character and its
// five spaces another, each with its own reference threshold halfway between its two wide
// and its three narrow elements' means. The start (four narrow) and the stop (wide bar,
// narrow space, narrow bar) have no threshold of their own: their bars are judged against
// the bar threshold of the digit pair beside them and their spaces against its space
// threshold.
TAttempt DecodeCode25(btCodeTypes type, TWidths widths) {
    TAttempt attempt;
    TDecoded& result = attempt.result;
    result.type = type;
    const std::size_t m = widths.size();
    const std::optional<std::size_t> count = CountCharacters(
        attempt, m, 17, 7, 10,
        "an Interleaved 2 of 5 symbol has 4 for its start, 10 per digit pair and 3 for its stop");
    if (!count) return attempt;
    const std::size_t pairs = *count;
    std::vector<std::uint8_t> kind(m, 0);
    double decodability = 1;
    TTwoWidth firstBars, firstSpaces, lastBars, lastSpaces;
    for (std::size_t c = 0; c < pairs; ++c) {
        const std::size_t at = 4 + 10 * c;
        const TTwoWidth bars = SplitTwoWidth(EverySecond<5>(widths, at), 2);
        const TTwoWidth spaces = SplitTwoWidth(EverySecond<5>(widths, at + 1), 2);
        const int high = bars.ok ? Code25Table()[bars.wide] : -1;
        const int low = spaces.ok ? Code25Table()[spaces.wide] : -1;
        if (high < 0 || low < 0)
            return Fail(attempt, "digit pair " + std::to_string(c + 1) + ": its " +
                                     (high < 0 ? "bars" : "spaces") + " match no digit");
        result.data += static_cast<char>('0' + high);
        result.data += static_cast<char>('0' + low);
        SetKind(kind, at, 10, Interleave(bars.wide, 5, 0) | Interleave(spaces.wide, 5, 1));
        decodability = std::min({decodability, bars.margin, spaces.margin});
        if (c == 0) firstBars = bars, firstSpaces = spaces;
        lastBars = bars, lastSpaces = spaces;
        attempt.progress = static_cast<int>(c) + 1;
    }
    const double start = std::min(TwoWidthMargin(EverySecond<2>(widths, 0), 0, firstBars),
                                  TwoWidthMargin(EverySecond<2>(widths, 1), 0, firstSpaces));
    if (start < 0) return Fail(attempt, "no start pattern of four narrow elements");
    const double stop = std::min(TwoWidthMargin(EverySecond<2>(widths, m - 3), 1u, lastBars),
                                 TwoWidthMargin(widths.subspan(m - 2, 1), 0, lastSpaces));
    if (stop < 0) return Fail(attempt, "no stop pattern of a wide bar and two narrow elements");
    kind[m - 3] = 1;
    decodability = std::min({decodability, start, stop});

    // No check digit is checked: the encoder appends one only to an odd count of digits, so
    // an even count read back may or may not end in one. Every digit is transmitted
    // (ISO/IEC 15424: "]I0", no check digit validated).
    FinishTwoWidth(result, widths, kind);
    result.decodability = decodability;
    result.message = result.data;
    result.identifier = "]I0";
    result.ok = true;
    return attempt;
}

char Gs1CheckDigit(std::string_view digits) {
    int sum = 0, weight = 3;
    for (auto d = digits.rbegin(); d != digits.rend(); ++d, weight = 4 - weight)
        sum += weight * (*d - '0');
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// ITF-14 (GS1 General Specifications, ITF-14): Interleaved 2 of 5 of exactly 14 digits, a
// GTIN whose last digit is its GS1 check digit, which is checked.
TAttempt DecodeItf14(TWidths widths) {
    TAttempt attempt = DecodeCode25(btCodeTypes::ITF_14, widths);
    if (!attempt.result.ok) return attempt;
    const std::string& d = attempt.result.data;
    if (d.size() != 14)
        return Fail(attempt, std::to_string(d.size()) + " digits: an ITF-14 symbol has 14");
    const char computed = Gs1CheckDigit(std::string_view(d).substr(0, 13));
    if (computed != d.back()) return Fail(attempt, CheckFailure(d.back(), computed));
    // ISO/IEC 15424: "]I1", the check digit validated and transmitted (GS1 gives ITF-14's).
    attempt.result.identifier = "]I1";
    return attempt;
}

TAttempt DecodeMsi(TWidths widths) {
    TAttempt attempt;
    TDecoded& result = attempt.result;
    result.type = btCodeTypes::MSI_Plessey;
    const std::size_t m = widths.size();
    // Start: a 1 bit (wide bar, narrow space); 4 bits of a bar and a space per digit; stop:
    // two 0 bits (narrow bar, wide space), the last space outside the widths.
    const std::optional<std::size_t> count = CountCharacters(
        attempt, m, 21, 5, 8,
        "an MSI Plessey symbol has 2 for its start, 8 per digit and 3 for its stop, and at "
        "least two digits");
    if (!count) return attempt;
    const std::size_t digits = *count;
    if (digits > TBarcodeParams::kMaxCaption + 1)
        return Fail(attempt, std::to_string(digits) + " digits: more than an MSI Plessey symbol "
                                                      "of this program holds");
    std::vector<std::uint8_t> kind(m, 0);
    const TTwoWidth start = SplitTwoWidth(widths.subspan(0, 2), 1);
    if (!start.ok || start.wide != 1u) return Fail(attempt, "no start character");
    kind[0] = 1;
    double decodability = start.margin;
    for (std::size_t c = 0; c < digits; ++c) {
        const std::size_t at = 2 + 8 * c;
        const TTwoWidth split = SplitTwoWidth(widths.subspan(at, 8), 4);
        std::uint32_t bits = 0; // the first bit read is kMsiDigits' first character
        bool pairs = split.ok;
        for (int k = 0; k < 4; ++k) {
            const std::uint32_t pair = (split.wide >> (2 * k)) & 3u;
            pairs = pairs && (pair == 1u || pair == 2u);
            bits |= (pair == 1u ? 1u : 0u) << k;
        }
        const int digit = pairs ? MsiTable()[bits] : -1;
        if (digit < 0)
            return Fail(attempt,
                        CharacterFailure(c, pairs ? "its bits make no digit"
                                                  : "its bar and space pairs are not one wide "
                                                    "and one narrow"));
        result.data += static_cast<char>('0' + digit);
        SetKind(kind, at, 8, split.wide);
        decodability = std::min(decodability, split.margin);
        attempt.progress = static_cast<int>(c) + 1;
    }
    const TTwoWidth stop = SplitTwoWidth(widths.subspan(m - 3, 3), 1);
    if (!stop.ok || stop.wide != 2u) return Fail(attempt, "no stop character");
    kind[m - 2] = 1;
    decodability = std::min(decodability, stop.margin);

    const std::string& d = result.data;
    const char computed = EngineCheckDigit(d.substr(0, d.size() - 1), btCodeTypes::MSI_Plessey);
    if (computed != d.back()) return Fail(attempt, CheckFailure(d.back(), computed));
    FinishTwoWidth(result, widths, kind);
    result.decodability = decodability;
    // Every digit with the check digit, which was validated (ISO/IEC 15424: "]M0").
    result.message = d;
    result.identifier = "]M0";
    result.ok = true;
    return attempt;
}

} // namespace varimark::decode
