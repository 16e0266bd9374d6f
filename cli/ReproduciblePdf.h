#pragma once
// PDF files that are the same bytes for the same barcode. Qt's PDF writer stamps the time
// of writing into the document information ("/CreationDate (D:20261207144148Z)"); that
// entry is blanked, or, when SOURCE_DATE_EPOCH is set, given that time instead.
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace varimark::cli {

// SOURCE_DATE_EPOCH that is not a time from 1970 to the end of 9999 in seconds.
class ESourceDateEpoch : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
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

// Overwrites the /CreationDate entry of the document information in place: by spaces
// without a time, else by the time in UTC ("D:19700101000000Z", spaces after it when the
// old entry was longer). Every byte keeps its offset, so the cross-reference table stays
// valid.
inline void SetPdfCreationDate(std::string& pdf, std::optional<long long> seconds) {
    static constexpr std::string_view kKey = "/CreationDate (";
    const std::size_t start = pdf.find(kKey);
    if (start == std::string::npos) return;
    const std::size_t close = pdf.find(')', start + kKey.size());
    if (close == std::string::npos) return;
    const std::size_t length = close + 1 - start;
    std::string entry;
    if (seconds) {
        const std::time_t time = static_cast<std::time_t>(*seconds);
        std::tm utc{};
        char date[32];
        if (gmtime_r(&time, &utc) != nullptr &&
            std::strftime(date, sizeof date, "D:%Y%m%d%H%M%SZ", &utc) != 0)
            entry = std::string(kKey) + date + ")";
        if (entry.size() > length) entry.clear(); // no room: left out
    }
    entry.resize(length, ' ');
    pdf.replace(start, length, entry);
}

} // namespace varimark::cli
