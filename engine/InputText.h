#pragma once
// The text of a UTF-8 interface (the library and its C and Python APIs, the command line)
// as the engine's 8-bit text, checked, not repaired: a character the symbology cannot
// carry, a wrong EAN/UPC check digit, a length the symbology does not take or an empty
// text is refused with what and where it is. The desktop program types Windows-1252 and
// keeps the engine's repairs; so do callers that ask for them (`repair`).
#include "engine/BarcodeParams.h"
#include "engine/BarcodeTypes.h"
#include "varimark/error.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace varimark {

// A text refused: the message names the character and its place, or what is missing.
class ETextRefused : public Error {
public:
    using Error::Error;
};

// The longest UTF-8 text that can fit the caption: every byte of the engine's text comes
// from at most four of it (a character, or an escape "\xNN").
inline constexpr std::size_t kMaxTextBytes = 4 * std::size_t{TBarcodeParams::kMaxCaption};

struct TTextRules {
    bool escapes = false; // "\xNN" and "\\" stand for bytes of the 8-bit text
    bool repair = false;  // the engine's repairs instead of refusals
};

// GS1-128's limit of data characters (GS1 General Specifications; Gs1DataCharacterCount).
inline constexpr std::size_t kGs1MaxDataCharacters = 48;
// The engine's byte for Code 128's FNC1 (the escape \x86): GS1-128's caption holds it as
// the separator after an element of variable length.
inline constexpr unsigned char kEngineFnc1 = 134;

// The text for the type, as the engine takes it. GS1_128 takes AIs in brackets,
// "(01)09501101530003(10)AB-123", checked against the AI table (EGs1Data's message as
// ETextRefused) and gives the element string with kEngineFnc1 as separator; escapes and
// repair do not apply to it. Raises ETextRefused, EEscape for a
// bad escape and ENulInText for a NUL byte (engine/Escapes.h); a text of more than
// kMaxTextBytes, which cannot fit the caption, raises the caption's own EOverflow
// (kCaptionTooLong) before it is taken apart, whatever the type and rules. With repair, a
// character outside Windows-1252 (or a byte of malformed UTF-8) becomes '?' and nothing
// else is checked but the NUL.
std::string CheckedText(std::string_view utf8, btCodeTypes type, TTextRules rules);

// An add-on's digits: none, or 2 or 5 digits for EAN-13, UPC-A and UPC-E. With repair,
// converted as before (the engine takes what it can).
std::string CheckedAddon(std::string_view utf8, btCodeTypes type, bool repair);

// The engine's "BarcoLL: Code128 error" with the first character of text (8-bit) that the
// type cannot carry named after it, when there is one.
std::string Code128Error(std::string_view text, btCodeTypes type);

} // namespace varimark
