#pragma once
// A drawing surface for tests: records every fill with the brush in effect and every
// piece of text with its font and the alignment and background mode in effect, reports a chosen
// resolution, and measures any text at a fixed, configurable height.
#include "engine/Surface.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace varimark {

using Box = std::array<int, 4>; // left, top, right, bottom

struct RecordedFill {
    int left, top, right, bottom; // as passed: the corners may come in either order
    TColor color;
    TBrushStyle style;

    Box Raw() const { return {left, top, right, bottom}; }
    // The same area with the smaller value first on each axis.
    Box Normalised() const {
        return {std::min(left, right), std::min(top, bottom), std::max(left, right),
                std::max(top, bottom)};
    }
};

struct RecordedText {
    int x, y;
    std::string text, face;
    int height, escapement;
    unsigned align;
    TBkMode bkMode; // the background mode in effect
};

struct RecordedMeasure {
    std::string text, face;
    int height;
};

class RecordingSurface : public TSurfaceState {
public:
    explicit RecordingSurface(int dpiX = 96, int dpiY = 96, int screenDpiX = 96,
                              int screenDpiY = 96)
        : TSurfaceState(dpiX, dpiY, screenDpiX, screenDpiY) {}

    void FillRect(int left, int top, int right, int bottom) override {
        fills.push_back({left, top, right, bottom, brushColor_, brushStyle_});
    }
    int TextHeight(std::string_view text) override {
        measures.push_back({std::string(text), fontFace_, fontHeight_});
        return textHeight;
    }
    void TextOut(int x, int y, std::string_view text, const TFontSpec& font) override {
        texts.push_back({x, y, std::string(text), std::string(font.face), font.height,
                         font.escapement, textAlign_, bkMode_});
    }

    std::array<int, 2> WindowExt() const { return {windowExt_[0], windowExt_[1]}; }
    std::array<int, 2> ViewportExt() const { return {viewportExt_[0], viewportExt_[1]}; }

    int textHeight = 13; // what TextHeight reports ("Ay" in Arial at 13 pixels)
    std::vector<RecordedFill> fills;
    std::vector<RecordedText> texts;
    std::vector<RecordedMeasure> measures;
};

} // namespace varimark
