#include "engine/Escapes.h"

#include "engine/Windows1252.h"

#include <cstddef>
#include <string_view>

namespace varimark {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

[[noreturn]] void BadEscape(std::string_view sequence) {
    std::string message = "bad escape '" + Windows1252ToUtf8(sequence) + "'";
    if (sequence.size() == 1) message += " at the end of the text";
    message += " (use \\xNN or \\\\)";
    throw EEscape(message);
}

} // namespace

void CheckNoNul(std::string_view text) {
    if (text.find('\0') != std::string_view::npos)
        throw ENulInText("the text holds a NUL byte (\\x00), which no barcode can carry");
}

void ExpandEscapes(std::string& text) {
    const std::size_t size = text.size();
    std::size_t out = 0;
    for (std::size_t in = 0; in < size;) {
        const char c = text[in];
        if (c != '\\') {
            text[out++] = c;
            ++in;
            continue;
        }
        if (in + 1 >= size) BadEscape(std::string_view(text).substr(in, 1));
        const char kind = text[in + 1];
        if (kind == '\\') {
            text[out++] = '\\';
            in += 2;
        } else if (kind == 'x') {
            const int high = in + 2 < size ? HexValue(text[in + 2]) : -1;
            const int low = in + 3 < size ? HexValue(text[in + 3]) : -1;
            if (high < 0 || low < 0) BadEscape(std::string_view(text).substr(in, 4));
            text[out++] = static_cast<char>(high * 16 + low);
            in += 4;
        } else {
            BadEscape(std::string_view(text).substr(in, 2));
        }
    }
    text.resize(out);
}

} // namespace varimark
