#pragma once
// Writing JSON strings.
#include <string>
#include <string_view>

namespace varimark {

// Appends utf8 as a quoted JSON string: '"' and '\\' escaped, bytes below 0x20 as \u00XX,
// everything else as it is.
void AppendJsonString(std::string& out, std::string_view utf8);

// Appends 8-bit text as a quoted JSON string in which each byte b stands for the character
// U+00bb (written in UTF-8), so that every byte survives exactly; escaped as above.
void AppendJsonByteString(std::string& out, std::string_view bytes);

} // namespace varimark
