// The GS1 checks of a graded symbol. The limits are those of the GS1 symbol specification
// tables (GS1 General Specifications, section 5.12.3) as we read them; each row names its
// table and column below, and README.md lists them.
#include "verify/Gs1Checks.h"

#include "library/TypeBridge.h"

#include "engine/ApplicationIdentifiers.h"
#include "engine/Formatted.h"
#include "engine/SymbologyTables.h"
#include "engine/Units.h"

#include <cmath>
#include <string>

namespace varimark {

namespace {

// Table 1, "Trade items scanned in general retail POS and NOT general distribution"
// (EAN/UPC): X 0.264 to 0.660 mm (magnification 80 % to 200 % of the target 0.330 mm),
// minimum bar height 22.85 mm at the target X (EAN-8: 18.23 mm), scaled with X, quiet
// zones by symbology, minimum quality 1.5/06/660.
constexpr const char* kRetailTable =
    "GS1 General Specifications 5.12.3, Table 1 (trade items scanned in general retail POS "
    "and not general distribution)";
// Table 2, "Trade items scanned in general distribution only" (ITF-14, GS1-128): X 0.495
// to 1.016 mm, minimum bar height 31.75 mm at every X, quiet zones 10X, minimum quality
// 1.5/10/660 (ITF-14 at X from 0.635 mm: 0.5/20/660); ITF-14 with bearer bars.
constexpr const char* kDistributionTable =
    "GS1 General Specifications 5.12.3, Table 2 (trade items scanned in general distribution "
    "only)";
constexpr double kRetailTargetX = 0.330;

bool IsEanUpc(btCodeTypes type) {
    return type == btCodeTypes::EAN_8 || type == btCodeTypes::EAN_13 ||
           type == btCodeTypes::UPC_A || type == btCodeTypes::UPC_E;
}

// UPC-E's 8 digits (number system, six, check digit) as the UPC-A number they stand for
// (ISO/IEC 15420, UPC-E zero suppression): the engine's template for the sixth digit, each
// X one of the six in turn.
std::string ExpandUpcE(const std::string& e) {
    std::string number(1, e[0]);
    std::size_t next = 1;
    for (const char* t = kUpcETemplates[e[6] - '0']; *t != '\0'; ++t)
        number += *t == 'X' ? e[next++] : *t;
    return number + e[7];
}

// The element string a symbol carries, as a scanner would send it after "]C1": GS1-128's
// data as it is, ITF-14's and EAN/UPC's GTIN under AI (01), padded to 14 digits. None for
// any other symbology.
std::optional<std::string> ElementString(const VerifyReport& r) {
    const btCodeTypes type = EngineType(r.type);
    if (type == btCodeTypes::GS1_128) return r.data;
    if (type == btCodeTypes::ITF_14) return "01" + r.data;
    if (!IsEanUpc(type) || r.data.size() < r.addon.size()) return std::nullopt;
    std::string gtin = r.data.substr(0, r.data.size() - r.addon.size());
    if (gtin.empty() || gtin.size() > 14 ||
        gtin.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    if (type == btCodeTypes::UPC_E && gtin.size() == 8) gtin = ExpandUpcE(gtin);
    return "01" + std::string(14 - gtin.size(), '0') + gtin;
}

// GS1-128 holds at most 48 data characters (GS1 General Specifications, the GS1-128
// symbol's characteristics).
constexpr std::size_t kGs1128MostCharacters = 48;

void CheckData(const std::string& elementString, btCodeTypes type, Gs1Report& gs1) {
    const TGs1Check check = CheckGs1ElementString(elementString);
    for (const TGs1Element& e : check.elements) gs1.elements.push_back({e.ai, e.data, {}});
    gs1.faults = check.faults;
    const std::size_t characters = Gs1DataCharacterCount(check.elements);
    if (type == btCodeTypes::GS1_128 && characters > kGs1128MostCharacters)
        gs1.faults.push_back(std::to_string(characters) +
                             " data characters: GS1-128 holds at most " +
                             std::to_string(kGs1128MostCharacters));
    // Each fault also with the element it names: "(17) ..." belongs to AI 17.
    for (const std::string& fault : check.faults)
        for (Gs1ElementReport& e : gs1.elements)
            if (fault.rfind("(" + e.ai + ")", 0) == 0) {
                e.faults.push_back(fault);
                break;
            }
}

// A value as the lines show it, with its unit: "0.330 mm", "31.75 mm", "10.0X"; a limit
// in modules without decimals ("10X").
std::string WithUnit(const std::string& number, const std::string& unit) {
    return unit == "X" ? number + "X" : number + " " + unit;
}
std::string Number(double value, const std::string& unit, bool limit) {
    if (unit == "X") return Formatted(limit ? "%g" : "%.1f", value);
    return Formatted(value < 10 ? "%.3f" : "%.2f", value);
}

// A size check and its line. A value that could not be measured is unchecked: it does not
// pass, and the line says why.
Gs1SizeCheck SizeCheck(std::string name, std::string unit, std::optional<double> value, double min,
                       double max, const std::string& why = "") {
    Gs1SizeCheck c;
    c.name = std::move(name);
    c.unit = std::move(unit);
    c.min = min;
    c.max = max;
    c.measured = value.has_value();
    const std::string allowed = max > 0 ? "allowed " + Number(min, c.unit, true) + " to " +
                                              WithUnit(Number(max, c.unit, true), c.unit)
                                        : "at least " + WithUnit(Number(min, c.unit, true), c.unit);
    if (!value) {
        c.text = c.name + " not measured (" + why + "): " + allowed + ": unchecked";
        return c;
    }
    c.value = *value;
    // The value as shown is what is compared, so that a line never reads "31.75 mm: at
    // least 31.75 mm: fails".
    const double shown = std::stod(Number(c.value, c.unit, false));
    c.passed = shown >= min && (max <= 0 || shown <= max);
    c.text = c.name + " " + WithUnit(Number(c.value, c.unit, false), c.unit) + ": " + allowed +
             ": " + (c.passed ? "passes" : "fails");
    return c;
}

void CheckSizes(const VerifyReport& r, Gs1Report& gs1) {
    const btCodeTypes type = EngineType(r.type);
    const std::optional<TGs1SymbolLimits> limits =
        Gs1SymbolLimits(type, r.xMillimetres, !r.addon.empty());
    if (!limits) {
        gs1.table = std::string(CodeTypeName(type)) +
                    " is no GS1 symbology: no GS1 symbol specification table applies";
        gs1.faults.push_back(gs1.table);
        return;
    }
    gs1.table = limits->table;
    const char* noResolution = "the picture states no resolution; give --dpi";
    const auto inMm = [&](double mm) {
        return r.relative ? std::nullopt : std::optional<double>(mm);
    };
    auto& checks = gs1.sizeChecks;
    checks.push_back(SizeCheck("X dimension", "mm", inMm(r.xMillimetres), limits->xMin,
                               limits->xMax, noResolution));
    // The bar height: the band the scans cross, in millimetres at the resolution.
    const double height = r.relative ? 0 : r.barHeightPixels / r.dpi * kMillimetresPerInch;
    // A height given at the target X scales with X (Table 1's note).
    const double heightMin = limits->targetX > 0 && !r.relative
                                 ? limits->heightMin * r.xMillimetres / limits->targetX
                                 : limits->heightMin;
    checks.push_back(SizeCheck("Bar height", "mm", inMm(height), heightMin, 0, noResolution));
    checks.push_back(SizeCheck("Left quiet zone", "X", r.quietStartModules, limits->quietStart, 0));
    checks.push_back(SizeCheck("Right quiet zone", "X", r.quietEndModules, limits->quietEnd, 0));
    if (limits->bearers) {
        std::optional<double> bearer;
        if (!r.bearerBars.empty() && r.xPixels > 0) bearer = r.bearerPixels / r.xPixels;
        Gs1SizeCheck c = SizeCheck("Bearer bars", "X", bearer, kBearerModules, 0, "none found");
        if (bearer) c.text.insert(c.name.size(), " (" + r.bearerBars + ")");
        checks.push_back(c);
    }
    // Print quality: the symbol grade at the table's aperture.
    const std::string wanted = Formatted("%.1f", limits->minGrade) + "/" +
                               Formatted("%02.0f", limits->apertureMils) + "/660";
    Gs1SizeCheck quality;
    quality.name = "Print quality";
    quality.min = limits->minGrade;
    quality.max = 4;
    if (r.relative) {
        quality.text = "Print quality " + r.gradeText + " (relative to X; " + noResolution +
                       "): at least " + wanted + ": unchecked";
    } else {
        quality.measured = true;
        quality.value = r.grade;
        const bool aperture = std::abs(r.apertureMils - limits->apertureMils) < 0.05;
        quality.passed = aperture && r.grade >= limits->minGrade;
        quality.text = "Print quality " + r.gradeText + ": at least " + wanted + ": " +
                       (quality.passed ? "passes"
                        : aperture     ? "fails"
                                       : "unchecked: graded at another aperture");
    }
    checks.push_back(quality);
}

} // namespace

std::optional<TGs1SymbolLimits> Gs1SymbolLimits(btCodeTypes type, double xMillimetres, bool addon) {
    // Table 1: quiet zones by symbology (ISO/IEC 15420): EAN-13 11X and 7X, UPC-A 9X each
    // side, EAN-8 7X, UPC-E 9X and 7X; after an add-on 5X.
    const int afterAddon = 5;
    switch (type) {
    case btCodeTypes::EAN_13:
        return TGs1SymbolLimits{kRetailTable,           0.264, 0.660, 22.85, kRetailTargetX, 11,
                                addon ? afterAddon : 7, 1.5,   6,     false};
    case btCodeTypes::UPC_A:
        return TGs1SymbolLimits{kRetailTable,           0.264, 0.660, 22.85, kRetailTargetX, 9,
                                addon ? afterAddon : 9, 1.5,   6,     false};
    case btCodeTypes::UPC_E:
        return TGs1SymbolLimits{kRetailTable,           0.264, 0.660, 22.85, kRetailTargetX, 9,
                                addon ? afterAddon : 7, 1.5,   6,     false};
    case btCodeTypes::EAN_8:
        return TGs1SymbolLimits{kRetailTable, 0.264, 0.660, 18.23, kRetailTargetX, 7, 7,
                                1.5,          6,     false};
    case btCodeTypes::GS1_128:
        return TGs1SymbolLimits{kDistributionTable, 0.495, 1.016, 31.75, 0, 10, 10, 1.5, 10, false};
    case btCodeTypes::ITF_14: {
        // Table 2's ITF-14 row: 1.5/10/660 below X 0.635 mm, 0.5/20/660 from there.
        const bool wide = xMillimetres >= 0.635;
        return TGs1SymbolLimits{
            kDistributionTable, 0.495, 1.016, 31.75, 0, 10, 10, wide ? 0.5 : 1.5,
            wide ? 20.0 : 10.0, true};
    }
    default: return std::nullopt;
    }
}

Gs1Report CheckGs1(const VerifyReport& r, bool sizes) {
    Gs1Report gs1;
    const btCodeTypes type = EngineType(r.type);
    const bool carriesGs1 =
        r.decoded && (type == btCodeTypes::GS1_128 || type == btCodeTypes::ITF_14);
    gs1.checked = sizes || carriesGs1;
    if (!gs1.checked) return gs1;
    gs1.sizeChecked = sizes;
    if (!r.decoded) {
        gs1.faults.push_back("nothing decoded: no GS1 check can be made");
        return gs1;
    }
    if (const std::optional<std::string> elements = ElementString(r))
        CheckData(*elements, type, gs1);
    if (sizes) CheckSizes(r, gs1);
    gs1.passed = gs1.faults.empty();
    for (const Gs1SizeCheck& c : gs1.sizeChecks) gs1.passed = gs1.passed && c.passed;
    return gs1;
}

} // namespace varimark
