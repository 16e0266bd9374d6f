#include "cli/BatchLine.h"

#include "cli/Options.h"
#include "engine/Escapes.h"
#include "engine/InputText.h"

namespace varimark::cli {

TBatchLine ParseBatchLine(std::string_view line, const SymbolOptions& options) {
    TBatchLine parsed;
    if (line.empty()) return parsed.empty = true, parsed;
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
    if (count >= 2) {
        parsed.type = ParseCodeType(fields[0]);
        if (!parsed.type) throw EBatchLine("unknown type '" + std::string(fields[0]) + "'");
    }
    const btCodeTypes type = parsed.type.value_or(options.type);
    if (count == 3) parsed.addon = CheckedAddon(fields[2], type, options.repair);
    parsed.text = ToEngineText(fields[count == 1 ? 0 : 1], type, options);
    return parsed;
}

} // namespace varimark::cli
