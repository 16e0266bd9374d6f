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
// 8-bit text; an empty line (nothing but a byte-order mark, or nothing at all) is skipped.
struct TBatchLine {
    bool empty = false;
    std::optional<btCodeTypes> type;
    std::optional<std::string> addon; // Windows-1252
    std::string text;                 // the engine's text, escapes expanded
};

struct SymbolOptions;

// Parses a line with the command's options (the type of a TEXT-only line, --esc, --repair);
// throws EBatchLine for too many fields or an unknown type, ETextRefused for a text or an
// add-on the type cannot carry, and EscapeError for a bad escape or a NUL byte anywhere in
// the line (NulInTextError).
TBatchLine ParseBatchLine(std::string_view line, const SymbolOptions& options);

} // namespace varimark::cli
