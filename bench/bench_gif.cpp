// Speed of the GIF writer against giflib's own encoder on the same indices and colour
// table: a large barcode-like picture (bars of 1 to 4 modules and a band of blocky,
// slightly noisy text), a small one, and random indices.
#include "PixelTesting.h"
#include "export/GIFImage.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>

using namespace varimark;

namespace {

constexpr std::uint8_t kBlack = 0, kWhite = 215;

// A picture of cube indices: vertical bars 10 pixels per module in the upper part, blocky
// glyphs with a sprinkle of stray pixels in the lower part, white margins.
TBitmap BarcodeLike(int width, int height) {
    std::vector<TRGBQuad> cube;
    for (int i = 0; i < 216; ++i) {
        const TGIFColor c = TNetscapeColorLookup::Color(i);
        cube.push_back(TRGBQuad{c.blue, c.green, c.red, 0});
    }
    TBitmap b(width, height, pf8bit);
    b.SetPalette(cube);
    std::mt19937 rng(12345);
    const int module = width >= 2000 ? 10 : 1;
    const int barsEnd = height * 4 / 5, margin = 10 * module;

    std::vector<std::uint8_t> barRow(static_cast<std::size_t>(width), kWhite);
    bool dark = true;
    for (int x = margin; x < width - margin;) {
        const int w = static_cast<int>(1 + rng() % 4) * module;
        for (int i = x; i < std::min(x + w, width - margin); ++i)
            barRow[i] = dark ? kBlack : kWhite;
        x += w;
        dark = !dark;
    }
    const int cell = std::max(1, module * 6 / 5), glyphW = 5 * cell;
    std::vector<std::uint32_t> glyphs(static_cast<std::size_t>(width / (glyphW + 2 * cell) + 1));
    for (std::uint32_t& g : glyphs) g = static_cast<std::uint32_t>(rng());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = b.ScanLine(y);
        if (y < barsEnd) {
            std::memcpy(row, barRow.data(), barRow.size());
            continue;
        }
        std::memset(row, kWhite, static_cast<std::size_t>(width));
        const int gy = (y - barsEnd - 2 * cell) / cell;
        if (gy < 0 || gy >= 7) continue;
        for (int x = margin; x < width - margin; ++x) {
            const int pitch = glyphW + 2 * cell, gx = (x - margin) % pitch / cell;
            const std::uint32_t g = glyphs[static_cast<std::size_t>((x - margin) / pitch)];
            bool on = gx < 5 && (g >> ((gy * 5 + gx) % 32) & 1) != 0;
            if (rng() % 100 == 0) on = !on; // stray pixels at glyph edges and around
            row[x] = on ? kBlack : kWhite;
        }
    }
    return b;
}

// Random cube indices: no runs, nearly every step goes through the hash table.
TBitmap Noise(int width, int height) {
    TBitmap b = BarcodeLike(width, height); // for the cube palette
    std::mt19937 rng(678);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) b.ScanLine(y)[x] = static_cast<std::uint8_t>(rng() % 216);
    return b;
}

// The pictures, made once: 0 the large barcode, 1 the small one, 2 noise.
const TGIFImage& Picture(int which) {
    static std::unique_ptr<TGIFImage> pictures[3];
    if (!pictures[which]) {
        pictures[which] = std::make_unique<TGIFImage>();
        pictures[which]->Assign(which == 0   ? BarcodeLike(17000, 1400)
                                : which == 1 ? BarcodeLike(200, 100)
                                             : Noise(1000, 1000));
    }
    return *pictures[which];
}

// giflib writing the frame's indices with its colour table to memory.
std::size_t GiflibEncode(const TGIFSubImage& frame) {
    std::vector<std::uint8_t> out;
    out.reserve(frame.Data.size() / 8);
    auto write = [](GifFileType* gif, const GifByteType* bytes, int n) -> int {
        auto* v = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
        v->insert(v->end(), bytes, bytes + n);
        return n;
    };
    int error = 0;
    GifFileType* gif = EGifOpen(&out, write, &error);
    if (gif == nullptr) throw std::runtime_error(GifErrorString(error));
    EGifSetGifVersion(gif, false);
    const int bits = frame.ColorMap.BitsPerPixel();
    ColorMapObject* map = GifMakeMapObject(1 << bits, nullptr);
    for (int i = 0; i < frame.ColorMap.Count(); ++i) {
        const TGIFColor& c = frame.ColorMap.Colors()[i];
        map->Colors[i] = GifColorType{c.red, c.green, c.blue};
    }
    bool ok = EGifPutScreenDesc(gif, frame.Width, frame.Height, bits, 0, nullptr) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, frame.Width, frame.Height, false, map) == GIF_OK;
    auto* pixels = const_cast<GifPixelType*>(frame.Data.data());
    for (int y = 0; ok && y < frame.Height; ++y)
        ok = EGifPutLine(gif, pixels + static_cast<std::size_t>(y) * frame.Width, frame.Width) ==
             GIF_OK;
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK || !ok) throw std::runtime_error("giflib failed");
    return out.size();
}

void SetCounters(benchmark::State& state, const TGIFSubImage& frame, std::size_t bytes) {
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frame.Data.size()));
    state.counters["file_bytes"] = static_cast<double>(bytes);
}

void BM_SaveToBytes(benchmark::State& state) {
    const TGIFImage& gif = Picture(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> out = gif.SaveToBytes();
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    SetCounters(state, gif.Images().front(), bytes);
}

void BM_Giflib(benchmark::State& state) {
    const TGIFImage& gif = Picture(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) benchmark::DoNotOptimize(bytes = GiflibEncode(gif.Images().front()));
    SetCounters(state, gif.Images().front(), bytes);
}

// Building the frame from a 24-bit picture (the reduction to the cube).
void BM_AssignTrueColour(benchmark::State& state) {
    const TBitmap indexed =
        BarcodeLike(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    TBitmap b(indexed.Width(), indexed.Height(), pf24bit);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const TGIFColor c = TNetscapeColorLookup::Color(indexed.ScanLine(y)[x]);
            SetRgb(b, x, y, c.red, c.green, c.blue);
        }
    for (auto _ : state) {
        TGIFImage gif;
        gif.Assign(b);
        benchmark::DoNotOptimize(gif.Images().front().Data.data());
    }
    state.SetItemsProcessed(state.iterations() * b.Width() * b.Height());
}

// Argument: 0 the barcode of 17000 x 1400 pixels, 1 the barcode of 200 x 100, 2 noise of
// 1000 x 1000.
BENCHMARK(BM_SaveToBytes)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Giflib)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssignTrueColour)->Args({17000, 1400})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
