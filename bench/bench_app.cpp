// The desktop program: from a keystroke to the repainted barcode (the text change with
// its settings write, then the paint), from a keystroke to the status line's grade of what
// Save would write, and start-up to the window shown (without the start-up wait).
#include "app/MainForm.h"
#include "app/VarimarkApplication.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using namespace varimark;

namespace {

void BM_Keystroke_Edit1ChangeAndPaint(benchmark::State& state) {
    QTemporaryDir folder;
    TForm1 form({folder.path() + "/varimark", {}});
    form.show();
    QApplication::processEvents();
    const QString texts[2] = {"03600029145", "0360002914"};
    int i = 0;
    for (auto _ : state) {
        form.Edit1->setText(texts[i ^= 1]); // Edit1Change: caption and settings write
        form.Barcode1->repaint();           // the paint, at once
    }
}
BENCHMARK(BM_Keystroke_Edit1ChangeAndPaint)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The keystroke, then the event loop until the status line tells the new barcode (drawn at
// the save factor and graded in the worker); the argument is the Save Size item (0: 1 X,
// the default; 5: 10 X). Goal at the default: under 50 ms.
void BM_KeystrokeToStatusLine(benchmark::State& state) {
    QTemporaryDir folder;
    TForm1 form({folder.path() + "/varimark", {}});
    form.show();
    form.SaveSizeItems[static_cast<std::size_t>(state.range(0))]->trigger();
    const auto settle = [&] {
        while (!form.StatusGrader()->Settled())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    settle();
    const QString texts[2] = {"03600029145", "0360002914"};
    int i = 0;
    for (auto _ : state) {
        form.Edit1->setText(texts[i ^= 1]);
        settle();
    }
    state.counters["status"] = static_cast<double>(form.StatusGrader()->ShownCount());
}
BENCHMARK(BM_KeystrokeToStatusLine)->Arg(0)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StartupToWindowShown(benchmark::State& state) {
    QTemporaryDir folder;
    for (auto _ : state) {
        auto form = std::make_unique<TForm1>(TForm1::TOptions{folder.path() + "/varimark", {}});
        form->show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(form->isVisible());
    }
}
BENCHMARK(BM_StartupToWindowShown)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
