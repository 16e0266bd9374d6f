// The largest picture the desktop program saves: a 50-character Code 39 at SC9 magnified
// ten times. Rendering into memory, writing the bitmap file, and as the baseline a plain
// write of the same number of bytes (with the same fsync the file writer does).
#include "engine/LLBarcode.h"
#include "export/FileWriter.h"
#include "export/GIFImage.h"
#include "render/MagnifiedBitmap.h"
#include "render/PictureSave.h"

#include "PlainWrite.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace varimark;

namespace {

const char* const kFile = "/tmp/varimark_bench_output.bmp";

TLLBarcode& Code39() {
    static TLLBarcode barcode = [] {
        TLLBarcode b;
        b.Params.CodeType = btCodeTypes::CODE39;
        b.Params.ModuleWidth = btCodeSizes::SC9;
        b.Params.SetCaption("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-. $/+%ABCDEFG");
        return b;
    }();
    return barcode;
}

TDrawFunction Draw() {
    return [](TSurface& surface, int x, int y) {
        TDrawnSize size;
        Code39().DrawBarcode(surface, x, y, size);
        return size;
    };
}

void BM_MagnifiedBitmap_InMemory(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        const TBitmap bitmap = MagnifiedBitmap(Draw(), 2, false, 10, 96);
        bytes = bitmap.ImageSize();
        benchmark::DoNotOptimize(bitmap.Bits().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_MagnifiedBitmap_InMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same without the human-readable line: what the text costs.
void BM_MagnifiedBitmap_NoText(benchmark::State& state) {
    Code39().Params.HumanReadable = false;
    for (auto _ : state)
        benchmark::DoNotOptimize(MagnifiedBitmap(Draw(), 2, false, 10, 96).Width());
    Code39().Params.HumanReadable = true;
}
BENCHMARK(BM_MagnifiedBitmap_NoText)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MagnifyBy_ToFile(benchmark::State& state) {
    for (auto _ : state) MagnifyBy(Draw(), 2, kFile, false, 10, 96);
    unlink(kFile);
}
BENCHMARK(BM_MagnifyBy_ToFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// Only the file: the bitmap file of the rendered picture.
void BM_BitmapFile_Write(benchmark::State& state) {
    const TBitmap bitmap = MagnifiedBitmap(Draw(), 2, false, 10, 96);
    for (auto _ : state) bitmap.SaveToFile(kFile);
    state.SetBytesProcessed(static_cast<std::int64_t>(bitmap.ImageSize() * state.iterations()));
    unlink(kFile);
}
BENCHMARK(BM_BitmapFile_Write)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the same number of bytes written to a file in one write, then fsync.
void BM_PlainCopy_SameBytes(benchmark::State& state) {
    const TBitmap bitmap = MagnifiedBitmap(Draw(), 2, false, 10, 96);
    const std::vector<std::uint8_t> bytes(bitmap.ImageSize() + 54, 0x55);
    for (auto _ : state) WritePlainly(kFile, bytes);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes.size() * state.iterations()));
    unlink(kFile);
}
BENCHMARK(BM_PlainCopy_SameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole factor-10 save in each format, from the barcode to the finished file.
void BM_SaveFactor10(benchmark::State& state, const char* extension) {
    const std::string name = std::string("/tmp/varimark_bench_save") + extension;
    for (auto _ : state) SaveBarcodePicture(Draw(), 2, 10, 96, name);
    unlink(name.c_str());
}
BENCHMARK_CAPTURE(BM_SaveFactor10, bmp, ".bmp")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SaveFactor10, gif, ".gif")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SaveFactor10, tif, ".tif")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SaveFactor10, jpg, ".jpg")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SaveFactor10, emf, ".emf")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SaveFactor10, png, ".png")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SaveFactor10, svg, ".svg")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

// One label of a batch: a 13-digit EAN at one pixel per module, a different number each
// time, drawn into memory (24-bit colour or 1-bit) and encoded as GIF.
namespace {

TDrawFunction NextEan13() {
    static TLLBarcode barcode = [] {
        TLLBarcode b;
        b.Params.CodeType = btCodeTypes::EAN_13;
        return b;
    }();
    static unsigned long long number = 400638133393ULL;
    barcode.Params.SetCaption(std::to_string(number++ % 1000000000000ULL));
    return [](TSurface& surface, int x, int y) {
        TDrawnSize size;
        barcode.DrawBarcode(surface, x, y, size);
        return size;
    };
}

void BM_Label_Ean13(benchmark::State& state, bool monochrome) {
    for (auto _ : state)
        benchmark::DoNotOptimize(MagnifiedBitmap(NextEan13(), 2, monochrome, 1, 96).Width());
}
BENCHMARK_CAPTURE(BM_Label_Ean13, colour, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Label_Ean13, monochrome, true)->Unit(benchmark::kMicrosecond);

void BM_Label_Ean13_Gif(benchmark::State& state, bool monochrome) {
    for (auto _ : state) {
        TGIFImage gif;
        gif.Assign(MagnifiedBitmap(NextEan13(), 2, monochrome, 1, 96));
        benchmark::DoNotOptimize(gif.SaveToBytes().size());
    }
}
BENCHMARK_CAPTURE(BM_Label_Ean13_Gif, colour, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Label_Ean13_Gif, monochrome, true)->Unit(benchmark::kMicrosecond);

} // namespace
