#include "engine/BarcodeTypes.h"

#include <algorithm>

namespace varimark {

namespace {

// A name's character as names are compared: ASCII letters in lower case whatever the locale,
// '-' standing for '_'.
char TypeNameChar(char c) {
    if (c == '-') return '_';
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::optional<btCodeTypes> CodeTypeFromName(std::string_view name) {
    for (const TSymbology& symbology : kSymbologies) {
        if (std::ranges::equal(name, std::string_view(symbology.name), {}, TypeNameChar,
                               TypeNameChar))
            return symbology.type;
    }
    return std::nullopt;
}

std::optional<TBearer> CodeBearerFromName(std::string_view name) {
    const auto is = [&](std::string_view canonical) {
        return std::ranges::equal(name, canonical, {}, TypeNameChar, TypeNameChar);
    };
    if (is("frame")) return TBearer::Frame;
    if (is("top-bottom")) return TBearer::TopBottom;
    return std::nullopt;
}

} // namespace varimark
