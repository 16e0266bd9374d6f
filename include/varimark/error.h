#pragma once
// The one exception of Varimark: every refusal (a text a symbology cannot carry, a value out
// of range, a picture too large, a file that cannot be written) carries the system's message.
#include <stdexcept>
#include <string>

// What the library exports; everything else in it is hidden.
#define VARIMARK_API __attribute__((visibility("default")))

namespace varimark {

class VARIMARK_API Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
    explicit Error(const char* message) : std::runtime_error(message) {}
};

} // namespace varimark
