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
    std::string& advice = o.Key("advice");
    advice += '[';
    for (std::size_t i = 0; i < r.advice.size(); ++i) {
        if (i > 0) advice += ',';
        AppendJsonString(advice, r.advice[i]);
    }
    advice += ']';
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
    } else {
        o.String("failure", r.failure);
    }
    o.Boolean("relative", r.relative);
    if (!r.resolutionNote.empty()) o.String("resolution_note", r.resolutionNote);
    if (!r.relative) o.Number("dpi", r.dpi, "%.1f");
    if (r.found) AppendMeasured(o, r); // else nothing was measured
    o.End();
}

} // namespace

std::string VerifyReportJson(const VerifyReport& report) {
    std::string out;
    AppendReport(out, report);
    return out;
}

} // namespace varimark
