// Code 39, Interleaved 2 of 5, Codabar and MSI Plessey reference decode: per character a
// threshold halfway between its mean narrow and mean wide element, an element wider than it
// is wide; the inter-character gaps are not decoded.
#include "engine/BarcodeParams.h"
#include "engine/DecodeCharacters.h"
#include "engine/SymbologyTables.h"
#include "engine/TextPreparation.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace varimark::decode {

namespace {

// A table of element flag strings ("1" = wide) turned into a lookup by bit mask (bit i:
// element i wide): the position in the table, or -1.
template <int Bits> struct TMaskTable {
    std::array<std::int8_t, 1u << Bits> index;
    TMaskTable(const char* const* patterns, int count) {
        index.fill(-1);
        for (int i = 0; i < count; ++i) {
            std::uint32_t mask = 0;
            for (int k = 0; k < Bits; ++k)
                if (patterns[i][k] == '1') mask |= 1u << k;
            index[mask] = static_cast<std::int8_t>(i);
        }
    }
    int operator[](std::uint32_t mask) const { return index[mask & ((1u << Bits) - 1)]; }
};

const TMaskTable<9>& Code39Table() {
    static const TMaskTable<9> table(TBarCode39::kPatterns, TBarCode39::Count);
    return table;
}
const TMaskTable<7>& CodabarTable() {
    static const TMaskTable<7> table(TBarCodabar::kPatterns, TBarCodabar::Count);
    return table;
}
const TMaskTable<5>& Code25Table() {
    static const TMaskTable<5> table(kCode25Digits, 10);
    return table;
}
const TMaskTable<4>& MsiTable() {
    // kMsiDigits holds the bits most significant first, read in that order.
    static const TMaskTable<4> table(kMsiDigits, 10);
    return table;
}

std::string CharacterFailure(std::size_t c, const char* what) {
    return "character " + std::to_string(c + 1) + ": " + what;
}

void SetKind(std::vector<std::uint8_t>& kind, std::size_t from, std::size_t count,
             std::uint32_t wide) {
    for (std::size_t k = 0; k < count; ++k) kind[from + k] = (wide >> k) & 1u;
}

// Code 39 and Codabar: characters of `size` elements with a gap after each, start and stop
// characters at the ends.
template <int Size> struct TGapped {
    const char* name;
    const char* alphabet;
    int wideCount; // 0: 2 or 3
    const TMaskTable<Size>& table;
    bool (*isStartStop)(char);
};

template <int Size>
TAttempt DecodeGapped(btCodeTypes type, const TGapped<Size>& symbology, TWidths widths) {
    TAttempt attempt;
    TDecoded& result = attempt.result;
    result.type = type;
    const std::size_t m = widths.size(), step = Size + 1;
    if (m < 2 * step - 1 || (m + 1) % step != 0)
        return Fail(attempt, std::to_string(m) + " elements: a " + symbology.name + " symbol has " +
                                 std::to_string(Size) +
                                 " per character and a gap between characters");
    const std::size_t characters = (m + 1) / step;
    std::vector<std::uint8_t> kind(m, 2);
    double decodability = 1;
    for (std::size_t c = 0; c < characters; ++c) {
        const TTwoWidth split = SplitTwoWidth(widths.subspan(c * step, Size), symbology.wideCount);
        const int index = split.ok ? symbology.table[split.wide] : -1;
        if (index < 0) {
            if (c == 0) return Fail(attempt, "no start character");
            return Fail(attempt, CharacterFailure(c, split.ok ? "its wide elements match no "
                                                                "character"
                                                              : "its elements do not split into "
                                                                "narrow and wide"));
        }
        const char letter = symbology.alphabet[index];
        const bool end = c == 0 || c + 1 == characters;
        if (end && !symbology.isStartStop(letter))
            return Fail(attempt, c == 0 ? "no start character" : "no stop character");
        if (!end && type == Codabar && symbology.isStartStop(letter))
            return Fail(attempt, CharacterFailure(c, "a start or stop character inside the "
                                                     "symbol"));
        result.data += letter;
        SetKind(kind, c * step, Size, split.wide);
        decodability = std::min(decodability, split.margin);
        attempt.progress = static_cast<int>(c) + 1;
    }
    const int gap = FinishTwoWidth(result, widths, kind);
    if (gap >= 0)
        return Fail(attempt, "the gap after character " + std::to_string(gap / step + 1) +
                                 " is wider than a wide element and a narrow one");
    result.decodability = decodability;
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
    if (type == MSI_Plessey)
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

TAttempt DecodeCode39(TWidths widths) {
    static const TGapped<9> code39{"Code 39", TBarCode39::Alphabet, 3, Code39Table(),
                                   [](char c) { return c == '*'; }};
    return DecodeGapped(CODE39, code39, widths);
}

TAttempt DecodeCodabar(TWidths widths) {
    static const TGapped<7> codabar{"Codabar", TBarCodabar::Alphabet, 0, CodabarTable(),
                                    [](char c) { return c >= 'A' && c <= 'D'; }};
    return DecodeGapped(Codabar, codabar, widths);
}

TAttempt DecodeCode25(btCodeTypes type, TWidths widths) {
    TAttempt attempt;
    TDecoded& result = attempt.result;
    result.type = type;
    const std::size_t m = widths.size();
    // Start: four narrow elements; digit pairs of ten, the bars one digit, the spaces the
    // next; stop: wide bar, narrow space, narrow bar.
    const std::optional<std::size_t> count = CountCharacters(
        attempt, m, 17, 7, 10,
        "an Interleaved 2 of 5 symbol has 4 for its start, 10 per digit pair and 3 for its stop");
    if (!count) return attempt;
    const std::size_t pairs = *count;
    std::vector<std::uint8_t> kind(m, 0);
    double decodability = 1;
    TTwoWidth first, last;
    for (std::size_t c = 0; c < pairs; ++c) {
        const std::size_t at = 4 + 10 * c;
        const TTwoWidth split = SplitTwoWidth(widths.subspan(at, 10), 4);
        std::uint32_t bars = 0, spaces = 0;
        for (int k = 0; k < 5; ++k) {
            bars |= ((split.wide >> (2 * k)) & 1u) << k;
            spaces |= ((split.wide >> (2 * k + 1)) & 1u) << k;
        }
        const int high = Code25Table()[bars], low = Code25Table()[spaces];
        if (!split.ok || high < 0 || low < 0)
            return Fail(attempt, "digit pair " + std::to_string(c + 1) +
                                     ": its elements match no pair of digits");
        result.data += static_cast<char>('0' + high);
        result.data += static_cast<char>('0' + low);
        SetKind(kind, at, 10, split.wide);
        decodability = std::min(decodability, split.margin);
        if (c == 0) first = split;
        last = split;
        attempt.progress = static_cast<int>(c) + 1;
    }
    // Start and stop, against the threshold of the digit pair beside them.
    const double start =
        TwoWidthMargin(widths.subspan(0, 4), 0, first.threshold, first.meanNarrow, first.meanWide);
    if (start < 0) return Fail(attempt, "no start pattern of four narrow elements");
    const double stop =
        TwoWidthMargin(widths.subspan(m - 3, 3), 1, last.threshold, last.meanNarrow, last.meanWide);
    if (stop < 0) return Fail(attempt, "no stop pattern of a wide bar and two narrow elements");
    kind[m - 3] = 1;
    decodability = std::min({decodability, start, stop});

    // No check digit is checked: the encoder appends one only to an odd count of digits, so
    // an even count read back may or may not end in one.
    FinishTwoWidth(result, widths, kind);
    result.decodability = decodability;
    result.ok = true;
    return attempt;
}

TAttempt DecodeMsi(TWidths widths) {
    TAttempt attempt;
    TDecoded& result = attempt.result;
    result.type = MSI_Plessey;
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
    const char computed = EngineCheckDigit(d.substr(0, d.size() - 1), MSI_Plessey);
    if (computed != d.back()) return Fail(attempt, CheckFailure(d.back(), computed));
    FinishTwoWidth(result, widths, kind);
    result.decodability = decodability;
    result.ok = true;
    return attempt;
}

} // namespace varimark::decode
