#pragma once
// Rendering a batch: one picture per input line, in parallel, into numbered files.
#include "Options.h"
#include "RenderCommand.h"

namespace varimark::cli {

// Every line of options.batchFile ("-" for standard input) is one barcode: TEXT, or
// TYPE<TAB>TEXT, or TYPE<TAB>TEXT<TAB>ADDON; line k goes to OUTDIR/NNNNNN.EXT (k with six
// digits from 000001). A failing line is reported as "line N: message" and the others are
// written; the result is 1 when any line failed. Throws UsageError.
int RunBatchRender(const SymbolOptions& options, const RenderOptions& render);

} // namespace varimark::cli
