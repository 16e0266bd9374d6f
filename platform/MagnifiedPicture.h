#pragma once
// A barcode drawn magnified into a picture with a white margin: a measuring pass at
// the given resolution, then the real drawing with every length (and the font) factor
// times larger, the layout staying that of the resolution.
#include "LLBarcode.h"
#include "Surface.h"

#include <QImage>

#include <functional>
#include <stdexcept>

// Draws the barcode onto a surface with its top-left corner at (x, y); returns the size.
using TDrawFunction = std::function<TDrawnSize(TSurface& surface, int x, int y)>;

// A picture that could not be made: too large, or a bad magnification.
class EPicture : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr long long kMaxPictureSide = 65535;
inline constexpr long long kMaxPicturePixels = 256LL * 1000 * 1000;

// The drawn size at dpi (measured on a scratch surface; nothing is kept).
TDrawnSize MeasureBarcode(const TDrawFunction& draw, int margin, int dpi);

// (2 × margin + size) × factor on each side; raises EPicture when factor is below 1
// ("Barcode: Factor for \"MagnifyBy\" must be >=1") or the picture would be too large.
QSize MagnifiedSize(TDrawnSize size, int margin, int factor);

// Draws magnified onto a white picture of MagnifiedSize.
void DrawMagnified(const TDrawFunction& draw, int margin, int factor, int dpi, QImage& target);

// Measures, sizes and draws: a white picture of MagnifiedSize with the barcode at
// margin × factor pixels from the top-left corner.
QImage RenderMagnified(const TDrawFunction& draw, int margin, int factor, int dpi,
                       QImage::Format format = QImage::Format_RGB32);
