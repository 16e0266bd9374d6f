#include "library/Json.h"

namespace varimark {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Appends an ASCII byte, escaped where JSON requires it.
void AppendAscii(std::string& out, unsigned char b) {
    if (b == '"' || b == '\\') {
        out += '\\';
        out += static_cast<char>(b);
    } else if (b < 0x20) {
        out += "\\u00";
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 0x0F];
    } else {
        out += static_cast<char>(b);
    }
}

} // namespace

void AppendJsonString(std::string& out, std::string_view utf8) {
    out += '"';
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            AppendAscii(out, b);
        } else {
            out += c;
        }
    }
    out += '"';
}

void AppendJsonByteString(std::string& out, std::string_view bytes) {
    out += '"';
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            AppendAscii(out, b);
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    out += '"';
}

} // namespace varimark
