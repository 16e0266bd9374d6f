#pragma once
// A PDF surface: every filled rectangle becomes a rectangle of whole device pixels and
// every text real text in a font of its own glyph outlines (only the characters used),
// laid out as the raster surface lays it out: fonts matched by cell height, the same
// advances, alignment and quarter turns. Mapping modes scale the logical units as on the
// raster surface, a whole, equal magnification going into the font.
// The document is one page whose pixels are the surface's device pixels at its
// resolution; it is written in full by this code (no PDF library), uncompressed, and is
// the same bytes for the same drawing.
#include "engine/LLBarcode.h"
#include "engine/Surface.h"
#include "engine/Units.h"
#include "render/FontFace.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varimark {

class TPdfSurface : public TSurfaceState {
public:
    TPdfSurface(int dpiX, int dpiY, int screenDpi = kScreenDpi);
    ~TPdfSurface() override;
    TPdfSurface(const TPdfSurface&) = delete;
    TPdfSurface& operator=(const TPdfSurface&) = delete;

    void FillRect(int left, int top, int right, int bottom) override;
    int TextHeight(std::string_view text) override;
    void TextOut(int x, int y, std::string_view text, const TFontSpec& font) override;

    // The document: a page of width × height logical units at scale device pixels each
    // (the mapping the drawing was made with), white beneath the drawing. The document
    // information names the creator and, given a time (seconds since 1970), the creation
    // date in UTC.
    std::vector<std::uint8_t> Document(int width, int height, int scale,
                                       std::optional<long long> creationTime) const;

private:
    struct TFont;
    TFont& FontFor(const TFontLocation& location, int pixelSize);
    void SetFill(TColor color);
    void FillDevice(long long x0, long long y0, long long x1, long long y1, TColor color);
    void MappingChanged() override;

    TScale scale_;       // of the mapping mode, kept as it changes
    int wholeScale_ = 1; // the scale when it is one whole number across and down, else 0
    std::string content_;
    std::optional<TColor> fill_; // the fill colour the content has set
    std::vector<std::unique_ptr<TFont>> fonts_;
};

// The PDF file of a barcode drawn at (margin, margin) at dpi, factor device pixels to the
// unit, on a page of (2 × margin + drawn size) × factor pixels; EPicture or EOverflow when
// the factor or the size is refused, as for the other pictures.
std::vector<std::uint8_t>
BarcodePdfBytes(const std::function<TDrawnSize(TSurface&, int, int)>& draw, int margin, int factor,
                int dpi, std::optional<long long> creationTime);

} // namespace varimark
