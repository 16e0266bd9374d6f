#pragma once
// The one exception of Varimark: every refusal (a text a symbology cannot carry, a value out
// of range, a picture too large, a file that cannot be written) carries the system's message.
#include <stdexcept>
#include <string>

// What the library exports; everything else in it is hidden.
#define VARIMARK_API __attribute__((visibility("default")))

namespace varimark {

class VARIMARK_API Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
    explicit Error(const char* message) : std::runtime_error(message) {}
};

// A text or an add-on refused for what it holds: a character the symbology cannot carry (named
// with its place), a wrong check digit, a length the symbology does not take, an empty text,
// a NUL byte.
class VARIMARK_API TextError : public Error {
public:
    using Error::Error;
};

// A backslash sequence other than \xNN or \\ in a text read with escapes
// (Symbol::escapes); the message names the sequence.
class VARIMARK_API EscapeSequenceError : public TextError {
public:
    using TextError::TextError;
};

} // namespace varimark
