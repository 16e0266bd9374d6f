// The wide/narrow symbologies: Code 39, Interleaved 2 of 5, Codabar and MSI Plessey.
#include "engine/LLBarcode.h"
#include "engine/SymbologyTables.h"

#include <cstring>

namespace varimark {

namespace {

int WideModules(btCodeRatio ratio) {
    return ratio == btCodeRatio::Ratio_2 ? 2 : 3;
}
int RatioIndex(btCodeRatio ratio) {
    return ratio == btCodeRatio::Ratio_2 ? 1 : 0;
}

// Copies a character's modules with one fixed-size copy; the bytes past its count are
// spaces that the next character overwrites (Modules has room: 52 characters of 16
// modules end at entry 832).
int PutRun16(std::uint8_t* modules, int pos, const TModuleRun& run, int ratio) {
    std::memcpy(modules + pos, run.modules[ratio], 16);
    return pos + run.count[ratio];
}

} // namespace

void TLLBarcode::BuildCode39() {
    const TBarCode39& table = BarCode39();
    const int ratio = RatioIndex(Params.Ratio);
    int pos = 1;
    std::uint8_t* elements = Code39Elements;
    for (char* p = CodeText; *p != '\0'; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 32);
        int index = table.IndexOf(static_cast<unsigned char>(*p));
        if (index < 0) index = 0; // a character not found takes the pattern of "0"
        std::memcpy(elements, table.Elements(index), 9);
        elements += 9;
        pos = PutRun16(Modules, pos, table.Run(index), ratio);
    }
    ModuleCount = pos - 1;
}

void TLLBarcode::BuildCode25() {
    BuildInterleaved(1, WideModules(Params.Ratio));
}

// ITF-14: Interleaved 2 of 5 of the 14 digits at the wide-to-narrow ratio of
// ItfWideQuarters, in units of a module's UnitsPerModule()th part.
void TLLBarcode::BuildITF14() {
    const int units = UnitsPerModule();
    BuildInterleaved(units, WideQuarters() * units / 4);
}

int TLLBarcode::WideQuarters() const {
    return Params.ItfWideQuarters < 9    ? 9
           : Params.ItfWideQuarters > 12 ? 12
                                         : Params.ItfWideQuarters;
}

int TLLBarcode::UnitsPerModule() const {
    if (Params.CodeType != btCodeTypes::ITF_14) return 1;
    const int quarters = WideQuarters();
    return quarters % 4 == 0 ? 1 : quarters % 2 == 0 ? 2 : 4;
}

// Interleaved 2 of 5 (ISO/IEC 16390): the start (four narrow elements), each pair of
// digits as five bars of the first and five spaces of the second, the stop (wide bar,
// narrow space, narrow bar); elements of narrow and wide entries of Modules.
void TLLBarcode::BuildInterleaved(int narrow, int wide) {
    const int digits = static_cast<int>(std::strlen(CodeText));
    std::uint8_t* flags = Code25Elements;
    int count = 0;
    for (int k = 0; k < 4; ++k) flags[count++] = 0; // start: four narrow elements
    const auto digitFlags = [](char c) {
        return kCode25Digits[(c >= '0' && c <= '9') ? c - '0' : 0];
    };
    for (int i = 0; i + 1 < digits; i += 2) {
        const char* bars = digitFlags(CodeText[i]);
        const char* spaces = digitFlags(CodeText[i + 1]);
        for (int k = 0; k < 5; ++k) {
            flags[count++] = bars[k] == '1' ? 1 : 0;
            flags[count++] = spaces[k] == '1' ? 1 : 0;
        }
    }
    flags[count++] = 1; // stop: wide bar, narrow space, narrow bar
    flags[count++] = 0;
    flags[count++] = 0;

    int pos = 1;
    for (int e = 0; e < count; ++e) pos = PutRun(pos, e % 2 == 0 ? 1 : 0, flags[e] ? wide : narrow);
    ModuleCount = pos - 1;
}

void TLLBarcode::BuildCodabar() {
    const TBarCodabar& table = BarCodabar();
    const int ratio = RatioIndex(Params.Ratio);
    int pos = 1;
    for (const char* p = CodeText; *p != '\0'; ++p) {
        int index = table.IndexOf(static_cast<unsigned char>(*p));
        if (index < 0) index = 0;
        pos = PutRun16(Modules, pos, table.Run(index), ratio);
    }
    ModuleCount = pos - 1;
}

void TLLBarcode::BuildMSI() {
    const int wide = WideModules(Params.Ratio);
    int pos = 1;
    const auto putBit = [&](char bit) {
        // "1": wide bar and narrow space; "0": narrow bar and wide space.
        pos = PutRun(pos, 1, bit == '1' ? wide : 1);
        pos = PutRun(pos, 0, bit == '1' ? 1 : wide);
    };
    putBit('1'); // start
    for (const char* p = CodeText; *p != '\0'; ++p) {
        const char* bits = kMsiDigits[(*p >= '0' && *p <= '9') ? *p - '0' : 0];
        for (int k = 0; k < 4; ++k) putBit(bits[k]);
    }
    putBit('0'); // stop
    putBit('0');
    ModuleCount = pos - 1;
}

void TLLBarcode::FormatCode25iP(char* text) const {
    const std::size_t len = std::strlen(text);
    char out[24];
    std::size_t n = 0;
    const auto copy = [&](std::size_t from, std::size_t to) { // characters from..to, from 1
        for (std::size_t i = from; i <= to; ++i) out[n++] = text[i - 1];
    };
    const auto spaces = [&] {
        for (int k = 0; k < 3; ++k) out[n++] = ' ';
    };
    if (len == 14) {
        copy(1, 5), out[n++] = '.', copy(6, 8), out[n++] = '.', copy(9, 11), out[n++] = '.';
        copy(12, 13), spaces(), copy(14, 14);
    } else if (len == 12) {
        std::size_t g = Params.GroupSplit < 2 ? 2 : Params.GroupSplit > 11 ? 11 : Params.GroupSplit;
        copy(1, 2), out[n++] = '.', copy(3, g), spaces(), copy(g + 1, 11), spaces(), copy(12, 12);
    } else {
        return;
    }
    std::memcpy(text, out, n);
    text[n] = '\0';
}

} // namespace varimark
