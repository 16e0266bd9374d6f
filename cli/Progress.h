#pragma once
// The progress bar of a long batch: one line on standard error, redrawn a few times a
// second (done/total, rate, time left; done and rate while the total is unknown), only when
// standard error is a terminal.
#include <atomic>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace varimark::cli {

class TProgress {
public:
    // Shows nothing when quiet, when standard error is no terminal, or for a short batch
    // (with an unknown total: until more than kShortBatch lines are done). Shows nothing
    // either when its thread cannot be started.
    TProgress(std::optional<std::size_t> total, bool quiet, const std::atomic<std::size_t>& done);
    ~TProgress() { Finish(); }
    // Draws the final state and ends the line.
    void Finish();
    // Writes a line of text (with its "\n") on standard error, above the bar.
    void Print(const std::string& line);

    // Whether a bar would be shown for a batch of more than kShortBatch lines.
    static bool Wanted(bool quiet);

    static constexpr std::size_t kShortBatch = 300;

private:
    void Draw(double seconds);

    std::optional<std::size_t> total_;
    const std::atomic<std::size_t>& done_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;   // standard error
    bool drawn_ = false; // a bar stands on the current line
    std::thread thread_;
};

} // namespace varimark::cli
