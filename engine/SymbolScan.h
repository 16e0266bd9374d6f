#pragma once
// Finding a linear symbol in a picture and scanning it as a verifier does: the bars' band
// in either direction (a quarter turn is a change of direction, a half turn a reversed
// scan), the scan direction square to the bars when the picture is slightly skewed, ten
// scan lines across the inspection band, each sampled through a circular aperture.
#include <string>
#include <vector>

namespace varimark {

// Reflectance in percent, one value per pixel, top row first.
struct TReflectanceImage {
    int width = 0, height = 0;
    std::vector<float> r;
};

// A scan line: the centre of its first sample, the step from sample to sample (one pixel
// long), and the count of samples.
struct TScanLine {
    double x = 0, y = 0, dx = 1, dy = 0;
    int count = 0;
};

struct TScanPlan {
    std::vector<TScanLine> lines; // empty when no symbol was found
    std::string failure;          // then why
    bool acrossColumns = false;   // the bars lie across the picture's columns (a quarter turn)
    double skewDegrees = 0;       // the bars' lean from the picture's axis
    double barHeight = 0;         // pixels
};

// The inspection band is 10 % to 90 % of the bar height; lines are spaced evenly in it.
TScanPlan PlanScanLines(const TReflectanceImage& image, int lines = 10);

// The profile along a line, each sample the mean reflectance inside a circle of the given
// diameter in pixels (a point below one pixel).
std::vector<double> SampleProfile(const TReflectanceImage& image, const TScanLine& line,
                                  double aperture);

} // namespace varimark
