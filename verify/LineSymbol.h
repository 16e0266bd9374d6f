#pragma once
// Finding a symbol on one line of samples: the elements where the line passes a threshold
// that follows the light and dark around each point (so uneven light, a grey ground or a
// shadow do not hide the bars), the runs of elements from a bar to a bar with no space
// wider than any symbology's widest gap, and the run that decodes.
#include "engine/BarcodeTypes.h"
#include "verify/ReferenceDecode.h"

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace varimark {

// An element between two edges, in samples.
struct TLineElement {
    double left = 0, right = 0;
    bool bar = false;
    double Width() const { return right - left; }
};

// The elements of profile. The threshold at sample k is halfway between the lowest and the
// highest value within `window` samples each way; the state changes where the profile
// passes it by a tenth of that local contrast, and never where the local contrast is below
// minContrast (a flat, noisy ground). Each edge lies where the profile crosses the
// threshold, interpolated between two samples.
std::vector<TLineElement> LocalElements(std::span<const double> profile, int window,
                                        double minContrast);

// A run of elements[first..last]: bars at both ends.
struct TElementRun {
    std::size_t first = 0, last = 0;
    std::size_t Count() const { return last - first + 1; }
};

// The runs that may be one symbol each, longest first: from a bar to a bar, no space inside
// wider than 14 narrow elements (the widest gap of any symbology, an add-on's, is 12
// modules), the narrow width being the width a quarter of the elements do not exceed.
std::vector<TElementRun> CandidateRuns(const std::vector<TLineElement>& elements);

// The parts of a run that may be the symbol when the whole does not decode: the run is cut
// at every space wider than five narrow elements (no symbology has one inside; a frame, a
// rule or print beside the symbol, or an add-on's gap, makes one), and the parts are joined
// again in every way but the whole, longest first. None when the run has more than
// kMostParts parts.
inline constexpr std::size_t kMostParts = 12;
std::vector<TElementRun> SubRuns(const std::vector<TLineElement>& elements, TElementRun run);

// The widths of elements[run.first..run.last].
std::vector<double> RunWidths(const std::vector<TLineElement>& elements, TElementRun run);

struct TLineSymbol {
    bool found = false; // a run of at least minElements elements
    std::vector<TLineElement> elements;
    TElementRun run;  // the symbol's run: the one that decoded, else the longest
    TDecoded decoded; // ok when the run decoded
    double Left() const { return elements[run.first].left; }
    double Right() const { return elements[run.last].right; }
};

// The symbol on a line of reflectances (percent): the longest run of at least minElements
// elements that decodes as type (any linear symbology when none).
TLineSymbol FindLineSymbol(std::span<const double> profile, std::optional<btCodeTypes> type,
                           std::size_t minElements = 15);

} // namespace varimark
