#pragma once
// Conversion between Unicode text and the engine's 8-bit text (Windows-1252).
#include <string>
#include <string_view>

namespace varimark {

// One Unicode code point as a Windows-1252 byte; '?' for a character outside the set.
unsigned char CodePointToWindows1252(char32_t cp);
// The Unicode code point of a Windows-1252 byte (the five unassigned bytes stand for
// the C1 control characters of the same value).
char32_t Windows1252ToCodePoint(unsigned char b);

// UTF-8 to Windows-1252: each character outside the set, and each byte of a malformed
// UTF-8 sequence, becomes '?'.
std::string Utf8ToWindows1252(std::string_view utf8);
// Windows-1252 to UTF-8.
std::string Windows1252ToUtf8(std::string_view text);

} // namespace varimark
