#include "cli/BatchFlow.h"

#include <algorithm>

namespace varimark::cli {

TBatchFlow::TBatchFlow(TLineReader& reader, std::size_t window, TTellFailure tell)
    : reader_(reader), window_(std::max(window, kGroupLines)), tell_(std::move(tell)) {}

TBatchFlow::TTake TBatchFlow::Take(TLineGroup& group, bool wait) {
    std::unique_lock read(readMutex_, std::defer_lock);
    if (wait)
        read.lock();
    else if (!read.try_lock())
        return TTake::Busy;
    {
        std::unique_lock lock(mutex_);
        const auto full = [this] { return handedOut_ - doneUpTo_ + kGroupLines > window_; };
        if (!wait && full() && !stopped_) return TTake::Busy;
        progressed_.wait(lock, [&] { return stopped_ || !full(); });
        if (stopped_ || inputEnded_) return TTake::End;
    }
    group.first = nextLine_;
    group.text.clear();
    group.refused.clear();
    group.failures.clear();
    std::string line;
    while (group.text.size() < kGroupLines) {
        if (!reader_.Next(line)) {
            inputEnded_ = true;
            break;
        }
        if (reader_.TooLong()) group.Fail(nextLine_, "line too long");
        group.refused.push_back(reader_.TooLong());
        group.text.push_back(line);
        ++nextLine_;
    }
    if (group.text.empty()) return TTake::End;
    const std::lock_guard lock(mutex_);
    handedOut_ = nextLine_;
    return TTake::Taken;
}

void TBatchFlow::Finish(TLineGroup& group) {
    std::sort(group.failures.begin(), group.failures.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    {
        const std::lock_guard lock(mutex_);
        if (!group.failures.empty()) anyFailed_ = true;
        held_[group.first] = THeld{group.text.size(), std::move(group.failures)};
        TellReady();
        done_ += group.text.size();
    }
    group.failures.clear();
    progressed_.notify_all();
}

void TBatchFlow::TellReady() {
    while (!held_.empty() && held_.begin()->first == doneUpTo_) {
        const THeld& held = held_.begin()->second;
        for (const auto& [line, message] : held.failures) tell_(line, message);
        doneUpTo_ += held.lines;
        held_.erase(held_.begin());
    }
}

void TBatchFlow::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    progressed_.notify_all();
}

void TBatchFlow::TellRemaining() {
    const std::lock_guard lock(mutex_);
    for (const auto& [first, held] : held_)
        for (const auto& [line, message] : held.failures) tell_(line, message);
    held_.clear();
}

} // namespace varimark::cli
