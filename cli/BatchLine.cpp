#include "cli/BatchLine.h"

#include "cli/Escapes.h"
#include "cli/Options.h"
#include "engine/Windows1252.h"

namespace varimark::cli {

TBatchLine ParseBatchLine(std::string_view line, bool escapes) {
    CheckNoNul(line);
    std::string_view fields[3];
    std::size_t count = 0;
    for (std::size_t from = 0;;) {
        const std::size_t tab = line.find('\t', from);
        if (count == std::size(fields))
            throw EBatchLine("too many fields: TEXT, TYPE<TAB>TEXT or TYPE<TAB>TEXT<TAB>ADDON");
        fields[count++] = line.substr(from, tab == std::string_view::npos ? tab : tab - from);
        if (tab == std::string_view::npos) break;
        from = tab + 1;
    }
    TBatchLine parsed;
    if (count >= 2) {
        parsed.type = ParseCodeType(fields[0]);
        if (!parsed.type) throw EBatchLine("unknown type '" + std::string(fields[0]) + "'");
    }
    if (count == 3) parsed.addon = Utf8ToWindows1252(fields[2]);
    parsed.text = ToEngineText(fields[count == 1 ? 0 : 1], escapes);
    return parsed;
}

} // namespace varimark::cli
