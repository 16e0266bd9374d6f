// Code 128 reference decode: each character's four similar-edge distances in whole modules,
// the even bar module count, the start character and the modulo-103 check character; and
// the data characters interpreted through the code sets into the bytes a reader transmits.
#include "engine/SymbologyTables.h"
#include "verify/DecodeCharacters.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace varimark::decode {

namespace {

constexpr int kModules = 11;
constexpr int kStartA = 103, kStartC = 105, kStop = 106;
// The special characters' symbol values (ISO/IEC 15417). 100 and 101 switch the code set or,
// in the code set they belong to (100 in B, 101 in A), are FNC4.
constexpr int kFnc3 = 96, kFnc2 = 97, kShift = 98, kCodeC = 99, kCodeB = 100, kCodeA = 101,
              kFnc1 = 102;
constexpr int kSetA = 0, kSetB = 1, kSetC = 2;
constexpr int kNoValue = -1, kTwoValues = -2;

// A key of four similar-edge distances of 2..7 modules each.
int Key(const std::array<int, 4>& e) {
    return (((e[0] - 2) * 6 + (e[1] - 2)) * 6 + (e[2] - 2)) * 6 + (e[3] - 2);
}

// The symbol value of each key, derived from the engine's width table.
struct TTable128 {
    std::array<std::int16_t, 6 * 6 * 6 * 6> value;
    std::array<std::array<int, 6>, TBarCode128::kCount> widths;
    TTable128() {
        value.fill(kNoValue);
        for (int v = 0; v < TBarCode128::kCount; ++v) {
            for (int k = 0; k < 6; ++k) widths[v][k] = TBarCode128::kWidths[v][k] - '0';
            std::array<int, 4> e{};
            for (int k = 0; k < 4; ++k) e[k] = widths[v][k] + widths[v][k + 1];
            std::int16_t& slot = value[Key(e)];
            slot = slot == kNoValue ? static_cast<std::int16_t>(v) : kTwoValues;
        }
    }
};

const TTable128& Table() {
    static const TTable128 kTable;
    return kTable;
}

// Reads the six elements of one character; -1 when they are no character. margin gets the
// character's decodability, p its width.
int ReadCharacter(TWidths w, double& margin, double& p) {
    p = w[0] + w[1] + w[2] + w[3] + w[4] + w[5];
    std::array<int, 4> e{};
    margin = 1;
    for (int k = 0; k < 4; ++k) {
        const TEdgeValue edge = EdgeModules(w[k] + w[k + 1], p, kModules);
        if (edge.modules < 2 || edge.modules > 7) return -1;
        e[k] = edge.modules;
        margin = std::min(margin, edge.margin);
    }
    const int value = Table().value[Key(e)];
    if (value < 0) return -1;
    // The bars of every character take an even number of modules: their measured sum,
    // rounded to an even count, must give the character's.
    const auto& widths = Table().widths[value];
    const double bars = (w[0] + w[2] + w[4]) * kModules / p;
    if (std::fabs(bars - (widths[0] + widths[2] + widths[4])) >= 1) return -1;
    return value;
}

// The data characters (between the start and the check character) as a reader transmits them
// (ISO/IEC 15417 data interpretation), and the symbology identifier (ISO/IEC 15424):
// - code set A: values 0..63 are the bytes 32..95, 64..95 the control bytes 0..31; code set B:
//   values 0..95 are the bytes 32..127; code set C: values 0..99 are two digits;
// - CODE A, CODE B, CODE C switch the code set; SHIFT reads the one character after it in
//   the other of A and B;
// - FNC1 first (right after the start) is not transmitted and makes the identifier "]C1";
//   FNC1 second, after a single letter or one digit pair, is not transmitted either and makes
//   it "]C2" (the letter or digits, the application indicator, are); any other FNC1 is the
//   byte 29 (GS); "]C0" when no FNC1 stands first or second;
// - FNC4 adds 128 to the next data character of code set A or B; two FNC4 in a row add it to
//   every data character after them until the next two in a row, and within that stretch a
//   single FNC4 takes it off the next one. Digit pairs of code set C are never extended and
//   leave a pending FNC4 for the next character of A or B;
// - FNC2 (message append) and FNC3 (reader initialisation) are instructions to the reader,
//   not data: they are left out and the rest is transmitted as it is, one symbol on its own.
void Transmit(std::span<const int> data, int start, TDecoded& result) {
    std::string& message = result.message;
    result.identifier = "]C0";
    int set = start - kStartA;
    bool shifted = false; // this character is read in the other of A and B
    bool latched = false, single = false, lastFnc4 = false;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const int v = data[i];
        const int in = shifted ? kSetA + kSetB - set : set;
        shifted = false;
        const bool fnc4 = (in == kSetA && v == kCodeA) || (in == kSetB && v == kCodeB);
        if (in == kSetC && v < 100) {
            message += static_cast<char>('0' + v / 10);
            message += static_cast<char>('0' + v % 10);
        } else if (in != kSetC && v < kFnc3) {
            const int byte = in == kSetA && v >= 64 ? v - 64 : v + 32;
            message += static_cast<char>(latched != single ? byte + 128 : byte);
            single = false;
        } else if (fnc4) {
            if (lastFnc4 && single) {
                latched = !latched;
                single = false;
            } else {
                single = true;
            }
        } else if (v == kFnc1) {
            // The application indicator before a second-place FNC1: one digit pair, or one
            // letter A..Z, a..z.
            const char letter = static_cast<char>(message.empty() ? 0 : message[0] | 0x20);
            const bool indicator =
                i == 1 &&
                (message.size() == 2 || (message.size() == 1 && letter >= 'a' && letter <= 'z'));
            if (i == 0)
                result.identifier = "]C1";
            else if (indicator)
                result.identifier = "]C2";
            else
                message += '\x1D';
        } else if (v == kShift) {
            shifted = true;
        } else if (v == kCodeA || v == kCodeB || v == kCodeC) {
            set = v == kCodeA ? kSetA : v == kCodeB ? kSetB : kSetC;
        } else if (v == kFnc2 || v == kFnc3) {
            // Instructions to the reader, not data.
        }
        lastFnc4 = fnc4 && single;
    }
}

} // namespace

TAttempt DecodeCode128(TWidths widths) {
    TAttempt attempt;
    TDecoded& result = attempt.result;
    result.type = btCodeTypes::CODE128_B;
    const std::size_t m = widths.size();
    const std::optional<std::size_t> count = CountCharacters(
        attempt, m, 19, 7, 6,
        "a Code 128 symbol has 6 per character and 7 for its stop character, at least 19");
    if (!count) return attempt;
    const std::size_t characters = *count; // start, data, check
    std::vector<int> values(characters + 1);
    double decodability = 1, width = 0;
    for (std::size_t c = 0; c <= characters; ++c) {
        double margin = 0, p = 0;
        const int value = ReadCharacter(widths.subspan(6 * c, 6), margin, p);
        if (value < 0) {
            if (c == 0) return Fail(attempt, "no start character");
            if (c == characters) return Fail(attempt, "no stop character");
            return Fail(attempt, "character " + std::to_string(c + 1) +
                                     ": its edges match no Code 128 character");
        }
        if (c == 0 && (value < kStartA || value > kStartC))
            return Fail(attempt, "no start character");
        if (c == characters) {
            if (value != kStop) return Fail(attempt, "no stop character");
            // The final bar of the stop character: 1 + 2 modules from the space before it.
            const TEdgeValue last = EdgeModules(widths[m - 2] + widths[m - 1], p, kModules);
            if (last.modules != 3) return Fail(attempt, "the stop character's last bar is wrong");
            margin = std::min(margin, last.margin);
        } else if (c > 0 && value >= kStartA) {
            return Fail(attempt, "character " + std::to_string(c + 1) +
                                     " is a start or stop character inside the symbol");
        }
        values[c] = value;
        decodability = std::min(decodability, margin);
        width += p;
        attempt.progress = static_cast<int>(c) + 1;
    }
    long long sum = values[0];
    for (std::size_t c = 1; c + 1 < characters; ++c) sum += static_cast<long long>(c) * values[c];
    const int computed = static_cast<int>(sum % 103), read = values[characters - 1];
    if (computed != read)
        return Fail(attempt, "wrong check character: read " + std::to_string(read) + ", computed " +
                                 std::to_string(computed));

    result.type =
        static_cast<btCodeTypes>(static_cast<int>(btCodeTypes::CODE128_A) + values[0] - kStartA);
    for (const int v : values) result.data += static_cast<char>(v + 32);
    Transmit(std::span(values).subspan(1, characters - 2), values[0], result);
    result.decodability = decodability;
    result.moduleWidth = width / (kModules * static_cast<double>(characters + 1));
    result.nominal.reserve(m);
    for (const int v : values)
        for (const int k : Table().widths[v]) result.nominal.push_back(k * result.moduleWidth);
    result.nominal.push_back(2 * result.moduleWidth);
    result.ok = true;
    return attempt;
}

// GS1-128 (ISO/IEC 15417, FNC1 in the first data position): decoded as Code 128, and only
// a symbol whose first data character is FNC1 is one.
TAttempt DecodeGs1128(TWidths widths) {
    TAttempt attempt = DecodeCode128(widths);
    if (!attempt.result.ok) return attempt;
    if (attempt.result.identifier != "]C1")
        return Fail(attempt,
                    "no FNC1 after the start character: a GS1-128 symbol begins with FNC1");
    attempt.result.type = btCodeTypes::GS1_128;
    return attempt;
}

} // namespace varimark::decode
