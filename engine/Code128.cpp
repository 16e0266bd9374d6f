// Code 128: code-set mapping, and the pattern builder.
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"
#include "engine/SymbologyTables.h"

#include <cstring>

namespace varimark {

namespace {

enum class CodeSet { None, A, B, C };

constexpr unsigned char kStartA = 135, kStartB = 136, kStartC = 137;
constexpr unsigned char kCodeC = 131, kCodeB = 132, kCodeA = 133, kFnc1 = 134, kStop = 138;

} // namespace

std::size_t TLLBarcode::MapCode128(const char* text, bool humanReadable, char* out) {
    CodeSet set = CodeSet::None;
    char pending = '\0'; // digit waiting for its partner in code set C
    std::size_t n = 0;
    const auto put = [&](unsigned char c) {
        if (n + 1 < kMapCode128Capacity) out[n++] = static_cast<char>(c);
    };
    // A code-set character that leaves set C while a digit waits: the digit follows the
    // switch as a symbol of its own, so no typed digit is lost.
    const auto leaveSetC = [&](CodeSet to, unsigned char c) {
        const bool flush = set == CodeSet::C && pending != '\0';
        set = to;
        if (!humanReadable) put(c);
        if (flush) {
            put(static_cast<unsigned char>(pending));
            pending = '\0';
        }
    };

    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        const unsigned char c = *p;
        if (c == 255) break; // end of the text
        if (c == kStartA || c == kStartB || c == kStartC) {
            set = c == kStartA ? CodeSet::A : c == kStartB ? CodeSet::B : CodeSet::C;
            if (!humanReadable) put(c);
        } else if (c == kCodeC) {
            if (set == CodeSet::A || set == CodeSet::B) {
                set = CodeSet::C;
                if (!humanReadable) put(c);
            } else {
                put(humanReadable ? ' ' : c);
            }
        } else if (c == kCodeB) {
            if (set == CodeSet::A || set == CodeSet::C)
                leaveSetC(CodeSet::B, c);
            else
                put(humanReadable ? ' ' : c);
        } else if (c == kCodeA) {
            if (set == CodeSet::B || set == CodeSet::C)
                leaveSetC(CodeSet::A, c);
            else
                put(humanReadable ? ' ' : c);
        } else if (set == CodeSet::C) {
            const char digit = (c >= '0' && c <= '9') ? static_cast<char>(c) : '0';
            if (pending == '\0') {
                if (c == kFnc1)
                    put(humanReadable ? ' ' : c);
                else
                    pending = digit;
            } else {
                if (humanReadable) {
                    put(static_cast<unsigned char>(pending));
                    put(static_cast<unsigned char>(digit));
                } else {
                    put(static_cast<unsigned char>(32 + (pending - '0') * 10 + (digit - '0')));
                }
                pending = '\0';
            }
        } else if (!humanReadable) {
            put(c);
        } else if (set == CodeSet::A) {
            put(c <= 95 ? c : ' ');
        } else if (set == CodeSet::B) {
            put(c <= 126 ? c : ' ');
        } else {
            put(' ');
        }
    }
    if (set == CodeSet::C && pending != '\0') {
        if (!humanReadable) put(kCodeA);
        put(static_cast<unsigned char>(pending));
    }
    if (!humanReadable) put(kStop);
    out[n] = '\0';
    return n;
}

void TLLBarcode::BuildCode128() {
    const TBarCode128& table = BarCode128();
    int pos = 1;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(CodeText); *p != 0; ++p) {
        const int value = *p - 32;
        if (value < 0 || value >= TBarCode128::Count) throw EOverflow(kCode128Refusal);
        pos = PutPattern(pos, table.Pattern(value), 11);
    }
    pos = PutRun(pos, 1, 2); // the final bar of STOP
    ModuleCount = pos - 1;
}

} // namespace varimark
