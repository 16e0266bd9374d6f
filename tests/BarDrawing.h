#pragma once
// One barcode drawn onto a recording surface: the look as designated fields, the engine set
// from them, and what the drawing recorded.
#include "RecordingSurface.h"
#include "engine/LLBarcode.h"

#include <string>

namespace varimark {

inline constexpr const char* kEan13 = "400638133393"; // 4006381333931
// Names parameterised cases by their name field.
inline constexpr auto kByName = [](const auto& info) { return std::string(info.param.name); };

struct Setup {
    btCodeTypes type = btCodeTypes::UPC_A;
    const char* caption = "12345678901"; // UPC-A 123456789012
    const char* addon = "";
    int dpiX = 96, dpiY = 96;
    btCodeSizes size = btCodeSizes::SC2;
    btCodeRatio ratio = btCodeRatio::Ratio_3;
    bool highDensity = false, zoom = false, widthReduce = false, humanReadable = true;
    int heightPercent = 100, fontscaling = 100;
    btCodeRotate rotation = btCodeRotate::rotate_000;
    int textHeight = 13;
    int x = 0, y = 0;
};

struct Drawing {
    explicit Drawing(const Setup& s) : setup(s), surface(s.dpiX, s.dpiY) {
        TBarcodeParams& p = engine.Params;
        p.CodeType = s.type;
        p.SetCaption(s.caption);
        p.SetCodeAddon(s.addon);
        p.ModuleWidth = s.size;
        p.Ratio = s.ratio;
        p.HighDensity = s.highDensity;
        p.ZoomSize = s.zoom;
        p.WidthReduce = s.widthReduce;
        p.HumanReadable = s.humanReadable;
        p.HeightPercent = s.heightPercent;
        p.Fontscaling = s.fontscaling;
        p.Rotation = s.rotation;
        surface.textHeight = s.textHeight;
    }
    void Draw() { engine.DrawBarcode(surface, setup.x, setup.y, size); }

    Setup setup;
    TLLBarcode engine;
    RecordingSurface surface;
    TDrawnSize size{-7, -9};
};

} // namespace varimark
