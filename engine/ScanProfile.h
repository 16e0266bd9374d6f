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

// A scan line: sample j lies at (x + j * dx, y + j * dy); (dx, dy) is the step.
struct TScanLine {
    double x = 0, y = 0, dx = 1, dy = 0;
    int count = 0;
};

// The area of the disc of radius r centred at the origin that lies inside the rectangle
// [x0, x1] x [y0, y1], exactly (the chord integral in closed form).
double DiscRectangleArea(double x0, double x1, double y0, double y1, double r);

// Samples a picture through a circle of `diameter` pixels. Each point's weights are the
// exact areas of the pixels inside the circle over the circle's area, for the point's
// offset from its nearest pixel centre rounded to 1/32 pixel (the weights for each of the
// 33 x 33 offsets are worked out once). Outside the picture the edge pixels continue. A
// diameter of 0 samples the pixel the point lies in.
class TApertureSampler {
public:
    TApertureSampler(const TReflectanceImage& image, double diameter);
    double At(double x, double y);
    std::vector<double> Profile(const TScanLine& line);

private:
    struct TWeight {
        int dx, dy;
        double w;
    };
    static constexpr int kSteps = 32; // offsets per pixel
    const std::vector<TWeight>& Weights(int qx, int qy);

    const TReflectanceImage& image_;
    double diameter_;
    std::vector<std::vector<TWeight>> tables_; // (2 * kSteps / 2 + 1)^2, filled when first used
};

// The reflectance of the picture at (x, y) interpolated between the four nearest pixel
// centres, for finding a symbol (not for grading).
double Bilinear(const TReflectanceImage& image, double x, double y);

// The profile along a line through a point (diameter 0) or a circle.
std::vector<double> SampleProfile(const TReflectanceImage& image, const TScanLine& line,
                                  double diameter);

} // namespace varimark
