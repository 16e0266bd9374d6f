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

// The margin in pixels (before scaling) for a picture of the barcode: the option's margin,
// or with quiet zones, widened on every side so that each side's quiet zone is there,
// counted from the bars and including the room the drawing leaves itself.
int MarginFor(const TLLBarcode& barcode, const RenderOptions& options);

} // namespace varimark::cli
