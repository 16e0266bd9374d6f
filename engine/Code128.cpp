// Code 128: code-set mapping, and the pattern builder.
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"
#include "engine/SymbologyTables.h"

#include <array>
#include <cstring>

namespace varimark {

namespace {

enum class CodeSet { None, A, B, C };

constexpr unsigned char kStartA = 135, kStartB = 136, kStartC = 137;
constexpr unsigned char kCodeC = 131, kCodeB = 132, kCodeA = 133, kFnc1 = 134, kStop = 138;

// GS1-128's code sets as indexes: A, B, C.
constexpr int kSetA = 0, kSetB = 1, kSetC = 2;
constexpr unsigned char kCodeTo[3] = {kCodeA, kCodeB, kCodeC};
constexpr unsigned char kStartIn[3] = {kStartA, kStartB, kStartC};

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// How many characters of text from i one symbol character of the set takes: FNC1 in every
// set, a pair of digits in C, ASCII 32..95 in A and 32..127 in B (ISO/IEC 15417's table of
// symbol characters); 0 when the set has none for them.
std::size_t Takes(std::string_view text, std::size_t i, int set) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == kFnc1) return 1;
    if (set == kSetC)
        return IsDigit(c) && i + 1 < text.size() && IsDigit(static_cast<unsigned char>(text[i + 1]))
                   ? 2
                   : 0;
    return c >= 32 && c <= (set == kSetA ? 95 : 127) ? 1 : 0;
}

} // namespace

// The shortest symbol by an exact search over the code sets (ISO/IEC 15417 Annex E's rules
// are a shortcut towards a short one; the search needs no rule): best[i][set] is the fewest
// symbol characters that encode text from i on when set is in force there, with the fewest
// code set changes among those (a cost of chars * 64 + changes; text has at most 51
// characters).
// Where two ways tie, staying in the set comes first, then B, C, A.
std::size_t TLLBarcode::MapGs1Code128(std::string_view elements, char* out) {
    if (elements.size() > static_cast<std::size_t>(TBarcodeParams::kMaxCaption))
        throw EOverflow(kCaptionTooLong);
    std::array<char, TBarcodeParams::kMaxCaption + 1> buffer{};
    buffer[0] = static_cast<char>(kFnc1); // FNC1 in first position: GS1 data follows
    std::memcpy(buffer.data() + 1, elements.data(), elements.size());
    const std::string_view text(buffer.data(), elements.size() + 1);
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i)
        if (Takes(text, i, kSetB) == 0) throw EOverflow(kCode128Refusal);

    constexpr int kNone = 1 << 30;
    constexpr int kChar = 64, kChange = 1;
    constexpr int kOrder[3] = {kSetB, kSetC, kSetA};
    std::array<std::array<int, 3>, TBarcodeParams::kMaxCaption + 2> best{};
    std::array<std::array<int, 3>, TBarcodeParams::kMaxCaption + 2> next{}; // set after i
    for (std::size_t i = n; i-- > 0;) {
        for (int set = 0; set < 3; ++set) {
            int cost = kNone, to = set;
            if (const std::size_t k = Takes(text, i, set); k != 0) cost = kChar + best[i + k][set];
            for (const int other : kOrder) {
                const std::size_t k = other == set ? 0 : Takes(text, i, other);
                if (k == 0) continue;
                const int changed = 2 * kChar + kChange + best[i + k][other];
                if (changed < cost) cost = changed, to = other;
            }
            best[i][set] = cost;
            next[i][set] = to;
        }
    }
    int set = kSetB;
    for (const int start : kOrder)
        if (best[0][start] < best[0][set]) set = start;

    std::size_t length = 0;
    out[length++] = static_cast<char>(kStartIn[set]);
    for (std::size_t i = 0; i < n;) {
        const int to = next[i][set];
        if (to != set) out[length++] = static_cast<char>(kCodeTo[to]);
        set = to;
        const auto c = static_cast<unsigned char>(text[i]);
        if (set == kSetC && c != kFnc1) {
            out[length++] = static_cast<char>(32 + (c - '0') * 10 + (text[i + 1] - '0'));
            i += 2;
        } else {
            out[length++] = static_cast<char>(c); // FNC1, or value c - 32 in set A or B
            ++i;
        }
    }
    out[length++] = static_cast<char>(kStop);
    out[length] = '\0';
    return length;
}

namespace {

// MapCode128's state as it reads the text: the code set, a digit waiting for its partner
// in code set C, and what is written so far.
class TCode128Mapper {
public:
    TCode128Mapper(bool humanReadable, char* out) : humanReadable_(humanReadable), out_(out) {}

    // One character of the text; false at its end (255).
    bool Take(unsigned char c) {
        if (c == 255) return false;
        if (c == kStartA || c == kStartB || c == kStartC) {
            set_ = c == kStartA ? CodeSet::A : c == kStartB ? CodeSet::B : CodeSet::C;
            if (!humanReadable_) Put(c);
        } else if (c == kCodeC || c == kCodeB || c == kCodeA) {
            TakeCodeSetCharacter(c);
        } else if (set_ == CodeSet::C) {
            TakeSetCCharacter(c);
        } else if (!humanReadable_) {
            Put(c);
        } else if (set_ == CodeSet::A) {
            Put(c <= 95 ? c : ' ');
        } else if (set_ == CodeSet::B) {
            Put(c <= 126 ? c : ' ');
        } else {
            Put(' ');
        }
        return true;
    }

    // The digit still waiting, the stop, the terminating zero; returns the length.
    std::size_t Finish() {
        if (set_ == CodeSet::C && pending_ != '\0') {
            if (!humanReadable_) Put(kCodeA);
            Put(static_cast<unsigned char>(pending_));
        }
        if (!humanReadable_) Put(kStop);
        out_[length_] = '\0';
        return length_;
    }

private:
    void Put(unsigned char c) {
        if (length_ + 1 < TLLBarcode::kMapCode128Capacity) out_[length_++] = static_cast<char>(c);
    }

    // CODE C, CODE B or CODE A: a switch from another set; in its own set (or before a
    // start) a space on the line, the character itself otherwise.
    void TakeCodeSetCharacter(unsigned char c) {
        if (c == kCodeC && (set_ == CodeSet::A || set_ == CodeSet::B)) {
            set_ = CodeSet::C;
            if (!humanReadable_) Put(c);
        } else if (c == kCodeB && (set_ == CodeSet::A || set_ == CodeSet::C)) {
            LeaveSetC(CodeSet::B, c);
        } else if (c == kCodeA && (set_ == CodeSet::B || set_ == CodeSet::C)) {
            LeaveSetC(CodeSet::A, c);
        } else {
            Put(humanReadable_ ? ' ' : c);
        }
    }

    // A code-set character that leaves set C while a digit waits: the digit follows the
    // switch as a symbol of its own, so no typed digit is lost.
    void LeaveSetC(CodeSet to, unsigned char c) {
        const bool flush = set_ == CodeSet::C && pending_ != '\0';
        set_ = to;
        if (!humanReadable_) Put(c);
        if (flush) {
            Put(static_cast<unsigned char>(pending_));
            pending_ = '\0';
        }
    }

    // In code set C: a digit waits for its partner, then the pair goes out as two digits on
    // the line or one symbol value; FNC1 stands alone; anything else counts as a 0.
    void TakeSetCCharacter(unsigned char c) {
        const char digit = (c >= '0' && c <= '9') ? static_cast<char>(c) : '0';
        if (pending_ == '\0') {
            if (c == kFnc1)
                Put(humanReadable_ ? ' ' : c);
            else
                pending_ = digit;
            return;
        }
        if (humanReadable_) {
            Put(static_cast<unsigned char>(pending_));
            Put(static_cast<unsigned char>(digit));
        } else {
            Put(static_cast<unsigned char>(32 + (pending_ - '0') * 10 + (digit - '0')));
        }
        pending_ = '\0';
    }

    const bool humanReadable_;
    char* const out_;
    CodeSet set_ = CodeSet::None;
    char pending_ = '\0';
    std::size_t length_ = 0;
};

} // namespace

std::size_t TLLBarcode::MapCode128(const char* text, bool humanReadable, char* out) {
    TCode128Mapper mapper(humanReadable, out);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p)
        if (!mapper.Take(*p)) break;
    return mapper.Finish();
}

void TLLBarcode::BuildCode128() {
    const TBarCode128& table = BarCode128();
    int pos = 1;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(CodeText); *p != 0; ++p) {
        const int value = *p - 32;
        if (value < 0 || value >= TBarCode128::kCount) throw EOverflow(kCode128Refusal);
        pos = PutPattern(pos, table.Pattern(value), 11);
    }
    pos = PutRun(pos, 1, 2); // the final bar of STOP
    ModuleCount = pos - 1;
}

} // namespace varimark
