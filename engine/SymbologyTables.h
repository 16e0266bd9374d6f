#pragma once
// The symbology tables. The four table objects exist once, each built at its first use
// (a barcode that needs none of them, an EAN-13, builds none) and read-only after.
// Besides the published character tables they hold each character's modules laid out
// ready to copy, so the builders only copy bytes.
#include <array>
#include <cstdint>

namespace varimark {

// A character's modules (0/1 bytes) at Ratio_3 and Ratio_2, with their counts; the
// places after the count are spaces, so a fixed 16-byte copy is always right.
struct TModuleRun {
    std::uint8_t modules[2][16];
    std::uint8_t count[2];
};

class TBarCode39 {
public:
    static constexpr const char* kAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";
    static constexpr int kCount = 44;
    TBarCode39();
    // Position of an (uppercase) character in the alphabet, -1 when not found.
    int IndexOf(unsigned char c) const { return index_[c]; }
    // The nine element flags of a character as bytes, 1 = wide.
    const std::uint8_t* Elements(int index) const { return elements_[index]; }
    // Modules of a character with its inter-character gap.
    const TModuleRun& Run(int index) const { return runs_[index]; }
    static const char* const kPatterns[kCount];

private:
    std::int8_t index_[256];
    std::uint8_t elements_[kCount][9];
    TModuleRun runs_[kCount];
};

class TBarCode128 {
public:
    static constexpr int kCount = 107; // values 0..106, held as the characters 32..138
    TBarCode128();
    const std::uint8_t* Pattern(int value) const { return patterns_[value]; }
    static const char* const kWidths[kCount];

private:
    std::uint8_t patterns_[kCount][11];
};

class TBarCodabar {
public:
    static constexpr const char* kAlphabet = "0123456789-$:/.+ABCD";
    static constexpr int kCount = 20;
    TBarCodabar();
    int IndexOf(unsigned char c) const { return index_[c]; }
    // Modules of a character with its inter-character gap.
    const TModuleRun& Run(int index) const { return runs_[index]; }
    static const char* const kPatterns[kCount];

private:
    std::int8_t index_[256];
    TModuleRun runs_[kCount];
};

class TBarPostnet {
public:
    static const char* const kDigitBars[10];
    static const char* const kFimBars[3]; // FIM-A, FIM-B, FIM-C
};

const TBarCode39& BarCode39();
const TBarCode128& BarCode128();
const TBarCodabar& BarCodabar();
const TBarPostnet& BarPostnet();

// EAN/UPC number sets A (odd), B (even) and C (right-hand) as 0/1 bytes.
using TEanSets = std::array<std::array<std::array<std::uint8_t, 7>, 10>, 3>;
extern const TEanSets kEanSets;             // [set][digit][module]
extern const char* const kEan13Parity[10];  // by the leading digit
extern const char* const kUpcEParity[10];   // by the check digit
extern const char* const kAddon2Parity[4];  // by the value modulo 4
extern const char* const kAddon5Parity[10]; // by the add-on check value
// The five-digit add-on's check value (ISO/IEC 15420 annex on add-on symbols): digits in the
// odd places weigh 3, those in the even places 9, the sum modulo 10. digits holds five '0'..'9'.
int Addon5Check(const char* digits);
extern const char* const kUpcETemplates[10]; // by the sixth UPC-E digit

// Interleaved 2 of 5: five width flags per digit, "1" = wide.
extern const char* const kCode25Digits[10];
// MSI Plessey: four bits per digit, most significant first.
extern const char* const kMsiDigits[10];

} // namespace varimark
