#include "BarcodeOutput.h"

#include "EOverflow.h"
#include "Rounding.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include <cstring>

namespace {

// A white-background rendering as a 1-bit bitmap (black, white): every pixel lighter than
// mid-grey is white.
TBitmap ToMonochrome(const QImage& image) {
    TBitmap bitmap(image.width(), image.height(), pf1bit);
    bitmap.SetPalette({TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}});
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* source = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::uint8_t* row = bitmap.ScanLine(y);
        std::memset(row, 0, bitmap.RowStride());
        for (int x = 0; x < image.width(); ++x)
            if (qGray(source[x]) >= 128) row[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    }
    return bitmap;
}

} // namespace

TBitmap MagnifiedBitmap(const TDrawFunction& draw, int margin, bool monochrome, int factor,
                        int dpi) {
    if (factor < 1) throw EOverflow("Barcode: Factor for \"MagnifyBy\" must be >=1");
    if (monochrome) return ToMonochrome(RenderMagnified(draw, margin, factor, dpi));
    // The display's depth: blue, green, red, as the bitmap stores them, rows turned over.
    const QImage picture = RenderMagnified(draw, margin, factor, dpi, QImage::Format_BGR888);
    TBitmap bitmap(picture.width(), picture.height(), pfDevice);
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(picture.width());
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(bitmap.ScanLine(y), picture.constScanLine(y), rowBytes);
    return bitmap;
}

void MagnifyBy(const TDrawFunction& draw, int margin, const std::string& fileName, bool monochrome,
               int factor, int dpi) {
    MagnifiedBitmap(draw, margin, monochrome, factor, dpi).SaveToFile(fileName);
}

void CopyToClipboard(const TDrawFunction& draw, int margin, int dpi) {
    const TBitmap bitmap = MagnifiedBitmap(draw, margin, false, 1, dpi);
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_BGR888);
    for (int y = 0; y < bitmap.Height(); ++y)
        std::memcpy(image.scanLine(y), bitmap.ScanLine(y),
                    3 * static_cast<std::size_t>(bitmap.Width()));
    QGuiApplication::clipboard()->setImage(image);
}

void LoMetricPrint(const TDrawFunction& draw, TSurface& surface, int x, int y, TDrawnSize* size) {
    const TMapMode mode = surface.MapMode();
    if (mode == MM_TEXT) {
        const TDrawnSize drawn = draw(surface, x, y);
        if (size != nullptr) *size = drawn;
        return;
    }
    long double f;
    if (mode == MM_LOMETRIC)
        f = 1.0L / 254;
    else if (mode == MM_HIMETRIC)
        f = 1.0L / 2540;
    else
        throw EOverflow("Barcode: Wrong mapmode in \"LoMetricPrint\"");

    const long double dpiX = surface.DpiX(), dpiY = surface.DpiY();
    // Drawing happens in device pixels; the metric modes count y upwards.
    struct ModeRestorer {
        TSurface& surface;
        TMapMode mode;
        ~ModeRestorer() { surface.SetMapMode(mode); }
    } restore{surface, mode};
    surface.SetMapMode(MM_TEXT);
    const TDrawnSize drawn = draw(surface, Nearest(x * dpiX * f), -Nearest(y * dpiY * f));
    if (size != nullptr)
        *size = {Nearest(drawn.width / (dpiX * f)), Nearest(drawn.height / (dpiY * f))};
}
