#pragma once
// The parameter record of one barcode: what to encode and how it looks.
#include "engine/BarcodeTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varimark {

class TBarcodeParams {
public:
    static constexpr int kMaxCaption = 50; // characters; longer captions are refused
    static constexpr int kMaxAddon = 5;

    TBarcodeParams();

    // Copies text into Caption; more than 50 characters raise
    // "String exceeds maximum length" and leave Caption as it was.
    void SetCaption(std::string_view text);
    // Keeps the digits of text, then cuts them to 5, 2 or 0 digits.
    void SetCodeAddon(std::string_view text);
    // The range checks of the look: each raises EOverflow with its message and leaves
    // the field as it was when the value is out of range.
    void SetModuleWidth(btCodeSizes value);    // SC0..SC9
    void SetRatio(btCodeRatio value);          // Ratio_3, Ratio_2
    void SetRotation(btCodeRotate value);      // rotate_000..rotate_270
    void SetHeightPercent(std::int32_t value); // 20..200
    void SetFontscaling(std::int32_t value);   // 20..200

    char Caption[kMaxCaption + 1]; // zero-terminated
    char CodeAddon[kMaxAddon + 1]; // zero-terminated: empty, 2 or 5 digits
    btCodeTypes CodeType = btCodeTypes::EAN_8;
    btCodeSizes ModuleWidth = btCodeSizes::SC2;
    btCodeRatio Ratio = btCodeRatio::Ratio_3;
    std::int32_t HeightPercent = 100;
    std::string Fontname = "Arial";
    std::int32_t Fontscaling = 100;
    bool WidthReduce = false;
    bool HighDensity = false;
    bool ZoomSize = false;
    btCodeRotate Rotation = btCodeRotate::rotate_000;
    bool HumanReadable = true;
    std::int32_t GroupSplit = 7; // start of the second digit group of a 12-digit CODE25iP line
    // ITF_14 only: the wide element in quarters of the module (9..12: 2.25 to 3 modules),
    // and its bearer bars.
    std::uint8_t ItfWideQuarters = 10;
    TBearer Bearer = TBearer::Frame;
};

// ITF-14's wide-to-narrow ratio as ItfWideQuarters: 2.25, 2.5, 2.75 or 3 (GS1's range in
// steps of a quarter module), 0 for its default of 2.5; nothing for another value.
std::optional<int> ItfWideQuarters(double ratio);
// The ratios ITF_14 takes, as refusals name them.
inline constexpr const char* kItfRatios = "(ITF_14: 2.25, 2.5, 2.75 or 3)";

// The add-on normalisation: the digits of text in order, cut to five when there are
// five or more, to two when there are two to four, else empty. Writes a zero-terminated
// result of 0, 2 or 5 digits into out (6 bytes).
void NormaliseAddon(std::string_view text, char out[TBarcodeParams::kMaxAddon + 1]);

} // namespace varimark
