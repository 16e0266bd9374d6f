#pragma once
// Grading one scan reflectance profile as a print-quality verifier does: the elements at the
// global threshold, the reference decode with its quiet zones, and each parameter's grade
// from A (4) to F (0). The profile's grade is its lowest parameter grade.
#include "engine/BarcodeTypes.h"

#include <optional>
#include <span>
#include <string>

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

    bool decoded = false;
    btCodeTypes type{};
    std::string data, addon;
    std::string failure; // why Decode is F
    // Measured in samples of the profile.
    double moduleWidth = 0; // X
    double barGain = 0;     // mean bar width above its nominal width (negative: loss)
    // The quiet zones found and needed, in modules.
    double quietLeft = 0, quietRight = 0;
    int quietLeftNeeded = 0, quietRightNeeded = 0;
};

// profile: reflectance in percent along one scan line, one sample per pixel, reaching past
// both quiet zones (the line may run further). type: the symbology, or any linear one.
TProfileGrade GradeProfile(std::span<const double> profile, std::optional<btCodeTypes> type);

} // namespace varimark
