#include "verify/ScanProfile.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varimark {

namespace {

// The integral of sqrt(r^2 - s^2) ds from a to b, both clamped to [-r, r]: the area under
// the upper half of the circle.
double HalfChordIntegral(double a, double b, double r) {
    const auto primitive = [r](double s) {
        s = std::clamp(s, -r, r);
        return 0.5 * (s * std::sqrt(std::max(0.0, r * r - s * s)) + r * r * std::asin(s / r));
    };
    return b > a ? primitive(b) - primitive(a) : 0;
}

// The area of the disc inside [x0, x1] x (-infinity, y]. Where |s| < c = sqrt(r^2 - y^2)
// the chord at s runs from -h(s) to y (h > |y|); beyond c it is whole (y > 0) or empty.
double AreaBelow(double x0, double x1, double y, double r) {
    if (y >= r) return 2 * HalfChordIntegral(x0, x1, r);
    if (y <= -r) return 0;
    const double c = std::sqrt(r * r - y * y);
    const double a = std::max(x0, -c), b = std::min(x1, c);
    const double inner = b > a ? y * (b - a) + HalfChordIntegral(a, b, r) : 0;
    const double outer =
        y > 0 ? 2 * (HalfChordIntegral(x0, x1, r) - HalfChordIntegral(a, std::max(a, b), r)) : 0;
    return inner + outer;
}

} // namespace

double DiscRectangleArea(double x0, double x1, double y0, double y1, double r) {
    if (r <= 0 || x1 <= x0 || y1 <= y0) return 0;
    return std::max(0.0, AreaBelow(x0, x1, y1, r) - AreaBelow(x0, x1, y0, r));
}

TApertureSampler::TApertureSampler(const TReflectanceImage& image, double diameter)
    : image_(image), diameter_(std::max(0.0, diameter)),
      reach_(static_cast<int>(std::ceil(diameter_ / 2 + 1))),
      tables_(static_cast<std::size_t>((kSteps + 1) * (kSteps + 1))) {}

const std::vector<double>& TApertureSampler::Weights(int qx, int qy) {
    std::vector<double>& table = tables_[static_cast<std::size_t>(qy * (kSteps + 1) + qx)];
    if (!table.empty()) return table;
    // The circle's centre relative to the nearest pixel centre.
    const double cx = static_cast<double>(qx) / kSteps - 0.5;
    const double cy = static_cast<double>(qy) / kSteps - 0.5;
    const double r = diameter_ / 2, whole = std::numbers::pi * r * r;
    const int side = 2 * reach_ + 1;
    table.resize(static_cast<std::size_t>(side * side));
    for (int dy = -reach_; dy <= reach_; ++dy)
        for (int dx = -reach_; dx <= reach_; ++dx)
            table[static_cast<std::size_t>((dy + reach_) * side + dx + reach_)] =
                DiscRectangleArea(dx - 0.5 - cx, dx + 0.5 - cx, dy - 0.5 - cy, dy + 0.5 - cy, r) /
                whole;
    return table;
}

double TApertureSampler::At(double x, double y) {
    const double px = std::round(x), py = std::round(y);
    const int ix = static_cast<int>(px), iy = static_cast<int>(py);
    const auto pixel = [&](int dx, int dy) {
        return image_.At(std::clamp(ix + dx, 0, image_.width - 1),
                         std::clamp(iy + dy, 0, image_.height - 1));
    };
    if (diameter_ <= 0) return pixel(0, 0);
    // The grid offsets around the centre's and the shares of each.
    const double gx = std::clamp((x - px + 0.5) * kSteps, 0.0, double{kSteps});
    const double gy = std::clamp((y - py + 0.5) * kSteps, 0.0, double{kSteps});
    const int qx = std::min(static_cast<int>(gx), kSteps - 1);
    const int qy = std::min(static_cast<int>(gy), kSteps - 1);
    const double tx = gx - qx, ty = gy - qy;
    const int side = 2 * reach_ + 1;
    weights_.assign(static_cast<std::size_t>(side * side), 0.0);
    const auto add = [&](int ax, int ay, double share) {
        if (share <= 0) return;
        const std::vector<double>& table = Weights(ax, ay);
        for (std::size_t i = 0; i < table.size(); ++i) weights_[i] += share * table[i];
    };
    add(qx, qy, (1 - tx) * (1 - ty));
    add(qx + 1, qy, tx * (1 - ty));
    add(qx, qy + 1, (1 - tx) * ty);
    add(qx + 1, qy + 1, tx * ty);
    double sum = 0;
    for (int dy = -reach_; dy <= reach_; ++dy)
        for (int dx = -reach_; dx <= reach_; ++dx) {
            const double w = weights_[static_cast<std::size_t>((dy + reach_) * side + dx + reach_)];
            if (w > 0) sum += w * pixel(dx, dy);
        }
    return sum;
}

std::vector<double> TApertureSampler::Profile(const TScanLine& line) {
    std::vector<double> profile(static_cast<std::size_t>(std::max(0, line.count)));
    for (std::size_t j = 0; j < profile.size(); ++j) {
        const double step = static_cast<double>(j);
        profile[j] = At(line.x + step * line.dx, line.y + step * line.dy);
    }
    return profile;
}

double Bilinear(const TReflectanceImage& image, double x, double y) {
    x = std::clamp(x, 0.0, image.width - 1.0);
    y = std::clamp(y, 0.0, image.height - 1.0);
    const int x0 = std::min(static_cast<int>(x), std::max(0, image.width - 2));
    const int y0 = std::min(static_cast<int>(y), std::max(0, image.height - 2));
    const int x1 = std::min(x0 + 1, image.width - 1), y1 = std::min(y0 + 1, image.height - 1);
    const double fx = x - x0, fy = y - y0;
    return (1 - fy) * ((1 - fx) * image.At(x0, y0) + fx * image.At(x1, y0)) +
           fy * ((1 - fx) * image.At(x0, y1) + fx * image.At(x1, y1));
}

std::vector<double> SampleProfile(const TReflectanceImage& image, const TScanLine& line,
                                  double diameter) {
    TApertureSampler sampler(image, diameter);
    return sampler.Profile(line);
}

} // namespace varimark
