#include "BatchRender.h"

#include "EOverflow.h"
#include "Escapes.h"
#include "FileWriter.h"
#include "LineReader.h"
#include "MagnifiedPicture.h"
#include "Progress.h"
#include "Windows1252.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace varimark::cli {

namespace {

// Reads every line first: the batch's size drives the progress bar and the workers.
std::vector<std::string> ReadLines(const std::string& fileName) {
    const bool fromStdin = fileName == "-";
    const std::string shown = fromStdin ? "standard input" : fileName;
    std::FILE* file = fromStdin ? stdin : std::fopen(fileName.c_str(), "rb");
    if (file == nullptr)
        throw EPicture("varimark-cli: cannot read " + shown + ": " + std::strerror(errno));
    LineReader reader(file);
    std::vector<std::string> lines;
    for (std::string line; reader.Next(line);) lines.push_back(line);
    const int error = reader.Error();
    if (!fromStdin) std::fclose(file);
    if (error != 0)
        throw EPicture("varimark-cli: cannot read " + shown + ": " + std::strerror(error));
    return lines;
}

std::string NumberedName(const std::string& folder, std::size_t line,
                         const std::string& extension) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, line).ptr;
    const std::size_t count = static_cast<std::size_t>(end - digits);
    std::string name;
    name.reserve(folder.size() + 8 + count + extension.size());
    name.append(folder).append(1, '/');
    if (count < 6) name.append(6 - count, '0'); // at least six digits
    return name.append(digits, count).append(extension);
}

// One line: its type and add-on (or the options'), then its text, drawn into its file.
class TBatchWorker {
public:
    TBatchWorker(const SymbolOptions& options, const RenderOptions& render)
        : options_(options), render_(render) {
        ApplySymbolOptions(options, base_);
        ApplyRenderOptions(render, base_);
    }

    void Render(const std::string& line, const std::string& fileName) {
        std::vector<std::string_view> fields;
        for (std::size_t from = 0;;) {
            const std::size_t tab = line.find('\t', from);
            fields.emplace_back(std::string_view(line).substr(from, tab - from));
            if (tab == std::string::npos) break;
            from = tab + 1;
        }
        if (fields.size() > 3)
            throw EPicture("too many fields: TEXT, TYPE<TAB>TEXT or TYPE<TAB>TEXT<TAB>ADDON");
        barcode_.Params = base_;
        if (fields.size() >= 2) {
            const auto type = ParseCodeType(fields[0]);
            if (!type) throw EPicture("unknown type '" + std::string(fields[0]) + "'");
            barcode_.Params.CodeType = *type;
        }
        if (fields.size() == 3) barcode_.Params.SetCodeAddon(Utf8ToWindows1252(fields[2]));
        barcode_.Params.SetCaption(
            ToEngineText(fields[fields.size() == 1 ? 0 : 1], options_.escapes));
        RenderToFile(barcode_, render_, fileName);
    }

private:
    const SymbolOptions& options_;
    const RenderOptions& render_;
    TBarcodeParams base_;
    TLLBarcode barcode_;
};

// Workers take lines a few at a time: counters shared per line would move between the
// processors' caches with every picture.
constexpr std::size_t kLinesAtOnce = 16;

// Files up to two pages are handed to the writing thread; larger ones are written by the
// thread that draws them (their pages cost more than the contention for the folder).
constexpr std::size_t kHandedOverBytes = 8192;

// A group's files kept by a drawing thread for the writing thread, with each one's line.
struct TBundle {
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
        const std::lock_guard lock(mutex_);
        if (waiting_.size() >= kMaxBundles) return false;
        waiting_.push_back(std::move(bundle));
        if (spare_.empty()) {
            bundle = TBundle{};
        } else {
            bundle = std::move(spare_.back());
            spare_.pop_back();
        }
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

private:
    static constexpr std::size_t kMaxBundles = 2;
    std::mutex mutex_;
    std::vector<TBundle> waiting_, spare_;
};

} // namespace

int RunBatchRender(const SymbolOptions& options, const RenderOptions& render) {
    if (!render.output.empty()) throw UsageError("--batch writes into --outdir, not -o");
    if (render.outdir.empty()) throw UsageError("--batch needs --outdir DIR");
    if (render.format.empty()) throw UsageError("--batch needs --format EXT");
    const std::string extension = (render.format.front() == '.' ? "" : ".") + render.format;
    CheckPictureName("picture" + extension, render.monochrome);

    std::vector<std::string> lines;
    try {
        CheckPictureLimits(render);
        TBatchWorker probe(options, render); // the look options are checked once, up front
        lines = ReadLines(*options.batchFile);
        std::error_code error;
        std::filesystem::create_directories(render.outdir, error);
        if (error)
            throw EPicture("varimark-cli: cannot create folder " + render.outdir + ": " +
                           error.message());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitRefused;
    }

    StartQtApplication();
    SetDurableWrites(false); // like any batch tool: the system writes the files out later
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t jobs = std::min<std::size_t>(render.jobs > 0 ? render.jobs : processors,
                                                   std::max<std::size_t>(lines.size(), 1));
    std::vector<std::string> failures(lines.size());
    alignas(64) std::atomic<std::size_t> next{0};
    alignas(64) std::atomic<std::size_t> done{0};
    TProgress progress(lines.size(), render.quiet, done);
    // One group of lines drawn; given a bundle, their files are kept there, not written.
    const auto renderGroup = [&](TBatchWorker& worker, std::size_t first, std::size_t last,
                                 TBundle* bundle) {
        std::optional<TKeptWrites> kept;
        if (bundle != nullptr) kept.emplace(bundle->files, kHandedOverBytes);
        for (std::size_t i = first; i < last; ++i) {
            try {
                worker.Render(lines[i], NumberedName(render.outdir, i + 1, extension));
            } catch (const std::exception& e) {
                failures[i] = e.what();
            }
            if (bundle != nullptr) bundle->lines.resize(bundle->files.Count(), i);
        }
        done += last - first;
    };
    const auto write = [&](const TBundle& bundle) {
        for (std::size_t k = 0; k < bundle.files.Count(); ++k) {
            try {
                WriteFileReplacing(bundle.files.Path(k), bundle.files.Bytes(k));
            } catch (const std::exception& e) {
                failures[bundle.lines[k]] = e.what();
            }
        }
    };

    // With more than one job, one thread (this one) writes the files the others draw,
    // and draws only when no file waits: threads creating files in one folder at once
    // mostly wait for each other in the system. The others hand their files over unless
    // enough wait already (then they write them themselves).
    TFileQueue queue;
    std::atomic<std::size_t> drawing{jobs - 1};
    const auto draw = [&] {
        TBatchWorker worker(options, render);
        TBundle bundle;
        for (std::size_t first; (first = next.fetch_add(kLinesAtOnce)) < lines.size();) {
            renderGroup(worker, first, std::min(first + kLinesAtOnce, lines.size()), &bundle);
            if (!queue.Push(bundle)) {
                write(bundle);
                bundle.files.Clear();
                bundle.lines.clear();
            }
        }
        --drawing;
    };
    std::vector<std::thread> threads;
    for (std::size_t j = 1; j < jobs; ++j) threads.emplace_back(draw);
    {
        TBatchWorker worker(options, render);
        std::vector<TBundle> bundles;
        for (;;) {
            queue.TakeAll(bundles);
            if (!bundles.empty()) {
                for (const TBundle& bundle : bundles) write(bundle);
                queue.GiveBack(bundles);
                continue;
            }
            if (const std::size_t first = next.fetch_add(kLinesAtOnce); first < lines.size()) {
                renderGroup(worker, first, std::min(first + kLinesAtOnce, lines.size()), nullptr);
                continue;
            }
            if (drawing == 0) {
                queue.TakeAll(bundles);
                if (bundles.empty()) break;
                for (const TBundle& bundle : bundles) write(bundle);
                queue.GiveBack(bundles);
                continue;
            }
            std::this_thread::yield();
        }
    }
    for (std::thread& thread : threads) thread.join();
    progress.Finish();

    int status = kExitOk;
    for (std::size_t i = 0; i < failures.size(); ++i) {
        if (failures[i].empty()) continue;
        std::fprintf(stderr, "line %zu: %s\n", i + 1, failures[i].c_str());
        status = kExitRefused;
    }
    return status;
}

} // namespace varimark::cli
