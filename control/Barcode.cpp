#include "control/Barcode.h"

#include "control/BarcodeOutput.h"

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
    ::MagnifyBy(Drawer(), margin, fileName, monochrome, factor, ScreenDpi());
}

TBitmap TBarcode::MagnifiedBitmap(int margin, bool monochrome, int factor) {
    return ::MagnifiedBitmap(Drawer(), margin, monochrome, factor, ScreenDpi());
}

void TBarcode::CopyToClipboard(int margin) {
    ::CopyToClipboard(Drawer(), margin, ScreenDpi());
}

void TBarcode::LoMetricPrint(TSurface& surface, int x, int y, TDrawnSize* size) {
    ::LoMetricPrint(Drawer(), surface, x, y, size);
}
