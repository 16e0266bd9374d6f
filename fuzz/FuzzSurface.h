#pragma once
// A drawing surface for the fuzz targets: records every fill with the brush in effect and
// every piece of text with its font and alignment, and measures text either at a fixed
// height or in proportion to the current font, as a real font engine would.
#include "engine/Surface.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace varimark {

struct FuzzFill {
    int left, top, right, bottom; // as passed: the corners may come in either order
    TColor color;
    TBrushStyle style;

    // The same area with the smaller value first on each axis.
    FuzzFill Normalised() const {
        return {std::min(left, right),
                std::min(top, bottom),
                std::max(left, right),
                std::max(top, bottom),
                color,
                style};
    }
    bool SameArea(const FuzzFill& other) const {
        return left == other.left && top == other.top && right == other.right &&
               bottom == other.bottom;
    }
};

struct FuzzText {
    int x, y;
    std::string text, face;
    int height, escapement;
    unsigned align;
};

class FuzzSurface : public TSurfaceState {
public:
    // textHeight < 0: text is measured as 1.15 times the current font height.
    FuzzSurface(int dpiX, int dpiY, int screenDpi, int textHeight)
        : TSurfaceState(dpiX, dpiY, screenDpi, screenDpi), textHeight_(textHeight) {}

    void FillRect(int left, int top, int right, int bottom) override {
        fills.push_back({left, top, right, bottom, brushColor_, brushStyle_});
    }
    int TextHeight(std::string_view) override {
        ++measures;
        return textHeight_ >= 0 ? textHeight_ : fontHeight_ * 115 / 100;
    }
    void TextOut(int x, int y, std::string_view text, const TFontSpec& font) override {
        texts.push_back({x, y, std::string(text), std::string(font.face), font.height,
                         font.escapement, textAlign_});
    }

    std::vector<FuzzFill> fills;
    std::vector<FuzzText> texts;
    int measures = 0;

private:
    int textHeight_;
};

} // namespace varimark
