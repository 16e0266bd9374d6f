#include "engine/BarcodeParams.h"

#include "engine/EOverflow.h"

#include <cstring>

namespace varimark {

TBarcodeParams::TBarcodeParams() {
    std::memcpy(Caption, "4711", 5);
    CodeAddon[0] = '\0';
}

void TBarcodeParams::SetCaption(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(kMaxCaption)) throw EOverflow(kCaptionTooLong);
    std::memcpy(Caption, text.data(), text.size());
    Caption[text.size()] = '\0';
}

void TBarcodeParams::SetCodeAddon(std::string_view text) {
    NormaliseAddon(text, CodeAddon);
}

void TBarcodeParams::SetModuleWidth(btCodeSizes value) {
    if (value > btCodeSizes::SC9) throw EOverflow("Bar_SC_Size must be in the range 0..9!");
    ModuleWidth = value;
}

void TBarcodeParams::SetRatio(btCodeRatio value) {
    if (value > btCodeRatio::Ratio_2)
        throw EOverflow("Bar_Ratio must be in the range 0..1 (Ratio_3 or Ratio_2)!");
    Ratio = value;
}

void TBarcodeParams::SetRotation(btCodeRotate value) {
    if (value > btCodeRotate::rotate_270)
        throw EOverflow("Bar_Rotate must be in the range rotate_000..rotate_270!");
    Rotation = value;
}

void TBarcodeParams::SetHeightPercent(std::int32_t value) {
    if (value < 20 || value > 200)
        throw EOverflow("Bar_HeightPercent must be in the range 20..200!");
    HeightPercent = value;
}

void TBarcodeParams::SetFontscaling(std::int32_t value) {
    if (value < 20 || value > 200) throw EOverflow("Bar_Fontscaling must be in the range 20..200!");
    Fontscaling = value;
}

std::optional<int> ItfWideQuarters(double ratio) {
    if (ratio == 0) return 10;
    for (int quarters = 9; quarters <= 12; ++quarters)
        if (ratio == quarters / 4.0) return quarters;
    return std::nullopt;
}

void NormaliseAddon(std::string_view text, char out[TBarcodeParams::kMaxAddon + 1]) {
    int digits = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9' && digits < TBarcodeParams::kMaxAddon) out[digits++] = c;
    }
    const int keep = digits >= 5 ? 5 : digits >= 2 ? 2 : 0;
    out[keep] = '\0';
}

} // namespace varimark
