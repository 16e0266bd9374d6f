#include "control/Barcode.h"

#include "control/BarcodeOutput.h"

namespace varimark {

TBarcode::TBarcode(QWidget* owner) : TCustomBarcode(owner) {}

void TBarcode::SetAutoSize(bool on) {
    if (on == autoSize_) return;
    autoSize_ = on;
    update();
}

void TBarcode::ApplyDrawnSize(TDrawnSize size) {
    if (autoSize_) TCustomBarcode::ApplyDrawnSize(size);
}

TDrawFunction TBarcode::Drawer() {
    return [this](TSurface& surface, int x, int y) {
        TDrawnSize size;
        DrawAt(surface, x, y, &size);
        return size;
    };
}

void TBarcode::MagnifyBy(int margin, const std::string& fileName, bool monochrome, int factor) {
    varimark::MagnifyBy(Drawer(), margin, fileName, monochrome, factor, ScreenDpi());
}

TBitmap TBarcode::MagnifiedBitmap(int margin, bool monochrome, int factor) {
    return varimark::MagnifiedBitmap(Drawer(), margin, monochrome, factor, ScreenDpi());
}

void TBarcode::CopyToClipboard(int margin) {
    varimark::CopyToClipboard(Drawer(), margin, ScreenDpi());
}

void TBarcode::LoMetricPrint(TSurface& surface, int x, int y, TDrawnSize* size) {
    varimark::LoMetricPrint(Drawer(), surface, x, y, size);
}

} // namespace varimark
