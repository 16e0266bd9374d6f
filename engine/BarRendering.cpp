// Drawing an encoded barcode onto a surface: the layout (BarLayout.h) says where every bar
// and piece of text goes; this only draws it, turned for the rotation, and leaves the
// surface's brush and alignment as they were.
#include "engine/BarLayout.h"
#include "engine/LLBarcode.h"
#include "engine/Surface.h"

#include <cstring>

namespace varimark {

namespace {

using varimark::TBarLayout;

// Remembers the brush and text alignment and puts them back however drawing ends, a failed
// encode (an exception) included.
class TSurfaceStateGuard {
public:
    explicit TSurfaceStateGuard(TSurface& surface)
        : surface_(surface), color_(surface.BrushColor()), style_(surface.BrushStyle()),
          align_(surface.TextAlign()) {}
    TSurfaceStateGuard(const TSurfaceStateGuard&) = delete;
    TSurfaceStateGuard& operator=(const TSurfaceStateGuard&) = delete;
    ~TSurfaceStateGuard() noexcept { Restore(); }
    void Restore() noexcept {
        surface_.SetBrushColor(color_);
        surface_.SetBrushStyle(style_);
        surface_.SetTextAlign(align_);
    }

private:
    TSurface& surface_;
    TColor color_;
    TBrushStyle style_;
    unsigned align_;
};

// The line's font goes onto the surface, which measures the line in it.
varimark::TLineFont LineFont(TSurface& surface) {
    return [&surface](int fontHeight, bool measure) {
        surface.SetFontHeight(fontHeight);
        return measure ? surface.TextHeight("Ay") : 0;
    };
}

// The bars in black, then the text over a transparent background.
void DrawLayout(const TLLBarcode& barcode, TSurface& surface, const TBarLayout& layout) {
    const int x = layout.x, y = layout.y, w = layout.box.width, v = layout.box.height;
    for (const varimark::TBar& bar : layout.Bars())
        barcode.FillRectRotated(surface, bar.rect, x, y, w, v);

    surface.SetBrushColor(kWhite);
    surface.SetBrushStyle(TBrushStyle::Clear);
    surface.SetBkColor(kWhite);
    surface.SetBkMode(TBkMode::Transparent);
    for (const varimark::TTextPiece& piece : layout.Pieces())
        barcode.TextOutRotated(surface, x, y, piece.Text(), layout.fontBasis, w, v, piece.top,
                               piece.centre);
}

} // namespace

void TLLBarcode::DrawBarcode(TSurface& surface, int x, int y, TDrawnSize& size) {
    const btCodeTypes type = Params.CodeType;
    if (type == btCodeTypes::Postnet || type == btCodeTypes::Postnet_FIM) {
        DrawPostnet(surface, x, y, size);
        return;
    }
    TSurfaceStateGuard state(surface);
    surface.SetTextAlign(TA_CENTER | TA_TOP);
    surface.SetBrushColor(kBlack);
    const varimark::TResolution res = varimark::SurfaceResolution(surface);

    Encode();

    surface.SetFontFace(Params.Fontname);
    const TBarLayout layout = varimark::LayOutBarcode(*this, res, x, y, LineFont(surface));
    DrawLayout(*this, surface, layout);
    if (layout.lineReplacesCodeText) {
        const std::string_view line = layout.pieces[0].Text();
        std::memcpy(CodeText, line.data(), line.size());
        CodeText[line.size()] = '\0';
    }
    state.Restore();
    size = layout.DrawnSize(Params.Rotation);
}

void TLLBarcode::DrawPostnet(TSurface& surface, int x, int y, TDrawnSize& size) {
    const varimark::TResolution res = varimark::SurfaceResolution(surface);
    Encode();

    TSurfaceStateGuard state(surface);
    surface.SetTextAlign(TA_CENTER | TA_TOP);
    surface.SetBrushColor(kBlack);
    const TBarLayout layout = varimark::LayOutPostal(*this, res, x, y, LineFont(surface));
    DrawLayout(*this, surface, layout);

    state.Restore();
    size = layout.DrawnSize(Params.Rotation);
}

int TLLBarcode::FontHeightFor(long double basis) const {
    return varimark::LineFontHeight(Params, basis);
}

void TLLBarcode::FillRectRotated(TSurface& surface, const TRect& rect, int x, int y, int w,
                                 int v) const {
    const int dl = rect.left - x, dr = rect.right - x, dt = rect.top - y, db = rect.bottom - y;
    switch (Params.Rotation) {
    case btCodeRotate::rotate_090: surface.FillRect(x + dt, y + w - dl, x + db, y + w - dr); break;
    case btCodeRotate::rotate_180:
        surface.FillRect(x + w - dr, y + v - dt, x + w - dl, y + v - db);
        break;
    case btCodeRotate::rotate_270: surface.FillRect(x + v - dt, y + dl, x + v - db, y + dr); break;
    default: surface.FillRect(x + dl, y + dt, x + dr, y + db); break;
    }
}

void TLLBarcode::TextOutRotated(TSurface& surface, int x, int y, std::string_view text,
                                long double basis, int w, int v, int top, int centre) const {
    const int d = centre - x, e = top - y;
    int px, py, escapement;
    switch (Params.Rotation) {
    case btCodeRotate::rotate_090: px = x + e, py = y + w - d, escapement = 900; break;
    case btCodeRotate::rotate_180: px = x + w - d, py = y + v - e, escapement = 1800; break;
    case btCodeRotate::rotate_270: px = x + v - e, py = y + d, escapement = 2700; break;
    default: px = x + d, py = y + e, escapement = 0; break;
    }
    std::string_view face(Params.Fontname);
    if (face.size() > 31) face = face.substr(0, 31);
    surface.SetTextAlign(TA_CENTER | TA_TOP);
    surface.TextOut(px, py, text, TFontSpec{face, FontHeightFor(basis), escapement});
}

} // namespace varimark
