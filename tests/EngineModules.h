#pragma once
// The engine's module pattern of a built barcode as a string, one '1' (bar) or '0' (space)
// per module.
#include "engine/LLBarcode.h"

#include <string>

namespace varimark {

inline std::string Bits(const TLLBarcode& e) {
    std::string s;
    for (int i = 1; i <= e.ModuleCount; ++i) s += static_cast<char>('0' + e.Modules[i]);
    return s;
}

} // namespace varimark
