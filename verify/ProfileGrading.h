#pragma once
// Grading one scan reflectance profile as a print-quality verifier does (ISO/IEC 15416,
// scan reflectance profile grading): the elements counted at the global threshold, each
// edge where the profile crosses the midpoint of the adjoining space's highest and bar's
// lowest reflectance, the reference decode from those edges with its quiet zones, and each
// parameter's grade from A (4) to F (0). The profile's grade is its lowest parameter grade.
// A profile that does not decode still has every value measured on the run of elements
// taken for the symbol (the longest run of bars), and Decode F.
#include "engine/BarcodeTypes.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace varimark {

// Grade thresholds: Symbol Contrast in percent, Modulation, Defects and Decodability as
// fractions; the edge-contrast floor in percent.
struct TGradeLimits {
    static constexpr double kContrast[4] = {70, 55, 40, 20};
    static constexpr double kModulation[4] = {0.70, 0.60, 0.50, 0.40};
    static constexpr double kDefects[4] = {0.15, 0.20, 0.25, 0.30}; // at most
    static constexpr double kDecodability[4] = {0.62, 0.50, 0.37, 0.25};
    static constexpr double kMinEdgeContrast = 15;
};

// The grade (4 A .. 0 F) of a value against four descending lower limits, or four ascending
// upper limits.
int GradeAtLeast(double value, const double (&limits)[4]);
int GradeAtMost(double value, const double (&limits)[4]);
// The letter of a grade value: A from 3.5, B from 2.5, C from 1.5, D from 0.5, else F.
char GradeLetter(double grade);

struct TProfileGrade {
    // Reflectances in percent.
    double rmin = 0, rmax = 0, symbolContrast = 0, minEdgeContrast = 0;
    double modulation = 0, defects = 0, decodability = 0;
    int decodeGrade = 0, rminGrade = 0, contrastGrade = 0, edgeContrastGrade = 0;
    int modulationGrade = 0, defectsGrade = 0, decodabilityGrade = 0;
    int grade = 0; // the lowest of the seven

    bool found = false; // a run of elements was taken for the symbol
    bool decoded = false;
    btCodeTypes type{};
    std::string data, addon; // the symbol characters (TDecoded::data), the add-on's digits
    std::string message;     // as a scanner transmits it (TDecoded::message)
    std::string identifier;  // the symbology identifier
    std::string failure;     // why Decode is F
    // Measured in samples of the profile.
    double moduleWidth = 0; // X
    double barGain = 0;     // mean bar width above its nominal width (negative: loss)
    // The quiet zones found and needed, in modules.
    double quietLeft = 0, quietRight = 0;
    int quietLeftNeeded = 0, quietRightNeeded = 0;
    bool reversed = false; // read right to left: the symbol's start is on the right

    // Where things lie, in samples: the range measured (the symbol and its quiet zones),
    // the global threshold, the edge between each element of the range and the next, the
    // edge of the lowest edge contrast and the worst non-uniformity's peak or valley (-1:
    // none).
    std::size_t measuredFirst = 0, measuredLast = 0;
    double threshold = 0;
    std::vector<double> edges;
    double minEdgeContrastAt = -1, defectAt = -1;
};

// profile: reflectance in percent along one scan line, reaching past both quiet zones (the
// line may run further). type: the symbology, or any linear one. before, after: how far the
// picture reaches beyond the first and the last sample, in samples: a quiet zone that runs
// to the picture's edge ends there.
TProfileGrade GradeProfile(std::span<const double> profile, std::optional<btCodeTypes> type,
                           double before = 0.5, double after = 0.5);

} // namespace varimark
