#include "engine/SymbologyTables.h"

#include <array>
#include <cstring>

namespace varimark {

namespace {

// Lays out a character of alternating bar/space elements ("1" = wide) as modules,
// followed by `gap` space modules, for both ratios.
TModuleRun LayOutElements(const char* flags, int gap) {
    TModuleRun run{};
    for (int ratio = 0; ratio < 2; ++ratio) {
        const int wide = ratio == 0 ? 3 : 2;
        int n = 0;
        for (int e = 0; flags[e] != '\0'; ++e) {
            const std::uint8_t bar = (e % 2 == 0) ? 1 : 0;
            const int width = flags[e] == '1' ? wide : 1;
            for (int k = 0; k < width; ++k) run.modules[ratio][n++] = bar;
        }
        for (int k = 0; k < gap; ++k) run.modules[ratio][n++] = 0;
        run.count[ratio] = static_cast<std::uint8_t>(n);
    }
    return run;
}

void BuildIndex(std::int8_t (&index)[256], const char* alphabet) {
    std::memset(index, -1, sizeof index);
    for (int i = 0; alphabet[i] != '\0'; ++i)
        index[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
}

constexpr const char* kEanSetStrings[3][10] = {
    // Set A: left-hand, odd parity
    {"0001101", "0011001", "0010011", "0111101", "0100011", "0110001", "0101111", "0111011",
     "0110111", "0001011"},
    // Set B: left-hand, even parity
    {"0100111", "0110011", "0011011", "0100001", "0011101", "0111001", "0000101", "0010001",
     "0001001", "0010111"},
    // Set C: right-hand
    {"1110010", "1100110", "1101100", "1000010", "1011100", "1001110", "1010000", "1000100",
     "1001000", "1110100"},
};

constexpr TEanSets MakeEanSets() {
    TEanSets sets{};
    for (int s = 0; s < 3; ++s)
        for (int d = 0; d < 10; ++d)
            for (int k = 0; k < 7; ++k) sets[s][d][k] = kEanSetStrings[s][d][k] == '1' ? 1 : 0;
    return sets;
}

} // namespace

const char* const TBarCode39::kPatterns[TBarCode39::kCount] = {
    "000110100", "100100001", "001100001", "101100000", "000110001", "100110000", "001110000",
    "000100101", "100100100", "001100100", "100001001", "001001001", "101001000", "000011001",
    "100011000", "001011000", "000001101", "100001100", "001001100", "000011100", "100000011",
    "001000011", "101000010", "000010011", "100010010", "001010010", "000000111", "100000110",
    "001000110", "000010110", "110000001", "011000001", "111000000", "010010001", "110010000",
    "011010000", "010000101", "110000100", "011000100", "010101000", "010100010", "010001010",
    "000101010", "010010100"};

TBarCode39::TBarCode39() {
    BuildIndex(index_, kAlphabet);
    for (int i = 0; i < kCount; ++i) {
        runs_[i] = LayOutElements(kPatterns[i], 1);
        for (int e = 0; e < 9; ++e) elements_[i][e] = kPatterns[i][e] == '1' ? 1 : 0;
    }
}

// Bar, space, bar, space, bar, space widths of the Code 128 symbol characters; STOP
// holds its first six widths, the builder adds the final 2-module bar.
const char* const TBarCode128::kWidths[TBarCode128::kCount] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122", "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123", "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331", "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412", "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111", "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "233111"};

TBarCode128::TBarCode128() {
    for (int v = 0; v < kCount; ++v) {
        int n = 0;
        for (int e = 0; e < 6; ++e) {
            const std::uint8_t bar = (e % 2 == 0) ? 1 : 0;
            for (int k = 0; k < kWidths[v][e] - '0'; ++k) patterns_[v][n++] = bar;
        }
    }
}

const char* const TBarCodabar::kPatterns[TBarCodabar::kCount] = {
    "0000011", "0000110", "0001001", "1100000", "0010010", "1000010", "0100001",
    "0100100", "0110000", "1001000", "0001100", "0011000", "1000101", "1010001",
    "1010100", "0010101", "0011010", "0101001", "0001011", "0001110"};

TBarCodabar::TBarCodabar() {
    BuildIndex(index_, kAlphabet);
    for (int i = 0; i < kCount; ++i) runs_[i] = LayOutElements(kPatterns[i], 1);
}

const char* const TBarPostnet::kDigitBars[10] = {"11000", "00011", "00101", "00110", "01001",
                                                 "01010", "01100", "10001", "10010", "10100"};
const char* const TBarPostnet::kFimBars[3] = {"110010011", "101101101", "110101011"};

const TBarCode39& BarCode39() {
    static const TBarCode39 kTable; // built at its first use
    return kTable;
}
const TBarCode128& BarCode128() {
    static const TBarCode128 kTable; // built at its first use
    return kTable;
}
const TBarCodabar& BarCodabar() {
    static const TBarCodabar kTable; // built at its first use
    return kTable;
}
const TBarPostnet& BarPostnet() {
    static const TBarPostnet kTable; // built at its first use
    return kTable;
}

extern constexpr TEanSets kEanSets = MakeEanSets();

const char* const kEan13Parity[10] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                      "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};
const char* const kUpcEParity[10] = {"BBBAAA", "BBABAA", "BBAABA", "BBAAAB", "BABBAA",
                                     "BAABBA", "BAAABB", "BABABA", "BABAAB", "BAABAB"};
const char* const kAddon2Parity[4] = {"AA", "AB", "BA", "BB"};
const char* const kAddon5Parity[10] = {"BBAAA", "BABAA", "BAABA", "BAAAB", "ABBAA",
                                       "AABBA", "AAABB", "ABABA", "ABAAB", "AABAB"};
int Addon5Check(const char* digits) {
    const auto d = [digits](int i) { return digits[i] - '0'; };
    return (3 * (d(0) + d(2) + d(4)) + 9 * (d(1) + d(3))) % 10;
}

const char* const kUpcETemplates[10] = {"XX00000XXX", "XX10000XXX", "XX20000XXX", "XXX00000XX",
                                        "XXXX00000X", "XXXXX00005", "XXXXX00006", "XXXXX00007",
                                        "XXXXX00008", "XXXXX00009"};

const char* const kCode25Digits[10] = {"00110", "10001", "01001", "11000", "00101",
                                       "10100", "01100", "00011", "10010", "01010"};
const char* const kMsiDigits[10] = {"0000", "0001", "0010", "0011", "0100",
                                    "0101", "0110", "0111", "1000", "1001"};

} // namespace varimark
