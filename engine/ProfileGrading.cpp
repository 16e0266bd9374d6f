#include "engine/ProfileGrading.h"

#include "engine/Formatted.h"
#include "engine/QuietZones.h"
#include "engine/ReferenceDecode.h"

#include <algorithm>
#include <cmath>
#include <vector>

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

// An element of the profile between two crossings of the threshold (or a crossing and the
// end of the range looked at), in sample positions.
struct TElement {
    double left, right;
    bool bar;
};

// The elements of profile[first, last] at threshold: edges where the profile crosses it,
// placed between the two samples by linear interpolation.
std::vector<TElement> FindElements(std::span<const double> profile, std::size_t first,
                                   std::size_t last, double threshold) {
    std::vector<TElement> elements;
    if (first > last || last >= profile.size()) return elements;
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
    return elements;
}

// The widths of elements[first..last] (bars at both ends).
std::vector<double> Widths(const std::vector<TElement>& elements, std::size_t first,
                           std::size_t last) {
    std::vector<double> widths;
    for (std::size_t i = first; i <= last; ++i)
        widths.push_back(elements[i].right - elements[i].left);
    return widths;
}

// A run of elements that may be one symbol: from a bar to a bar, no space inside wider than
// any symbology's widest gap (the add-on gap of EAN/UPC, 12 modules).
struct TRun {
    std::size_t first, last;
};

std::vector<TRun> CandidateRuns(const std::vector<TElement>& elements) {
    std::vector<double> widths;
    for (const TElement& e : elements) widths.push_back(e.right - e.left);
    std::vector<TRun> runs;
    if (widths.size() < 3) return runs;
    // The narrow width: a quarter of the elements are no wider (every symbology has at
    // least that share of one-module or narrow elements).
    std::vector<double> sorted(widths.begin() + 1, widths.end() - 1);
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 4),
                     sorted.end());
    const double narrow = sorted[sorted.size() / 4];
    const double gap = 14 * narrow;
    std::size_t i = 0;
    while (i < elements.size()) {
        while (i < elements.size() && !elements[i].bar) ++i;
        if (i >= elements.size()) break;
        std::size_t last = i;
        for (std::size_t j = i + 1; j < elements.size(); ++j) {
            if (!elements[j].bar && widths[j] > gap) break;
            if (elements[j].bar) last = j;
        }
        runs.push_back({i, last});
        i = last + 1;
    }
    std::stable_sort(runs.begin(), runs.end(), [](const TRun& a, const TRun& b) {
        return a.last - a.first > b.last - b.first;
    });
    return runs;
}

TDecoded Decode(std::optional<btCodeTypes> type, std::span<const double> widths) {
    return type ? ReferenceDecode(*type, widths) : ReferenceDecodeAny(widths);
}

// The lowest and highest sample in [left, right], or the interpolated value at its middle
// when no sample lies inside.
std::pair<double, double> Extremes(std::span<const double> profile, double left, double right) {
    const auto first = static_cast<std::size_t>(std::max(0.0, std::ceil(left)));
    const auto last = static_cast<std::size_t>(
        std::min(static_cast<double>(profile.size() - 1), std::floor(right)));
    if (first > last) {
        const double middle = (left + right) / 2;
        const auto k = static_cast<std::size_t>(
            std::clamp(middle, 0.0, static_cast<double>(profile.size() - 2)));
        const double f = std::clamp(middle - static_cast<double>(k), 0.0, 1.0);
        const double value = profile[k] + f * (profile[k + 1] - profile[k]);
        return {value, value};
    }
    const auto [lo, hi] = std::minmax_element(profile.begin() + static_cast<long>(first),
                                              profile.begin() + static_cast<long>(last) + 1);
    return {*lo, *hi};
}

// Element reflectance non-uniformity: within a bar the highest peak above the bar's lowest
// point, within a space the depth of its lowest valley below its highest point (0 when the
// element is smooth).
// lo and hi: the element's lowest and highest reflectance.
double NonUniformity(std::span<const double> profile, const TElement& e, double lo, double hi) {
    const auto first = static_cast<std::size_t>(std::max(1.0, std::ceil(e.left)));
    const auto last = static_cast<std::size_t>(
        std::min(static_cast<double>(profile.size()) - 2, std::floor(e.right)));
    if (first > last) return 0;
    double ern = 0;
    for (std::size_t k = first; k <= last; ++k) {
        const double r = profile[k];
        if (e.bar && r > profile[k - 1] && r >= profile[k + 1]) ern = std::max(ern, r - lo);
        if (!e.bar && r < profile[k - 1] && r <= profile[k + 1]) ern = std::max(ern, hi - r);
    }
    return ern;
}

} // namespace

TProfileGrade GradeProfile(std::span<const double> profile, std::optional<btCodeTypes> type) {
    TProfileGrade g;
    if (type && (*type == Postnet || *type == Postnet_FIM)) {
        g.failure = kPostalNotGraded;
        return g;
    }
    if (profile.size() < 8) {
        g.failure = "the scan line is too short";
        return g;
    }
    const std::size_t end = profile.size() - 1;
    const auto [lowest, highest] = std::minmax_element(profile.begin(), profile.end());
    if (*highest - *lowest < 1) {
        g.failure = "no bars: the scan line is one shade";
        return g;
    }

    // First look: the whole line at its own threshold; the symbol is the run of elements
    // that decodes.
    std::vector<TElement> elements = FindElements(profile, 0, end, (*lowest + *highest) / 2);
    const std::vector<TRun> runs = CandidateRuns(elements);
    TDecoded decoded;
    TRun symbol{0, 0};
    for (const TRun& run : runs) {
        if (run.last - run.first < 4) break;
        TDecoded attempt = Decode(type, Widths(elements, run.first, run.last));
        if (attempt.ok || decoded.failure.empty()) {
            decoded = std::move(attempt);
            symbol = run;
        }
        if (decoded.ok) break;
    }
    if (!decoded.ok) {
        g.failure = runs.empty() || decoded.failure.empty() ? "no symbol found on the scan line"
                                                            : decoded.failure;
        return g;
    }

    // The measured range: the symbol and the quiet zones its symbology needs.
    const double x = decoded.moduleWidth;
    // Each side's zone as the symbol reads: a symbol read right to left has its first on the
    // right.
    TQuietZone zone = QuietZoneModules(decoded.type, !decoded.addon.empty());
    if (decoded.reversed) std::swap(zone.left, zone.right);
    const double symbolLeft = elements[symbol.first].left;
    const double symbolRight = elements[symbol.last].right;
    const auto rangeFirst =
        static_cast<std::size_t>(std::max(0.0, std::floor(symbolLeft - zone.left * x)));
    const auto rangeLast = static_cast<std::size_t>(
        std::min(static_cast<double>(end), std::ceil(symbolRight + zone.right * x)));
    const auto [rmin, rmax] =
        std::minmax_element(profile.begin() + static_cast<long>(rangeFirst),
                            profile.begin() + static_cast<long>(rangeLast) + 1);
    g.rmin = *rmin;
    g.rmax = *rmax;
    g.symbolContrast = g.rmax - g.rmin;
    const double threshold = (g.rmax + g.rmin) / 2;

    // Second look at the global threshold of the range: the elements graded.
    elements = FindElements(profile, rangeFirst, rangeLast, threshold);
    std::size_t firstBar = elements.size(), lastBar = 0;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const double middle = (elements[i].left + elements[i].right) / 2;
        if (!elements[i].bar || middle < symbolLeft - x / 2 || middle > symbolRight + x / 2)
            continue;
        firstBar = std::min(firstBar, i);
        lastBar = i;
    }
    if (firstBar >= lastBar) {
        g.failure = "the bars merge at the global threshold";
        return g;
    }
    decoded = Decode(decoded.type, Widths(elements, firstBar, lastBar));
    g.type = decoded.type;
    g.moduleWidth = decoded.moduleWidth;
    g.decodability = decoded.ok ? decoded.decodability : 0;

    // Quiet zones: light space from the outer bars to the next edge of something dark on
    // the line, or to the end of the picture (half a sample beyond the last sample).
    const double left = elements[firstBar].left, right = elements[lastBar].right;
    const auto edgeAt = [&](std::size_t k) {
        return static_cast<double>(k) + (threshold - profile[k]) / (profile[k + 1] - profile[k]);
    };
    double leftEnd = -0.5, rightEnd = static_cast<double>(end) + 0.5;
    for (auto k = static_cast<std::size_t>(std::max(0.0, std::floor(left))); k-- > 0;)
        if (profile[k] < threshold) {
            leftEnd = edgeAt(k);
            break;
        }
    for (auto k = static_cast<std::size_t>(std::ceil(right)) + 1; k <= end; ++k)
        if (profile[k] < threshold) {
            rightEnd = edgeAt(k - 1);
            break;
        }
    if (decoded.ok) {
        g.quietLeft = (left - leftEnd) / decoded.moduleWidth;
        g.quietRight = (rightEnd - right) / decoded.moduleWidth;
    }
    g.quietLeftNeeded = zone.left;
    g.quietRightNeeded = zone.right;

    // Edge contrast between neighbours and non-uniformity within each element, quiet zones
    // included (as far as the range reaches).
    std::vector<TElement> graded(elements.begin() + static_cast<long>(firstBar) - (firstBar > 0),
                                 elements.begin() + static_cast<long>(lastBar) + 1 +
                                     (lastBar + 1 < elements.size()));
    double previous = 0, ecmin = g.symbolContrast, ernmax = 0;
    for (std::size_t i = 0; i < graded.size(); ++i) {
        const auto [lo, hi] = Extremes(profile, graded[i].left, graded[i].right);
        const double reflectance = graded[i].bar ? lo : hi;
        if (i > 0) ecmin = std::min(ecmin, std::abs(reflectance - previous));
        previous = reflectance;
        ernmax = std::max(ernmax, NonUniformity(profile, graded[i], lo, hi));
    }
    g.minEdgeContrast = ecmin;
    g.modulation = g.symbolContrast > 0 ? ecmin / g.symbolContrast : 0;
    g.defects = g.symbolContrast > 0 ? ernmax / g.symbolContrast : 1;

    // Bar gain: how much wider the bars are than the widths they should have.
    if (decoded.ok && decoded.nominal.size() == lastBar - firstBar + 1) {
        double gain = 0;
        int bars = 0;
        for (std::size_t i = firstBar; i <= lastBar; i += 2, ++bars)
            gain += elements[i].right - elements[i].left - decoded.nominal[i - firstBar];
        g.barGain = gain / bars;
    }

    g.decoded = decoded.ok;
    g.data = decoded.data;
    g.addon = decoded.addon;
    if (!decoded.ok) {
        g.failure = decoded.failure;
    } else if (g.quietLeft < zone.left - 0.05 || g.quietRight < zone.right - 0.05) {
        const bool leftShort = g.quietLeft < zone.left - 0.05;
        g.failure = std::string(leftShort ? "the left" : "the right") + " quiet zone is " +
                    Formatted("%.1f", leftShort ? g.quietLeft : g.quietRight) + " modules wide; " +
                    CodeTypeName(decoded.type) + " needs " +
                    std::to_string(leftShort ? zone.left : zone.right);
    }
    g.decodeGrade = g.failure.empty() ? 4 : 0;
    g.rminGrade = g.rmin <= 0.5 * g.rmax ? 4 : 0;
    g.contrastGrade = GradeAtLeast(g.symbolContrast, TGradeLimits::kContrast);
    g.edgeContrastGrade = g.minEdgeContrast >= TGradeLimits::kMinEdgeContrast ? 4 : 0;
    g.modulationGrade = GradeAtLeast(g.modulation, TGradeLimits::kModulation);
    g.defectsGrade = GradeAtMost(g.defects, TGradeLimits::kDefects);
    g.decodabilityGrade = GradeAtLeast(g.decodability, TGradeLimits::kDecodability);
    g.grade = std::min({g.decodeGrade, g.rminGrade, g.contrastGrade, g.edgeContrastGrade,
                        g.modulationGrade, g.defectsGrade, g.decodabilityGrade});
    return g;
}

} // namespace varimark
