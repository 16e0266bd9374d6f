#pragma once
// A vector surface: every filled rectangle becomes a <rect> with integer coordinates and
// every text a <text> with its face, size and rotation, at a resolution the caller
// chooses. Fonts are matched by cell height as on the raster surfaces.
#include "engine/Surface.h"
#include "engine/Units.h"

#include <string>

namespace varimark {

class TSvgSurface : public TSurfaceState {
public:
    TSvgSurface(int dpiX, int dpiY, int screenDpi = kScreenDpi);

    void FillRect(int left, int top, int right, int bottom) override;
    int TextHeight(std::string_view text) override;
    void TextOut(int x, int y, std::string_view text, const TFontSpec& font) override;
    // Only text mode is drawn as given; the other mapping modes are kept for the caller.

    // The document: width × height user units (pixels at the surface's resolution),
    // shown at scale times that size, on a white background.
    std::string Document(int width, int height, int scale) const;

private:
    std::string body_;
};

} // namespace varimark
