#pragma once
// Backslash escapes in texts (the command line's --esc, the library's Symbol::escapes),
// applied to the engine's 8-bit text.
#include "varimark/error.h"
#include <stdexcept>
#include <string>
#include <string_view>

namespace varimark {

// A backslash sequence other than \xNN or \\. The message names the sequence (as UTF-8).
class EEscape : public varimark::Error {
public:
    using varimark::Error::Error;
};

// A NUL byte in a text: the engine's texts end at the first one, so the rest would be
// lost without a word. It is an EEscape so that whoever reports a bad escape of a
// line (a batch) reports this the same way; a single text is refused with exit status 1.
class ENulInText : public EEscape {
public:
    using EEscape::EEscape;
};

// Raises ENulInText when the engine's 8-bit text holds a NUL byte.
void CheckNoNul(std::string_view text);

// Replaces, in place, each "\xNN" (two hex digits, either case) by the byte NN and each "\\"
// by one backslash, so that every byte 0..255 can be written. Throws EEscape for any
// other backslash sequence, including a backslash at the end; text is then left half rewritten.
void ExpandEscapes(std::string& text);

} // namespace varimark
