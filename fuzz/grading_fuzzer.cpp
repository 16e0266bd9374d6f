// libFuzzer target of finding, scanning and grading a symbol in a picture.
//
// Input layout:
//   0   bits 0..3: the type asked for (0..11), anything else: any linear one
//   1   the aperture in tenths of a pixel (0: a point)
//   2   the picture's width - 1, bits 0..6 (1..128 pixels, at most 128 high: small, so that
//       runs are fast)
//   3.. grey levels, row by row, repeated to fill the picture
// Whatever the picture: the scan lines lie on it, each profile has one value per sample in
// 0..100, and each grading is well formed: grades 0..4, the lowest of its parameters,
// values finite, the range measured inside the profile, edges rising inside it.
#include "FuzzCheck.h"
#include "verify/ProfileGrading.h"
#include "verify/ScanProfile.h"
#include "verify/SymbolScan.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace varimark;

namespace {

void CheckGrade(const TProfileGrade& g, std::size_t samples) {
    for (const int grade : {g.decodeGrade, g.rminGrade, g.contrastGrade, g.edgeContrastGrade,
                            g.modulationGrade, g.defectsGrade, g.decodabilityGrade})
        Check(grade >= 0 && grade <= 4 && g.grade <= grade,
              "a grade out of 0..4 or below the lowest");
    for (const double value : {g.rmin, g.rmax, g.symbolContrast, g.minEdgeContrast, g.modulation,
                               g.defects, g.decodability, g.threshold})
        Check(std::isfinite(value), "a value is not a number");
    Check(g.decodability >= 0 && g.decodability <= 1, "decodability out of 0..1");
    if (!g.found) return;
    Check(g.measuredFirst <= g.measuredLast && g.measuredLast < samples,
          "the range measured leaves the profile");
    for (std::size_t i = 0; i < g.edges.size(); ++i)
        Check(g.edges[i] >= static_cast<double>(g.measuredFirst) &&
                  g.edges[i] <= static_cast<double>(g.measuredLast) &&
                  (i == 0 || g.edges[i] >= g.edges[i - 1]),
              "an edge outside the range or out of order");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const int selector = data[0] & 0x0F;
    const std::optional<btCodeTypes> type =
        selector < 12 ? std::optional(static_cast<btCodeTypes>(selector)) : std::nullopt;
    const double aperture = data[1] / 10.0;
    TReflectanceImage image;
    image.width = (data[2] & 0x7F) + 1;
    const std::size_t levels = size - 3;
    image.height = static_cast<int>(std::clamp<std::size_t>(levels / image.width, 1, 128));
    image.r.resize(static_cast<std::size_t>(image.width) * image.height);
    for (std::size_t i = 0; i < image.r.size(); ++i)
        image.r[i] = static_cast<float>(data[3 + i % levels] * 100.0 / 255);

    const TScanPlan plan = PlanScanLines(image, type);
    Check(plan.lines.empty() != plan.failure.empty(), "lines and a failure, or neither");
    TApertureSampler sampler(image, aperture);
    for (const TScanLine& line : plan.lines) {
        Check(line.count > 0, "an empty scan line");
        for (const int j : {0, line.count - 1}) {
            const double x = line.x + j * line.dx, y = line.y + j * line.dy;
            Check(x > -0.5 && y > -0.5 && x < image.width - 0.5 && y < image.height - 0.5,
                  "a sample off the picture");
        }
        const std::vector<double> profile = sampler.Profile(line);
        for (const double r : profile)
            Check(r >= -1e-9 && r <= 100 + 1e-9, "a reflectance out of 0..100");
        CheckGrade(GradeProfile(profile, type ? type : plan.type, line.before, line.after),
                   profile.size());
    }
    return 0;
}
