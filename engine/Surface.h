#pragma once
// The drawing surface that barcodes are drawn through: a screen control, a bitmap, a
// printer page, a vector file. Coordinates are logical units of the surface's mapping
// mode (device pixels in text mode); text is 8-bit (Windows-1252).
#include "engine/Units.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace varimark {

// A colour as red, green, blue.
struct TColor {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const TColor&, const TColor&) = default;
};
inline constexpr TColor kBlack{0, 0, 0};
inline constexpr TColor kWhite{255, 255, 255};

enum class TBrushStyle { Solid, Clear };
enum class TBkMode { Transparent = 1, Opaque = 2 };

// Text alignment flags; the reference point is at the left/centre/right and the
// top/base line/bottom of the text.
enum TTextAlign : unsigned {
    TA_LEFT = 0,
    TA_RIGHT = 2,
    TA_CENTER = 6,
    TA_TOP = 0,
    TA_BOTTOM = 8,
    TA_BASELINE = 24,
};

enum TMapMode {
    MM_TEXT = 1,      // one unit per device pixel, y down
    MM_LOMETRIC = 2,  // 0.1 mm, y up
    MM_HIMETRIC = 3,  // 0.01 mm, y up
    MM_LOENGLISH = 4, // 0.01 inch, y up
    MM_HIENGLISH = 5, // 0.001 inch, y up
    MM_TWIPS = 6,     // 1/1440 inch, y up
    MM_ISOTROPIC = 7,
    MM_ANISOTROPIC = 8, // window extent to viewport extent, independently across and down
};

// A font made for one piece of text.
struct TFontSpec {
    std::string_view face;
    int height = 0;     // cell height (ascent + descent) in logical units
    int escapement = 0; // base-line angle in tenths of a degree, counter-clockwise
};

// The quarter turns of a text's escapement (tenths of a degree, counter-clockwise); the
// surfaces turn text by whole quarters, and angles between them go to the nearest.
inline int QuarterTurns(int escapement) {
    const int turns = static_cast<int>(std::lround(escapement / 900.0)) % 4;
    return turns < 0 ? turns + 4 : turns;
}

class TSurface {
public:
    virtual ~TSurface() = default;

    // Resolution in dots per inch across and down (0 when the surface has none).
    virtual int DpiX() const = 0;
    virtual int DpiY() const = 0;
    // The screen's resolution, used when the surface reports zero.
    virtual int ScreenDpiX() const = 0;
    virtual int ScreenDpiY() const = 0;

    virtual TColor BrushColor() const = 0;
    virtual void SetBrushColor(TColor color) = 0;
    virtual TBrushStyle BrushStyle() const = 0;
    virtual void SetBrushStyle(TBrushStyle style) = 0;
    // Fills the rectangle with the brush; the corners may come in either order, the
    // right and bottom edges are excluded.
    virtual void FillRect(int left, int top, int right, int bottom) = 0;

    // The current font: face, cell height, and the height of a text written with it.
    virtual std::string FontFace() const = 0;
    virtual void SetFontFace(std::string_view face) = 0;
    virtual int FontHeight() const = 0;
    virtual void SetFontHeight(int height) = 0;
    virtual int TextHeight(std::string_view text) = 0;

    virtual unsigned TextAlign() const = 0;
    virtual void SetTextAlign(unsigned align) = 0;
    virtual TColor BkColor() const = 0;
    virtual void SetBkColor(TColor color) = 0;
    virtual TBkMode BkMode() const = 0;
    virtual void SetBkMode(TBkMode mode) = 0;
    // Writes text at (x, y) with a font made for this call, aligned by TextAlign()
    // (the alignment turns with the escapement), in the text colour (black).
    virtual void TextOut(int x, int y, std::string_view text, const TFontSpec& font) = 0;

    virtual TMapMode MapMode() const = 0;
    virtual void SetMapMode(TMapMode mode) = 0;
    virtual void SetWindowExt(int width, int height) = 0;
    virtual void SetViewportExt(int width, int height) = 0;
};

// The state every surface keeps as it is given: resolution, brush, current font, text
// alignment, background and mapping mode. Surfaces derive from it and add the drawing.
class TSurfaceState : public TSurface {
public:
    TSurfaceState(int dpiX, int dpiY, int screenDpiX = kScreenDpi, int screenDpiY = kScreenDpi)
        : dpiX_(dpiX), dpiY_(dpiY), screenDpiX_(screenDpiX), screenDpiY_(screenDpiY) {}

    int DpiX() const override { return dpiX_; }
    int DpiY() const override { return dpiY_; }
    int ScreenDpiX() const override { return screenDpiX_; }
    int ScreenDpiY() const override { return screenDpiY_; }

    TColor BrushColor() const override { return brushColor_; }
    void SetBrushColor(TColor color) override { brushColor_ = color; }
    TBrushStyle BrushStyle() const override { return brushStyle_; }
    void SetBrushStyle(TBrushStyle style) override { brushStyle_ = style; }

    std::string FontFace() const override { return fontFace_; }
    void SetFontFace(std::string_view face) override { fontFace_ = face; }
    int FontHeight() const override { return fontHeight_; }
    void SetFontHeight(int height) override { fontHeight_ = height; }

    unsigned TextAlign() const override { return textAlign_; }
    void SetTextAlign(unsigned align) override { textAlign_ = align; }
    TColor BkColor() const override { return bkColor_; }
    void SetBkColor(TColor color) override { bkColor_ = color; }
    TBkMode BkMode() const override { return bkMode_; }
    void SetBkMode(TBkMode mode) override { bkMode_ = mode; }

    TMapMode MapMode() const override { return mapMode_; }
    void SetMapMode(TMapMode mode) override {
        mapMode_ = mode;
        MappingChanged();
    }
    void SetWindowExt(int width, int height) override {
        windowExt_[0] = width, windowExt_[1] = height;
        MappingChanged();
    }
    void SetViewportExt(int width, int height) override {
        viewportExt_[0] = width, viewportExt_[1] = height;
        MappingChanged();
    }

    // Device pixels per logical unit across and down under the mapping mode (negative
    // down where the mode counts y upwards).
    struct TScale {
        double x = 1, y = 1;
    };
    TScale Scale() const {
        const auto metric = [&](double unitsPerInch) {
            return TScale{dpiX_ / unitsPerInch, -dpiY_ / unitsPerInch};
        };
        switch (mapMode_) {
        case MM_LOMETRIC: return metric(254.0);
        case MM_HIMETRIC: return metric(2540.0);
        case MM_LOENGLISH: return metric(100.0);
        case MM_HIENGLISH: return metric(1000.0);
        case MM_TWIPS: return metric(1440.0);
        case MM_ISOTROPIC:
        case MM_ANISOTROPIC: {
            if (windowExt_[0] == 0 || windowExt_[1] == 0) return {};
            TScale scale{static_cast<double>(viewportExt_[0]) / windowExt_[0],
                         static_cast<double>(viewportExt_[1]) / windowExt_[1]};
            if (mapMode_ == MM_ISOTROPIC) scale.x = scale.y = std::min(scale.x, scale.y);
            return scale;
        }
        case MM_TEXT: break;
        }
        return {};
    }

protected:
    // Called after the mapping mode or an extent changed.
    virtual void MappingChanged() {}

    // Where a text box of the given width and cell height (ascent + descent) lies relative
    // to its reference point under the text alignment, before turning.
    struct TTextBox {
        double left, top;
    };
    TTextBox TextBoxAt(double width, double ascent, double cell) const {
        TTextBox box{0, 0};
        if ((textAlign_ & TA_CENTER) == TA_CENTER)
            box.left = -width / 2;
        else if (textAlign_ & TA_RIGHT)
            box.left = -width;
        if ((textAlign_ & TA_BASELINE) == TA_BASELINE)
            box.top = -ascent;
        else if (textAlign_ & TA_BOTTOM)
            box.top = -cell;
        return box;
    }

    int dpiX_, dpiY_, screenDpiX_, screenDpiY_;
    TColor brushColor_ = kWhite;
    TBrushStyle brushStyle_ = TBrushStyle::Solid;
    std::string fontFace_ = "System";
    int fontHeight_ = 16;
    unsigned textAlign_ = TA_LEFT | TA_TOP;
    TColor bkColor_ = kWhite;
    TBkMode bkMode_ = TBkMode::Opaque;
    TMapMode mapMode_ = MM_TEXT;
    int windowExt_[2] = {1, 1};
    int viewportExt_[2] = {1, 1};
};

} // namespace varimark
