#pragma once
// The barcode control with automatic sizing and its output services: a magnified
// bitmap (file or memory), the clipboard, and printing in metric units.
#include "control/CustomBarcode.h"
#include "export/Bitmap.h"
#include "render/MagnifiedPicture.h"

#include <string>

namespace varimark {

class TBarcode : public TCustomBarcode {
public:
    explicit TBarcode(QWidget* owner = nullptr);

    bool AutoSize() const { return autoSize_; }
    // An equal value does nothing; a new one is stored and repaints.
    void SetAutoSize(bool on);

    // The barcode at the screen's resolution, magnified factor times with a white
    // margin, as a bitmap file (whatever the name's extension) or in memory.
    void MagnifyBy(int margin, const std::string& fileName, bool monochrome, int factor);
    TBitmap MagnifiedBitmap(int margin, bool monochrome, int factor);
    void CopyToClipboard(int margin);
    void LoMetricPrint(TSurface& surface, int x, int y, TDrawnSize* size = nullptr);

protected:
    void ApplyDrawnSize(TDrawnSize size) override;

private:
    TDrawFunction Drawer();
    int ScreenDpi() const { return logicalDpiY(); }

    bool autoSize_ = true;
};

} // namespace varimark
