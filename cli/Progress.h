#pragma once
// The progress bar of a long batch: one line on standard error, redrawn a few times a
// second (done/total, rate, time left), only when standard error is a terminal.
#include <atomic>
#include <cstddef>
#include <thread>

namespace varimark::cli {

class TProgress {
public:
    // Shows nothing when quiet, when standard error is no terminal, or for a short batch.
    TProgress(std::size_t total, bool quiet, const std::atomic<std::size_t>& done);
    ~TProgress() { Finish(); }
    // Draws the final state and ends the line.
    void Finish();

    static constexpr std::size_t kShortBatch = 300;

private:
    void Draw(double seconds) const;

    std::size_t total_;
    const std::atomic<std::size_t>& done_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace varimark::cli
