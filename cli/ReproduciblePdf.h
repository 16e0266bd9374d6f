#pragma once
// PDF files that are the same bytes for the same barcode: they carry no time of writing,
// only the creation date that SOURCE_DATE_EPOCH gives, when it is set.
#include "varimark/error.h"
#include <charconv>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace varimark::cli {

// SOURCE_DATE_EPOCH that is not a time from 1970 to the end of 9999 in seconds.
class ESourceDateEpoch : public varimark::Error {
public:
    using varimark::Error::Error;
};

// The time of SOURCE_DATE_EPOCH in seconds since 1970; none when it is not set (or empty).
inline std::optional<long long> SourceDateEpoch() {
    const char* value = std::getenv("SOURCE_DATE_EPOCH");
    if (value == nullptr || *value == '\0') return std::nullopt;
    const std::string_view text(value);
    constexpr long long kLastSecond = 253402300799; // 9999-12-31 23:59:59
    long long seconds = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < 0 ||
        seconds > kLastSecond)
        throw ESourceDateEpoch("SOURCE_DATE_EPOCH must be a number of seconds since 1970 "
                               "(up to the year 9999), not '" +
                               std::string(text) + "'");
    return seconds;
}

} // namespace varimark::cli
