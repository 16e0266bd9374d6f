#include "Progress.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace varimark::cli {

TProgress::TProgress(std::size_t total, bool quiet, const std::atomic<std::size_t>& done)
    : total_(total), done_(done) {
    if (quiet || total <= kShortBatch || ::isatty(STDERR_FILENO) == 0) return;
    thread_ = std::thread([this] {
        const auto start = std::chrono::steady_clock::now();
        while (!stop_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            Draw(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        Draw(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        std::fputc('\n', stderr);
    });
}

void TProgress::Finish() {
    if (!thread_.joinable()) return;
    stop_ = true;
    thread_.join();
}

void TProgress::Draw(double seconds) const {
    constexpr int kWidth = 30;
    const std::size_t done = done_;
    const double share =
        total_ == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total_);
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    const double left = rate > 0 ? static_cast<double>(total_ - done) / rate : 0;
    char bar[kWidth + 1];
    const int filled = static_cast<int>(share * kWidth);
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %zu/%zu  %.0f/s  %d:%02d left ", bar, done, total_, rate,
                 static_cast<int>(left) / 60, static_cast<int>(left) % 60);
    std::fflush(stderr);
}

} // namespace varimark::cli
