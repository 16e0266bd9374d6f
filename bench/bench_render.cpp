// Drawing speed: DrawBarcode onto a QImage surface, and a whole `varimark-cli render` to
// PNG as a process.
#include "engine/LLBarcode.h"
#include "platform/QtSurface.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace varimark;

extern char** environ;

namespace {

void BM_DrawBarcode_EAN13_Addon5(benchmark::State& state) {
    QImage image(200, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TQtSurface surface(painter, 96, 96);
    TLLBarcode barcode;
    barcode.Params.CodeType = btCodeTypes::EAN_13;
    barcode.Params.SetCaption("400638133393");
    barcode.Params.SetCodeAddon("12345");
    TDrawnSize size;
    for (auto _ : state) {
        barcode.DrawBarcode(surface, 2, 2, size);
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_DrawBarcode_EAN13_Addon5)->Unit(benchmark::kMicrosecond);

void BM_CliRenderProcess_EAN13_Png(benchmark::State& state) {
    const std::string out = "/tmp/varimark_bench_render.png";
    const char* argv[] = {VARIMARK_CLI, "render",    "--type",       "EAN_13",
                          "-o",         out.c_str(), "400638133393", nullptr};
    for (auto _ : state) {
        pid_t pid;
        if (posix_spawn(&pid, VARIMARK_CLI, nullptr, nullptr, const_cast<char**>(argv), environ) !=
            0) {
            state.SkipWithError("cannot start varimark-cli");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("varimark-cli failed");
            return;
        }
    }
    unlink(out.c_str());
}
BENCHMARK(BM_CliRenderProcess_EAN13_Png)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
