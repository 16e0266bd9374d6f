#pragma once
// A UPC-A of the main window's kind (116 x 83 at 96 dots per inch) and its draw function,
// for the tests of saving.
#include "engine/LLBarcode.h"
#include "render/MagnifiedPicture.h"

namespace varimark {

struct Upca {
    Upca() {
        barcode.Params.CodeType = btCodeTypes::UPC_A;
        barcode.Params.SetCaption("03600029145");
    }
    TDrawFunction Draw() {
        return [this](TSurface& surface, int x, int y) {
            TDrawnSize size;
            barcode.DrawBarcode(surface, x, y, size);
            return size;
        };
    }
    TLLBarcode barcode;
};

} // namespace varimark
