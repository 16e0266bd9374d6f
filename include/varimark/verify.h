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
#include <string_view>
#include <vector>

namespace varimark {

struct VerifyOptions {
    std::optional<Type> type;      // none: whichever linear symbology decodes
    double dpi = 0;                // 0: the resolution the file states; when it states none,
                                   // X is measured in pixels and the grade is relative
    double apertureMils = 0;       // 0: the reference aperture for the measured X dimension
    double reflectanceBlack = 0;   // percent that grey level 0 reflects (a calibration card's)
    double reflectanceWhite = 100; // percent that grey level 255 reflects
    double minGrade = 1.5;         // the symbol grade that passes (C)
    // Also check the symbol's size against GS1's symbol specification table for its
    // symbology (X dimension, bar height, quiet zones, print quality, ITF-14's bearer bars),
    // graded at the table's aperture unless apertureMils names one.
    bool gs1 = false;
};

// A scan line in the picture: sample j of its profile lies at (x + j * dx, y + j * dy), in
// pixels, the centre of the top left pixel at (0, 0).
struct ScanLine {
    double x = 0, y = 0, dx = 1, dy = 0;
    int count = 0;
};

// One scan: the measured values (reflectances in percent) and their grades, 4 (A) .. 0 (F).
// A scan that does not decode still carries every value measured on the run of elements
// taken for the symbol.
struct ProfileReport {
    double rmin = 0, rmax = 0, symbolContrast = 0, minEdgeContrast = 0;
    double modulation = 0, defects = 0, decodability = 0;
    int decodeGrade = 0, rminGrade = 0, symbolContrastGrade = 0, minEdgeContrastGrade = 0;
    int modulationGrade = 0, defectsGrade = 0, decodabilityGrade = 0;
    int grade = 0;
    bool decoded = false;
    std::string data;    // as a scanner transmits it (UTF-8)
    std::string failure; // why Decode is F

    // What was measured, for drawing it: the line, its reflectance profile (percent, one
    // value per sample), the samples graded (the symbol and its quiet zones), the global
    // threshold, each element edge (in samples, fractional), where the lowest edge contrast
    // lies (between the two elements that meet there) and the worst element
    // non-uniformity; -1 when there is none.
    ScanLine line;
    std::vector<double> reflectance;
    std::size_t measuredFirst = 0, measuredLast = 0;
    double threshold = 0;
    std::vector<double> edges;
    double minEdgeContrastAt = -1, defectAt = -1;
};

// One element of GS1 data read from the symbol: its Application Identifier, its data
// field, and what breaks GS1's rules for it ("(17) 261331: month 13").
struct Gs1ElementReport {
    std::string ai, data;
    std::vector<std::string> faults;
};

// One limit of a GS1 symbol specification table checked against what was measured: the
// measured value and the allowed range in unit ("mm", "X" for modules, "" for a grade).
struct Gs1SizeCheck {
    std::string name;        // "X dimension", "Bar height", "Left quiet zone", ...
    std::string unit;        // "mm", "X" or "" (a grade)
    bool measured = false;   // false: could not be measured (no resolution, no bearer)
    double value = 0;        // what was measured, in unit
    double min = 0, max = 0; // the allowed range; max 0: no upper limit
    bool passed = false;
    std::string text; // the line: "X dimension 0.330 mm: allowed 0.495 to 1.016 mm: fails"
};

// The GS1 checks of a symbol: the element string split into its AIs with their faults (for
// GS1-128 and ITF-14 always, for EAN/UPC with VerifyOptions::gs1), and with
// VerifyOptions::gs1 the size checks against the table named.
struct Gs1Report {
    bool checked = false; // the symbol carries GS1 data, or VerifyOptions::gs1 was set
    std::vector<Gs1ElementReport> elements;
    std::vector<std::string> faults; // every data fault, and why the data is no GS1 data
    bool sizeChecked = false;        // VerifyOptions::gs1
    std::string table;               // the table the limits come from, or why none applies
    std::vector<Gs1SizeCheck> sizeChecks;
    bool passed = false; // no data fault, and every size check passed when made
};

struct VerifyReport {
    bool found = false;       // a run of bars was found to scan
    bool decoded = false;     // some scan decoded
    Type type = Type::EAN_13; // the symbology decoded
    std::string data;         // as a scanner transmits it (UTF-8): Code 39 without its
                              // start and stop, Code 128 its data characters (FNC1 as GS),
                              // EAN/UPC every digit with the add-on's after them
    std::string identifier;   // the symbology identifier: "]E0", "]C1", "]A0", ...
    std::string symbolCharacters; // the prepared text as varimark::Encode gives it (Code 39
                                  // with its stars, Code 128 as symbol values + 32)
    std::string addon;            // an EAN/UPC add-on's digits
    double grade = 0;             // the mean of the profile grades, 0..4
    char letter = 'F';            // A from 3.5, B from 2.5, C from 1.5, D from 0.5
    std::string gradeText;        // "3.8/06/660": grade / aperture in mils / wavelength in nm
                                  // ("3.8/0.46X/660" when graded relative to X)
    bool passed = false;          // grade >= minGrade, and decoded
    double apertureMils = 0, apertureMillimetres = 0;
    double aperturePixels = 0;
    double apertureOfX = 0; // the aperture as a fraction of X
    int wavelength = 660;   // nm; a grey picture is taken as seen in red light
    double dpi = 0;         // the resolution measured at; 0 when graded relative to X
    bool relative = false;  // no resolution: X in pixels, the aperture a fraction of X
    std::string resolutionNote; // why a resolution the file states was not used, or ""
    double xPixels = 0;
    double xMillimetres = 0, xMils = 0; // the X dimension (narrow element) measured
    double barGainMillimetres = 0;      // mean bar width above nominal (negative: loss)
    double barGainPercent = 0;          // the same, in percent of X
    double skewDegrees = 0;             // the scans' angle from the picture's rows (degrees,
                                        // counterclockwise on screen)
    bool acrossColumns = false;         // the bars lie across the picture's rows (turned)
    double barHeightPixels = 0;         // the height of the band the scans cross
    std::vector<ProfileReport> profiles; // ten, when a symbol was found
    std::vector<std::string> advice;     // one sentence for each parameter below minGrade
    std::string failure;                 // when nothing decoded: why

    // The quiet zones in modules (the medians over the scans that decoded): before the
    // symbol's start character and after its stop, whichever way the picture turns it.
    double quietStartModules = 0, quietEndModules = 0;
    // ITF-14's bearer bars: "frame", "top and bottom" or "" (none), and the thinnest one's
    // thickness (millimetres 0 when graded relative to X).
    std::string bearerBars;
    double bearerPixels = 0, bearerMillimetres = 0;
    Gs1Report gs1; // the GS1 checks
};

// Raises Error for a picture that cannot be read (unknown format, damaged, too large) or
// an option out of range; a picture without a readable barcode gives a report with
// decoded false and its reason.
VARIMARK_API VerifyReport Verify(const std::uint8_t* picture, std::size_t size,
                                 const VerifyOptions& options);
VARIMARK_API VerifyReport VerifyFile(const std::string& path, const VerifyOptions& options);

// The report as one JSON object (the --json output of varimark-cli verify); each profile
// carries its scan line and reflectance values.
VARIMARK_API std::string VerifyReportJson(const VerifyReport& report);

// The report as people read it, the table varimark-cli verify prints: the file's name, the
// symbol grade against minGrade (VerifyOptions::minGrade), the data and symbology, the X
// dimension, bar gain and aperture, quiet zones and bearer bars, a row per scan with each
// parameter's value and grade letter, the GS1 checks and what to do. Lines end in "\n".
VARIMARK_API std::string VerifyReportText(const VerifyReport& report, const std::string& fileName,
                                          double minGrade);

// Data as people read it: control characters by their names ("<GS>" for the byte 29 that a
// Code 128 FNC1 sends), everything else as it is.
VARIMARK_API std::string VisibleData(std::string_view data);

// The grading drawn for people, as a verifier shows it: the picture with the ten scan lines
// on it (failing ones marked) and the scan reflectance profile of the lowest scan with
// Rmax, Rmin, the global threshold, each edge, the lowest edge contrast and the worst
// defect marked. format: Format::Svg or Format::Png; picture: the file's bytes graded.
VARIMARK_API std::vector<std::uint8_t> VerifyReportPicture(const std::uint8_t* picture,
                                                           std::size_t size,
                                                           const VerifyReport& report,
                                                           Format format);
// The same, written safely to fileName, its format chosen by the extension (.svg, .png).
VARIMARK_API void SaveVerifyReportPicture(const std::string& picturePath,
                                          const VerifyReport& report,
                                          const std::string& fileName);

} // namespace varimark
