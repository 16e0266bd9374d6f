// The TIFF path of the save pipeline on a large barcode picture: a 17000 x 1400 24-bit
// picture (71 MB) reduced to 8 bits on the halftone palette, then written as TIFF. As the
// baseline, the same number of bytes copied in memory and written plainly to a file
// (with the same fsync the file writer does).
#include "PixelTesting.h"
#include "export/Bitmap.h"
#include "export/FileWriter.h"
#include "export/Tiff.h"

#include "PlainWrite.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

using namespace varimark;

namespace {

const char* const kFile = "/tmp/varimark_bench_tiff.tif";
constexpr int kWidth = 17000, kHeight = 1400;

// Bars of 1 to 4 modules of 10 pixels over the upper 1200 rows; below them a line of
// "characters": black blocks with a grey pixel on their left and right edges, as
// smoothed text has.
const TBitmap& BarcodePicture() {
    static const TBitmap picture = [] {
        TBitmap b(kWidth, kHeight, pf24bit); // white
        std::mt19937 random(1);
        bool black = true;
        for (int x = 0; x < kWidth;) {
            const int run = 10 * static_cast<int>(1 + random() % 4);
            if (black)
                for (int y = 0; y < 1200; ++y)
                    for (int i = x; i < x + run && i < kWidth; ++i) SetRgb(b, i, y, 0, 0, 0);
            x += run;
            black = !black;
        }
        for (int x = 100; x + 60 < kWidth; x += 120)
            for (int y = 1260; y < 1360; ++y) {
                SetRgb(b, x, y, 128, 128, 128);
                for (int i = x + 1; i < x + 59; ++i) SetRgb(b, i, y, 0, 0, 0);
                SetRgb(b, x + 59, y, 192, 192, 192);
            }
        return b;
    }();
    return picture;
}

const TBitmap& EightBitPicture() {
    static const TBitmap picture = [] {
        TBitmap b = BarcodePicture();
        b.SetPixelFormat(pf8bit);
        return b;
    }();
    return picture;
}

void BM_SetPixelFormat_24To8(benchmark::State& state) {
    const TBitmap& source = BarcodePicture();
    for (auto _ : state) {
        state.PauseTiming();
        TBitmap copy = source;
        state.ResumeTiming();
        copy.SetPixelFormat(pf8bit);
        benchmark::DoNotOptimize(copy.Bits().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(source.ImageSize() * state.iterations()));
    state.counters["MB"] = static_cast<double>(source.ImageSize()) / 1e6;
}
BENCHMARK(BM_SetPixelFormat_24To8)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every pixel a different random colour: the nearest-colour lookup without its cache.
void BM_SetPixelFormat_24To8_RandomColours(benchmark::State& state) {
    TBitmap source(1000, 1000, pf24bit);
    std::mt19937 random(2);
    for (int y = 0; y < 1000; ++y)
        for (int i = 0; i < 3000; ++i) source.ScanLine(y)[i] = static_cast<std::uint8_t>(random());
    for (auto _ : state) {
        TBitmap copy = source;
        copy.SetPixelFormat(pf8bit);
        benchmark::DoNotOptimize(copy.Bits().data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(1000000 * state.iterations()));
}
BENCHMARK(BM_SetPixelFormat_24To8_RandomColours)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TiffFileBytes_8bit(benchmark::State& state) {
    const TBitmap& picture = EightBitPicture();
    std::size_t size = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> bytes = TiffFileBytes(picture);
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(size * state.iterations()));
    state.counters["MB"] = static_cast<double>(size) / 1e6;
}
BENCHMARK(BM_TiffFileBytes_8bit)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteTiffFile_8bit(benchmark::State& state) {
    const TBitmap& picture = EightBitPicture();
    for (auto _ : state) WriteFileReplacing(kFile, TiffFileBytes(picture));
    state.SetBytesProcessed(
        static_cast<std::int64_t>(TiffFileBytes(picture).size() * state.iterations()));
    unlink(kFile);
}
BENCHMARK(BM_WriteTiffFile_8bit)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the TIFF file's number of bytes copied into a buffer that already exists.
void BM_Baseline_Memcpy(benchmark::State& state) {
    const std::size_t size = TiffFileBytes(EightBitPicture()).size();
    const std::vector<std::uint8_t> from(size, 0x55);
    std::vector<std::uint8_t> to(size, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(size * state.iterations()));
}
BENCHMARK(BM_Baseline_Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the same bytes written to a file in one write, then fsync.
void BM_Baseline_PlainWrite(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes(TiffFileBytes(EightBitPicture()).size(), 0x55);
    for (auto _ : state) WritePlainly(kFile, bytes);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes.size() * state.iterations()));
    unlink(kFile);
}
BENCHMARK(BM_Baseline_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
