#pragma once
// One number written with a printf format ("%.1f", "%+.3f mm"), for messages and reports.
#include <cstdio>
#include <string>

namespace varimark {

inline std::string Formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace varimark
