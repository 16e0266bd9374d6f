#pragma once
// One line of a batch: TEXT, or TYPE<TAB>TEXT, or TYPE<TAB>TEXT<TAB>ADDON.
#include "varimark/varimark.h"

#include <string_view>

namespace varimark::cli {

// A batch line that cannot be drawn; the message is told as "line N: message".
class EBatchLine : public varimark::Error {
public:
    using varimark::Error::Error;
};

// A batch line taken apart into its symbol: the type and add-on when the line gives them
// (else the options'), and its text, checked; an empty line (nothing but a byte-order mark,
// or nothing at all) is skipped.
struct TBatchLine {
    bool empty = false;
    bool typed = false; // the line gives its type
    bool addon = false; // the line gives its add-on
    Symbol symbol;
};

struct TSymbolOptions;

// Parses a line with the command's options (the type of a TEXT-only line, --esc, --repair)
// and the look of every symbol; throws EBatchLine for too many fields or an unknown type,
// TextError for a text or an add-on the type cannot carry, a text too long for any symbol
// or a NUL byte anywhere in the line, and EscapeSequenceError for a bad escape.
TBatchLine ParseBatchLine(std::string_view line, const TSymbolOptions& options,
                          const Symbol& look = {});

} // namespace varimark::cli
