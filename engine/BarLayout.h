#pragma once
// Where each part of a drawn barcode goes, in unrotated pixels: the module measure, every bar
// as a rectangle, the pieces of the human-readable line and their font, the add-on, the size
// of the drawing. Computed in one place from the parameters, the encoded modules and the
// surface's resolution; the drawing only reads it (and turns it for the rotation), and the
// quiet zones read its module measure.
#include "engine/LLBarcode.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

namespace varimark {

class TSurface;

inline constexpr long double kInchPerMM = 0.039370078740157480314L; // 1 / 25.4

// Bar heights in modules: EAN-13 and UPC-A, whose outer digits stand beside the bars, and
// every other type.
inline constexpr long double kGuardDigitBarModules = 74.24L;
inline constexpr long double kBarModules = 56.24L;
inline constexpr long double kOneByBarModules = 0.017780938833570412517L; // 1 / 56.24
// The font height is this part of the EAN-13/UPC-A bar height; the other types scale it by
// 74.24 / 56.24, so that their text has the same height per module.
inline constexpr long double kFontPerBarHeight = 0.18L;
// EAN/UPC family: data bars end at this part of the bar height, over the digits; the drawing
// ends a line of text below this part (the digits rise into the guard bars' length).
inline constexpr long double kShortBarPart = 0.917L;
inline constexpr long double kDigitLinePart = 0.9336L;
// EAN-13 and UPC-A: room beside the bars on either side for the outer digits, in modules.
inline constexpr int kOuterDigitModules = 10;
// Bar types: module numbers from which the bars belong to the add-on (EAN-13, UPC-A).
inline constexpr int kFirstAddonModule = 101;
// ITF-14: the bearer bars' thickness and the quiet zone between the frame's sides and the
// bars, in modules. GS1 asks for bearer bars at least twice the narrow bar and shows 4.8 mm
// at its module of 1.016 mm: five modules. The quiet zone is the symbology table's.
inline constexpr int kItfBearerModules = 5;
inline constexpr int kItfQuietModules = Symbology(btCodeTypes::ITF_14)->quietZone.left;

// Postnet: bars 0.020 inch wide, 22 to the inch, full bars 0.125 inch and half bars 0.050
// inch tall; the font grows from five full bar heights.
inline constexpr long double kPostnetBarWidthMM = 0.508L;              // 0.020 inch
inline constexpr long double kPostnetPitchMM = 1.1545454545454545454L; // 1/22 inch
inline constexpr long double kPostnetFullBarMM = 3.175L;               // 0.125 inch
inline constexpr long double kPostnetHalfBarMM = 1.27L;                // 0.050 inch
inline constexpr int kPostnetFontBars = 5;
// FIM: bars 1/32 inch wide at a pitch of 1/16 inch, 5/8 inch tall; the font grows from one
// bar height.
inline constexpr long double kFimBarWidthMM = 0.79375L; // 1/32 inch
inline constexpr long double kFimPitchMM = 1.5875L;     // 1/16 inch
inline constexpr long double kFimBarMM = 15.875L;       // 5/8 inch
inline constexpr int kFimFontBars = 1;

// Pixels per millimetre across and down.
struct TResolution {
    long double across, down;
};
TResolution ResolutionAt(int dpiX, int dpiY);
// The surface's resolution, or the screen's when the surface reports a zero.
TResolution SurfaceResolution(const TSurface& surface);

// The modules of the bar types (not the postal symbols) at a resolution across: an entry of
// TLLBarcode::Modules, which is a module but for ITF-14's halves and quarters.
struct TModuleMeasure {
    long double mm;     // module width (an entry's), halved with HighDensity
    long double pixels; // its exact width in pixels
    int wholePixels;    // rounded, 1 for a 0: the pitch without ZoomSize
    int digitRoom;      // pixels left on either side for the outer digits (EAN-13, UPC-A)
    bool zoom;          // modules at their exact millimetre positions

    // One module's pixels as the bars stand: exact with ZoomSize, whole otherwise.
    long double Pitch() const { return zoom ? pixels : wholePixels; }
};
TModuleMeasure MeasureModules(const TLLBarcode& barcode, long double pixelsPerMMAcross);

// Postnet and FIM measures in pixels.
struct TPostalMeasure {
    int barWidth;
    long double pitch; // from bar to bar, exact (FIM bars stand at its rounded value)
    int fullBar, halfBar;
};

enum class TBarKind : std::uint8_t {
    Full,   // from the top to the long bottom: guard bars, the bars of types without digits
            // between them, full postal bars
    Short,  // EAN/UPC data bars, ending over the digits
    Addon,  // add-on bars, starting below the add-on's digits
    Half,   // Postnet half bars
    Bearer, // ITF-14's bearer bars (module and modules 0)
};

struct TBar {
    TRect rect; // after the width reduction
    int module; // the first module (from 1)
    int modules;
    TBarKind kind;
};

// A piece of the human-readable line and the point at the middle of its top.
struct TTextPiece {
    std::array<char, TLLBarcode::kMapCode128Capacity> text;
    int length;
    int centre, top;

    std::string_view Text() const { return {text.data(), static_cast<std::size_t>(length)}; }
};

struct TBarLayout {
    static constexpr int kMaxBars = (TLLBarcode::kMaxModules + 1) / 2;
    static constexpr int kMaxPieces = 5; // UPC-A's four pieces of digits and the add-on

    int x, y; // the unrotated top-left corner
    bool postal;
    TModuleMeasure modules; // bar types
    TPostalMeasure measure; // postal symbols

    // Bar types: the full bar height in pixels and what the bar-height percentage cuts off
    // its bottom (negative: adds); the bottoms of long and short bars, the add-on's top.
    int barHeight, cut;
    int longBottom, shortBottom, addonTop;
    int bearer; // ITF-14: the bearer bars' thickness down (the bars start below the top one)

    // The line's font: height from a basis (the bar height; postal: a number of full bar
    // heights), and the height of a line of text in it. Bar types measure the line even
    // without text (the add-on bars leave its room).
    long double fontBasis;
    int fontHeight, lineHeight;
    // UPC-E and CODE25iP print their prepared text rewritten; the drawing keeps the
    // rewritten form in CodeText.
    bool lineReplacesCodeText;

    TDrawnSize box; // unrotated: across the bars, then down

    int barCount, pieceCount;
    std::array<TBar, kMaxBars> bars;
    std::array<TTextPiece, kMaxPieces> pieces;

    std::span<const TBar> Bars() const { return {bars.data(), static_cast<std::size_t>(barCount)}; }
    std::span<const TTextPiece> Pieces() const {
        return {pieces.data(), static_cast<std::size_t>(pieceCount)};
    }
    // The size after rotation.
    TDrawnSize DrawnSize(btCodeRotate rotation) const;
};

// Puts the line's font height on the surface and, when measure is set, gives the height of
// a line of text in that font (0 otherwise).
using TLineFont = std::function<int(int fontHeight, bool measure)>;

// The layout of an encoded barcode with its unrotated top-left corner at (x, y): the postal
// one for Postnet and FIM, the bar one for every other type. Calls lineFont once.
TBarLayout LayOutBarcode(const TLLBarcode& barcode, TResolution resolution, int x, int y,
                         const TLineFont& lineFont);
// The postal layout, for whatever modules are encoded.
TBarLayout LayOutPostal(const TLLBarcode& barcode, TResolution resolution, int x, int y,
                        const TLineFont& lineFont);

// Font height for the human-readable line from a basis height.
int LineFontHeight(const TBarcodeParams& params, long double basis);

} // namespace varimark
