// EAN-8, EAN-13, UPC-A, UPC-E and the 2- and 5-digit add-ons.
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"
#include "engine/SymbologyTables.h"

#include <cstring>

namespace varimark {

namespace {

constexpr std::uint8_t kGuard[] = {1, 0, 1};
constexpr std::uint8_t kCentre[] = {0, 1, 0, 1, 0};
constexpr std::uint8_t kUpcEEnd[] = {0, 1, 0, 1, 0, 1};
constexpr std::uint8_t kAddonStart[] = {1, 0, 1, 1};
constexpr std::uint8_t kDelineator[] = {0, 1};
constexpr int kSetC = 2;

int Digit(char c) {
    return c - '0';
}

// The number set that a parity letter selects.
int ParitySet(char letter, const char* message) {
    if (letter == 'A') return 0;
    if (letter == 'B') return 1;
    throw EOverflow(message);
}

} // namespace

void TLLBarcode::BuildEAN8() {
    int pos = PutPattern(1, kGuard, 3);
    for (int i = 0; i < 4; ++i) pos = PutPattern(pos, kEanSets[0][Digit(CodeText[i])].data(), 7);
    pos = PutPattern(pos, kCentre, 5);
    for (int i = 4; i < 8; ++i)
        pos = PutPattern(pos, kEanSets[kSetC][Digit(CodeText[i])].data(), 7);
    pos = PutPattern(pos, kGuard, 3);
    ModuleCount = pos - 1;
}

void TLLBarcode::BuildEAN13() {
    const char* parity = kEan13Parity[Digit(CodeText[0])];
    const char* message = "Barcode: Wrong EAN-charset (Internal error)";
    int pos = PutPattern(1, kGuard, 3);
    for (int i = 1; i < 7; ++i)
        pos = PutPattern(pos,
                         kEanSets[ParitySet(parity[i - 1], message)][Digit(CodeText[i])].data(), 7);
    pos = PutPattern(pos, kCentre, 5);
    for (int i = 7; i < 13; ++i)
        pos = PutPattern(pos, kEanSets[kSetC][Digit(CodeText[i])].data(), 7);
    pos = PutPattern(pos, kGuard, 3);
    ModuleCount = pos - 1;
}

void TLLBarcode::BuildUPCA() {
    int pos = PutPattern(1, kGuard, 3);
    for (int i = 0; i < 6; ++i) pos = PutPattern(pos, kEanSets[0][Digit(CodeText[i])].data(), 7);
    pos = PutPattern(pos, kCentre, 5);
    for (int i = 6; i < 12; ++i)
        pos = PutPattern(pos, kEanSets[kSetC][Digit(CodeText[i])].data(), 7);
    pos = PutPattern(pos, kGuard, 3);
    ModuleCount = pos - 1;
}

void TLLBarcode::BuildUPCE() {
    const char* parity = kUpcEParity[Digit(CodeText[6])];
    const char* message = "Barcode: Wrong EAN-charset (Internal error)";
    int pos = PutPattern(1, kGuard, 3);
    for (int i = 0; i < 6; ++i)
        pos =
            PutPattern(pos, kEanSets[ParitySet(parity[i], message)][Digit(CodeText[i])].data(), 7);
    pos = PutPattern(pos, kUpcEEnd, 6);
    ModuleCount = pos - 1;
}

namespace {
// Writes the add-on start guard and its digits with delineators from module 105.
int PutAddon(std::uint8_t* modules, const char* digits, const char* parity) {
    std::memcpy(modules + 105, kAddonStart, 4);
    int pos = 109;
    for (int i = 0; digits[i] != '\0'; ++i) {
        if (i > 0) {
            std::memcpy(modules + pos, kDelineator, 2);
            pos += 2;
        }
        const int set = ParitySet(parity[i], "AddonCode: Wrong EAN-charset (Internal error)");
        std::memcpy(modules + pos, kEanSets[set][Digit(digits[i])].data(), 7);
        pos += 7;
    }
    return pos; // the one entry after the last bar module counts as a space
}
} // namespace

void TLLBarcode::BuildAddon2() {
    const int value = Digit(Params.CodeAddon[0]) * 10 + Digit(Params.CodeAddon[1]);
    ModuleCount = PutAddon(Modules, Params.CodeAddon, kAddon2Parity[value % 4]);
}

void TLLBarcode::BuildAddon5() {
    ModuleCount = PutAddon(Modules, Params.CodeAddon, kAddon5Parity[Addon5Check(Params.CodeAddon)]);
}

} // namespace varimark
