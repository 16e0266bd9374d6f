#pragma once
// Finding a linear symbol in a picture and laying scan lines across it as a verifier does:
// the symbol is found by decoding lines across the picture (its rows and columns first,
// then lines at every angle), the bars' direction by the same edges on a parallel line,
// the bar height by the bars themselves, and ten scan lines square to the bars across the
// inspection band, 10 % to 90 % of the bar height (ISO/IEC 15416, 5.4.3).
#include "engine/BarcodeTypes.h"
#include "verify/ScanProfile.h"

#include <optional>
#include <string>
#include <vector>

namespace varimark {

// Bearer bars (ITF-14): dark bars along the top and bottom of the bars, touching them, and
// in a frame also down both sides beyond the quiet zones; each one's thickness in pixels, 0
// where there is none.
struct TBearerBars {
    double top = 0, bottom = 0, left = 0, right = 0;
    bool TopAndBottom() const { return top > 0 && bottom > 0; }
    bool Frame() const { return TopAndBottom() && left > 0 && right > 0; }
};

struct TScanPlan {
    std::vector<TScanLine> lines;    // empty when no symbol was found
    std::string failure;             // then why
    bool decoded = false;            // the symbol was found by decoding it (else: bars only)
    std::optional<btCodeTypes> type; // what it decoded as
    bool acrossColumns = false;      // the scans run along the picture's columns
    double skewDegrees = 0;          // the scans' angle from the nearer axis of the picture
    double barHeight = 0;            // the band's height in pixels
    double modulePixels = 0;         // X measured along the scans, in pixels
    TBearerBars bearers;             // beside the band
};

// The scan plan for the symbol of the given type (any linear one when none) in image. With
// no type, Interleaved 2 of 5 of 14 digits whose last is their GS1 check digit, between
// bearer bars at the top and bottom, is taken for ITF-14.
TScanPlan PlanScanLines(const TReflectanceImage& image, std::optional<btCodeTypes> type,
                        int lines = 10);

// The step between profile samples for a module of modulePixels: one pixel, or a whole
// fraction of one that gives at least four samples a module.
double SampleStep(double modulePixels);

} // namespace varimark
