#include "verify/ProfileGrading.h"

#include "engine/Formatted.h"
#include "engine/QuietZones.h"
#include "verify/LineSymbol.h"
#include "verify/ReferenceDecode.h"

#include <algorithm>
#include <cmath>

namespace varimark {

int GradeAtLeast(double value, const double (&limits)[4]) {
    for (int i = 0; i < 4; ++i)
        if (value >= limits[i]) return 4 - i;
    return 0;
}

int GradeAtMost(double value, const double (&limits)[4]) {
    for (int i = 0; i < 4; ++i)
        if (value <= limits[i]) return 4 - i;
    return 0;
}

char GradeLetter(double grade) {
    if (grade >= 3.5) return 'A';
    if (grade >= 2.5) return 'B';
    if (grade >= 1.5) return 'C';
    if (grade >= 0.5) return 'D';
    return 'F';
}

namespace {

// An element of the range graded, counted at the global threshold: from one crossing of it
// to the next (or the range's end), in sample positions, with its lowest and highest
// reflectance and where they lie.
struct TElement {
    double left, right;
    bool bar;
    double lo = 0, hi = 0;
    double loAt = 0, hiAt = 0;
    double Reflectance() const { return bar ? lo : hi; }
    double ExtremeAt() const { return bar ? loAt : hiAt; }
};

// The lowest and highest sample in [left, right] and where they lie, or the value
// interpolated at its middle when no sample lies inside (an element narrower than a step).
void FindExtremes(std::span<const double> profile, TElement& e) {
    const auto first = static_cast<std::size_t>(std::max(0.0, std::ceil(e.left)));
    const auto last = static_cast<std::size_t>(
        std::min(static_cast<double>(profile.size() - 1), std::floor(e.right)));
    if (first > last) {
        const double middle = (e.left + e.right) / 2;
        const auto k = static_cast<std::size_t>(
            std::clamp(middle, 0.0, static_cast<double>(profile.size() - 2)));
        const double f = std::clamp(middle - static_cast<double>(k), 0.0, 1.0);
        e.lo = e.hi = profile[k] + f * (profile[k + 1] - profile[k]);
        e.loAt = e.hiAt = middle;
        return;
    }
    const auto begin = profile.begin() + static_cast<long>(first);
    const auto [lo, hi] = std::minmax_element(begin, profile.begin() + static_cast<long>(last) + 1);
    e.lo = *lo;
    e.hi = *hi;
    e.loAt = static_cast<double>(lo - profile.begin());
    e.hiAt = static_cast<double>(hi - profile.begin());
}

// The elements of profile[first, last] at threshold: edges where the profile crosses it,
// placed between the two samples by linear interpolation.
std::vector<TElement> GlobalElements(std::span<const double> profile, std::size_t first,
                                     std::size_t last, double threshold) {
    std::vector<TElement> elements;
    double start = static_cast<double>(first);
    bool bar = profile[first] < threshold;
    for (std::size_t k = first + 1; k <= last; ++k) {
        const bool dark = profile[k] < threshold;
        if (dark == bar) continue;
        const double a = profile[k - 1], b = profile[k];
        const double edge = static_cast<double>(k - 1) + (threshold - a) / (b - a);
        elements.push_back({start, edge, bar});
        start = edge;
        bar = dark;
    }
    elements.push_back({start, static_cast<double>(last), bar});
    for (TElement& e : elements) FindExtremes(profile, e);
    return elements;
}

// ISO/IEC 15416, edge determination: the edge between two adjoining elements lies where
// the profile crosses (Rs + Rb) / 2, Rs the space's highest and Rb the bar's lowest
// reflectance. It is looked for between the bar's lowest and the space's highest sample,
// interpolated linearly between two samples; where the profile crosses more than once
// there, the crossing nearest the global threshold's is taken.
double StandardEdge(std::span<const double> profile, const TElement& a, const TElement& b) {
    const TElement& bar = a.bar ? a : b;
    const TElement& space = a.bar ? b : a;
    const double t = (space.hi + bar.lo) / 2;
    const double global = a.right;
    const double from = std::min(a.ExtremeAt(), b.ExtremeAt());
    const double to = std::max(a.ExtremeAt(), b.ExtremeAt());
    const auto first = static_cast<std::size_t>(std::max(0.0, std::floor(from)));
    const auto last =
        static_cast<std::size_t>(std::min(static_cast<double>(profile.size() - 1), std::ceil(to)));
    double best = global, distance = INFINITY;
    for (std::size_t k = first; k < last; ++k) {
        const double p = profile[k], q = profile[k + 1];
        if (p == q || (p - t) * (q - t) > 0) continue;
        const double edge = static_cast<double>(k) + (t - p) / (q - p);
        if (edge < from || edge > to) continue;
        if (std::abs(edge - global) < distance) best = edge, distance = std::abs(edge - global);
    }
    return best;
}

// Element reflectance non-uniformity: within a bar the highest peak above the bar's lowest
// point, within a space the depth of its lowest valley below its highest point (0 when the
// element is smooth); at gets where that peak or valley lies.
double NonUniformity(std::span<const double> profile, const TElement& e, double& at) {
    const auto first = static_cast<std::size_t>(std::max(1.0, std::ceil(e.left)));
    const auto last = static_cast<std::size_t>(
        std::min(static_cast<double>(profile.size()) - 2, std::floor(e.right)));
    double ern = 0;
    for (std::size_t k = first; k <= last && first <= last; ++k) {
        const double r = profile[k];
        const bool peak = e.bar && r > profile[k - 1] && r >= profile[k + 1];
        const bool valley = !e.bar && r < profile[k - 1] && r <= profile[k + 1];
        const double depth = peak ? r - e.lo : valley ? e.hi - r : 0;
        if (depth > ern) ern = depth, at = static_cast<double>(k);
    }
    return ern;
}

TDecoded Decode(std::optional<btCodeTypes> type, std::span<const double> widths) {
    return type ? ReferenceDecode(*type, widths) : ReferenceDecodeAny(widths);
}

// The narrow width of an undecoded run: a quarter of its elements are no wider.
double NarrowWidth(const TLineSymbol& look) {
    std::vector<double> widths = RunWidths(look.elements, look.run);
    const auto quarter = widths.begin() + static_cast<long>(widths.size() / 4);
    std::nth_element(widths.begin(), quarter, widths.end());
    return *quarter;
}

// Which of the range's elements are the symbol's: its outer bars are the first and last
// bar whose middles lie within half a module of the run found at the first look.
struct TSymbolBars {
    std::size_t first = 0, last = 0;
    bool Found() const { return first < last; }
};

TSymbolBars SymbolBars(const std::vector<TElement>& elements, double left, double right, double x) {
    TSymbolBars bars{elements.size(), 0};
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const double middle = (elements[i].left + elements[i].right) / 2;
        if (!elements[i].bar || middle < left - x / 2 || middle > right + x / 2) continue;
        bars.first = std::min(bars.first, i);
        bars.last = i;
    }
    if (bars.first >= elements.size()) bars.first = 0;
    return bars;
}

// The quiet zones in modules: light space from the outer bars' edges to the next crossing
// of the threshold by something dark on the line, or to the picture's edge (`before`
// samples ahead of the line's first sample, `after` beyond its last).
void MeasureQuietZones(std::span<const double> profile, double threshold, double left, double right,
                       double x, double before, double after, TProfileGrade& g) {
    const std::size_t end = profile.size() - 1;
    const auto edgeAt = [&](std::size_t k) {
        return static_cast<double>(k) + (threshold - profile[k]) / (profile[k + 1] - profile[k]);
    };
    double leftEnd = -before, rightEnd = static_cast<double>(end) + after;
    for (auto k = static_cast<std::size_t>(std::max(0.0, std::floor(left))); k-- > 0;)
        if (profile[k] < threshold) {
            leftEnd = edgeAt(k);
            break;
        }
    for (auto k = static_cast<std::size_t>(std::max(0.0, std::ceil(right))) + 1; k <= end; ++k)
        if (profile[k] < threshold) {
            rightEnd = edgeAt(k - 1);
            break;
        }
    g.quietLeft = (left - leftEnd) / x;
    g.quietRight = (rightEnd - right) / x;
}

// Edge contrast between neighbours and non-uniformity within each element, over the
// symbol's elements and the spaces beside its outer bars (ISO/IEC 15416: the quiet zones
// count); edges[i] is the edge after graded[i].
void MeasureContrasts(std::span<const double> profile, std::span<const TElement> graded,
                      std::span<const double> edges, TProfileGrade& g) {
    double ecmin = g.symbolContrast, ernmax = 0;
    for (std::size_t i = 0; i < graded.size(); ++i) {
        if (i > 0) {
            const double contrast = std::abs(graded[i].Reflectance() - graded[i - 1].Reflectance());
            if (contrast < ecmin || g.minEdgeContrastAt < 0) {
                ecmin = contrast;
                g.minEdgeContrastAt = edges[i - 1];
            }
        }
        double at = -1;
        const double ern = NonUniformity(profile, graded[i], at);
        if (ern > ernmax) ernmax = ern, g.defectAt = at;
    }
    g.minEdgeContrast = ecmin;
    g.modulation = g.symbolContrast > 0 ? ecmin / g.symbolContrast : 0;
    g.defects = g.symbolContrast > 0 ? ernmax / g.symbolContrast : 1;
}

// An EAN/UPC add-on's gap in modules: the element after the main symbol's end guard (the
// last before it, read right to left), or none without an add-on.
std::optional<double> AddonGap(const TDecoded& decoded, std::span<const double> widths) {
    if (decoded.addon.empty() || !(decoded.moduleWidth > 0)) return std::nullopt;
    const std::size_t main = decoded.type == btCodeTypes::EAN_8   ? 43
                             : decoded.type == btCodeTypes::UPC_E ? 33
                                                                  : 59;
    if (widths.size() <= main) return std::nullopt;
    const std::size_t gap = decoded.reversed ? widths.size() - 1 - main : main;
    return widths[gap] / decoded.moduleWidth;
}

// Why the light space around a decoded symbol is too narrow, or "". Each quiet zone may be
// short by 0.05 of a module (the edges' interpolation); an add-on's gap (ISO/IEC 15420: 7 to
// 12 modules) is the main symbol's right quiet zone.
std::string QuietZoneFailure(const TProfileGrade& g, TQuietZone zone, btCodeTypes type,
                             std::optional<double> addonGap) {
    constexpr double kSlack = 0.05;
    constexpr int kAddonGap = 7;
    if (g.quietLeft < zone.left - kSlack || g.quietRight < zone.right - kSlack) {
        const bool leftShort = g.quietLeft < zone.left - kSlack;
        return std::string(leftShort ? "the left" : "the right") + " quiet zone is " +
               Formatted("%.1f", leftShort ? g.quietLeft : g.quietRight) + " modules wide; " +
               CodeTypeName(type) + " needs " + std::to_string(leftShort ? zone.left : zone.right);
    }
    if (addonGap && *addonGap < kAddonGap - kSlack)
        return "the gap before the add-on is " + Formatted("%.1f", *addonGap) +
               " modules wide; at least " + std::to_string(kAddonGap) + " are needed";
    return "";
}

void Grade(TProfileGrade& g) {
    g.decodeGrade = g.failure.empty() ? 4 : 0;
    g.rminGrade = g.rmin <= 0.5 * g.rmax ? 4 : 0;
    g.contrastGrade = GradeAtLeast(g.symbolContrast, TGradeLimits::kContrast);
    g.edgeContrastGrade = g.minEdgeContrast >= TGradeLimits::kMinEdgeContrast ? 4 : 0;
    g.modulationGrade = GradeAtLeast(g.modulation, TGradeLimits::kModulation);
    g.defectsGrade = GradeAtMost(g.defects, TGradeLimits::kDefects);
    g.decodabilityGrade = GradeAtLeast(g.decodability, TGradeLimits::kDecodability);
    g.grade = std::min({g.decodeGrade, g.rminGrade, g.contrastGrade, g.edgeContrastGrade,
                        g.modulationGrade, g.defectsGrade, g.decodabilityGrade});
}

// Why the profile cannot be graded at all, or "": a postal symbol, a line too short, or a
// line of one shade.
std::string UngradableProfile(std::span<const double> profile, std::optional<btCodeTypes> type) {
    if (type && (*type == btCodeTypes::Postnet || *type == btCodeTypes::Postnet_FIM))
        return kPostalNotGraded;
    if (profile.size() < 8) return "the scan line is too short";
    const auto [lowest, highest] = std::minmax_element(profile.begin(), profile.end());
    if (*highest - *lowest < 1) return "no bars: the scan line is one shade";
    return {};
}

// The measured range: the symbol and its quiet zones of x wide modules, cut at the ends of
// the line; its lowest and highest reflectance, the symbol contrast and the global
// threshold.
void MeasureRange(std::span<const double> profile, const TLineSymbol& look, const TQuietZone& zone,
                  double x, TProfileGrade& g) {
    const std::size_t end = profile.size() - 1;
    g.measuredFirst =
        static_cast<std::size_t>(std::max(0.0, std::floor(look.Left() - zone.left * x)));
    g.measuredLast = static_cast<std::size_t>(
        std::min(static_cast<double>(end), std::ceil(look.Right() + zone.right * x)));
    const auto [rmin, rmax] =
        std::minmax_element(profile.begin() + static_cast<long>(g.measuredFirst),
                            profile.begin() + static_cast<long>(g.measuredLast) + 1);
    g.rmin = *rmin;
    g.rmax = *rmax;
    g.symbolContrast = g.rmax - g.rmin;
    g.threshold = (g.rmax + g.rmin) / 2;
}

// The elements of the measured range at the global threshold, and which of them are the
// symbol's bars and spaces.
struct TGlobalElements {
    std::vector<TElement> elements;
    TSymbolBars bars;
};

// The elements counted at the global threshold, and their edges by the standard's rule;
// the contrasts measured over the symbol's elements with a neighbour each side where the
// range has one.
TGlobalElements MeasureElements(std::span<const double> profile, const TLineSymbol& look, double x,
                                TProfileGrade& g) {
    std::vector<TElement> elements =
        GlobalElements(profile, g.measuredFirst, g.measuredLast, g.threshold);
    for (std::size_t i = 0; i + 1 < elements.size(); ++i)
        g.edges.push_back(StandardEdge(profile, elements[i], elements[i + 1]));
    const TSymbolBars bars = SymbolBars(elements, look.Left(), look.Right(), x);
    const std::size_t gradedFirst = bars.first - (bars.first > 0);
    const std::size_t gradedLast = std::min(elements.size() - 1, bars.last + 1);
    MeasureContrasts(
        profile, std::span(elements).subspan(gradedFirst, gradedLast - gradedFirst + 1),
        std::span(g.edges).subspan(
            gradedFirst, std::min(g.edges.size() - gradedFirst, gradedLast - gradedFirst + 1)),
        g);
    return {std::move(elements), bars};
}

// What the decode from the edges found: the symbol, its outer edges, and the gap before
// an add-on.
struct TEdgeDecode {
    TDecoded decoded;
    double left = 0, right = 0;
    std::optional<double> addonGap;
};

// Decode from the edges: every width, the decodability and the bar gain.
TEdgeDecode DecodeFromEdges(const TGlobalElements& global, std::optional<btCodeTypes> symbology,
                            TProfileGrade& g) {
    TEdgeDecode read;
    read.decoded.failure = "the bars merge at the global threshold";
    const TSymbolBars& bars = global.bars;
    if (!bars.Found()) return read;
    const std::vector<TElement>& elements = global.elements;
    const auto edge = [&](std::size_t i) { // the edge before element i
        return i == 0 ? elements[0].left : g.edges[i - 1];
    };
    read.left = edge(bars.first);
    read.right = bars.last < g.edges.size() ? g.edges[bars.last] : elements[bars.last].right;
    std::vector<double> widths;
    for (std::size_t i = bars.first; i <= bars.last; ++i)
        widths.push_back((i < g.edges.size() ? g.edges[i] : elements[i].right) - edge(i));
    read.decoded = Decode(symbology, widths);
    read.addonGap = AddonGap(read.decoded, widths);
    if (read.decoded.ok && read.decoded.nominal.size() == widths.size()) {
        double gain = 0;
        int count = 0;
        for (std::size_t i = 0; i < widths.size(); i += 2, ++count)
            gain += widths[i] - read.decoded.nominal[i];
        g.barGain = gain / count;
    }
    return read;
}

// What the decode read, and the quiet zones measured from its outer edges; without a
// decode, the symbology and module width of the first look.
void RecordDecode(std::span<const double> profile, const TEdgeDecode& read,
                  std::optional<btCodeTypes> symbology, double x, double before, double after,
                  TProfileGrade& g) {
    const TDecoded& decoded = read.decoded;
    g.decoded = decoded.ok;
    if (!decoded.ok) {
        if (symbology) g.type = *symbology;
        g.moduleWidth = x;
        return;
    }
    g.type = decoded.type;
    g.moduleWidth = decoded.moduleWidth;
    g.decodability = decoded.decodability;
    g.data = decoded.data;
    g.addon = decoded.addon;
    g.message = decoded.message;
    g.identifier = decoded.identifier;
    g.reversed = decoded.reversed;
    MeasureQuietZones(profile, g.threshold, read.left, read.right, decoded.moduleWidth, before,
                      after, g);
}

} // namespace

TProfileGrade GradeProfile(std::span<const double> profile, std::optional<btCodeTypes> type,
                           double before, double after) {
    TProfileGrade g;
    g.failure = UngradableProfile(profile, type);
    if (!g.failure.empty()) return g;

    // First look: the symbol's run of elements (the one that decodes, else the longest),
    // found at a threshold that follows the light along the line.
    const TLineSymbol look = FindLineSymbol(profile, type, 5);
    if (!look.found) {
        g.failure = "no symbol found on the scan line";
        return g;
    }
    g.found = true;
    const std::optional<btCodeTypes> symbology =
        look.decoded.ok ? std::optional(look.decoded.type) : type;
    const double x = look.decoded.ok ? look.decoded.moduleWidth : NarrowWidth(look);

    // The quiet zones its symbology needs (ten modules each side when it is not known;
    // ITF-14's to the bearer frame's inner edge where a frame stands beside them), each side's
    // as the symbol reads: a symbol read right to left has its first on the right.
    TQuietZone zone =
        symbology ? QuietZoneModules(*symbology, !look.decoded.addon.empty()) : TQuietZone{10, 10};
    if (look.decoded.reversed) std::swap(zone.left, zone.right);
    MeasureRange(profile, look, zone, x, g);

    const TGlobalElements global = MeasureElements(profile, look, x, g);
    const TEdgeDecode read = DecodeFromEdges(global, symbology, g);
    RecordDecode(profile, read, symbology, x, before, after, g);
    g.quietLeftNeeded = zone.left;
    g.quietRightNeeded = zone.right;

    g.failure = read.decoded.ok ? QuietZoneFailure(g, zone, read.decoded.type, read.addonGap)
                                : read.decoded.failure;
    Grade(g);
    return g;
}

} // namespace varimark
