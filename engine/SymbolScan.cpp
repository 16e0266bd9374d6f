#include "engine/SymbolScan.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varimark {

namespace {

// The picture seen along one of its axes: `along` a scan line, `line` across them.
class TAxisView {
public:
    TAxisView(const TReflectanceImage& image, bool columns) : image_(image), columns_(columns) {}
    int Length() const { return columns_ ? image_.height : image_.width; }
    int Lines() const { return columns_ ? image_.width : image_.height; }
    float At(int along, int line) const {
        const auto index = columns_ ? static_cast<std::size_t>(along) * image_.width + line
                                    : static_cast<std::size_t>(line) * image_.width + along;
        return image_.r[index];
    }

    // Where line crosses threshold, interpolated between pixels.
    std::vector<float> Edges(int line, float threshold) const {
        std::vector<float> edges;
        float previous = At(0, line);
        for (int k = 1; k < Length(); ++k) {
            const float r = At(k, line);
            if ((previous < threshold) != (r < threshold))
                edges.push_back(static_cast<float>(k - 1) +
                                (threshold - previous) / (r - previous));
            previous = r;
        }
        return edges;
    }

private:
    const TReflectanceImage& image_;
    bool columns_;
};

// The fewest edges a scan across a symbol shows: a Codabar of two characters has 8 bars.
constexpr int kMinEdges = 16;
// Lines in a row that may fail to match (dust, a scratch) before the band ends.
constexpr int kSkippedLines = 3;

// Whether edges continue previous, shifted alike (the lean of skewed bars), within tolerance.
bool SameEdges(const std::vector<float>& previous, const std::vector<float>& edges) {
    if (edges.size() != previous.size() || edges.empty()) return false;
    double shift = 0;
    for (std::size_t i = 0; i < edges.size(); ++i) shift += edges[i] - previous[i];
    shift /= static_cast<double>(edges.size());
    float narrowest = previous.back() - previous.front();
    for (std::size_t i = 1; i < previous.size(); ++i)
        narrowest = std::min(narrowest, previous[i] - previous[i - 1]);
    const double tolerance = std::max(1.5, 0.35 * narrowest);
    for (std::size_t i = 0; i < edges.size(); ++i)
        if (std::abs(edges[i] - previous[i] - shift) > tolerance) return false;
    return true;
}

// The edges of line inside the span of reference (widened by margin): what lies beside the
// symbol does not count.
std::vector<float> EdgesNear(const TAxisView& view, int line, float threshold,
                             const std::vector<float>& reference, float margin) {
    std::vector<float> edges = view.Edges(line, threshold);
    std::erase_if(edges, [&](float e) {
        return e < reference.front() - margin || e > reference.back() + margin;
    });
    return edges;
}

struct TBand {
    int first = 0, last = -1;    // lines
    double centre = 0, lean = 0; // the symbol's centre along the lines: centre + lean * line
    int edges = 0;
    double Score() const { return static_cast<double>(last - first + 1) * edges; }
};

// How many times each row and each column crosses the threshold, in one pass over the
// picture in memory order.
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

// The band of lines that cross the same bars, grown from the line with the most edges.
TBand FindBand(const TAxisView& view, float threshold, const std::vector<int>& counts) {
    TBand band;
    const int most = *std::max_element(counts.begin(), counts.end());
    if (most < kMinEdges) return band;
    // The middle of the longest run of lines with nearly the most edges.
    int runStart = 0, bestStart = 0, bestLength = 0;
    for (int line = 0; line <= view.Lines(); ++line) {
        const bool near =
            line < view.Lines() && counts[static_cast<std::size_t>(line)] * 5 >= most * 4;
        if (!near) {
            if (line - runStart > bestLength) bestStart = runStart, bestLength = line - runStart;
            runStart = line + 1;
        }
    }
    const int reference = bestStart + bestLength / 2;
    const std::vector<float> edges = view.Edges(reference, threshold);
    const float margin = 0.05f * (edges.back() - edges.front());

    // Grow both ways while the edges carry on; fit the symbol's centre along the lines.
    double sumLine = reference, sumCentre = (edges.front() + edges.back()) / 2.0;
    double sumLineLine = static_cast<double>(reference) * reference;
    double sumLineCentre = reference * sumCentre;
    int matched = 1;
    band.first = band.last = reference;
    for (const int step : {-1, 1}) {
        std::vector<float> previous = edges;
        int skipped = 0;
        for (int line = reference + step; line >= 0 && line < view.Lines(); line += step) {
            const std::vector<float> current = EdgesNear(view, line, threshold, previous, margin);
            if (!SameEdges(previous, current)) {
                if (++skipped > kSkippedLines) break;
                continue;
            }
            skipped = 0;
            previous = current;
            (step < 0 ? band.first : band.last) = line;
            const double centre = (current.front() + current.back()) / 2.0;
            sumLine += line;
            sumCentre += centre;
            sumLineLine += static_cast<double>(line) * line;
            sumLineCentre += line * centre;
            ++matched;
        }
    }
    const double n = matched;
    const double spread = sumLineLine - sumLine * sumLine / n;
    band.lean = spread > 0 ? (sumLineCentre - sumLine * sumCentre / n) / spread : 0;
    band.centre = (sumCentre - band.lean * sumLine) / n;
    band.edges = static_cast<int>(edges.size());
    return band;
}

} // namespace

TScanPlan PlanScanLines(const TReflectanceImage& image, int lines) {
    TScanPlan plan;
    if (image.width < 2 || image.height < 2 ||
        image.r.size() != static_cast<std::size_t>(image.width) * image.height) {
        plan.failure = "the picture is too small to hold a barcode";
        return plan;
    }
    const auto [lowest, highest] = std::minmax_element(image.r.begin(), image.r.end());
    if (*highest - *lowest < 5) {
        plan.failure = "no barcode: the picture is one shade";
        return plan;
    }
    const float threshold = (*lowest + *highest) / 2;
    const TAxisView rows(image, false), columns(image, true);
    const TCrossings crossings = CountCrossings(image, threshold);
    const TBand acrossRows = FindBand(rows, threshold, crossings.rows);
    const TBand acrossColumns = FindBand(columns, threshold, crossings.columns);
    plan.acrossColumns = acrossColumns.Score() > acrossRows.Score();
    const TBand& band = plan.acrossColumns ? acrossColumns : acrossRows;
    const TAxisView& view = plan.acrossColumns ? columns : rows;
    if (band.last < band.first) {
        plan.failure = "no barcode found: no line crosses enough bars";
        return plan;
    }
    plan.barHeight = band.last - band.first + 1;
    plan.skewDegrees = std::atan(band.lean) * 180 / std::numbers::pi;

    // Square to the bars: the bars run along (lean, 1), the scans along (1, -lean).
    const double norm = std::hypot(1.0, band.lean);
    const double stepAlong = 1 / norm, stepLine = -band.lean / norm;
    for (int i = 0; i < lines; ++i) {
        const double line = band.first + (plan.barHeight - 1) * (0.1 + 0.8 * (i + 0.5) / lines);
        // On a pixel centre, so that an unskewed scan samples the pixels themselves.
        const double centre = std::round(band.centre + band.lean * line);
        // From the centre back and forth to the picture's edges.
        const auto reach = [&](double direction) {
            double t = 0;
            while (true) {
                const double along = centre + direction * (t + 1) * stepAlong;
                const double across = line + direction * (t + 1) * stepLine;
                if (along < 0 || along > view.Length() - 1 || across < 0 ||
                    across > view.Lines() - 1)
                    return t;
                t += 1;
            }
        };
        const double back = reach(-1), forth = reach(1);
        const double along = centre - back * stepAlong, across = line - back * stepLine;
        TScanLine scan;
        scan.count = static_cast<int>(back + forth) + 1;
        if (plan.acrossColumns) {
            scan = {across, along, stepLine, stepAlong, scan.count};
        } else {
            scan = {along, across, stepAlong, stepLine, scan.count};
        }
        plan.lines.push_back(scan);
    }
    return plan;
}

std::vector<double> SampleProfile(const TReflectanceImage& image, const TScanLine& line,
                                  double aperture) {
    // The aperture as points on a grid inside its circle, at most about 80 of them.
    std::vector<std::pair<double, double>> points;
    if (aperture <= 1) {
        points.emplace_back(0, 0);
    } else {
        const double radius = aperture / 2, spacing = std::max(0.5, aperture / 10);
        for (double v = -radius + spacing / 2; v < radius; v += spacing)
            for (double u = -radius + spacing / 2; u < radius; u += spacing)
                if (u * u + v * v <= radius * radius) points.emplace_back(u, v);
    }
    const auto at = [&](double x, double y) {
        x = std::clamp(x, 0.0, image.width - 1.0);
        y = std::clamp(y, 0.0, image.height - 1.0);
        const int x0 = std::min(static_cast<int>(x), image.width - 2);
        const int y0 = std::min(static_cast<int>(y), image.height - 2);
        const double fx = x - x0, fy = y - y0;
        const float* row = &image.r[static_cast<std::size_t>(y0) * image.width + x0];
        const float* below = row + image.width;
        return (1 - fy) * ((1 - fx) * row[0] + fx * row[1]) +
               fy * ((1 - fx) * below[0] + fx * below[1]);
    };
    std::vector<double> profile(static_cast<std::size_t>(std::max(0, line.count)));
    for (std::size_t j = 0; j < profile.size(); ++j) {
        const double x = line.x + static_cast<double>(j) * line.dx;
        const double y = line.y + static_cast<double>(j) * line.dy;
        double sum = 0;
        for (const auto& [u, v] : points) sum += at(x + u, y + v);
        profile[j] = sum / static_cast<double>(points.size());
    }
    return profile;
}

} // namespace varimark
