#pragma once
// The engine's module pattern of a built barcode as a string, one '1' (bar) or '0' (space)
// per module, and its elements' widths.
#include "engine/LLBarcode.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace varimark {

inline std::string Bits(const TLLBarcode& e) {
    std::string s;
    for (int i = 1; i <= e.ModuleCount; ++i) s += static_cast<char>('0' + e.Modules[i]);
    return s;
}

// The engine's barcode of a type and caption (and add-on, and ratio), encoded: raises what
// Encode raises.
inline TLLBarcode EncodedBarcode(btCodeTypes type, std::string_view caption,
                                 std::string_view addon = "",
                                 btCodeRatio ratio = btCodeRatio::Ratio_3) {
    TLLBarcode barcode;
    barcode.Params.CodeType = type;
    barcode.Params.Ratio = ratio;
    barcode.Params.SetCaption(caption);
    barcode.Params.SetCodeAddon(addon);
    barcode.Encode();
    return barcode;
}

// A text of a type and the prepared text (CodeText) it gives.
struct TTextCase {
    btCodeTypes type;
    const char* text;
    const char* codeText;
};

inline std::ostream& operator<<(std::ostream& os, const TTextCase& c) {
    return os << CodeTypeName(c.type) << " '" << c.text << "'";
}

// The runs of equal modules from the first bar to the last: the elements' widths in
// modules, bars at even indices.
inline std::vector<int> RunLengths(const std::string& modules) {
    std::vector<int> runs;
    const std::size_t first = modules.find('1'), last = modules.find_last_of('1');
    for (std::size_t i = first; first != std::string::npos && i <= last; ++i) {
        if (i == first || modules[i] != modules[i - 1]) runs.push_back(0);
        ++runs.back();
    }
    return runs;
}

} // namespace varimark
