#pragma once
// The engine's and the control's failure: a fixed English message.
#include "varimark/error.h"
#include <stdexcept>
#include <string>

namespace varimark {

class EOverflow : public varimark::Error {
public:
    explicit EOverflow(const std::string& message) : varimark::Error(message) {}
    explicit EOverflow(const char* message) : varimark::Error(message) {}
};

// The engine's refusal of a caption longer than it holds, as the system words it.
inline constexpr const char* kCaptionTooLong = "String exceeds maximum length";
// The engine's refusal of a Code 128 text it cannot map, as the system words it.
inline constexpr const char* kCode128Refusal = "BarcoLL: Code128 error";

} // namespace varimark
