#include "cli/VerifyCommand.h"

#include "cli/Options.h"
#include "cli/StandardOutput.h"
#include "cli/Usage.h"
#include "engine/Formatted.h"
#include "render/PictureSave.h"
#include "varimark/verify.h"
#include "verify/ProfileGrading.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <string>

namespace varimark::cli {

namespace {

// A grade as a letter (A, B, C, D, F, in either case) or a number 0..4.
double ParseGrade(std::string_view value) {
    static constexpr std::pair<char, double> kLetters[] = {
        {'A', 3.5}, {'B', 2.5}, {'C', 1.5}, {'D', 0.5}, {'F', 0}};
    for (const auto& [letter, grade] : kLetters)
        if (value.size() == 1 && std::toupper(static_cast<unsigned char>(value[0])) == letter)
            return grade;
    return ParseDecimal("--min-grade", value);
}

std::string Graded(const char* format, double value, int grade) {
    return Formatted(format, value) + " " + GradeLetter(grade);
}

// The GS1 checks: the AIs, each fault, each size check a line, and the verdict.
std::string Gs1Lines(const VerifyReport& r) {
    const Gs1Report& gs1 = r.gs1;
    if (!gs1.checked) return "";
    std::string out = "\n";
    if (!gs1.elements.empty()) {
        out += "GS1 data     ";
        for (const Gs1ElementReport& e : gs1.elements)
            out += " (" + e.ai + ") " + VisibleData(e.data);
        out += "\n";
    }
    for (const std::string& fault : gs1.faults) out += "GS1 fault     " + fault + "\n";
    if (gs1.sizeChecked && !gs1.sizeChecks.empty()) {
        out += "GS1 table     " + gs1.table + "\n";
        for (const Gs1SizeCheck& c : gs1.sizeChecks) out += "  " + c.text + "\n";
    }
    out += std::string("GS1 check     ") + (gs1.passed ? "passed" : "FAILED") + "\n";
    return out;
}

// The readable report: the symbol's grade and what was measured, then a row per scan.
std::string Table(const std::string& file, const VerifyReport& r, double minGrade) {
    std::string out = "File          " + file + "\n";
    out += "Symbol grade  " + r.gradeText + " (" + r.letter + ") " +
           (r.passed ? "passed" : "FAILED") + ": at least " + Formatted("%.1f", minGrade) +
           " wanted\n";
    if (r.decoded) {
        out += "Data          " + VisibleData(r.data) +
               (r.addon.empty() ? "" : " (add-on " + r.addon + ")") + "\n";
        out += "Symbology     " + std::string(TypeName(r.type)) +
               (r.identifier.empty() ? "" : " " + r.identifier) + "\n";
        if (!r.symbolCharacters.empty() && r.symbolCharacters != r.data)
            out += "Symbol text   " + VisibleData(r.symbolCharacters) + "\n";
    } else {
        out += "Not decoded   " + r.failure + "\n";
    }
    if (r.relative) {
        out += "X dimension   " + Formatted("%.2f pixels", r.xPixels) +
               "; the picture states no resolution\n"
               "Relative      the grade is relative to X (give --dpi for a measured grade)\n";
        if (r.decoded)
            out += "Bar gain      " + Formatted("%+.1f %% of X", r.barGainPercent) + "\n";
        out += "Aperture      " + Formatted("%.2f X", r.apertureOfX) + " (" +
               Formatted("%.1f pixels", r.aperturePixels) + "), ";
    } else {
        if (r.decoded) {
            out += "X dimension   " + Formatted("%.3f mm", r.xMillimetres) + " (" +
                   Formatted("%.1f mils", r.xMils) + ") at " + Formatted("%.0f dpi", r.dpi) + "\n";
            out += "Bar gain      " + Formatted("%+.3f mm", r.barGainMillimetres) + " (" +
                   Formatted("%+.1f %% of X", r.barGainPercent) + ")\n";
        }
        out += "Aperture      " + Formatted("%.0f mils", r.apertureMils) + " (" +
               Formatted("%.3f mm", r.apertureMillimetres) + "), ";
    }
    out += std::to_string(r.wavelength) + " nm\n";
    if (r.decoded && r.found)
        out += "Quiet zones   " + Formatted("%.1fX", r.quietStartModules) + " before, " +
               Formatted("%.1fX", r.quietEndModules) + " after the symbol\n";
    if (!r.bearerBars.empty())
        out += "Bearer bars   " + r.bearerBars + ", " +
               (r.relative ? Formatted("%.1f pixels", r.bearerPixels)
                           : Formatted("%.2f mm", r.bearerMillimetres)) +
               " thick\n";
    if (!r.resolutionNote.empty()) out += "Resolution    " + r.resolutionNote + "\n";
    if (!r.profiles.empty()) {
        out += "\nScan Grade Decode Rmin     SC       ECmin    MOD      Defects  Decodability\n";
        for (std::size_t i = 0; i < r.profiles.size(); ++i) {
            const ProfileReport& p = r.profiles[i];
            char row[160];
            std::snprintf(row, sizeof row, "%4zu %-5c %-6c %-8s %-8s %-8s %-8s %-8s %s\n", i + 1,
                          GradeLetter(p.grade), GradeLetter(p.decodeGrade),
                          Graded("%.1f", p.rmin, p.rminGrade).c_str(),
                          Graded("%.1f", p.symbolContrast, p.symbolContrastGrade).c_str(),
                          Graded("%.1f", p.minEdgeContrast, p.minEdgeContrastGrade).c_str(),
                          Graded("%.2f", p.modulation, p.modulationGrade).c_str(),
                          Graded("%.2f", p.defects, p.defectsGrade).c_str(),
                          Graded("%.2f", p.decodability, p.decodabilityGrade).c_str());
            out += row;
        }
    }
    out += Gs1Lines(r);
    if (!r.advice.empty()) {
        out += "\nTo do:\n";
        for (const std::string& sentence : r.advice) out += "  - " + sentence + "\n";
    }
    return out;
}

} // namespace

int RunVerifyCommand(std::vector<std::string_view> args) {
    VerifyOptions options;
    bool json = false;
    std::optional<std::string> reportFile;
    OptionParser parser(std::move(args), "missing FILE: the picture to grade");
    const auto extra = [&](std::string_view name, OptionParser& p) {
        if (name == "--type") {
            const std::string_view value = p.Value();
            if (value == "auto") return options.type.reset(), true;
            const std::optional<btCodeTypes> type = ParseCodeType(value);
            if (!type) throw UsageError("unknown type " + Quoted(value));
            return options.type = static_cast<Type>(*type), true;
        }
        static constexpr std::pair<std::string_view, double VerifyOptions::*> kNumbers[] = {
            {"--aperture", &VerifyOptions::apertureMils},
            {"--dpi", &VerifyOptions::dpi},
            {"--reflectance-black", &VerifyOptions::reflectanceBlack},
            {"--reflectance-white", &VerifyOptions::reflectanceWhite}};
        for (const auto& [option, field] : kNumbers)
            if (name == option) return options.*field = ParseDecimal(name, p.Value()), true;
        if (name == "--min-grade") return options.minGrade = ParseGrade(p.Value()), true;
        if (name == "--json") return json = true;
        if (name == "--gs1") return options.gs1 = true;
        if (name == "--report") return reportFile = std::string(p.Value()), true;
        if (name == "--ratio" || name == "--addon" || name == "--esc" || name == "--batch")
            throw UsageError("option " + Quoted(name) + " is not one of verify's");
        return false;
    };
    const SymbolOptions parsed = parser.Parse(extra);
    if (parsed.help) {
        PrintVerifyUsage(stdout);
        return kExitOk;
    }
    if (options.dpi < 0 || options.dpi > 100000)
        throw RangeError(Named("--dpi must be 1 to 100000 (0: what the file states)"));
    if (options.apertureMils < 0 || options.apertureMils > 100)
        throw RangeError(Named("--aperture must be 1 to 100 mils (0: by the X dimension)"));
    if (options.minGrade < 0 || options.minGrade > 4)
        throw RangeError(Named("--min-grade must be A, B, C, D, F or 0 to 4"));

    // The report picture's format, known before the picture is read.
    if (reportFile) {
        const std::string extension = LowerExtension(*reportFile);
        if (extension != ".svg" && extension != ".png")
            throw UsageError("--report " + Quoted(*reportFile) + " must end in .svg or .png" +
                             (extension.empty() ? "" : ", not " + Quoted(extension)));
    }

    const std::string& file = *parsed.text;
    const VerifyReport report = VerifyFile(file, options);
    const bool found = report.found;
    if (json)
        WriteStandardOutput(VerifyReportJson(report) + "\n");
    else if (found)
        WriteStandardOutput(Table(file, report, options.minGrade));
    if (reportFile) SaveVerifyReportPicture(file, report, *reportFile);
    if (!found)
        // "no barcode found: " and why
        PrintNamed(file + ": " + report.failure);
    else if (!report.decoded)
        PrintNamed(file + ": nothing decoded: " + report.failure);
    // GS1 data faults and, with --gs1, a size outside GS1's table fail the label too.
    const bool gs1Passed = !report.gs1.checked || report.gs1.passed;
    return report.passed && gs1Passed ? kExitOk : kExitRefused;
}

} // namespace varimark::cli
