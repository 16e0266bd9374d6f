#pragma once
// The engine's and the control's failure: a fixed English message.
#include <stdexcept>
#include <string>

class EOverflow : public std::runtime_error {
public:
    explicit EOverflow(const std::string& message) : std::runtime_error(message) {}
    explicit EOverflow(const char* message) : std::runtime_error(message) {}
};
