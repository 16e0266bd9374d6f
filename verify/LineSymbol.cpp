#include "verify/LineSymbol.h"

#include <algorithm>
#include <cmath>

namespace varimark {

namespace {

// The lowest and highest value within `window` samples of each sample, by monotonic queues
// (each index enters and leaves each queue once).
void LocalExtremes(std::span<const double> p, int window, std::vector<double>& lo,
                   std::vector<double>& hi) {
    const std::size_t n = p.size(), w = static_cast<std::size_t>(std::max(0, window));
    lo.resize(n);
    hi.resize(n);
    std::vector<std::size_t> low(n), high(n); // queues of indices, values rising / falling
    std::size_t lowHead = 0, lowTail = 0, highHead = 0, highTail = 0;
    std::size_t next = 0; // the next index to enter
    for (std::size_t k = 0; k < n; ++k) {
        for (; next < n && next <= k + w; ++next) {
            while (lowTail > lowHead && p[low[lowTail - 1]] >= p[next]) --lowTail;
            low[lowTail++] = next;
            while (highTail > highHead && p[high[highTail - 1]] <= p[next]) --highTail;
            high[highTail++] = next;
        }
        while (low[lowHead] + w < k) ++lowHead;
        while (high[highHead] + w < k) ++highHead;
        lo[k] = p[low[lowHead]];
        hi[k] = p[high[highHead]];
    }
}

} // namespace

std::vector<TLineElement> LocalElements(std::span<const double> p, int window, double minContrast) {
    std::vector<TLineElement> elements;
    if (p.empty()) return elements;
    std::vector<double> lo, hi;
    LocalExtremes(p, window, lo, hi);
    const auto threshold = [&](std::size_t k) { return (lo[k] + hi[k]) / 2; };
    bool dark = hi[0] - lo[0] >= minContrast && p[0] < threshold(0);
    double start = 0;
    std::size_t startSample = 0;
    for (std::size_t k = 1; k < p.size(); ++k) {
        const double contrast = hi[k] - lo[k];
        if (contrast < minContrast) continue;
        const double t = threshold(k), margin = contrast / 10;
        if (dark ? p[k] <= t + margin : p[k] >= t - margin) continue;
        // The last crossing of t before k.
        std::size_t j = k - 1;
        while (j > startSample && (dark ? p[j] > t : p[j] < t)) --j;
        double edge = static_cast<double>(k) - 0.5;
        if ((dark ? p[j] <= t : p[j] >= t) && p[j] != p[j + 1])
            edge = static_cast<double>(j) + (p[j] - t) / (p[j] - p[j + 1]);
        edge = std::clamp(edge, start, static_cast<double>(k));
        elements.push_back({start, edge, dark});
        start = edge;
        startSample = k;
        dark = !dark;
    }
    elements.push_back({start, static_cast<double>(p.size() - 1), dark});
    return elements;
}

std::vector<TElementRun> CandidateRuns(const std::vector<TLineElement>& elements) {
    std::vector<TElementRun> runs;
    if (elements.size() < 3) return runs;
    std::vector<double> widths;
    widths.reserve(elements.size());
    for (const TLineElement& e : elements) widths.push_back(e.Width());
    std::vector<double> inner(widths.begin() + 1, widths.end() - 1);
    const auto quarter = inner.begin() + static_cast<long>(inner.size() / 4);
    std::nth_element(inner.begin(), quarter, inner.end());
    const double gap = 14 * *quarter;
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
    std::stable_sort(runs.begin(), runs.end(), [](const TElementRun& a, const TElementRun& b) {
        return a.Count() > b.Count();
    });
    return runs;
}

std::vector<double> RunWidths(const std::vector<TLineElement>& elements, TElementRun run) {
    std::vector<double> widths;
    widths.reserve(run.Count());
    for (std::size_t i = run.first; i <= run.last; ++i) widths.push_back(elements[i].Width());
    return widths;
}

std::vector<TElementRun> SubRuns(const std::vector<TLineElement>& elements, TElementRun run) {
    std::vector<TElementRun> parts;
    std::vector<double> widths = RunWidths(elements, run);
    const auto quarter = widths.begin() + static_cast<long>(widths.size() / 4);
    std::nth_element(widths.begin(), quarter, widths.end());
    const double wide = 5 * *quarter;
    std::size_t start = run.first;
    for (std::size_t i = run.first + 1; i < run.last; i += 2) {
        if (elements[i].Width() <= wide) continue;
        parts.push_back({start, i - 1});
        start = i + 1;
    }
    parts.push_back({start, run.last});
    std::vector<TElementRun> runs;
    for (std::size_t i = 0; i < parts.size() && parts.size() <= kMostParts; ++i)
        for (std::size_t j = i; j < parts.size(); ++j)
            if (i > 0 || j + 1 < parts.size()) runs.push_back({parts[i].first, parts[j].last});
    std::stable_sort(runs.begin(), runs.end(), [](const TElementRun& a, const TElementRun& b) {
        return a.Count() > b.Count();
    });
    return runs;
}

TLineSymbol FindLineSymbol(std::span<const double> profile, std::optional<btCodeTypes> type,
                           std::size_t minElements) {
    TLineSymbol symbol;
    if (profile.size() < 8) return symbol;
    const auto [lowest, highest] = std::minmax_element(profile.begin(), profile.end());
    // The window reaches about a sixteenth of the line each way (several modules of any
    // symbol the line crosses whole); a contrast below a fifth of the line's is no edge.
    const int window = std::max(8, static_cast<int>(profile.size() / 16));
    symbol.elements = LocalElements(profile, window, std::max(2.0, (*highest - *lowest) / 5));
    const auto decodes = [&](TElementRun run) {
        const std::vector<double> widths = RunWidths(symbol.elements, run);
        TDecoded attempt = type ? ReferenceDecode(*type, widths) : ReferenceDecodeAny(widths);
        if (!symbol.found || attempt.ok) {
            symbol.found = true;
            symbol.run = run;
            symbol.decoded = std::move(attempt);
        }
        return symbol.decoded.ok;
    };
    for (const TElementRun& run : CandidateRuns(symbol.elements)) {
        if (run.Count() < minElements) break;
        if (decodes(run)) return symbol;
        // A frame, a rule or print beside the symbol may have joined its run.
        for (const TElementRun& part : SubRuns(symbol.elements, run))
            if (part.Count() >= minElements && decodes(part)) return symbol;
    }
    return symbol;
}

} // namespace varimark
