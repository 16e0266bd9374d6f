#pragma once
// The one-byte enumerations of the barcode engine.
#include <cstdint>
#include <optional>
#include <string_view>

namespace varimark {

enum btCodeTypes : std::uint8_t {
    EAN_8 = 0,
    EAN_13 = 1,
    UPC_A = 2,
    UPC_E = 3,
    CODE39 = 4,
    CODE25i = 5,
    CODE25iP = 6,
    CODE128_A = 7,
    CODE128_B = 8,
    CODE128_C = 9,
    MSI_Plessey = 10,
    Codabar = 11,
    Postnet = 12,
    Postnet_FIM = 13,
    GS1_128 = 14, // Code 128 carrying GS1 Application Identifiers (FNC1 in first position)
    ITF_14 = 15,  // Interleaved 2 of 5 of 14 digits with bearer bars
};
// Every symbology of the engine, the library and the command line.
inline constexpr int kCodeTypeCount = 16;
// The symbologies of the desktop program's list and settings: EAN_8 .. Postnet_FIM.
inline constexpr int kDesktopCodeTypeCount = 14;

// Module width: SC0 (0.27 mm) .. SC9 (0.66 mm).
enum btCodeSizes : std::uint8_t { SC0, SC1, SC2, SC3, SC4, SC5, SC6, SC7, SC8, SC9 };

// Width of a wide element: 3 or 2 modules.
enum btCodeRatio : std::uint8_t { Ratio_3 = 0, Ratio_2 = 1 };

enum btCodeRotate : std::uint8_t { rotate_000, rotate_090, rotate_180, rotate_270 };

// ITF-14's bearer bars: a frame around the symbol and its quiet zones, or a bar over and a
// bar under them only.
enum btBearer : std::uint8_t { Bearer_Frame, Bearer_TopBottom };

// Canonical name of a symbology ("EAN_13"), or nullptr for a value above ITF_14.
const char* CodeTypeName(btCodeTypes type);

// The symbology a name stands for: the canonical name in any case of ASCII letters, with
// '-' for '_' ("ean-13", "Code128_B"); nullopt for any other name.
std::optional<btCodeTypes> CodeTypeFromName(std::string_view name);

// "frame" and "top-bottom" (any case, '_' for '-').
std::optional<btBearer> CodeBearerFromName(std::string_view name);

} // namespace varimark
