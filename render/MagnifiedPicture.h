#pragma once
// A barcode drawn magnified into a picture with a white margin: a measuring pass at
// the given resolution, then the real drawing with every length (and the font) factor
// times larger, the layout staying that of the resolution.
#include "engine/LLBarcode.h"
#include "engine/Surface.h"
#include "render/RasterSurface.h"
#include "varimark/error.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace varimark {

// Draws the barcode onto a surface with its top-left corner at (x, y); returns the size.
using TDrawFunction = std::function<TDrawnSize(TSurface& surface, int x, int y)>;

// A picture that could not be made: too large, or a bad magnification.
class EPicture : public varimark::Error {
public:
    using varimark::Error::Error;
};

inline constexpr long long kMaxPictureSide = 65535;
inline constexpr long long kMaxPicturePixels = 256LL * 1000 * 1000;

// A drawing kept as the calls that put something on a surface, each with the state it
// was made in (the brush colour; the text alignment and background), and its size.
class TRecordedDrawing {
public:
    // The lists are kept for the thread's next drawing when a drawing is gone: a batch
    // records thousands.
    TRecordedDrawing();
    ~TRecordedDrawing();
    TRecordedDrawing(TRecordedDrawing&&) noexcept = default;
    TRecordedDrawing& operator=(TRecordedDrawing&&) noexcept = default;

    TDrawnSize Size() const { return size_; }
    // Makes the same calls on another surface, which so draws what the drawing would.
    void Replay(TSurface& surface) const;

    void AddFill(int left, int top, int right, int bottom, TColor brush);
    void AddText(int x, int y, std::string_view text, const TFontSpec& font, unsigned align,
                 TBkMode bkMode, TColor bkColor);

private:
    friend TRecordedDrawing RecordBarcode(const TDrawFunction& draw, int margin, int dpi);
    struct TCall {
        int a, b, c, d; // a rectangle's corners, or a text's reference point (a, b)
        TColor color;   // the brush's, or the text background's
        unsigned align;
        TBkMode bkMode;
        std::uint32_t textAt, textLength, faceAt, faceLength; // in chars_
        int fontHeight, escapement;
        bool text;
    };
    struct TLists {
        std::vector<TCall> calls;
        std::string chars; // the texts and faces of the text calls
    };
    std::vector<TCall> calls_;
    std::string chars_;
    TDrawnSize size_;
};

// Runs the drawing at dpi with its top-left corner at (margin, margin) and keeps it.
TRecordedDrawing RecordBarcode(const TDrawFunction& draw, int margin, int dpi);

// The drawn size at dpi.
TDrawnSize MeasureBarcode(const TDrawFunction& draw, int margin, int dpi);

// (2 × margin + size) × factor on each side; raises EPicture when factor is below 1
// ("Barcode: Factor for \"MagnifyBy\" must be >=1") or the picture would be too large.
TDrawnSize MagnifiedSize(TDrawnSize size, int margin, int factor);

// Draws the recording magnified onto target, a picture of MagnifiedSize (white, for the
// barcode on a white background).
void DrawMagnified(const TRecordedDrawing& drawing, int factor, int dpi, TPixelRows target);
// The same drawing handed to read on its surface, where rows drawn alike are kept once:
// read the rows through RowPixels (RowClasses tells which are alike); target itself is
// scratch.
void ReadMagnified(const TRecordedDrawing& drawing, int factor, int dpi, TPixelRows target,
                   const std::function<void(const TRasterSurface&)>& read);

} // namespace varimark
