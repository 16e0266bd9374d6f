#include "verify/SymbolScan.h"

#include "verify/DecodeCharacters.h"
#include "verify/LineSymbol.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varimark {

namespace {

struct TPoint {
    double x = 0, y = 0;
};
TPoint operator+(TPoint a, TPoint b) {
    return {a.x + b.x, a.y + b.y};
}
TPoint operator-(TPoint a, TPoint b) {
    return {a.x - b.x, a.y - b.y};
}
TPoint operator*(double k, TPoint a) {
    return {k * a.x, k * a.y};
}
double Dot(TPoint a, TPoint b) {
    return a.x * b.x + a.y * b.y;
}
TPoint Unit(TPoint a) {
    const double length = std::hypot(a.x, a.y);
    return {a.x / length, a.y / length};
}

bool Inside(const TReflectanceImage& image, TPoint p) {
    return p.x >= -0.5 && p.y >= -0.5 && p.x <= image.width - 0.5 && p.y <= image.height - 0.5;
}

// The part of the line through p along u (a unit vector) that lies on the picture (which
// covers [-0.5, width - 0.5] x [-0.5, height - 0.5]), sampled every `step` pixels at whole
// multiples of step from p; with how far the picture reaches beyond its ends, in samples.
TScanLine LineAcross(const TReflectanceImage& image, TPoint p, TPoint u, double step) {
    double lo = -1e300, hi = 1e300;
    const auto clip = [&](double start, double direction, int size) {
        if (std::abs(direction) < 1e-12) {
            if (start < -0.5 || start > size - 0.5) lo = 1, hi = 0;
            return;
        }
        double a = (-0.5 - start) / direction, b = (size - 0.5 - start) / direction;
        if (a > b) std::swap(a, b);
        lo = std::max(lo, a);
        hi = std::min(hi, b);
    };
    clip(p.x, u.x, image.width);
    clip(p.y, u.y, image.height);
    TScanLine line;
    if (!(hi >= lo)) return line;
    // Samples inside the picture, none on its very border.
    const double first = std::ceil(lo / step + 1e-9), last = std::floor(hi / step - 1e-9);
    if (last < first) return line;
    line.x = p.x + first * step * u.x;
    line.y = p.y + first * step * u.y;
    line.dx = step * u.x + 0.0; // never -0
    line.dy = step * u.y + 0.0;
    line.count = static_cast<int>(last - first) + 1;
    line.before = first - lo / step;
    line.after = hi / step - last;
    return line;
}

// A line read for finding the symbol: point samples a pixel apart.
struct TLineRead {
    TScanLine line;
    TPoint u; // its direction
    TLineSymbol symbol;
    TPoint At(double sample) const {
        return {line.x + sample * line.dx, line.y + sample * line.dy};
    }
    bool Decoded() const { return symbol.found && symbol.decoded.ok; }
};

constexpr int kShortestLine = 16;

TLineRead ReadLine(const TReflectanceImage& image, TPoint p, TPoint u,
                   std::optional<btCodeTypes> type) {
    TLineRead read;
    read.u = u;
    read.line = LineAcross(image, p, u, 1.0);
    if (read.line.count < kShortestLine) return read;
    std::vector<double> profile(static_cast<std::size_t>(read.line.count));
    for (std::size_t j = 0; j < profile.size(); ++j) {
        const TPoint at = read.At(static_cast<double>(j));
        profile[j] = Bilinear(image, at.x, at.y);
    }
    read.symbol = FindLineSymbol(profile, type);
    return read;
}

// The symbol's edges on a line as distances along it from p.
std::vector<double> EdgesAlong(const TLineRead& read, TPoint p) {
    const TLineSymbol& s = read.symbol;
    std::vector<double> edges;
    for (std::size_t i = s.run.first; i <= s.run.last; ++i)
        edges.push_back(Dot(read.At(s.elements[i].left) - p, read.u));
    edges.push_back(Dot(read.At(s.Right()) - p, read.u));
    return edges;
}

// The bars' lean from square to the line: a parallel line some way across the bars that
// decodes the same symbol shows each edge moved along the line; the mean move per pixel of
// offset. None when no such line decodes it (the first read may have been chance).
std::optional<double> Lean(const TReflectanceImage& image, const TLineRead& read, TPoint p) {
    const TPoint v{-read.u.y, read.u.x};
    const double length = read.symbol.Right() - read.symbol.Left();
    const std::vector<double> edges = EdgesAlong(read, p);
    for (const double offset : {0.15 * length, 0.08 * length, 0.04 * length, 3.0}) {
        for (const double side : {1.0, -1.0}) {
            const TPoint q = p + side * offset * v;
            const TLineRead other = ReadLine(image, q, read.u, read.symbol.decoded.type);
            if (!other.Decoded() || other.symbol.decoded.data != read.symbol.decoded.data ||
                other.symbol.run.Count() != read.symbol.run.Count())
                continue;
            const std::vector<double> moved = EdgesAlong(other, q);
            double shift = 0;
            for (std::size_t i = 0; i < edges.size(); ++i) shift += moved[i] - edges[i];
            return shift / static_cast<double>(edges.size()) / (side * offset);
        }
    }
    return std::nullopt;
}

// How many times each row and each column crosses the threshold, in one pass over the
// picture in memory order: the lines most worth reading first.
struct TCrossings {
    std::vector<int> rows, columns;
};

TCrossings CountCrossings(const TReflectanceImage& image, float threshold) {
    TCrossings c;
    c.rows.assign(static_cast<std::size_t>(image.height), 0);
    c.columns.assign(static_cast<std::size_t>(image.width), 0);
    const auto w = static_cast<std::size_t>(image.width);
    for (std::size_t y = 0; y < static_cast<std::size_t>(image.height); ++y) {
        const float* row = &image.r[y * w];
        const float* above = y > 0 ? row - w : nullptr;
        int count = 0;
        for (std::size_t x = 0; x < w; ++x) {
            const bool dark = row[x] < threshold;
            if (x > 0 && dark != (row[x - 1] < threshold)) ++count;
            if (above != nullptr && dark != (above[x] < threshold)) ++c.columns[x];
        }
        c.rows[y] = count;
    }
    return c;
}

struct TCandidate {
    TPoint p, u;
};

// Rows and columns: first the ones that cross the threshold most often (a few of each,
// kept apart), then lines spread evenly over the picture.
std::vector<TCandidate> AxisCandidates(const TReflectanceImage& image) {
    const auto [lowest, highest] = std::minmax_element(image.r.begin(), image.r.end());
    const TCrossings crossings = CountCrossings(image, (*lowest + *highest) / 2);
    struct TRanked {
        int count;
        bool column;
        int index;
    };
    std::vector<TRanked> ranked;
    for (std::size_t i = 0; i < crossings.rows.size(); ++i)
        ranked.push_back({crossings.rows[i], false, static_cast<int>(i)});
    for (std::size_t i = 0; i < crossings.columns.size(); ++i)
        ranked.push_back({crossings.columns[i], true, static_cast<int>(i)});
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const TRanked& a, const TRanked& b) { return a.count > b.count; });
    std::vector<TCandidate> candidates;
    std::vector<TRanked> chosen;
    const auto candidate = [](bool column, double index) {
        return column ? TCandidate{{index, 0}, {0, 1}} : TCandidate{{0, index}, {1, 0}};
    };
    for (const TRanked& r : ranked) {
        if (chosen.size() >= 12 || r.count < 14) break;
        const bool near = std::any_of(chosen.begin(), chosen.end(), [&](const TRanked& c) {
            return c.column == r.column && std::abs(c.index - r.index) < 4;
        });
        if (near) continue;
        chosen.push_back(r);
        candidates.push_back(candidate(r.column, r.index));
    }
    constexpr int kSpread = 24;
    for (int k = 0; k < kSpread; ++k)
        for (const bool column : {false, true}) {
            const int lines = column ? image.width : image.height;
            candidates.push_back(candidate(column, std::floor((k + 0.5) * lines / kSpread)));
        }
    return candidates;
}

// Lines at every 10 degrees across the whole picture, from its centre outwards: a symbol at
// any angle is crossed whole by one of them (a line within 5 degrees of square crosses every
// bar of a symbol at least a tenth as high as it is long).
std::vector<TCandidate> TurnedCandidates(const TReflectanceImage& image) {
    constexpr int kAngles = 18;
    const TPoint centre{(image.width - 1) / 2.0, (image.height - 1) / 2.0};
    const double reach = std::hypot(image.width, image.height) / 2;
    const double spacing = std::max(3.0, std::min(image.width, image.height) / 40.0);
    std::vector<TCandidate> candidates;
    for (int ring = 0; ring * spacing <= reach; ++ring)
        for (const int side : {1, -1}) {
            if (ring == 0 && side < 0) continue;
            for (int a = 0; a < kAngles; ++a) {
                const double angle = a * std::numbers::pi / kAngles;
                const TPoint u{std::cos(angle), std::sin(angle)}, v{-u.y, u.x};
                candidates.push_back({centre + side * ring * spacing * v, u});
            }
        }
    return candidates;
}

// The band of the bars: from the reference line, each step of a pixel along the bars is a
// row that matches when at least 80 % of the symbol's elements, looked at in their middles,
// are still dark or light as on the reference line (each against the midpoint of its own
// reflectance and its neighbours' there). A void, a spot, a dash or a smudge spoils a few
// rows or a few elements; the band takes in any run of spoilt rows no longer than the rows
// that matched so far, so it spans the bars' whole height, and ends where they end (above
// them the ground, below them the text line, match about half the elements).
struct TBand {
    int first = 0, last = 0; // rows from the reference line, along the bars
    int Height() const { return last - first + 1; }
};

// What a row must look like to match the reference line: the middle of each element of the
// symbol on the reference line, whether it is a bar, and the threshold between it and its
// neighbours (the midpoint to the lighter neighbour for a bar, the darker for a space).
struct TRowPattern {
    std::vector<TPoint> middles;
    std::vector<double> thresholds;
    std::vector<bool> bars;
};

TRowPattern ReferencePattern(const TReflectanceImage& image, const TLineRead& reference) {
    const TLineSymbol& s = reference.symbol;
    TRowPattern pattern;
    std::vector<TPoint> middles;
    std::vector<double> values;
    for (std::size_t i = 0; i < s.elements.size(); ++i) {
        const TPoint m = reference.At((s.elements[i].left + s.elements[i].right) / 2);
        values.push_back(Bilinear(image, m.x, m.y));
        middles.push_back(m);
    }
    const std::size_t first = s.run.first, last = s.run.last;
    for (std::size_t i = first; i <= last; ++i) {
        const bool bar = s.elements[i].bar;
        double neighbour = bar ? 0 : 100;
        for (const std::size_t j : {i - 1, i + 1}) {
            if (j >= s.elements.size()) continue; // i - 1 wraps round at 0
            neighbour = bar ? std::max(neighbour, values[j]) : std::min(neighbour, values[j]);
        }
        pattern.thresholds.push_back((values[i] + neighbour) / 2);
        pattern.bars.push_back(bar);
    }
    pattern.middles = std::vector<TPoint>(middles.begin() + static_cast<long>(first),
                                          middles.begin() + static_cast<long>(last) + 1);
    return pattern;
}

// Whether row k matches; none once it leaves the picture.
std::optional<bool> RowMatches(const TReflectanceImage& image, const TRowPattern& pattern,
                               TPoint along, int k) {
    std::size_t right = 0;
    for (std::size_t i = 0; i < pattern.middles.size(); ++i) {
        const TPoint p = pattern.middles[i] + static_cast<double>(k) * along;
        if (!Inside(image, p)) return std::nullopt;
        const double r = Bilinear(image, p.x, p.y);
        right += pattern.bars[i] ? r < pattern.thresholds[i] : r > pattern.thresholds[i];
    }
    return right * 5 >= pattern.middles.size() * 4;
}

// The band from the matching rows each way (nearest first): it grows by the nearer next
// matching row while the gap to it is no longer than the rows matched so far.
TBand GrowBand(const std::vector<int>& up, const std::vector<int>& down) {
    TBand band;
    std::size_t nextUp = 0, nextDown = 0;
    int matched = 1;
    while (true) {
        const int gapUp = nextUp < up.size() ? up[nextUp] - band.last - 1 : INT32_MAX;
        const int gapDown = nextDown < down.size() ? band.first - down[nextDown] - 1 : INT32_MAX;
        if (std::min(gapUp, gapDown) > matched) break;
        if (gapUp <= gapDown)
            band.last = up[nextUp++];
        else
            band.first = down[nextDown++];
        ++matched;
    }
    return band;
}

TBand FindBand(const TReflectanceImage& image, const TLineRead& reference, TPoint along) {
    const TRowPattern pattern = ReferencePattern(image, reference);
    std::vector<int> up, down; // the matching rows each way, nearest first
    for (const int direction : {1, -1}) {
        std::vector<int>& found = direction > 0 ? up : down;
        int spoilt = 0;
        for (int k = direction;; k += direction) {
            const std::optional<bool> match = RowMatches(image, pattern, along, k);
            if (!match) break;
            if (*match) {
                found.push_back(k);
                spoilt = 0;
            } else if (++spoilt > static_cast<int>(up.size() + found.size()) + 8) {
                break; // no gap this long can be taken in any more
            }
        }
    }
    return GrowBand(up, down);
}

// Bearer bars (ITF-14 in the GS1 General Specifications): a row beyond the band is dark
// across the symbol when at least 80 % of its spaces, looked at in their middles, are dark
// there (below the midpoint of the lightest space and the darkest bar on the reference
// line); a bearer bar starts within two rows of the band's end and is as thick as the dark
// rows that follow each other. A frame's side bar is the bar beyond each quiet zone on the
// reference line that is dark at both ends of the band as well.
// The rows beyond the band as the bearer bars are looked for in them: the middles of the
// symbol's spaces on the reference line, and the threshold between its lightest space and
// darkest bar.
class TBearerProbe {
public:
    TBearerProbe(const TReflectanceImage& image, const TLineRead& reference, TPoint along)
        : image_(image), along_(along) {
        const TLineSymbol& s = reference.symbol;
        double darkest = 100;
        for (std::size_t i = s.run.first; i <= s.run.last; ++i) {
            const TLineElement& e = s.elements[i];
            const TPoint m = reference.At((e.left + e.right) / 2);
            const double r = Bilinear(image, m.x, m.y);
            if (!e.bar) spaces_.push_back(m);
            if (e.bar)
                darkest = std::min(darkest, r);
            else
                lightest_ = std::max(lightest_, r);
        }
        threshold_ = (lightest_ + darkest) / 2;
    }

    bool NoSpaces() const { return spaces_.empty(); }

    bool Dark(TPoint p) const {
        return Inside(image_, p) && Bilinear(image_, p.x, p.y) < threshold_;
    }

    // Whether row k is dark across the symbol: at least 80 % of the spaces.
    bool DarkAcross(int k) const {
        std::size_t count = 0;
        for (const TPoint& m : spaces_) count += Dark(m + static_cast<double>(k) * along_);
        return count * 5 >= spaces_.size() * 4;
    }

    // The bearer bar from row from on (within two rows of it) in the direction: its
    // thickness in rows, 0 without one.
    double Thickness(int from, int direction) const {
        int k = from;
        while (k != from + 3 * direction && !DarkAcross(k)) k += direction;
        if (!DarkAcross(k)) return 0.0;
        const int first = k;
        int rows = 0;
        for (; DarkAcross(k) && rows <= image_.width + image_.height; k += direction) ++rows;
        const int last = k - direction;
        return std::abs(Crossing(last + direction, last) - Crossing(first - direction, first));
    }

private:
    // The spaces' mean reflectance k rows from the reference line, for placing the bearer's
    // edges between two rows where the mean crosses the threshold.
    double Mean(int k) const {
        double sum = 0;
        for (const TPoint& m : spaces_) {
            const TPoint p = m + static_cast<double>(k) * along_;
            sum += Inside(image_, p) ? Bilinear(image_, p.x, p.y) : lightest_;
        }
        return sum / static_cast<double>(spaces_.size());
    }

    // Where the mean crosses the threshold between the rows on either side of an edge.
    double Crossing(int light, int inBar) const {
        const double a = Mean(light), b = Mean(inBar);
        const double f = a != b ? std::clamp((a - threshold_) / (a - b), 0.0, 1.0) : 0.5;
        return light + f * (inBar - light);
    }

    const TReflectanceImage& image_;
    const TPoint along_;
    std::vector<TPoint> spaces_;
    double lightest_ = 0;
    double threshold_ = 0;
};

// A frame's side bar: element i of the reference line when it is a bar dark at both ends of
// the band as well; its width, 0 otherwise. A side bar at the picture's edge reaches as far
// as the picture does beyond the line's first or last sample.
double SideBar(const TBearerProbe& probe, const TLineRead& reference, TPoint along, TBand band,
               std::size_t i) {
    const TLineSymbol& s = reference.symbol;
    const TLineElement& e = s.elements[i];
    const TPoint m = reference.At((e.left + e.right) / 2);
    const bool spans = e.bar && probe.Dark(m) &&
                       probe.Dark(m + static_cast<double>(band.first) * along) &&
                       probe.Dark(m + static_cast<double>(band.last) * along);
    if (!spans) return 0.0;
    return e.Width() + (i == 0 ? reference.line.before : 0) +
           (i + 1 == s.elements.size() ? reference.line.after : 0);
}

TBearerBars MeasureBearers(const TReflectanceImage& image, const TLineRead& reference, TPoint along,
                           TBand band) {
    const TLineSymbol& s = reference.symbol;
    const TBearerProbe probe(image, reference, along);
    TBearerBars bearers;
    if (probe.NoSpaces()) return bearers;
    bearers.top = probe.Thickness(band.last + 1, 1);
    bearers.bottom = probe.Thickness(band.first - 1, -1);
    if (!bearers.TopAndBottom() || s.run.first < 2 || s.run.last + 2 >= s.elements.size())
        return bearers;
    bearers.left = SideBar(probe, reference, along, band, s.run.first - 2);
    bearers.right = SideBar(probe, reference, along, band, s.run.last + 2);
    return bearers;
}

// Whether a symbol decoded as Interleaved 2 of 5 is ITF-14: 14 digits, the last their GS1
// check digit, between bearer bars.
bool IsItf14(const TDecoded& decoded, const TBearerBars& bearers) {
    const std::string& d = decoded.data;
    return (decoded.type == btCodeTypes::CODE25i || decoded.type == btCodeTypes::CODE25iP) &&
           d.size() == 14 && decode::Gs1CheckDigit(std::string_view(d).substr(0, 13)) == d.back() &&
           bearers.TopAndBottom();
}

// The scan plan from a line that crosses the symbol: the bars' direction from its lean, the
// reference line square to them through the symbol's middle, the band, and the scans.
TScanPlan PlanFrom(const TReflectanceImage& image, const TLineRead& found, double lean, int lines,
                   bool named) {
    TScanPlan plan;
    const TPoint u = found.u, v{-u.y, u.x};
    TPoint along = Unit(v + lean * u);
    TPoint across{along.y, -along.x};
    if (Dot(across, u) < 0) across = -1 * across;
    const TPoint middle = found.At((found.symbol.Left() + found.symbol.Right()) / 2);
    const std::optional<btCodeTypes> type =
        found.Decoded() ? std::optional(found.symbol.decoded.type) : std::nullopt;
    TLineRead reference = ReadLine(image, middle, across, type);
    if (found.Decoded() ? !reference.Decoded() : !reference.symbol.found) {
        reference = found;
        along = v;
        across = u;
    }
    // The reference's middle, moved along the scans onto a whole pixel, so that scans
    // along the picture's rows or columns sample its pixels' centres.
    TPoint origin = reference.At((reference.symbol.Left() + reference.symbol.Right()) / 2);
    const double t = Dot(origin, across);
    origin = origin + (std::round(t) - t) * across;

    const TBand band = FindBand(image, reference, along);
    plan.decoded = reference.Decoded();
    if (plan.decoded) plan.type = reference.symbol.decoded.type;
    plan.barHeight = band.Height();
    plan.bearers = MeasureBearers(image, reference, along, band);
    if (plan.decoded && !named && IsItf14(reference.symbol.decoded, plan.bearers))
        plan.type = btCodeTypes::ITF_14;
    plan.acrossColumns = std::abs(across.y) > std::abs(across.x);
    const double degrees = std::atan2(across.y, across.x) * 180 / std::numbers::pi;
    plan.skewDegrees = std::remainder(degrees, 90.0) + 0.0;
    if (plan.decoded) {
        plan.modulePixels = reference.symbol.decoded.moduleWidth;
    } else {
        // Undecoded: the narrow width, as a quarter of the elements are no wider.
        std::vector<double> widths = RunWidths(reference.symbol.elements, reference.symbol.run);
        std::nth_element(widths.begin(), widths.begin() + static_cast<long>(widths.size() / 4),
                         widths.end());
        plan.modulePixels = widths[widths.size() / 4];
    }
    const double step = SampleStep(plan.modulePixels);
    // ISO/IEC 15416, 5.4.3: the inspection band is 10 % to 90 % of the bar height; the ten
    // scans are spaced evenly over it, the first at 10 % and the last at 90 %.
    for (int i = 0; i < lines; ++i) {
        const double fraction = lines > 1 ? 0.1 + 0.8 * i / (lines - 1) : 0.5;
        const double k = band.first - 0.5 + band.Height() * fraction;
        plan.lines.push_back(LineAcross(image, origin + k * along, across, step));
    }
    return plan;
}

// Whether a symbol found stands as bars do: at least a tenth as high as it is long, or ten
// modules high for a long symbol (a line of text, or a chance read across a few strokes at
// a slant, is lower than either).
bool StandsAsBars(const TScanPlan& plan, const TLineRead& read) {
    const double length = read.symbol.Right() - read.symbol.Left();
    return plan.barHeight >= std::max(8.0, std::min(length / 10, 10 * plan.modulePixels));
}

} // namespace

double SampleStep(double modulePixels) {
    if (!(modulePixels > 0) || modulePixels >= 4) return 1;
    return 1 / std::ceil(4 / modulePixels);
}

TScanPlan PlanScanLines(const TReflectanceImage& image, std::optional<btCodeTypes> type,
                        int lines) {
    TScanPlan plan;
    if (image.width < 2 || image.height < 2 ||
        image.r.size() != static_cast<std::size_t>(image.width) * image.height) {
        plan.failure = "no barcode found: the picture is too small to hold one";
        return plan;
    }
    const auto [lowest, highest] = std::minmax_element(image.r.begin(), image.r.end());
    if (*highest - *lowest < 5) {
        plan.failure = "no barcode found: the picture is one shade";
        return plan;
    }
    // A line that decodes, confirmed by a parallel one. The longest runs of bars that do not
    // decode are kept for grading when nothing does.
    constexpr std::size_t kUndecodedKept = 8;
    std::vector<TLineRead> undecoded;
    for (const auto& candidates : {AxisCandidates(image), TurnedCandidates(image)}) {
        for (const TCandidate& c : candidates) {
            TLineRead read = ReadLine(image, c.p, c.u, type);
            if (!read.symbol.found) continue;
            if (read.Decoded()) {
                const std::optional<double> lean = Lean(image, read, c.p);
                if (!lean) continue;
                TScanPlan found = PlanFrom(image, read, *lean, lines, type.has_value());
                if (StandsAsBars(found, read)) return found;
                continue;
            }
            const auto at =
                std::find_if(undecoded.begin(), undecoded.end(), [&](const TLineRead& u) {
                    return u.symbol.run.Count() < read.symbol.run.Count();
                });
            undecoded.insert(at, std::move(read));
            if (undecoded.size() > kUndecodedKept) undecoded.pop_back();
        }
    }
    // Bars that decode nowhere are graded (and fail Decode) when they stand as bars do.
    for (const TLineRead& read : undecoded) {
        TScanPlan bars = PlanFrom(image, read, 0, lines, type.has_value());
        if (StandsAsBars(bars, read)) return bars;
    }
    plan.failure = "no barcode found: no line across the picture crosses a run of bars that "
                   "decodes";
    return plan;
}

} // namespace varimark
