#pragma once
// Grading a printed or drawn linear barcode as a print-quality verifier does (ISO/IEC
// 15416): ten scan reflectance profiles across the bars, each parameter graded A (4) to
// F (0), the symbol grade the mean of the profile grades.
//
//     varimark::VerifyReport report = varimark::VerifyFile("label.png", {});
//     std::cout << report.gradeText << ' ' << report.data;   // "4.0/06/660 4006381333931"
#include "varimark/varimark.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varimark {

struct VerifyOptions {
    std::optional<Type> type;      // none: whichever linear symbology decodes
    double dpi = 0;                // 0: the resolution the file states (600 when it states none)
    double apertureMils = 0;       // 0: the reference aperture for the measured X dimension
    double reflectanceBlack = 0;   // percent that grey level 0 reflects (a calibration card's)
    double reflectanceWhite = 100; // percent that grey level 255 reflects
    double minGrade = 1.5;         // the symbol grade that passes (C)
};

// One scan: the measured values (reflectances in percent) and their grades, 4 (A) .. 0 (F).
struct ProfileReport {
    double rmin = 0, rmax = 0, symbolContrast = 0, minEdgeContrast = 0;
    double modulation = 0, defects = 0, decodability = 0;
    int decodeGrade = 0, rminGrade = 0, symbolContrastGrade = 0, minEdgeContrastGrade = 0;
    int modulationGrade = 0, defectsGrade = 0, decodabilityGrade = 0;
    int grade = 0;
    bool decoded = false;
    std::string data;
    std::string failure; // why Decode is F
};

struct VerifyReport {
    bool decoded = false;     // some scan decoded
    Type type = Type::EAN_13; // the symbology decoded
    std::string data;         // the prepared text as varimark::Encode gives it
    std::string addon;        // an EAN/UPC add-on's digits
    double grade = 0;         // the mean of the profile grades, 0..4
    char letter = 'F';        // A from 3.5, B from 2.5, C from 1.5, D from 0.5
    std::string gradeText;    // "3.8/06/660": grade / aperture in mils / wavelength in nm
    bool passed = false;      // grade >= minGrade, and decoded
    double apertureMils = 0, apertureMillimetres = 0;
    int wavelength = 660;               // nm; a grey picture is taken as seen in red light
    double dpi = 0;                     // the resolution measured at
    bool dpiAssumed = false;            // the file stated none and none was given
    double xMillimetres = 0, xMils = 0; // the X dimension (narrow element) measured
    double barGainMillimetres = 0;      // mean bar width above nominal (negative: loss)
    double barGainPercent = 0;          // the same, in percent of X
    double skewDegrees = 0;
    bool acrossColumns = false;          // the bars lie across the picture's rows (turned)
    std::vector<ProfileReport> profiles; // ten, when a symbol was found
    std::vector<std::string> advice;     // one sentence for each parameter below minGrade
    std::string failure;                 // when nothing decoded: why
};

// Raises Error for a picture that cannot be read (unknown format, damaged, too large) or
// an option out of range; a picture without a readable barcode gives a report with
// decoded false and its reason.
VARIMARK_API VerifyReport Verify(const std::uint8_t* picture, std::size_t size,
                                 const VerifyOptions& options);
VARIMARK_API VerifyReport VerifyFile(const std::string& path, const VerifyOptions& options);

// The report as one JSON object (the --json output of varimark-cli verify).
VARIMARK_API std::string VerifyReportJson(const VerifyReport& report);

} // namespace varimark
