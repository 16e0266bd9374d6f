// Time of one TLLBarcode::Encode() for three typical inputs.
#include "engine/LLBarcode.h"

#include <benchmark/benchmark.h>

using namespace varimark;

namespace {

void EncodeLoop(benchmark::State& state, btCodeTypes type, const char* caption, const char* addon) {
    TLLBarcode barcode;
    barcode.Params.CodeType = type;
    barcode.Params.Ratio = btCodeRatio::Ratio_3;
    barcode.Params.SetCaption(caption);
    barcode.Params.SetCodeAddon(addon);
    for (auto _ : state) {
        benchmark::DoNotOptimize(&barcode);
        barcode.Encode();
        benchmark::DoNotOptimize(barcode.ModuleCount);
        benchmark::ClobberMemory();
    }
    state.counters["modules"] = barcode.ModuleCount;
}

void BM_Encode_EAN13_Addon5(benchmark::State& state) {
    EncodeLoop(state, btCodeTypes::EAN_13, "400638133393", "12345");
}

void BM_Encode_Code39_50(benchmark::State& state) {
    EncodeLoop(state, btCodeTypes::CODE39, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-. $/+%ABCDEFG",
               "");
}

void BM_Encode_Code128B_50(benchmark::State& state) {
    EncodeLoop(state, btCodeTypes::CODE128_B, "Varimark 2024: Mixed text, digits 01234 & {more}!?",
               "");
}

BENCHMARK(BM_Encode_EAN13_Addon5);
BENCHMARK(BM_Encode_Code39_50);
BENCHMARK(BM_Encode_Code128B_50);

} // namespace

BENCHMARK_MAIN();
