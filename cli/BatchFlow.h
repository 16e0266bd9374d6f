#pragma once
// The lines of a batch on their way through its threads: read a group at a time as the
// threads ask for them, and taken back finished, their failures told in the order of the
// lines. At most a window of lines is out at once, so memory stays bounded whatever the
// size of the input and however slow one picture is.
#include "cli/LineReader.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace varimark::cli {

// Consecutive lines of a batch, with the failures of those already tried.
struct TLineGroup {
    std::size_t first = 0;         // the number of the first line, from 1
    std::vector<std::string> text; // the lines; a line refused at reading is empty here
    std::vector<bool> refused;     // refused at reading (its failure is already below)
    std::vector<std::pair<std::size_t, std::string>> failures; // line number, message

    void Fail(std::size_t line, std::string message) {
        failures.emplace_back(line, std::move(message));
    }
};

class TBatchFlow {
public:
    // Tells a failed line (its number and message); called in the order of the lines, one
    // at a time.
    using TTellFailure = std::function<void(std::size_t line, const std::string& message)>;

    static constexpr std::size_t kGroupLines = 16;

    // Reads through reader, which stays the caller's; at most window lines are out at once.
    TBatchFlow(TLineReader& reader, std::size_t window, TTellFailure tell);

    enum class TTake { Taken, Busy, End };
    // The next lines into group. With wait, waits while the window is full or another
    // thread reads; without, returns Busy then. End when the input is over (or Stop()).
    TTake Take(TLineGroup& group, bool wait);

    // The group's lines are done: their failures are told once every earlier line is done.
    void Finish(TLineGroup& group);

    // Hands out no more lines and wakes the threads that wait for some.
    void Stop();

    // Tells the failures still held (of lines after one that never came back).
    void TellRemaining();

    bool AnyFailed() const { return anyFailed_; }
    // The errno value of a failed read, 0 when reading has not failed.
    int ReadError() const { return reader_.Error(); }
    // Lines done so far, for the progress bar.
    const std::atomic<std::size_t>& Done() const { return done_; }

private:
    void TellReady(); // with mutex_ held

    TLineReader& reader_;
    const std::size_t window_;
    TTellFailure tell_;

    std::mutex readMutex_; // held while reading, so that groups follow each other
    bool inputEnded_ = false;
    std::size_t nextLine_ = 1; // with readMutex_

    std::mutex mutex_; // the rest
    std::condition_variable progressed_;
    bool stopped_ = false;
    std::size_t handedOut_ = 1; // the first line not handed out yet
    std::size_t doneUpTo_ = 1;  // the first line not done yet
    struct THeld {
        std::size_t lines = 0;
        std::vector<std::pair<std::size_t, std::string>> failures;
    };
    std::map<std::size_t, THeld> held_; // groups done after one still out, by first line
    std::atomic<std::size_t> done_{0};
    std::atomic<bool> anyFailed_{false};
};

} // namespace varimark::cli
