#pragma once
// The margin of a rendered picture: the engine's quiet zones (QuietZones.h of the engine)
// under the command line's options.
#include "LLBarcode.h"
#include "RenderCommand.h"

namespace varimark::cli {

// The margin in pixels (before scaling) for a picture of the barcode: by default wide
// enough on every side for each side's quiet zone, counted from the bars and including
// the room the drawing leaves itself, and at least kDefaultMargin; with --margin that
// margin (with --quiet-zones too, the quiet zones and at least that margin).
int MarginFor(const TLLBarcode& barcode, const RenderOptions& options);

} // namespace varimark::cli
