// EAN-8, EAN-13, UPC-A, UPC-E and their add-ons, reference decode: each character's two
// similar-edge distances in whole modules (the third follows from the character width), the
// bar width for the pairs 1/7 and 2/8 that share them, the guards by the same rule, the
// parity patterns and the check digit.
#include "engine/SymbologyTables.h"
#include "engine/TextPreparation.h"
#include "verify/DecodeCharacters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace varimark::decode {

namespace {

constexpr int kModules = 7;
constexpr int kSetB = 1, kSetC = 2;

struct TCandidate {
    int set = -1, digit = 0, bars = 0; // bars: the modules of its two bars
};

// Per similar-edge pair (2..5 modules each) the one or two characters with it, for the
// left-hand sets A and B and for the right-hand set C, and each character's element widths;
// derived from the engine's module table.
struct TEanTable {
    std::array<std::array<TCandidate, 2>, 16> left{}, right{};
    std::array<std::array<std::array<int, 4>, 10>, 3> widths{};
    TEanTable() {
        for (int set = 0; set < 3; ++set)
            for (int digit = 0; digit < 10; ++digit) {
                const auto& modules = kEanSets[set][digit];
                std::array<int, 4>& w = widths[set][digit];
                int element = 0;
                for (int k = 0; k < 7; ++k) {
                    if (k > 0 && modules[k] != modules[k - 1]) ++element;
                    ++w[element];
                }
                const int key = (w[0] + w[1] - 2) * 4 + (w[1] + w[2] - 2);
                const int bars = set == kSetC ? w[0] + w[2] : w[1] + w[3];
                auto& slots = (set == kSetC ? right : left)[key];
                (slots[0].set < 0 ? slots[0] : slots[1]) = TCandidate{set, digit, bars};
            }
    }
};

const TEanTable& Table() {
    static const TEanTable kTable;
    return kTable;
}

// Reads one character's four elements; set -1 when they are no character of the half.
TCandidate ReadCharacter(TWidths w, bool leftHand, double& margin, double& p) {
    p = w[0] + w[1] + w[2] + w[3];
    const TEdgeValue e1 = EdgeModules(w[0] + w[1], p, kModules);
    const TEdgeValue e2 = EdgeModules(w[1] + w[2], p, kModules);
    margin = std::min(e1.margin, e2.margin);
    if (e1.modules < 2 || e1.modules > 5 || e2.modules < 2 || e2.modules > 5) return {};
    const auto& slots =
        (leftHand ? Table().left : Table().right)[(e1.modules - 2) * 4 + (e2.modules - 2)];
    if (slots[1].set < 0) return slots[0];
    // 1/7 and 2/8: the bars, against the threshold between the two characters' bar widths.
    const double bars = (leftHand ? w[1] + w[3] : w[0] + w[2]) * kModules / p;
    const double threshold = (slots[0].bars + slots[1].bars) / 2.0;
    margin = std::min(margin, std::clamp(std::fabs(bars - threshold) / 0.5, 0.0, 1.0));
    const bool wider = bars > threshold;
    return (slots[0].bars > threshold) == wider ? slots[0] : slots[1];
}

// Guards: the similar-edge distances of the elements in whole modules must be the pattern's.
bool GuardMatches(TWidths w, std::span<const int> modules) {
    double p = 0;
    int n = 0;
    for (std::size_t k = 0; k < w.size(); ++k) p += w[k], n += modules[k];
    for (std::size_t k = 0; k + 1 < w.size(); ++k)
        if (EdgeModules(w[k] + w[k + 1], p, n).modules != modules[k] + modules[k + 1]) return false;
    return true;
}

constexpr int kGuard[] = {1, 1, 1};
constexpr int kCentre[] = {1, 1, 1, 1, 1};
constexpr int kUpcEEnd[] = {1, 1, 1, 1, 1, 1};
constexpr int kAddonStart[] = {1, 1, 2};
constexpr int kDelineator[] = {1, 1};

struct TLayout {
    const char* name;
    int left, right; // characters in the left and the right half (UPC-E: all left)
    int elements;    // of the main symbol
};

TLayout LayoutOf(btCodeTypes type) {
    switch (type) {
    case btCodeTypes::EAN_8: return {"EAN-8", 4, 4, 43};
    case btCodeTypes::UPC_E: return {"UPC-E", 6, 0, 33};
    case btCodeTypes::UPC_A: return {"UPC-A", 6, 6, 59};
    default: return {"EAN-13", 6, 6, 59};
    }
}

std::string Digit(int d) {
    return std::string(1, static_cast<char>('0' + d));
}

// The position of `parity` in a table of parity patterns, or -1.
int FindParity(const char* const* table, int size, const std::string& parity) {
    for (int i = 0; i < size; ++i)
        if (parity == table[i]) return i;
    return -1;
}

// The add-on digits that m elements leave room for after the main symbol: 0, 2 or 5; -1
// when m fits none.
int AddonDigits(const TLayout& layout, int m) {
    return m == layout.elements        ? 0
           : m == layout.elements + 14 ? 2
           : m == layout.elements + 32 ? 5
                                       : -1;
}

// One decode's reading, element by element from the left: the nominal modules per element,
// the digits and the sets they came from, the decodability and the characters' width so far.
// Each step returns false once the attempt has failed.
class TEanUpcReader {
public:
    TEanUpcReader(btCodeTypes type, TWidths widths, TAttempt& attempt)
        : type_(type), layout_(LayoutOf(type)), widths_(widths), attempt_(attempt) {
        modules_.reserve(widths.size());
    }

    // The main symbol's guards and characters.
    bool ReadSymbol() {
        if (!Guard(kGuard)) return Failed("no start guard");
        if (!Characters(layout_.left, true)) return Failed(CharacterFailure());
        if (type_ == btCodeTypes::UPC_E) return Guard(kUpcEEnd) || Failed("no end guard");
        if (!Guard(kCentre)) return Failed("no centre guard");
        if (!Characters(layout_.right, false)) return Failed(CharacterFailure());
        return Guard(kGuard) || Failed("no end guard");
    }

    // The number with its check digit, which must be right.
    bool ReadNumber() {
        std::string text;
        if (!NumberFromParity(text)) return false;
        char buffer[16] = {};
        text.copy(buffer, text.size() - 1);
        AddCheckDigit(buffer, type_);
        if (buffer[text.size() - 1] != text.back())
            return Failed("wrong check digit: read " + text.substr(text.size() - 1) +
                          ", computed " + std::string(1, buffer[text.size() - 1]));
        attempt_.result.data = text;
        return true;
    }

    // The add-on of 2 or 5 digits after its gap, and its parity.
    bool ReadAddon(int addonDigits) {
        const int gapAt = pos_++;
        modules_.push_back(0); // set below, once X is known
        if (!Guard(kAddonStart)) return Failed("no add-on start guard");
        parity_.clear();
        digits_.clear();
        for (int d = 0; d < addonDigits; ++d) {
            if (d > 0 && !Guard(kDelineator)) return Failed("no add-on delineator");
            if (!Characters(1, true))
                return Failed("add-on character " + std::to_string(d + 1) +
                              ": its edges match no add-on character");
        }
        if (!AddonParityMatches(addonDigits)) return false;
        attempt_.result.addon = digits_;
        // The gap before the add-on: nominally 7 to 12 modules.
        const double x = width_ / (kModules * charactersRead_);
        modules_[gapAt] = std::clamp(std::round(widths_[gapAt] / x), 7.0, 12.0);
        return true;
    }

    // Transmitted (ISO/IEC 15424): the number with its check digit, UPC-A its 12 digits and
    // UPC-E its 8 (the number system 0, which its parity patterns stand for, the six digits
    // and the check digit), then the add-on's digits. "]E0" for EAN-13, UPC-A and UPC-E
    // alone, "]E3" for them with an add-on, "]E4" for EAN-8; an add-on after EAN-8 (no
    // application puts one there) is transmitted after its 8 digits the same way, and the
    // identifier stays "]E4", the one of the symbol that carries the number.
    void Finish() {
        TDecoded& result = attempt_.result;
        result.message = (type_ == btCodeTypes::UPC_E ? "0" : "") + result.data + result.addon;
        result.identifier = type_ == btCodeTypes::EAN_8 ? "]E4"
                            : result.addon.empty()      ? "]E0"
                                                        : "]E3";
        result.decodability = decodability_;
        result.moduleWidth = width_ / (kModules * charactersRead_);
        result.nominal.resize(modules_.size());
        for (std::size_t i = 0; i < modules_.size(); ++i)
            result.nominal[i] = modules_[i] * result.moduleWidth;
        result.ok = true;
    }

private:
    bool Failed(std::string why) {
        Fail(attempt_, std::move(why));
        return false;
    }

    bool Guard(std::span<const int> pattern) {
        if (!GuardMatches(widths_.subspan(pos_, pattern.size()), pattern)) return false;
        for (const int k : pattern) modules_.push_back(k);
        pos_ += static_cast<int>(pattern.size());
        return true;
    }

    // Reads `count` characters; digits and the sets they came from are appended.
    bool Characters(int count, bool leftHand) {
        for (int c = 0; c < count; ++c) {
            double margin = 0, p = 0;
            const TCandidate read = ReadCharacter(widths_.subspan(pos_, 4), leftHand, margin, p);
            if (read.set < 0) return false;
            digits_ += static_cast<char>('0' + read.digit);
            parity_ += read.set == kSetB ? 'B' : 'A';
            for (const int k : Table().widths[read.set][read.digit]) modules_.push_back(k);
            decodability_ = std::min(decodability_, margin);
            width_ += p;
            pos_ += 4;
            attempt_.progress = ++charactersRead_;
        }
        return true;
    }

    std::string CharacterFailure() const {
        return "character " + std::to_string(charactersRead_ + 1) + ": its edges match no " +
               std::string(layout_.name) + " character";
    }

    // The leading digit or check digit carried by the parity of the left half.
    bool NumberFromParity(std::string& text) {
        if (type_ == btCodeTypes::EAN_13) {
            const int first = FindParity(kEan13Parity, 10, parity_.substr(0, 6));
            if (first < 0)
                return Failed("the parity of the left half (" + parity_.substr(0, 6) +
                              ") stands for no leading digit");
            text = Digit(first) + digits_;
        } else if (type_ == btCodeTypes::UPC_E) {
            const int check = FindParity(kUpcEParity, 10, parity_);
            if (check < 0)
                return Failed("the parity of the characters (" + parity_ +
                              ") stands for no check digit");
            text = digits_ + Digit(check);
        } else {
            if (parity_.find('B') != std::string::npos)
                return Failed("the left half has even-parity characters, which " +
                              std::string(layout_.name) + " does not use");
            text = digits_;
        }
        return true;
    }

    // A 2-digit add-on's parity stands for its value modulo 4, a 5-digit one's for its check.
    bool AddonParityMatches(int addonDigits) {
        if (addonDigits == 2) {
            const int value = (digits_[0] - '0') * 10 + (digits_[1] - '0');
            if (parity_ != kAddon2Parity[value % 4])
                return Failed("the add-on's parity (" + parity_ + ") does not match its value " +
                              digits_);
            return true;
        }
        const int read = FindParity(kAddon5Parity, 10, parity_);
        if (read != Addon5Check(digits_.c_str()))
            return Failed("wrong add-on check: the parity (" + parity_ +
                          ") does not match the digits " + digits_);
        return true;
    }

    const btCodeTypes type_;
    const TLayout layout_;
    const TWidths widths_;
    TAttempt& attempt_;
    std::vector<double> modules_; // nominal modules per element
    std::string digits_, parity_;
    double decodability_ = 1, width_ = 0;
    int charactersRead_ = 0;
    int pos_ = 0;
};

} // namespace

TAttempt DecodeEanUpc(btCodeTypes type, TWidths widths) {
    TAttempt attempt;
    attempt.result.type = type;
    const TLayout layout = LayoutOf(type);
    const int m = static_cast<int>(widths.size());
    const int addonDigits = AddonDigits(layout, m);
    if (addonDigits < 0)
        return Fail(attempt,
                    std::to_string(m) + " elements: " +
                        (type == btCodeTypes::UPC_A || type == btCodeTypes::UPC_E ? "a " : "an ") +
                        layout.name + " symbol has " + std::to_string(layout.elements) + " (" +
                        std::to_string(layout.elements + 14) + " or " +
                        std::to_string(layout.elements + 32) + " with an add-on)");
    TEanUpcReader reader(type, widths, attempt);
    if (!reader.ReadSymbol() || !reader.ReadNumber()) return attempt;
    if (addonDigits > 0 && !reader.ReadAddon(addonDigits)) return attempt;
    reader.Finish();
    return attempt;
}

} // namespace varimark::decode
