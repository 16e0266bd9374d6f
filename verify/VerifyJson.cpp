// A verification report as one JSON object.
#include "engine/Formatted.h"
#include "library/Json.h"
#include "varimark/verify.h"

#include <cmath>

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

} // namespace varimark
