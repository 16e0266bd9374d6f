#include "cli/BatchRender.h"
#include "cli/EndingSignals.h"

#include "cli/BatchFlow.h"
#include "cli/BatchLine.h"
#include "cli/LineReader.h"
#include "cli/Progress.h"
#include "varimark/varimark.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <vector>

namespace varimark::cli {

namespace {

// The batch's input: a file, or standard input for "-"; closed with the object.
class TBatchInput {
public:
    explicit TBatchInput(const std::string& fileName)
        : fromStdin_(fileName == "-"), shown_(fromStdin_ ? "standard input" : fileName),
          file_(fromStdin_ ? stdin : std::fopen(fileName.c_str(), "rb")) {
        if (file_ == nullptr) throw Error(Message(errno));
    }
    ~TBatchInput() {
        if (!fromStdin_) std::fclose(file_);
    }
    TBatchInput(const TBatchInput&) = delete;
    TBatchInput& operator=(const TBatchInput&) = delete;

    std::FILE* File() const { return file_; }
    std::string Message(int error) const {
        return Named("cannot read " + shown_ + ": " + std::strerror(error));
    }
    // The number of lines of a regular file, for the progress bar; nothing for a pipe or
    // a terminal (reading them twice is not possible) or when counting fails.
    std::optional<std::size_t> CountLines(const std::string& fileName) const {
        struct stat info {};
        if (fromStdin_ || ::fstat(::fileno(file_), &info) != 0 || !S_ISREG(info.st_mode))
            return std::nullopt;
        std::FILE* again = std::fopen(fileName.c_str(), "rb");
        if (again == nullptr) return std::nullopt;
        TLineReader reader(again);
        std::size_t count = 0;
        for (std::string line; reader.Next(line);) ++count;
        std::fclose(again);
        if (reader.Error() != 0) return std::nullopt;
        return count;
    }

private:
    bool fromStdin_;
    std::string shown_;
    std::FILE* file_;
};

// The name of line's file: the line number with at least six digits, and the extension.
std::string NumberedName(std::size_t line, const std::string& extension) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, line).ptr;
    const std::size_t count = static_cast<std::size_t>(end - digits);
    std::string name;
    name.reserve(6 + count + extension.size());
    if (count < 6) name.append(6 - count, '0');
    return name.append(digits, count).append(extension);
}

// One line: its type and add-on (or the options'), then its text, drawn into its file.
class TBatchWorker {
public:
    // Checks the options and the look of every symbol (Error).
    TBatchWorker(const TSymbolOptions& options, const TRenderOptions& render)
        : options_(options), render_(render), look_(LookOf(render)) {
        CheckSymbolOptions(SymbolOf(options, options.type, "", look_));
    }

    // The picture file of one line, in the format of the extension.
    std::vector<std::uint8_t> Render(const std::string& line, const std::string& extension) {
        return RenderToBytes(ParseBatchLine(line, options_, look_).symbol, render_, extension);
    }

private:
    const TSymbolOptions& options_;
    const TRenderOptions& render_;
    Symbol look_;
};

// Lines out at once per thread: reading ahead of the slowest picture stops there.
constexpr std::size_t kWindowPerJob = 256;

// Files up to two pages are handed to the writing thread; larger ones are written by the
// thread that draws them (their pages cost more than the contention for the folder).
constexpr std::size_t kHandedOverBytes = 8192;

// Files kept in memory to be written later by another thread: names, and bytes one after
// the other in one block. Cleared, it keeps its memory for the next files.
class TKeptFiles {
public:
    std::size_t Count() const { return count_; }
    const std::string& Name(std::size_t i) const { return names_[i]; }
    std::span<const std::uint8_t> Bytes(std::size_t i) const {
        const std::size_t start = i == 0 ? 0 : ends_[i - 1];
        return {bytes_.data() + start, ends_[i] - start};
    }
    void Clear() { count_ = 0, bytes_.clear(); }
    void Add(const std::string& name, std::span<const std::uint8_t> bytes) {
        if (count_ == names_.size()) names_.emplace_back(), ends_.emplace_back();
        names_[count_] = name; // reuses the string's memory
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        ends_[count_++] = bytes_.size();
    }

private:
    std::size_t count_ = 0;
    std::vector<std::string> names_; // the first count_ are the files'
    std::vector<std::size_t> ends_;  // where each file's bytes end
    std::vector<std::uint8_t> bytes_;
};

// A group of lines drawn by a drawing thread, with the files it keeps for the writing
// thread and each one's line.
struct TBundle {
    TLineGroup group;
    TKeptFiles files;
    std::vector<std::size_t> lines;
};

// The groups of files waiting for the writing thread: one or two. When more wait, the
// writing thread is the slower, and the threads that hand files over write them
// themselves. Written groups come back empty, their memory kept for the next.
class TFileQueue {
public:
    // Takes the bundle over and leaves an empty one in its place, unless enough wait.
    bool Push(TBundle& bundle) {
        {
            const std::lock_guard lock(mutex_);
            if (waiting_.size() >= kMaxBundles) return false;
            waiting_.push_back(std::move(bundle));
            if (spare_.empty()) {
                bundle = TBundle{};
            } else {
                bundle = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        changed_.notify_one();
        return true;
    }
    // Everything waiting, in the order it came.
    void TakeAll(std::vector<TBundle>& bundles) {
        const std::lock_guard lock(mutex_);
        bundles.swap(waiting_);
    }
    // The bundles written, for the drawing threads to fill again.
    void GiveBack(std::vector<TBundle>& bundles) {
        const std::lock_guard lock(mutex_);
        for (TBundle& bundle : bundles) {
            bundle.files.Clear();
            bundle.lines.clear();
            spare_.push_back(std::move(bundle));
        }
        bundles.clear();
    }
    // Wakes the writing thread: something changed (a drawing thread ended, lines came back).
    void Notify() {
        { const std::lock_guard lock(mutex_); }
        changed_.notify_one();
    }
    // Waits a little for a bundle or a Notify (the writing thread has nothing to do).
    void Wait() {
        std::unique_lock lock(mutex_);
        if (waiting_.empty()) changed_.wait_for(lock, std::chrono::milliseconds(5));
    }

private:
    static constexpr std::size_t kMaxBundles = 2;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<TBundle> waiting_, spare_;
};

// The message of a failure; memory that ran out is told with what was being done.
std::string FailureMessage(const std::exception& e,
                           std::string_view doing = "drawing this line's picture") {
    if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return EOutOfMemory(doing).what();
    return e.what();
}

// Starts up to count threads running body, as many as the system gives (std::thread throws
// when it cannot start one); running counts those started.
template <typename Body>
void StartThreads(std::vector<std::jthread>& threads, std::size_t count,
                  std::atomic<std::size_t>& running, const Body& body) {
    try {
        threads.reserve(std::min<std::size_t>(count, 4096));
        while (threads.size() < count) {
            ++running;
            try {
                threads.emplace_back(body);
            } catch (...) {
                --running;
                throw;
            }
        }
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
        // The batch goes on with the threads it has, at least this one.
    }
}

// One batch: its input and folder, the flow of its lines through the threads, and why it
// stopped early.
class TBatchRun {
public:
    TBatchRun(const TSymbolOptions& options, const TRenderOptions& render,
              const std::string& extension)
        : options_(options), render_(render), extension_(extension) {}

    // Checks the options, opens the input and makes the folder; false (told) on a failure.
    bool Open() {
        try {
            CheckPictureLimits(render_);
            TBatchWorker probe(options_, render_); // the look options are checked once, up front
            input_.emplace(*options_.batchFile);
            std::error_code error;
            std::filesystem::create_directories(render_.outdir, error);
            if (error)
                throw Error(
                    Named("cannot create folder " + render_.outdir + ": " + error.message()));
            folder_.emplace(render_.outdir);
        } catch (const std::bad_alloc&) {
            PrintNamed(EOutOfMemory("starting the batch").what());
            return false;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return false;
        }
        return true;
    }

    // Draws and writes every line on jobs threads; returns the exit status.
    int Run(std::size_t jobs) {
        // Failures are told in the order of the lines as soon as every earlier line is
        // done, above the progress bar.
        TLineReader reader(input_->File());
        TBatchFlow flow(reader, std::min(jobs, std::size_t{1} << 20) * kWindowPerJob,
                        [this](std::size_t line, const std::string& message) {
                            progress_->Print("line " + std::to_string(line) + ": " + message +
                                             "\n");
                        });
        flow_ = &flow;
        progress_.emplace(TProgress::Wanted(render_.quiet) ? input_->CountLines(*options_.batchFile)
                                                           : std::nullopt,
                          render_.quiet, flow.Done());
        WriteAndDraw(jobs);
        WriteHandedOver();
        flow.TellRemaining();
        progress_.reset();
        return Status();
    }

private:
    // One group of lines drawn; given a bundle, their small files are kept there for the
    // writing thread, the others written at once.
    void RenderGroup(TBatchWorker& worker, TLineGroup& group, TBundle* bundle) {
        for (std::size_t i = 0; i < group.text.size(); ++i) {
            if (group.refused[i] || group.text[i].empty()) continue; // empty lines: skipped
            const std::size_t line = group.first + i;
            try {
                const std::vector<std::uint8_t> bytes = worker.Render(group.text[i], extension_);
                const std::string name = NumberedName(line, extension_);
                if (bundle != nullptr && bytes.size() <= kHandedOverBytes) {
                    bundle->files.Add(name, bytes);
                    bundle->lines.push_back(line);
                } else {
                    folder_->Write(name, bytes);
                }
            } catch (const std::exception& e) {
                group.Fail(line, FailureMessage(e));
            }
        }
    }

    void Write(TBundle& bundle) {
        for (std::size_t k = 0; k < bundle.files.Count(); ++k) {
            try {
                folder_->Write(bundle.files.Name(k), bundle.files.Bytes(k));
            } catch (const std::exception& e) {
                bundle.group.Fail(bundle.lines[k], FailureMessage(e));
            }
        }
    }

    // Writes the bundles and finishes their lines.
    void WriteAll(std::vector<TBundle>& bundles) {
        for (TBundle& bundle : bundles) {
            Write(bundle);
            flow_->Finish(bundle.group);
        }
    }

    // Memory that ran out is only noted here (the message is made once the threads are
    // done and their memory free): making it where memory just ran out may fail again, and
    // nothing may escape a drawing thread.
    void StopBatch(const std::exception& e) noexcept {
        flow_->Stop();
        if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) {
            outOfMemory_ = true;
            return;
        }
        try {
            const std::lock_guard lock(stopMutex_);
            if (stopReason_.empty()) stopReason_ = e.what();
        } catch (...) {
            outOfMemory_ = true;
        }
    }

    // A drawing thread: draws groups of lines and hands their files over to the writing
    // thread, or writes them itself when enough wait already.
    void Draw() {
        try {
            TBatchWorker worker(options_, render_);
            TBundle bundle;
            while (flow_->Take(bundle.group, true) == TBatchFlow::TTake::Taken) {
                RenderGroup(worker, bundle.group, &bundle);
                if (!queue_.Push(bundle)) {
                    Write(bundle);
                    flow_->Finish(bundle.group);
                    bundle.files.Clear();
                    bundle.lines.clear();
                }
            }
        } catch (const std::exception& e) {
            StopBatch(e);
        }
        --drawing_;
        queue_.Notify();
    }

    // With more than one job, one thread (this one) writes the files the others draw,
    // and draws only when no file waits: threads creating files in one folder at once
    // mostly wait for each other in the system. The others hand their files over unless
    // enough wait already (then they write them themselves).
    void WriteAndDraw(std::size_t jobs) {
        // Declared last: on any way out, lines stop being handed out, then every thread
        // started is joined.
        std::vector<std::jthread> threads;
        struct TStopFlow {
            TBatchFlow& flow;
            ~TStopFlow() { flow.Stop(); }
        } stopFlow{*flow_};
        try {
            TBatchWorker worker(options_, render_);
            TLineGroup group;
            std::vector<TBundle> bundles;
            bool started = false;
            for (;;) {
                queue_.TakeAll(bundles);
                if (!bundles.empty()) {
                    WriteAll(bundles);
                    queue_.GiveBack(bundles);
                    continue;
                }
                const auto take = flow_->Take(group, drawing_ == 0);
                if (take == TBatchFlow::TTake::Taken) {
                    if (!started) {
                        started = true;
                        StartThreads(threads, jobs - 1, drawing_, [this] { Draw(); });
                    }
                    RenderGroup(worker, group, nullptr);
                    flow_->Finish(group);
                    continue;
                }
                if (take == TBatchFlow::TTake::End && drawing_ == 0) {
                    queue_.TakeAll(bundles);
                    if (bundles.empty()) break;
                    WriteAll(bundles);
                    queue_.GiveBack(bundles);
                    continue;
                }
                queue_.Wait();
            }
        } catch (const std::exception& e) {
            StopBatch(e);
        }
    }

    // The files that drawing threads handed over when this thread stopped early.
    void WriteHandedOver() {
        try {
            std::vector<TBundle> bundles;
            queue_.TakeAll(bundles);
            WriteAll(bundles);
        } catch (const std::exception& e) {
            StopBatch(e);
        }
    }

    // The exit status, with why the batch stopped before the end of its input and a
    // failed read told.
    int Status() {
        if (outOfMemory_ && stopReason_.empty()) {
            try {
                stopReason_ = EOutOfMemory("rendering the batch").what();
            } catch (const std::bad_alloc&) {
                PrintNamed("Out of memory while rendering the batch");
                return kExitRefused;
            }
        }
        int status = kExitOk;
        if (flow_->AnyFailed()) status = kExitRefused;
        if (!stopReason_.empty()) {
            PrintNamed(stopReason_);
            status = kExitRefused;
        }
        if (const int error = flow_->ReadError(); error != 0) {
            std::fprintf(stderr, "%s\n", input_->Message(error).c_str());
            status = kExitRefused;
        }
        return status;
    }

    const TSymbolOptions& options_;
    const TRenderOptions& render_;
    const std::string extension_;
    std::optional<TBatchInput> input_;
    std::optional<PictureFolder> folder_; // the files' folder, opened once it exists
    std::optional<TProgress> progress_;
    TBatchFlow* flow_ = nullptr;
    TFileQueue queue_;
    std::atomic<std::size_t> drawing_{0};
    // Why the batch stopped before the end of its input (memory ran out), told at the end.
    std::mutex stopMutex_;
    std::string stopReason_;
    std::atomic<bool> outOfMemory_{false};
};

} // namespace

int RunBatchRender(const TSymbolOptions& options, const TRenderOptions& render) {
    if (!render.output.empty()) throw EUsage("--batch writes into --outdir, not -o");
    if (render.outdir.empty()) throw EUsage("--batch needs --outdir DIR");
    if (render.format.empty()) throw EUsage("--batch needs --format EXT");
    const std::string extension = FormatExtension(render.format);
    CheckPictureName("picture" + extension, render.monochrome);

    TakeEndingSignals(); // before the drawing threads start
    TBatchRun batch(options, render, extension);
    if (!batch.Open()) return kExitRefused;

    // Like any batch tool, the files are written without syncing each: the system writes
    // them out later.
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t jobs = render.jobs > 0 ? static_cast<std::size_t>(render.jobs) : processors;
    // Fonts are set up once, before the drawing threads start: fontconfig half set up for
    // want of memory must not be met by several threads.
    if (jobs > 1) {
        try {
            SetUpFonts();
        } catch (const std::bad_alloc&) {
            PrintNamed("Out of memory while loading fonts");
            return kExitRefused;
        }
    }
    return batch.Run(jobs);
}

} // namespace varimark::cli
