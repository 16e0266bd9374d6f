// Varimark: the desktop program.
#include "app/AboutBox.h"
#include "app/MainForm.h"
#include "app/SplashScreen.h"
#include "app/VarimarkApplication.h"
#include "generated/Version.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

using namespace varimark;

namespace {

// The start-up wait with the splash on screen: until the whole seconds of a monotonic
// clock have advanced by two, so 1 to 2 seconds, whatever the clock's value (no wrap).
void StartupWait() {
    using Clock = std::chrono::steady_clock;
    const auto seconds = [] {
        return std::chrono::duration_cast<std::chrono::seconds>(Clock::now().time_since_epoch())
            .count();
    };
    const auto start = seconds();
    while (seconds() < start + 2) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

} // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that it needs no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") != 0) continue;
        const bool written = std::fputs("varimark " VARIMARK_PROJECT_VERSION "\n", stdout) >= 0;
        if (std::fflush(stdout) == 0 && written) return 0;
        std::perror("varimark: cannot write to standard output");
        return 1;
    }
    TVarimarkApplication application(argc, argv);

    // The splash is on screen before anything slow.
    auto splash = std::make_unique<TSplashScreen>();
    splash->show();
    splash->repaint();
    QApplication::processEvents();

    TForm1 form({QCoreApplication::applicationFilePath(), StartupWait});
    TAboutBox about(&form);
    form.SetAboutBox(&about);
    form.show();
    splash.reset();
    return application.exec();
}
