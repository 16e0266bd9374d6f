#pragma once
// Conversion between Unicode text and the engine's 8-bit text (Windows-1252).
#include <cstddef>
#include <string>
#include <string_view>

namespace varimark {

// One Unicode code point as a Windows-1252 byte; '?' for a character outside the set.
unsigned char CodePointToWindows1252(char32_t cp);
// The Unicode code point of a Windows-1252 byte (the five unassigned bytes stand for
// the C1 control characters of the same value).
char32_t Windows1252ToCodePoint(unsigned char b);

// The code point of the UTF-8 sequence at utf8[at] and its length in bytes, or 0 for a
// malformed sequence (a bad lead or continuation byte, a cut sequence, an overlong form, a
// surrogate, a value beyond Unicode).
std::size_t NextCodePoint(std::string_view utf8, std::size_t at, char32_t& cp);

// UTF-8 to Windows-1252: each character outside the set, and each byte of a malformed
// UTF-8 sequence, becomes '?'.
std::string Utf8ToWindows1252(std::string_view utf8);
// Windows-1252 to UTF-8.
std::string Windows1252ToUtf8(std::string_view text);

} // namespace varimark
