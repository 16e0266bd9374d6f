// Grading a picture's barcode: the picture read as reflectance, the symbol found and
// scanned ten times through the reference aperture, each profile graded, the grades
// averaged, and advice for what falls short.
#include "verify/VerifyPicture.h"

#include "engine/Formatted.h"
#include "engine/Units.h"
#include "engine/Windows1252.h"
#include "library/TypeBridge.h"
#include "verify/Gs1Checks.h"
#include "verify/PictureReader.h"
#include "verify/ProfileGrading.h"
#include "verify/ReferenceDecode.h"
#include "verify/ScanProfile.h"
#include "verify/SymbolScan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace varimark {

namespace {

constexpr double kMilsPerInch = 1000;

bool IsEanUpc(btCodeTypes type) {
    return type == btCodeTypes::EAN_8 || type == btCodeTypes::EAN_13 ||
           type == btCodeTypes::UPC_A || type == btCodeTypes::UPC_E;
}

// The reference aperture in mils for an X dimension: EAN/UPC are measured with 6 mils
// (0.150 mm) throughout their range; other symbols with the aperture of their X range
// (0.075 mm below 0.180 mm, 0.125 mm below 0.330 mm, 0.250 mm below 0.635 mm, else
// 0.500 mm), as the general specifications' table of application parameters gives.
double ReferenceAperture(btCodeTypes type, double xMillimetres) {
    if (IsEanUpc(type)) return 6;
    if (xMillimetres < 0.180) return 3;
    if (xMillimetres < 0.330) return 5;
    if (xMillimetres < 0.635) return 10;
    return 20;
}

// With no resolution, the aperture is the fraction of X that the symbology's reference
// aperture is of its nominal X: EAN/UPC 6 mils of 13 (0.150 of 0.330 mm); for the others
// the general specifications pair 10 mils with the 0.495 mm X of GS1-128 and 20 mils with
// the 1.016 mm X of ITF-14, both about half of X.
double RelativeAperture(btCodeTypes type) {
    return IsEanUpc(type) ? 6.0 / 13.0 : 0.5;
}

TReflectanceImage Reflectance(const TGreyPicture& picture, const VerifyOptions& options) {
    TReflectanceImage image;
    image.width = picture.width;
    image.height = picture.height;
    image.r.resize(picture.level.size());
    const double black = options.reflectanceBlack;
    const double span = (options.reflectanceWhite - black) / 255;
    float levels[256];
    for (int level = 0; level < 256; ++level)
        levels[level] = static_cast<float>(black + span * level);
    std::transform(picture.level.begin(), picture.level.end(), image.r.begin(),
                   [&](std::uint8_t level) { return levels[level]; });
    return image;
}

void CheckOptions(const VerifyOptions& options) {
    const auto within = [](double value, double low, double high) {
        return std::isfinite(value) && value >= low && value <= high;
    };
    if (!within(options.dpi, 0, 100000)) throw Error("the resolution must be 1 to 100000 dpi");
    if (!within(options.apertureMils, 0, 100)) throw Error("the aperture must be 0 to 100 mils");
    if (!within(options.reflectanceBlack, 0, 100) || !within(options.reflectanceWhite, 0, 100) ||
        options.reflectanceBlack >= options.reflectanceWhite)
        throw Error("reflectances must be percentages with black below white");
    if (!within(options.minGrade, 0, 4)) throw Error("the minimum grade must be 0 to 4");
}

// ISO/IEC 8859-1 bytes (a scanner's Code 128 beyond 127) as UTF-8.
std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

ProfileReport ToReport(const TProfileGrade& g, const TScanLine& line,
                       std::vector<double> reflectance) {
    ProfileReport p;
    p.rmin = g.rmin;
    p.rmax = g.rmax;
    p.symbolContrast = g.symbolContrast;
    p.minEdgeContrast = g.minEdgeContrast;
    p.modulation = g.modulation;
    p.defects = g.defects;
    p.decodability = g.decodability;
    p.decodeGrade = g.decodeGrade;
    p.rminGrade = g.rminGrade;
    p.symbolContrastGrade = g.contrastGrade;
    p.minEdgeContrastGrade = g.edgeContrastGrade;
    p.modulationGrade = g.modulationGrade;
    p.defectsGrade = g.defectsGrade;
    p.decodabilityGrade = g.decodabilityGrade;
    p.grade = g.grade;
    p.decoded = g.decoded;
    p.data = Latin1ToUtf8(g.message);
    p.failure = g.failure;
    p.line = {line.x, line.y, line.dx, line.dy, line.count};
    p.reflectance = std::move(reflectance);
    p.measuredFirst = g.measuredFirst;
    p.measuredLast = g.measuredLast;
    p.threshold = g.threshold;
    p.edges = g.edges;
    p.minEdgeContrastAt = g.minEdgeContrastAt;
    p.defectAt = g.defectAt;
    return p;
}

// What to change for each parameter that some scan grades below the grade required.
std::vector<std::string> Advice(const std::vector<TProfileGrade>& grades, const VerifyReport& r,
                                double required) {
    const auto below = [&](int TProfileGrade::*grade) {
        return std::any_of(grades.begin(), grades.end(),
                           [&](const TProfileGrade& g) { return g.*grade < required; });
    };
    std::vector<std::string> advice;
    if (below(&TProfileGrade::decodeGrade)) {
        const auto failed = std::find_if(grades.begin(), grades.end(),
                                         [](const TProfileGrade& g) { return g.decodeGrade == 0; });
        if (failed->failure.find("quiet zone") != std::string::npos)
            advice.push_back("Decode: " + failed->failure +
                             ": leave more light space beside the bars.");
        else
            advice.push_back("Decode: " + failed->failure +
                             ": check the data, and print sharper or with a larger X dimension.");
    }
    if (below(&TProfileGrade::rminGrade))
        advice.push_back("Rmin: the bars reflect more than half of what the spaces do: print the "
                         "bars darker or on a lighter ground.");
    if (below(&TProfileGrade::contrastGrade))
        advice.push_back("Symbol Contrast: use darker ink for the bars or a lighter, more "
                         "reflective ground (red or orange bars vanish in a scanner's red light).");
    if (below(&TProfileGrade::edgeContrastGrade))
        advice.push_back(
            "Minimum Edge Contrast: a bar and a space next to it are nearly the same "
            "shade: print sharper, with less ink spread, or with a larger X dimension.");
    if (below(&TProfileGrade::modulationGrade))
        advice.push_back("Modulation: narrow elements lose their contrast: use a larger X "
                         "dimension, less ink spread (a bar width reduction) or a sharper print.");
    if (below(&TProfileGrade::defectsGrade))
        advice.push_back("Defects: spots in the spaces or voids in the bars: check the print head, "
                         "the ribbon and the ground for dirt and gaps.");
    if (below(&TProfileGrade::decodabilityGrade)) {
        std::string sentence = "Decodability: element widths stray from their nominal widths";
        if (std::abs(r.barGainPercent) >= 5)
            sentence +=
                "; bars are " +
                (r.relative ? "" : Formatted("%.3f", std::abs(r.barGainMillimetres)) + " mm (") +
                Formatted("%.0f", std::abs(r.barGainPercent)) + " % of X" +
                (r.relative ? " " : ") ") +
                (r.barGainPercent > 0 ? "too wide: apply a bar width reduction of that much"
                                      : "too narrow: print the bars that much wider");
        else
            sentence += ": print at a resolution that holds a whole number of pixels per module, "
                        "or with a larger X dimension";
        advice.push_back(sentence + ".");
    }
    return advice;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2),
                     values.end());
    return values[values.size() / 2];
}

} // namespace

namespace {

// The aperture's diameter in pixels, and how the report states it.
// With GS1 checks the aperture is the one the GS1 table grades at (unless one is given).
void ChooseAperture(const VerifyOptions& options, btCodeTypes type, double modulePixels,
                    VerifyReport& report) {
    if (report.relative) {
        if (options.apertureMils > 0)
            throw Error("an aperture in mils needs the picture's resolution, and the picture "
                        "states none");
        report.apertureOfX = RelativeAperture(type);
        report.aperturePixels = report.apertureOfX * modulePixels;
        return;
    }
    const double x = modulePixels / report.dpi * kMillimetresPerInch;
    const std::optional<TGs1SymbolLimits> gs1 =
        options.gs1 ? Gs1SymbolLimits(type, x, false) : std::nullopt;
    report.apertureMils = options.apertureMils > 0 ? options.apertureMils
                          : gs1                    ? gs1->apertureMils
                                                   : ReferenceAperture(type, x);
    report.apertureMillimetres = report.apertureMils / kMilsPerInch * kMillimetresPerInch;
    report.aperturePixels = report.apertureMils / kMilsPerInch * report.dpi;
    report.apertureOfX = modulePixels > 0 ? report.aperturePixels / modulePixels : 0;
}

// The symbol's data by the majority of the scans that decoded, X and the bar gain as their
// medians and mean (in pixels: a profile's sample is `step` pixels).
void SummariseData(const std::vector<TProfileGrade>& grades, double step, VerifyReport& report) {
    std::map<std::string, int> votes;
    for (const TProfileGrade& g : grades)
        if (g.decoded) ++votes[g.data];
    if (votes.empty()) return;
    report.decoded = true;
    const std::string& data = std::max_element(votes.begin(), votes.end(), [](auto& a, auto& b) {
                                  return a.second < b.second;
                              })->first;
    std::vector<double> widths;
    double gain = 0;
    for (const TProfileGrade& g : grades) {
        if (!g.decoded || g.data != data) continue;
        report.type = ApiType(g.type);
        report.addon = g.addon;
        report.data = Latin1ToUtf8(g.message);
        report.identifier = g.identifier;
        report.symbolCharacters = Windows1252ToUtf8(data); // as Encode gives it
        widths.push_back(g.moduleWidth * step);
        gain += g.barGain * step;
    }
    const double x = Median(widths);
    // A gain of floating-point dust is none (and never shown as "-0.000").
    gain = std::round(gain / static_cast<double>(widths.size()) * 1e6) / 1e6 + 0.0;
    report.xPixels = x;
    // The quiet zones as the symbol reads: before its start and after its stop.
    std::vector<double> start, end;
    for (const TProfileGrade& g : grades) {
        if (!g.decoded || g.data != data) continue;
        start.push_back((g.reversed ? g.quietRight : g.quietLeft) * g.moduleWidth);
        end.push_back((g.reversed ? g.quietLeft : g.quietRight) * g.moduleWidth);
    }
    report.quietStartModules = x > 0 ? Median(start) * step / x : 0;
    report.quietEndModules = x > 0 ? Median(end) * step / x : 0;
    report.barGainPercent = x > 0 ? 100 * gain / x : 0;
    if (!report.relative) {
        report.xMillimetres = x / report.dpi * kMillimetresPerInch;
        report.xMils = x / report.dpi * kMilsPerInch;
        report.barGainMillimetres = gain / report.dpi * kMillimetresPerInch;
    }
}

// What was found besides the bars: the scans' angle, the band they cross and the bearer
// bars, thinnest first.
void ReportPlan(const TScanPlan& plan, VerifyReport& report) {
    report.skewDegrees = plan.skewDegrees;
    report.acrossColumns = plan.acrossColumns;
    report.barHeightPixels = plan.barHeight;
    const TBearerBars& bearers = plan.bearers;
    if (!bearers.TopAndBottom()) return;
    report.bearerBars = bearers.Frame() ? "frame" : "top and bottom";
    report.bearerPixels = std::min(bearers.top, bearers.bottom);
    if (bearers.Frame())
        report.bearerPixels = std::min({report.bearerPixels, bearers.left, bearers.right});
    if (!report.relative)
        report.bearerMillimetres = report.bearerPixels / report.dpi * kMillimetresPerInch;
}

// Each scan through the aperture, graded; the symbol grade the mean of the scans'.
std::vector<TProfileGrade> GradeScans(const TReflectanceImage& image, const TScanPlan& plan,
                                      std::optional<btCodeTypes> type, VerifyReport& report) {
    TApertureSampler sampler(image, report.aperturePixels);
    std::vector<TProfileGrade> grades;
    double sum = 0;
    for (const TScanLine& line : plan.lines) {
        std::vector<double> profile = sampler.Profile(line);
        grades.push_back(GradeProfile(profile, type, line.before, line.after));
        report.profiles.push_back(ToReport(grades.back(), line, std::move(profile)));
        sum += grades.back().grade;
    }
    report.grade = sum / static_cast<double>(grades.size());
    report.letter = GradeLetter(report.grade);
    report.gradeText = Formatted("%.1f", report.grade) + "/" +
                       (report.relative ? Formatted("%.2fX", report.apertureOfX)
                                        : Formatted("%02.0f", report.apertureMils)) +
                       "/" + std::to_string(report.wavelength);
    return grades;
}

} // namespace

VerifyReport VerifyGreyPicture(const TGreyPicture& picture, const VerifyOptions& options) {
    CheckOptions(options);
    VerifyReport report;
    report.resolutionNote = picture.resolutionNote;
    report.dpi = options.dpi > 0 ? options.dpi : picture.dpiX;
    report.relative = !(report.dpi > 0);
    if (report.relative) report.dpi = 0;
    std::optional<btCodeTypes> type;
    if (options.type) type = EngineType(*options.type);
    if (type && (*type == btCodeTypes::Postnet || *type == btCodeTypes::Postnet_FIM)) {
        report.failure = kPostalNotGraded;
        return report;
    }
    const TReflectanceImage image = Reflectance(picture, options);
    const TScanPlan plan = PlanScanLines(image, type);
    report.found = !plan.lines.empty();
    if (!report.found) {
        report.failure = plan.failure;
        return report;
    }
    ReportPlan(plan, report);
    if (!type) type = plan.type; // every scan graded as what was found
    ChooseAperture(options, type.value_or(btCodeTypes::CODE128_B), plan.modulePixels, report);

    const std::vector<TProfileGrade> grades = GradeScans(image, plan, type, report);
    const TScanLine& first = plan.lines.front();
    SummariseData(grades, std::hypot(first.dx, first.dy), report);
    if (!report.decoded) {
        report.failure =
            grades.front().failure.empty() ? "nothing decoded" : grades.front().failure;
    }
    report.passed = report.decoded && report.grade >= options.minGrade;
    report.advice = Advice(grades, report, options.minGrade);
    report.gs1 = CheckGs1(report, options.gs1);
    return report;
}

VerifyReport Verify(const std::uint8_t* picture, std::size_t size, const VerifyOptions& options) {
    CheckOptions(options);
    if (picture == nullptr && size > 0) throw Error("no picture given");
    return VerifyGreyPicture(ReadGreyPicture({picture, size}), options);
}

VerifyReport VerifyFile(const std::string& path, const VerifyOptions& options) {
    CheckOptions(options);
    return VerifyGreyPicture(ReadGreyPictureFile(path), options);
}

} // namespace varimark
