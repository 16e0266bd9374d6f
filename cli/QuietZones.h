#pragma once
// Quiet zones: the light margin a symbology needs on each side of its bars for a scanner
// to find where it starts and ends.
#include "LLBarcode.h"
#include "RenderCommand.h"

namespace varimark::cli {

// The minimum quiet zone of a type in modules, left and right (after the add-on when the
// barcode has one).
struct TQuietZone {
    int left, right;
};
TQuietZone QuietZoneModules(btCodeTypes type, bool addon);

// The margin in pixels (before scaling) for a picture of the barcode: by default wide
// enough on every side for each side's quiet zone, counted from the bars and including
// the room the drawing leaves itself, and at least kDefaultMargin; with --margin that
// margin (with --quiet-zones too, the quiet zones and at least that margin).
int MarginFor(const TLLBarcode& barcode, const RenderOptions& options);

} // namespace varimark::cli
