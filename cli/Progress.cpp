#include "cli/Progress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <system_error>
#include <unistd.h>

namespace varimark::cli {

bool TProgress::Wanted(bool quiet) {
    return !quiet && ::isatty(STDERR_FILENO) != 0;
}

TProgress::TProgress(std::optional<std::size_t> total, bool quiet,
                     const std::atomic<std::size_t>& done)
    : total_(total), done_(done) {
    if (!Wanted(quiet) || (total && *total <= kShortBatch)) return;
    try {
        thread_ = std::thread([this] {
            const auto start = std::chrono::steady_clock::now();
            const auto seconds = [start] {
                return std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                    .count();
            };
            while (!stop_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                Draw(seconds());
            }
            Draw(seconds());
            const std::lock_guard lock(mutex_);
            if (drawn_) std::fputc('\n', stderr);
        });
    } catch (const std::system_error&) {
        // No thread to spare: the batch runs without a bar.
    }
}

void TProgress::Finish() {
    if (!thread_.joinable()) return;
    stop_ = true;
    thread_.join();
}

void TProgress::Print(const std::string& line) {
    const std::lock_guard lock(mutex_);
    if (drawn_) std::fputs("\r\033[K", stderr); // the bar comes back at the next drawing
    drawn_ = false;
    std::fputs(line.c_str(), stderr);
}

void TProgress::Draw(double seconds) {
    constexpr int kWidth = 30;
    const std::size_t done = done_;
    if (!total_ && done <= kShortBatch) return;
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    const std::lock_guard lock(mutex_);
    drawn_ = true;
    if (!total_) {
        std::fprintf(stderr, "\r%zu done  %.0f/s ", done, rate);
        std::fflush(stderr);
        return;
    }
    const std::size_t total = *total_;
    const double share = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    const double left = rate > 0 && total > done ? static_cast<double>(total - done) / rate : 0;
    char bar[kWidth + 1];
    const int filled = static_cast<int>(std::min(share, 1.0) * kWidth);
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %zu/%zu  %.0f/s  %d:%02d left ", bar, done, total, rate,
                 static_cast<int>(left) / 60, static_cast<int>(left) % 60);
    std::fflush(stderr);
}

} // namespace varimark::cli
