#pragma once
// Rendering a batch: one picture per input line, in parallel, into numbered files.
#include "cli/Options.h"
#include "cli/RenderCommand.h"

namespace varimark::cli {

// Every line of options.batchFile ("-" for standard input) is one barcode: TEXT, or
// TYPE<TAB>TEXT, or TYPE<TAB>TEXT<TAB>ADDON; line k goes to OUTDIR/NNNNNN.EXT (k with six
// digits from 000001). Lines are drawn as they are read, on up to --jobs threads (as many as
// the system starts), in bounded memory. A failing line (too long, a NUL byte, an unknown
// type, a refused text, a file that cannot be written) is reported as "line N: message",
// in the order of the lines, and the others are written; the result is 1 when any line
// failed. Throws EUsage, also for a --format that is no picture type.
int RunBatchRender(const TSymbolOptions& options, const TRenderOptions& render);

} // namespace varimark::cli
