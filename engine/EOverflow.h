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

} // namespace varimark
