#pragma once
// The output services of the barcode control: the magnified bitmap and metric drawing of
// the picture library, and the clipboard picture.
#include "render/MagnifiedBitmap.h"

namespace varimark {

// Puts the barcode with its margin on the clipboard as a 24-bit picture.
void CopyToClipboard(const TDrawFunction& draw, int margin, int dpi);

} // namespace varimark
