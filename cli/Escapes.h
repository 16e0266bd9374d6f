#pragma once
// Backslash escapes of the --esc option, applied to the engine's 8-bit text.
#include <stdexcept>
#include <string>

namespace varimark::cli {

// A backslash sequence other than \xNN or \\. The message names the sequence (as UTF-8).
class EscapeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Replaces, in place, each "\xNN" (two hex digits, either case) by the byte NN and each "\\"
// by one backslash, so that every byte 0..255 can be written. Throws EscapeError for any
// other backslash sequence, including a backslash at the end; text is then left half rewritten.
void ExpandEscapes(std::string& text);

} // namespace varimark::cli
