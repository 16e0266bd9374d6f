#pragma once
// One line of a batch: TEXT, or TYPE<TAB>TEXT, or TYPE<TAB>TEXT<TAB>ADDON.
#include "engine/BarcodeTypes.h"
#include "varimark/error.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace varimark::cli {

// A batch line that cannot be drawn; the message is told as "line N: message".
class EBatchLine : public varimark::Error {
public:
    using varimark::Error::Error;
};

// A batch line taken apart: the type and add-on when the line gives them, and the engine's
// 8-bit text.
struct TBatchLine {
    std::optional<btCodeTypes> type;
    std::optional<std::string> addon; // Windows-1252
    std::string text;                 // the engine's text, escapes expanded
};

// Parses a line; throws EBatchLine for too many fields or an unknown type, and EscapeError
// for a bad escape or a NUL byte anywhere in the line (NulInTextError).
TBatchLine ParseBatchLine(std::string_view line, bool escapes);

} // namespace varimark::cli
