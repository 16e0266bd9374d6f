// Grading speed: a 600-dpi picture of one EAN-13 label (about 940 x 680 pixels, as a flat
// scan of a printed label is), read from its PNG file and graded; the goal is below 20 ms.
#include "varimark/verify.h"
#include "verify/VerifyPicture.h"

#include <benchmark/benchmark.h>

namespace {

std::vector<std::uint8_t> LabelPng() {
    varimark::Symbol symbol;
    symbol.type = varimark::Type::EAN_13;
    symbol.text = "400638133393";
    varimark::PictureOptions options;
    options.dpi = 600;
    return varimark::Render(symbol, options);
}

void BM_VerifyPngAt600Dpi(benchmark::State& state) {
    const std::vector<std::uint8_t> png = LabelPng();
    varimark::VerifyOptions options;
    options.dpi = 600;
    for (auto _ : state) {
        const varimark::VerifyReport report = varimark::Verify(png.data(), png.size(), options);
        if (report.grade != 4.0) state.SkipWithError("the label did not grade A");
        benchmark::DoNotOptimize(report.grade);
    }
}
BENCHMARK(BM_VerifyPngAt600Dpi)->Unit(benchmark::kMillisecond);

// The grading alone, the picture already read.
void BM_VerifyGreyPictureAt600Dpi(benchmark::State& state) {
    const std::vector<std::uint8_t> png = LabelPng();
    const varimark::TGreyPicture picture = varimark::ReadGreyPicture(png);
    varimark::VerifyOptions options;
    options.dpi = 600;
    for (auto _ : state)
        benchmark::DoNotOptimize(varimark::VerifyGreyPicture(picture, options).grade);
    state.counters["pixels"] = picture.width * picture.height;
}
BENCHMARK(BM_VerifyGreyPictureAt600Dpi)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
