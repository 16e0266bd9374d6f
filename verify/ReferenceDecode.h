#pragma once
// Reference decoding: the widths of one scan's elements read back into the symbol's data
// the way a verifier decodes, with the decodability of the weakest character.
#include "engine/BarcodeTypes.h"

#include <span>
#include <string>
#include <vector>

namespace varimark {

struct TDecoded {
    bool ok = false;
    btCodeTypes type{};
    // Exactly the prepared text the engine makes for the symbol (TLLBarcode::CodeText):
    // Code 39 with its "*" at both ends, Codabar with its start and stop letters, Code 128 as
    // the engine's bytes (symbol value + 32, from the start byte 135..137 through the check
    // character to the stop byte 138), check digits included.
    std::string data;
    std::string addon; // an EAN/UPC add-on's digits, "" when none
    // The data as a scanner transmits it (bytes; Code 128 bytes above 127 come from FNC4
    // and are ISO/IEC 8859-1): Code 39 without its start and stop, Code 128 its data
    // characters only (FNC1 in first place gives the identifier "]C1", elsewhere the byte
    // 29), EAN/UPC every digit with the add-on's after them, UPC-E its 8 digits. Codabar
    // with its start and stop letters; Interleaved 2 of 5 and MSI Plessey every digit.
    // Empty when !ok; Code 128 data characters that are all instructions (FNC1, FNC2, FNC3,
    // code set changes) transmit nothing.
    std::string message;
    // The symbology identifier (ISO/IEC 15424): "]A0" Code 39, "]C0", "]C1" or "]C2" Code
    // 128, "]E0", "]E3" (with an add-on) or "]E4" (EAN-8) EAN/UPC, "]I0" Interleaved 2 of 5,
    // "]F0" Codabar, "]M0" MSI Plessey; empty when !ok.
    std::string identifier;
    double decodability = 0; // 0..1 over every character; 1 when every edge lies where the
                             // nominal widths put it
    double moduleWidth = 0;  // X: the narrow element / module width, in the widths' unit
    // Per element, in the order given: the width it should have, a gain-free estimate in the
    // widths' unit.
    std::vector<double> nominal;
    bool reversed = false; // read right to left (the symbol turned half round)
    std::string failure;   // when !ok: why, one plain sentence
};

// Why a postal symbol is not graded.
inline constexpr const char* kPostalNotGraded =
    "Postnet and FIM are postal symbols, outside ISO/IEC 15416 print-quality grading";

// widths: the elements from the first bar's leading edge to the last bar's trailing edge,
// bar, space, bar, ... (an odd count), any unit, read left to right. A symbol scanned right
// to left decodes as well: the reversed order is tried when the given one fails.
// Code 128: any of the three types decodes any start character, and `type` names the code
// set of the start character that was read. GS1_128 decodes a Code 128 symbol whose first
// data character is FNC1 and no other; ITF_14 an Interleaved 2 of 5 symbol of 14 digits
// whose last is the GS1 check digit of the others (bearer bars are not in the widths).
// MSI Plessey: the last digit must be its check digit. Interleaved 2 of 5: no check digit
// is required (the engine adds one only to an odd number of typed digits). Code 39 and
// Codabar carry no check character.
TDecoded ReferenceDecode(btCodeTypes type, std::span<const double> widths);

// Every linear type in turn; the first that decodes. The order is EAN-8, UPC-E, UPC-A,
// EAN-13 (so an EAN-13 symbol whose first digit is 0, which is the same symbol as a UPC-A
// one, is reported as UPC_A), Code 39, Code 128 (as the start character's code set, or
// GS1_128 when its first data character is FNC1), Interleaved 2 of 5 (CODE25iP when its
// last digit is that type's check digit and not CODE25i's; no check digit is required, as
// the encoder gives one only to an odd count of digits), MSI Plessey, Codabar. A read is believed
// only when it could be a symbol: at least 6 digits of Interleaved 2 of 5, 4 Codabar characters
// with start and stop, an MSI Plessey symbol of other digits than zeros.
TDecoded ReferenceDecodeAny(std::span<const double> widths);

} // namespace varimark
