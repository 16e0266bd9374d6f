#include "cli/BatchLine.h"

#include "cli/Options.h"

namespace varimark::cli {

TBatchLine ParseBatchLine(std::string_view line, const TSymbolOptions& options,
                          const Symbol& look) {
    TBatchLine parsed;
    if (line.empty()) return parsed.empty = true, parsed;
    CheckNoNulByte(line);
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
    Type type = options.type;
    if (count >= 2) {
        const std::optional<Type> named = TypeFromName(fields[0]);
        if (!named) throw EBatchLine("unknown type '" + std::string(fields[0]) + "'");
        type = *named;
        parsed.typed = true;
    }
    parsed.symbol = SymbolOf(options, type, fields[count == 1 ? 0 : 1], look);
    if (count == 3) {
        parsed.addon = true;
        parsed.symbol.addon = fields[2];
        CheckAddon(parsed.symbol);
    }
    CheckText(parsed.symbol);
    return parsed;
}

} // namespace varimark::cli
