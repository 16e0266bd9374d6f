#include "engine/BarcodeTypes.h"

#include <algorithm>

namespace varimark {

const char* CodeTypeName(btCodeTypes type) {
    static constexpr const char* kNames[kCodeTypeCount] = {
        "EAN_8",    "EAN_13",      "UPC_A",     "UPC_E",     "CODE39",      "CODE25i",
        "CODE25iP", "CODE128_A",   "CODE128_B", "CODE128_C", "MSI_Plessey", "Codabar",
        "Postnet",  "Postnet_FIM", "GS1_128",   "ITF_14"};
    return type < kCodeTypeCount ? kNames[type] : nullptr;
}

namespace {

// A name's character as names are compared: ASCII letters in lower case whatever the locale,
// '-' standing for '_'.
char TypeNameChar(char c) {
    if (c == '-') return '_';
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::optional<btCodeTypes> CodeTypeFromName(std::string_view name) {
    for (int type = 0; type < kCodeTypeCount; ++type) {
        const std::string_view canonical = CodeTypeName(static_cast<btCodeTypes>(type));
        if (std::ranges::equal(name, canonical, {}, TypeNameChar, TypeNameChar))
            return static_cast<btCodeTypes>(type);
    }
    return std::nullopt;
}

std::optional<btBearer> CodeBearerFromName(std::string_view name) {
    const auto is = [&](std::string_view canonical) {
        return std::ranges::equal(name, canonical, {}, TypeNameChar, TypeNameChar);
    };
    if (is("frame")) return Bearer_Frame;
    if (is("top-bottom")) return Bearer_TopBottom;
    return std::nullopt;
}

} // namespace varimark
