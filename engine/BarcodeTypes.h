#pragma once
// The one-byte enumerations of the barcode engine.
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

namespace varimark {

// Every symbology in one table, in the order of its values: the enumerator and its value,
// the caption people and screen readers use, the quiet zones in modules on the left and on
// the right, and the reader that decodes it.
// Quiet zones: EAN/UPC as ISO/IEC 15420 gives them (EAN-13 11 and 7, EAN-8 7 and 7, UPC-A 9
// and 9, UPC-E 9 and 7); ten modules on each side for Code 39 (ISO/IEC 16388), Interleaved 2
// of 5 (ISO/IEC 16390), Codabar (EN 798), Code 128 (ISO/IEC 15417), GS1-128 and ITF-14 (GS1
// General Specifications; ITF-14's lie inside its bearer frame), and MSI Plessey. The postal
// symbols' clear zone is an eighth of an inch (QuietZoneMargin), not modules.
#define VARIMARK_SYMBOLOGIES(X)                                                                    \
    X(EAN_8, 0, "EAN-8", 7, 7, EanUpc)                                                             \
    X(EAN_13, 1, "EAN-13", 11, 7, EanUpc)                                                          \
    X(UPC_A, 2, "UPC-A", 9, 9, EanUpc)                                                             \
    X(UPC_E, 3, "UPC-E", 9, 7, EanUpc)                                                             \
    X(CODE39, 4, "Code 39", 10, 10, Code39)                                                        \
    X(CODE25i, 5, "Interleaved 2 of 5", 10, 10, Interleaved2of5)                                   \
    X(CODE25iP, 6, "Interleaved 2 of 5 with check digit", 10, 10, Interleaved2of5)                 \
    X(CODE128_A, 7, "Code 128 table A", 10, 10, Code128)                                           \
    X(CODE128_B, 8, "Code 128 table B", 10, 10, Code128)                                           \
    X(CODE128_C, 9, "Code 128 table C", 10, 10, Code128)                                           \
    X(MSI_Plessey, 10, "MSI Plessey", 10, 10, MsiPlessey)                                          \
    X(Codabar, 11, "Codabar", 10, 10, Codabar)                                                     \
    X(Postnet, 12, "Postnet", 10, 10, None)                                                        \
    X(Postnet_FIM, 13, "Postnet FIM", 10, 10, None)                                                \
    X(GS1_128, 14, "GS1-128", 10, 10, Gs1128)                                                     \
    X(ITF_14, 15, "ITF-14", 10, 10, Itf14)

enum class btCodeTypes : std::uint8_t {
#define VARIMARK_ENUMERATOR(type, value, ...) type = value,
    VARIMARK_SYMBOLOGIES(VARIMARK_ENUMERATOR)
#undef VARIMARK_ENUMERATOR
};
// Every symbology of the engine, the library and the command line.
inline constexpr int kCodeTypeCount = 16;
// The symbologies of the desktop program's list and settings: EAN_8 .. Postnet_FIM.
inline constexpr int kDesktopCodeTypeCount = 14;

// The reference decoder that reads a symbology (none for the postal symbols, which are
// not graded).
enum class TReader : std::uint8_t {
    None,
    EanUpc,
    Code39,
    Interleaved2of5,
    Code128,
    Gs1128,
    Itf14,
    MsiPlessey,
    Codabar
};

// The minimum quiet zone of a type in modules, left and right.
struct TQuietZone {
    int left, right;
};

struct TSymbology {
    btCodeTypes type;
    const char* name;    // "EAN_13": as the command line, the API and Python spell it
    const char* caption; // "EAN-13": as people and screen readers say it
    TQuietZone quietZone;
    TReader reader;
};

inline constexpr TSymbology kSymbologies[] = {
#define VARIMARK_ROW(type, value, caption, left, right, reader)                                    \
    {btCodeTypes::type, #type, caption, {left, right}, TReader::reader},
    VARIMARK_SYMBOLOGIES(VARIMARK_ROW)
#undef VARIMARK_ROW
};
static_assert(std::size(kSymbologies) == kCodeTypeCount);
static_assert(
    [] {
        for (int i = 0; i < kCodeTypeCount; ++i)
            if (static_cast<int>(kSymbologies[i].type) != i) return false;
        return true;
    }(),
    "the table of symbologies runs in the order of their values");

// A symbology's row; nullptr for a value above ITF_14.
constexpr const TSymbology* Symbology(btCodeTypes type) {
    const auto index = static_cast<std::size_t>(type);
    return index < std::size(kSymbologies) ? &kSymbologies[index] : nullptr;
}

// Module width: SC0 (0.27 mm) .. SC9 (0.66 mm).
enum class btCodeSizes : std::uint8_t { SC0, SC1, SC2, SC3, SC4, SC5, SC6, SC7, SC8, SC9 };

// Width of a wide element: 3 or 2 modules.
enum class btCodeRatio : std::uint8_t { Ratio_3 = 0, Ratio_2 = 1 };

enum class btCodeRotate : std::uint8_t { rotate_000, rotate_090, rotate_180, rotate_270 };

// ITF-14's bearer bars: a frame around the symbol and its quiet zones, or a bar over and a
// bar under them only.
enum class TBearer : std::uint8_t { Frame, TopBottom };

// Canonical name of a symbology ("EAN_13"), or nullptr for a value above ITF_14.
constexpr const char* CodeTypeName(btCodeTypes type) {
    const TSymbology* symbology = Symbology(type);
    return symbology ? symbology->name : nullptr;
}

// The symbology a name stands for: the canonical name in any case of ASCII letters, with
// '-' for '_' ("ean-13", "Code128_B"); nullopt for any other name.
std::optional<btCodeTypes> CodeTypeFromName(std::string_view name);

// "frame" and "top-bottom" (any case, '_' for '-').
std::optional<TBearer> CodeBearerFromName(std::string_view name);

} // namespace varimark
