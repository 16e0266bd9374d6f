#include "cli/VerifyCommand.h"
#include "cli/EndingSignals.h"

#include "cli/Options.h"
#include "cli/StandardOutput.h"
#include "cli/Usage.h"
#include "varimark/verify.h"

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

// The extension of a file name in lower case (".svg"), or "" when it has none.
std::string LowerExtension(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = fileName.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// The command line: the grading options, --json and --report FILE, and the picture.
struct TVerifyCommandLine {
    VerifyOptions options;
    bool json = false;
    std::optional<std::string> reportFile;
    TSymbolOptions parsed; // the picture's name as text; help
};

TVerifyCommandLine ParseVerifyCommandLine(std::vector<std::string_view> args) {
    TVerifyCommandLine line;
    VerifyOptions& options = line.options;
    TOptionParser parser(std::move(args), "missing FILE: the picture to grade");
    const auto extra = [&](std::string_view name, TOptionParser& p) {
        if (name == "--type") {
            const std::string_view value = p.Value();
            if (value == "auto") return options.type.reset(), true;
            const std::optional<Type> type = TypeFromName(value);
            if (!type) throw EUsage("unknown type " + Quoted(value));
            return options.type = *type, true;
        }
        static constexpr std::pair<std::string_view, double VerifyOptions::*> kNumbers[] = {
            {"--aperture", &VerifyOptions::apertureMils},
            {"--dpi", &VerifyOptions::dpi},
            {"--reflectance-black", &VerifyOptions::reflectanceBlack},
            {"--reflectance-white", &VerifyOptions::reflectanceWhite}};
        for (const auto& [option, field] : kNumbers)
            if (name == option) return options.*field = ParseDecimal(name, p.Value()), true;
        if (name == "--min-grade") return options.minGrade = ParseGrade(p.Value()), true;
        if (name == "--json") return line.json = true;
        if (name == "--gs1") return options.gs1 = true;
        if (name == "--report") return line.reportFile = std::string(p.Value()), true;
        if (name == "--ratio" || name == "--addon" || name == "--esc" || name == "--batch")
            throw EUsage("option " + Quoted(name) + " is not one of verify's");
        return false;
    };
    line.parsed = parser.Parse(extra);
    return line;
}

// ERange for a value out of its range, EUsage for a report picture of another
// format: known before the picture is read.
void CheckVerifyCommandLine(const TVerifyCommandLine& line) {
    const VerifyOptions& options = line.options;
    if (options.dpi < 0 || options.dpi > 100000)
        throw ERange(Named("--dpi must be 1 to 100000 (0: what the file states)"));
    if (options.apertureMils < 0 || options.apertureMils > 100)
        throw ERange(Named("--aperture must be 1 to 100 mils (0: by the X dimension)"));
    if (options.minGrade < 0 || options.minGrade > 4)
        throw ERange(Named("--min-grade must be A, B, C, D, F or 0 to 4"));
    if (line.reportFile) {
        const std::string extension = LowerExtension(*line.reportFile);
        if (extension != ".svg" && extension != ".png")
            throw EUsage("--report " + Quoted(*line.reportFile) + " must end in .svg or .png" +
                         (extension.empty() ? "" : ", not " + Quoted(extension)));
    }
}

} // namespace

int RunVerifyCommand(std::vector<std::string_view> args) {
    const TVerifyCommandLine line = ParseVerifyCommandLine(std::move(args));
    if (line.parsed.help) {
        PrintVerifyUsage(stdout);
        return kExitOk;
    }
    CheckVerifyCommandLine(line);
    const VerifyOptions& options = line.options;
    const std::optional<std::string>& reportFile = line.reportFile;

    const std::string& file = *line.parsed.text;
    const VerifyReport report = VerifyFile(file, options);
    const bool found = report.found;
    if (line.json)
        WriteStandardOutput(VerifyReportJson(report) + "\n");
    else if (found)
        WriteStandardOutput(VerifyReportText(report, file, options.minGrade));
    if (reportFile) {
        const TEndingSignalsHeld held;
        SaveVerifyReportPicture(file, report, *reportFile);
    }
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
