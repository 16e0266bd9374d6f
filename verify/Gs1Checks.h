#pragma once
// The GS1 checks of a graded symbol: its data split into Application Identifiers and
// checked, and its size against the GS1 symbol specification table of its symbology (GS1
// General Specifications, section 5.12.3).
#include "engine/BarcodeTypes.h"
#include "varimark/verify.h"

#include <optional>

namespace varimark {

// One row of a GS1 symbol specification table, as we read it: the X dimension's range in
// millimetres, the lowest bar height (fixed, or at the target X and scaled with X), the
// quiet zones in modules, the lowest print quality grade at its aperture, and whether
// bearer bars are required.
struct TGs1SymbolLimits {
    const char* table;        // "GS1 General Specifications 5.12.3, Table 2 (...)"
    double xMin, xMax;        // mm
    double heightMin;         // mm, at targetX when targetX > 0
    double targetX;           // mm; 0: heightMin holds for every X
    int quietStart, quietEnd; // modules
    double minGrade;          // 0..4
    double apertureMils;      // the table's aperture for that grade
    bool bearers;             // ITF-14: bearer bars at least kBearerModules thick
};
inline constexpr double kBearerModules = 2;

// The table row for a symbology at the X dimension measured (the aperture and the grade may
// change with X); none for a symbology that GS1 does not specify.
std::optional<TGs1SymbolLimits> Gs1SymbolLimits(btCodeTypes type, double xMillimetres, bool addon);

// The GS1 report of a graded symbol: data checks for the symbologies that carry GS1 data
// (GS1-128, ITF-14, and EAN/UPC when sizes is set), and with sizes the size checks.
Gs1Report CheckGs1(const VerifyReport& report, bool sizes);

} // namespace varimark
