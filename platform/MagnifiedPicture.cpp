#include "MagnifiedPicture.h"

#include "EOverflow.h"
#include "FontMatcher.h"
#include "Screen.h"

#include <string>

namespace {

// The measuring pass needs the layout only: the text height as the drawing surfaces
// measure it, and nothing drawn.
class TMeasuringSurface : public TSurfaceState {
public:
    explicit TMeasuringSurface(int dpi) : TSurfaceState(dpi, dpi, kScreenDpi, kScreenDpi) {}
    void FillRect(int, int, int, int) override {}
    int TextHeight(std::string_view) override { return fonts_.CellHeight(fontFace_, fontHeight_); }
    void TextOut(int, int, std::string_view, const TFontSpec&) override {}

private:
    TFontMatcher fonts_;
};

} // namespace

TDrawnSize MeasureBarcode(const TDrawFunction& draw, int margin, int dpi) {
    TMeasuringSurface surface(dpi);
    return draw(surface, margin, margin);
}

QSize MagnifiedSize(TDrawnSize size, int margin, int factor) {
    if (factor < 1) throw EOverflow("Barcode: Factor for \"MagnifyBy\" must be >=1");
    const long long width = (2LL * margin + size.width) * factor;
    const long long height = (2LL * margin + size.height) * factor;
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide ||
        width * height > kMaxPicturePixels)
        throw EPicture("Picture too large: " + std::to_string(width) + " x " +
                       std::to_string(height) +
                       " pixels (at most 65535 on a side and 256 million in all)");
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

void DrawMagnified(const TDrawFunction& draw, int margin, int factor, int dpi, TPixelRows target) {
    TRasterSurface surface(target, dpi, dpi, true);
    // Logical units of factor device pixels across and down.
    surface.SetMapMode(MM_ANISOTROPIC);
    surface.SetWindowExt(1, 1);
    surface.SetViewportExt(factor, factor);
    draw(surface, margin, margin);
}
