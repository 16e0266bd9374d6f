#pragma once
// A picture as reflectance, a scan line across it, and the scan reflectance profile along
// the line as a verifier's optics see it: each point the mean reflectance over a circular
// aperture, every pixel weighted by the area of it that lies inside the circle
// (ISO/IEC 15416, 5.3: the measuring aperture).
#include <cstddef>
#include <span>
#include <vector>

namespace varimark {

// Reflectance in percent, one value per pixel, top row first. Pixel (i, k) covers
// [i - 0.5, i + 0.5] x [k - 0.5, k + 0.5]: its centre is at (i, k).
struct TReflectanceImage {
    int width = 0, height = 0;
    std::vector<float> r;
    float At(int x, int y) const { return r[static_cast<std::size_t>(y) * width + x]; }
};

// A scan line: sample j lies at (x + j * dx, y + j * dy); (dx, dy) is the step. The picture
// reaches `before` samples beyond the first sample and `after` beyond the last.
struct TScanLine {
    double x = 0, y = 0, dx = 1, dy = 0;
    int count = 0;
    double before = 0.5, after = 0.5;
};

// The area of the disc of radius r centred at the origin that lies inside the rectangle
// [x0, x1] x [y0, y1], exactly (the chord integral in closed form).
double DiscRectangleArea(double x0, double x1, double y0, double y1, double r);

// Samples a picture through a circle of `diameter` pixels: each pixel weighted by its area
// inside the circle over the circle's area. The exact weights are worked out once for each
// offset of the centre from its nearest pixel centre on a grid of 1/32 pixel, and a point's
// weights are interpolated between the four nearest offsets of the grid (the areas are
// smooth in the centre: within about 0.01 % of the circle of the exact ones). Outside the
// picture the edge pixels continue. A diameter of 0 samples the pixel the point lies in.
class TApertureSampler {
public:
    TApertureSampler(const TReflectanceImage& image, double diameter);
    double At(double x, double y);
    std::vector<double> Profile(const TScanLine& line);

private:
    static constexpr int kSteps = 32; // grid offsets per pixel
    // The weights of the (2 reach + 1)^2 pixels around the nearest one, for the offset
    // (qx, qy) / kSteps - 0.5 of the centre, qx and qy 0..kSteps.
    const std::vector<double>& Weights(int qx, int qy);

    const TReflectanceImage& image_;
    double diameter_;
    int reach_;
    std::vector<std::vector<double>> tables_; // (kSteps + 1)^2, filled when first used
    std::vector<double> weights_;             // the point's, interpolated
};

// The reflectance of the picture at (x, y) interpolated between the four nearest pixel
// centres, for finding a symbol (not for grading).
double Bilinear(const TReflectanceImage& image, double x, double y);

// The profile along a line through a point (diameter 0) or a circle.
std::vector<double> SampleProfile(const TReflectanceImage& image, const TScanLine& line,
                                  double diameter);

} // namespace varimark
