#pragma once
// Quiet zones: the light margin a symbology needs on each side of its bars for a scanner
// to find where it starts and ends.
#include "engine/LLBarcode.h"

namespace varimark {

// The minimum quiet zone of a type in modules, left and right (after the add-on when the
// barcode has one).
TQuietZone QuietZoneModules(btCodeTypes type, bool addon);

// The margin in pixels for a drawing of the barcode at dpi: wide enough on every side for
// each side's quiet zone, counted from the bars and taking in the room the drawing leaves
// itself (the outer digits, the extra pixel on the right, ITF-14's zones inside its bearer
// frame), and at least minimum. The postal symbols want an eighth of an inch.
int QuietZoneMargin(const TLLBarcode& barcode, int dpi, int minimum);

} // namespace varimark
