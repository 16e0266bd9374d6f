// A verification report as one JSON object, and as the text people read.
#include "engine/Formatted.h"
#include "library/Json.h"
#include "varimark/verify.h"
#include "verify/ProfileGrading.h"

#include <cmath>
#include <cstdio>

namespace varimark {

namespace {

class TJsonObject {
public:
    // Opens the object; End() closes it (a destructor must not append: that allocates, and
    // memory running out there would end the process).
    explicit TJsonObject(std::string& out) : out_(out) { out_ += '{'; }
    void End() { out_ += '}'; }
    TJsonObject(const TJsonObject&) = delete;
    TJsonObject& operator=(const TJsonObject&) = delete;

    std::string& Key(const char* key) {
        if (!first_) out_ += ',';
        first_ = false;
        AppendJsonString(out_, key);
        out_ += ':';
        return out_;
    }
    void Number(const char* key, double value, const char* format = "%.4g") {
        Key(key) += Formatted(format, std::isfinite(value) ? value + 0.0 : 0.0);
    }
    void Integer(const char* key, long long value) { Key(key) += std::to_string(value); }
    void Boolean(const char* key, bool value) { Key(key) += value ? "true" : "false"; }
    void String(const char* key, std::string_view value) { AppendJsonString(Key(key), value); }
    // Numbers in a list, each with format.
    template <typename Range>
    void Numbers(const char* key, const Range& values, const char* format) {
        std::string& out = Key(key);
        out += '[';
        bool first = true;
        for (const double value : values) {
            if (!first) out += ',';
            first = false;
            out += Formatted(format, std::isfinite(value) ? value + 0.0 : 0.0);
        }
        out += ']';
    }
    // A nested object: write its members into the returned object before the next key.
    std::string& Object(const char* key) { return Key(key); }

private:
    std::string& out_;
    bool first_ = true;
};

// Strings in a list.
void AppendStrings(std::string& out, const std::vector<std::string>& values) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ',';
        AppendJsonString(out, values[i]);
    }
    out += ']';
}

void AppendProfile(std::string& out, const ProfileReport& p) {
    TJsonObject o(out);
    o.Integer("grade", p.grade);
    o.Boolean("decoded", p.decoded);
    o.String("data", p.data);
    o.Integer("decode", p.decodeGrade);
    o.Number("rmin", p.rmin, "%.1f");
    o.Number("rmax", p.rmax, "%.1f");
    o.Integer("rmin_grade", p.rminGrade);
    o.Number("symbol_contrast", p.symbolContrast, "%.1f");
    o.Integer("symbol_contrast_grade", p.symbolContrastGrade);
    o.Number("min_edge_contrast", p.minEdgeContrast, "%.1f");
    o.Integer("min_edge_contrast_grade", p.minEdgeContrastGrade);
    o.Number("modulation", p.modulation, "%.3f");
    o.Integer("modulation_grade", p.modulationGrade);
    o.Number("defects", p.defects, "%.3f");
    o.Integer("defects_grade", p.defectsGrade);
    o.Number("decodability", p.decodability, "%.3f");
    o.Integer("decodability_grade", p.decodabilityGrade);
    if (!p.failure.empty()) o.String("failure", p.failure);
    TJsonObject line(o.Object("line"));
    line.Number("x", p.line.x, "%.3f");
    line.Number("y", p.line.y, "%.3f");
    line.Number("dx", p.line.dx, "%.6f");
    line.Number("dy", p.line.dy, "%.6f");
    line.Integer("count", p.line.count);
    line.End();
    o.Numbers("measured",
              std::initializer_list<double>{static_cast<double>(p.measuredFirst),
                                            static_cast<double>(p.measuredLast)},
              "%.0f");
    o.Number("threshold", p.threshold, "%.3f");
    o.Number("ecmin_at", p.minEdgeContrastAt, "%.3f");
    o.Number("defect_at", p.defectAt, "%.3f");
    o.Numbers("edges", p.edges, "%.3f");
    o.Numbers("reflectance", p.reflectance, "%.5g");
    o.End();
}

// What was measured, for a symbol that was found.
void AppendMeasured(TJsonObject& o, const VerifyReport& r) {
    if (!r.relative) {
        o.Number("aperture_mils", r.apertureMils, "%.1f");
        o.Number("aperture_mm", r.apertureMillimetres, "%.3f");
    }
    o.Number("aperture_px", r.aperturePixels, "%.4f");
    o.Number("aperture_of_x", r.apertureOfX, "%.4f");
    o.Integer("wavelength_nm", r.wavelength);
    o.Number("skew_degrees", r.skewDegrees, "%.2f");
    o.Number("bar_height_px", r.barHeightPixels, "%.1f");
    std::string& profiles = o.Key("profiles");
    profiles += '[';
    for (std::size_t i = 0; i < r.profiles.size(); ++i) {
        if (i > 0) profiles += ',';
        AppendProfile(profiles, r.profiles[i]);
    }
    profiles += ']';
    AppendStrings(o.Key("advice"), r.advice);
}

// The GS1 checks: each AI with its data and faults, every fault, and the size checks.
void AppendGs1(std::string& out, const Gs1Report& gs1) {
    TJsonObject o(out);
    o.Boolean("passed", gs1.passed);
    std::string& ais = o.Key("ais");
    ais += '[';
    for (std::size_t i = 0; i < gs1.elements.size(); ++i) {
        if (i > 0) ais += ',';
        TJsonObject e(ais);
        e.String("ai", gs1.elements[i].ai);
        e.String("data", gs1.elements[i].data);
        AppendStrings(e.Key("faults"), gs1.elements[i].faults);
        e.End();
    }
    ais += ']';
    AppendStrings(o.Key("faults"), gs1.faults);
    if (gs1.sizeChecked) {
        o.String("table", gs1.table);
        std::string& checks = o.Key("size_checks");
        checks += '[';
        for (std::size_t i = 0; i < gs1.sizeChecks.size(); ++i) {
            const Gs1SizeCheck& c = gs1.sizeChecks[i];
            if (i > 0) checks += ',';
            TJsonObject check(checks);
            check.String("name", c.name);
            check.String("unit", c.unit);
            if (c.measured)
                check.Number("measured", c.value, "%.4g");
            else
                check.Key("measured") += "null";
            check.Number("min", c.min, "%.4g");
            if (c.max > 0)
                check.Number("max", c.max, "%.4g");
            else
                check.Key("max") += "null";
            check.Boolean("passed", c.passed);
            check.String("text", c.text);
            check.End();
        }
        checks += ']';
    }
    o.End();
}

void AppendReport(std::string& out, const VerifyReport& r) {
    TJsonObject o(out);
    o.Boolean("found", r.found);
    o.Boolean("decoded", r.decoded);
    o.Boolean("passed", r.passed);
    if (r.found) {
        o.Number("grade", r.grade, "%.2f");
        o.String("grade_text", r.gradeText);
        o.String("letter", std::string(1, r.letter));
    }
    if (r.decoded) {
        o.String("type", TypeName(r.type));
        o.String("data", r.data);
        o.String("identifier", r.identifier);
        o.String("symbol_characters", r.symbolCharacters);
        if (!r.addon.empty()) o.String("addon", r.addon);
        o.Number("x_px", r.xPixels, "%.3f");
        if (!r.relative) {
            o.Number("x_mm", r.xMillimetres, "%.4f");
            o.Number("x_mils", r.xMils, "%.2f");
            o.Number("bar_gain_mm", r.barGainMillimetres, "%.4f");
        }
        o.Number("bar_gain_percent", r.barGainPercent, "%.1f");
        o.Number("quiet_start_x", r.quietStartModules, "%.2f");
        o.Number("quiet_end_x", r.quietEndModules, "%.2f");
    } else {
        o.String("failure", r.failure);
    }
    o.Boolean("relative", r.relative);
    if (!r.resolutionNote.empty()) o.String("resolution_note", r.resolutionNote);
    if (!r.relative) o.Number("dpi", r.dpi, "%.1f");
    if (r.found) AppendMeasured(o, r); // else nothing was measured
    if (!r.bearerBars.empty()) {
        o.String("bearer_bars", r.bearerBars);
        o.Number("bearer_px", r.bearerPixels, "%.1f");
        if (!r.relative) o.Number("bearer_mm", r.bearerMillimetres, "%.3f");
    }
    if (r.gs1.checked) AppendGs1(o.Key("gs1"), r.gs1);
    o.End();
}

} // namespace

std::string VerifyReportJson(const VerifyReport& report) {
    std::string out;
    AppendReport(out, report);
    return out;
}

namespace {

std::string Graded(const char* format, double value, int grade) {
    return Formatted(format, value) + " " + GradeLetter(grade);
}

// The symbol: its grade against minGrade, and what decoded (or why nothing did).
std::string SymbolLines(const std::string& file, const VerifyReport& r, double minGrade) {
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
    return out;
}

// What was measured: the X dimension, bar gain and aperture (relative to X when the
// picture states no resolution), quiet zones, bearer bars, the resolution's note.
std::string MeasureLines(const VerifyReport& r) {
    std::string out;
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
    return out;
}

// A row per scan: its grade, decode, and each parameter's value with its grade.
std::string ScanRows(const VerifyReport& r) {
    if (r.profiles.empty()) return "";
    std::string out =
        "\nScan Grade Decode Rmin     SC       ECmin    MOD      Defects  Decodability\n";
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
    return out;
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

// What to do: one sentence per parameter below the grade wanted.
std::string AdviceLines(const VerifyReport& r) {
    if (r.advice.empty()) return "";
    std::string out = "\nTo do:\n";
    for (const std::string& sentence : r.advice) out += "  - " + sentence + "\n";
    return out;
}

} // namespace

std::string VerifyReportText(const VerifyReport& report, const std::string& fileName,
                             double minGrade) {
    return SymbolLines(fileName, report, minGrade) + MeasureLines(report) + ScanRows(report) +
           Gs1Lines(report) + AdviceLines(report);
}

} // namespace varimark
