// Grading a picture's barcode: the picture read as reflectance, the symbol found and
// scanned ten times through the reference aperture, each profile graded, the grades
// averaged, and advice for what falls short.
#include "library/VerifyPicture.h"

#include "engine/Formatted.h"
#include "engine/ProfileGrading.h"
#include "engine/ReferenceDecode.h"
#include "engine/SymbolScan.h"
#include "engine/Windows1252.h"
#include "export/PictureReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace varimark {

namespace {

constexpr double kMillimetresPerInch = 25.4;
constexpr double kMilsPerInch = 1000;
// A picture that states no resolution is taken as a scan at the resolution labels are
// scanned at for grading.
constexpr double kAssumedDpi = 600;

bool IsEanUpc(btCodeTypes type) {
    return type == EAN_8 || type == EAN_13 || type == UPC_A || type == UPC_E;
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

ProfileReport ToReport(const TProfileGrade& g) {
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
    p.data = Windows1252ToUtf8(g.data);
    p.failure = g.failure;
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
            sentence += "; bars are " + Formatted("%.3f", std::abs(r.barGainMillimetres)) +
                        " mm (" + Formatted("%.0f", std::abs(r.barGainPercent)) + " % of X) " +
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

VerifyReport VerifyGreyPicture(const TGreyPicture& picture, const VerifyOptions& options) {
    CheckOptions(options);
    VerifyReport report;
    report.gradeText = "0.0"; // until a symbol is found and graded
    report.dpi = options.dpi > 0 ? options.dpi : picture.dpiX;
    if (report.dpi <= 0) {
        report.dpi = kAssumedDpi;
        report.relative = true;
    }
    std::optional<btCodeTypes> type;
    if (options.type) type = static_cast<btCodeTypes>(*options.type);
    if (type && (*type == Postnet || *type == Postnet_FIM)) {
        report.failure = kPostalNotGraded;
        return report;
    }
    const TReflectanceImage image = Reflectance(picture, options);
    const TScanPlan plan = PlanScanLines(image);
    report.skewDegrees = plan.skewDegrees;
    report.acrossColumns = plan.acrossColumns;
    if (plan.lines.empty()) {
        report.failure = plan.failure;
        return report;
    }

    // A first look through a point finds the symbology and X; the scans that are graded use
    // the aperture for that X.
    double aperture = options.apertureMils;
    if (aperture <= 0) {
        for (std::size_t i = 0; i < plan.lines.size(); ++i) {
            const TScanLine& line = plan.lines[(plan.lines.size() / 2 + i) % plan.lines.size()];
            const TProfileGrade look = GradeProfile(SampleProfile(image, line, 0), type);
            if (!look.decoded) continue;
            type = look.type;
            aperture =
                ReferenceAperture(look.type, look.moduleWidth / report.dpi * kMillimetresPerInch);
            break;
        }
        if (aperture <= 0) aperture = 6;
    }
    report.apertureMils = aperture;
    report.apertureMillimetres = aperture / kMilsPerInch * kMillimetresPerInch;
    const double aperturePixels = aperture / kMilsPerInch * report.dpi;

    std::vector<TProfileGrade> grades;
    double sum = 0;
    std::map<std::string, int> votes;
    for (const TScanLine& line : plan.lines) {
        grades.push_back(GradeProfile(SampleProfile(image, line, aperturePixels), type));
        const TProfileGrade& g = grades.back();
        report.profiles.push_back(ToReport(g));
        sum += g.grade;
        if (g.decoded) ++votes[g.data];
    }
    report.grade = sum / static_cast<double>(grades.size());
    report.letter = GradeLetter(report.grade);
    report.gradeText = Formatted("%.1f", report.grade) + "/" + Formatted("%02.0f", aperture) + "/" +
                       std::to_string(report.wavelength);

    std::vector<double> widths, gains;
    if (!votes.empty()) {
        report.decoded = true;
        const std::string& data =
            std::max_element(votes.begin(), votes.end(), [](auto& a, auto& b) {
                return a.second < b.second;
            })->first;
        report.data = Windows1252ToUtf8(data); // as Encode gives it
        for (const TProfileGrade& g : grades) {
            if (!g.decoded || g.data != data) continue;
            report.type = static_cast<Type>(g.type);
            report.addon = g.addon;
            widths.push_back(g.moduleWidth);
            gains.push_back(g.barGain);
        }
        const double x = Median(widths);
        report.xMillimetres = x / report.dpi * kMillimetresPerInch;
        report.xMils = x / report.dpi * kMilsPerInch;
        double gain = 0;
        for (const double g : gains) gain += g;
        // A gain of floating-point dust is none (and never shown as "-0.000").
        gain = std::round(gain / static_cast<double>(gains.size()) * 1e6) / 1e6 + 0.0;
        report.barGainMillimetres = gain / report.dpi * kMillimetresPerInch;
        report.barGainPercent = x > 0 ? 100 * gain / x : 0;
    } else {
        report.failure =
            grades.front().failure.empty() ? "nothing decoded" : grades.front().failure;
    }
    report.passed = report.decoded && report.grade >= options.minGrade;
    report.advice = Advice(grades, report, options.minGrade);
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
