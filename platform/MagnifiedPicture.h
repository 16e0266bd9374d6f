#pragma once
// A barcode drawn magnified into a picture with a white margin: a measuring pass at
// the given resolution, then the real drawing with every length (and the font) factor
// times larger, the layout staying that of the resolution.
#include "LLBarcode.h"
#include "RasterSurface.h"
#include "Surface.h"

#include <QSize>

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

// Draws magnified onto target, a picture of MagnifiedSize (white, for the barcode on a
// white background).
void DrawMagnified(const TDrawFunction& draw, int margin, int factor, int dpi, TPixelRows target);
