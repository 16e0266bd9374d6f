#pragma once
// The barcode control's pictures without a window: the magnified bitmap (for files and the
// save pipeline) and drawing in metric units on a page.
#include "engine/Surface.h"
#include "export/Bitmap.h"
#include "render/MagnifiedPicture.h"

#include <string>

namespace varimark {

// The barcode magnified factor times with a white margin of margin pixels on every side
// (before magnifying), laid out at dpi: a 1-bit picture (palette black, white) when
// monochrome, else one of the display's depth (24 bits). Raises
// "Barcode: Factor for \"MagnifyBy\" must be >=1" for a factor below 1 before anything
// is drawn, and what drawing raises.
TBitmap MagnifiedBitmap(const TDrawFunction& draw, int margin, bool monochrome, int factor,
                        int dpi);

// The same picture written as a bitmap file to fileName, whatever its extension; the
// file is replaced only by a complete new one.
void MagnifyBy(const TDrawFunction& draw, int margin, const std::string& fileName, bool monochrome,
               int factor, int dpi);

// Draws at (x, y) given in the surface's logical units (text, low-metric or
// high-metric mapping mode; any other mode raises
// "Barcode: Wrong mapmode in \"LoMetricPrint\"" with the surface unchanged). The drawing
// itself is in device pixels; the size, when asked for, is returned in logical units.
void LoMetricPrint(const TDrawFunction& draw, TSurface& surface, int x, int y,
                   TDrawnSize* size = nullptr);

} // namespace varimark
