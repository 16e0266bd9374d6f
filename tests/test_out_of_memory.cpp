// Memory running out for real: varimark-cli and the C API in a child process whose address
// space is limited (RLIMIT_AS), the limit swept upwards in steps from the least the program
// starts with. Every run must end with exit 0, or exit 1 with "Out of memory while" on
// standard error (the C API: VARIMARK_OK or VARIMARK_NO_MEMORY); never a signal. Each sweep
// prints what each step gave. The long sweep (every format, more jobs, finer steps) is
// bench/memory_sweep.sh.
#include "CliRunner.h"
#include "varimark/varimark_c.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kKb = 1024;

// How a run ended: its exit status (-1 for a signal), the signal, standard error.
struct TEnd {
    int status = -1;
    int signal = 0;
    std::string err;

    bool Good() const {
        return status == 0 || (status == 1 && err.find("Out of memory while") != std::string::npos);
    }
    std::string Shown() const {
        if (signal != 0) return "signal " + std::to_string(signal) + " " + LastLine();
        return "exit " + std::to_string(status) + (status == 0 ? "" : " " + LastLine());
    }
    // What the program said last (a library's complaints come before).
    std::string LastLine() const {
        const std::string said = err.substr(0, err.find_last_not_of('\n') + 1);
        return "'" + said.substr(said.find_last_of('\n') + 1) + "'";
    }
};

// Runs body in a child process with its address space limited to limit bytes (none for
// 0): the child's exit status is body's result; its standard error is kept.
TEnd Limited(std::size_t limit, const std::function<int()>& body) {
    std::string errPath = ::testing::TempDir() + "varimark_oom_err_XXXXXX";
    const int errFile = mkstemp(errPath.data());
    if (errFile < 0) std::abort();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) std::abort();
    if (pid == 0) {
        dup2(errFile, 2);
        const rlimit space{limit, limit};
        if (limit != 0 && setrlimit(RLIMIT_AS, &space) != 0) _exit(126);
        _exit(body());
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    TEnd end;
    end.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    end.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    end.err = ReadFileIfThere(errPath).value_or("");
    close(errFile);
    unlink(errPath.c_str());
    return end;
}

// varimark-cli with args under the limit, its font look-ups kept under cache.
TEnd Cli(std::size_t limit, const std::vector<std::string>& args, const std::string& cache) {
    return Limited(limit, [&] {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0), dup2(null, 1);
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        ExecCli(args);
        return 127;
    });
}

// The least address space, to 64 KiB, in which varimark-cli starts and shows its usage.
std::size_t StartingSpace(const std::string& cache) {
    std::size_t low = 1024 * kKb, high = 1024 * 1024 * kKb; // fails, succeeds
    while (high - low > 64 * kKb) {
        const std::size_t middle = (low + high) / 2 / (64 * kKb) * (64 * kKb);
        (Cli(middle, {"render", "--help"}, cache).status == 0 ? high : low) = middle;
    }
    return high;
}

// Sweeps limits from `from` to `from + span` by step through run and prints what each step
// gave (runs of the same end as one line). Every end must be good, and one a success: a
// sweep where no limit is enough tests nothing.
void Sweep(const std::string& what, std::size_t from, std::size_t span, std::size_t step,
           const std::function<TEnd(std::size_t)>& run) {
    std::string table, last;
    std::size_t lastFrom = 0;
    const auto row = [&](std::size_t to) {
        table += "  +" + std::to_string(lastFrom / kKb) + ".." + std::to_string(to / kKb) + ": " +
                 last + "\n";
    };
    int bad = 0;
    bool succeeded = false;
    for (std::size_t above = 0; above <= span; above += step) {
        const TEnd end = run(from + above);
        const std::string shown = (end.Good() ? "" : "WRONG: ") + end.Shown();
        bad += !end.Good();
        succeeded |= end.status == 0;
        if (above > 0 && shown != last) row(above - step);
        if (above == 0 || shown != last) last = shown, lastFrom = above;
    }
    row(span / step * step);
    std::cout << what << " (KiB above "
              << (from == 0 ? "what it uses" : std::to_string(from / kKb) + " KiB") << "):\n"
              << table;
    EXPECT_EQ(bad, 0) << what << ": ends neither exit 0 nor out of memory, marked WRONG above";
    EXPECT_TRUE(succeeded) << what << ": no limit was enough";
}

#if defined(__SANITIZE_ADDRESS__)
#define SKIP_UNDER_ASAN() GTEST_SKIP() << "AddressSanitizer reserves more address space than this"
#else
#define SKIP_UNDER_ASAN() (void)0
#endif

class OutOfMemory : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_UNDER_ASAN();
        // Font look-ups made once with memory to spare, so that later runs find them in the
        // look-up file (the cold rows start from an empty folder each time).
        if (Cli(0, {"render", "-o", folder_.Path("warm.png"), "WARM"}, Warm()).status != 0)
            FAIL() << "varimark-cli does not render";
        static const std::size_t start = StartingSpace(Warm());
        start_ = start;
    }
    std::string Warm() const { return folder_.Path("warm"); }
    // An empty folder for font look-ups.
    std::string Cold() {
        std::filesystem::remove_all(folder_.Path("cold"));
        return folder_.Path("cold");
    }

    TScratchFolder folder_;
    std::size_t start_ = 0;
};

// One picture: a raster one and a vector one with text in a font of its own, the fonts
// looked up before or from nothing (fontconfig's own set-up included, which wants room for
// several times what it holds before it is called: a span of some megabytes). FreeType and
// libpng (with the zlib and brotli they bring) are mapped when first needed, within the span.
const struct RenderCase {
    const char* what;
    const char* format;
    bool coldFonts;
    std::size_t span, step;
} kRenderCases[] = {{"png", "png", false, 3072 * kKb, 64 * kKb},
                    {"png, fonts looked up anew", "png", true, 8192 * kKb, 512 * kKb},
                    {"pdf", "pdf", false, 3072 * kKb, 64 * kKb}};

TEST_F(OutOfMemory, SingleRendersExitOneWithTheMessageNeverASignal) {
    for (const RenderCase& c : kRenderCases)
        Sweep(c.what, start_, c.span, c.step, [&](std::size_t limit) {
            return Cli(limit,
                       {"render", "--type", "EAN_13", "-o",
                        folder_.Path(std::string("a.") + c.format), "400638133393"},
                       c.coldFonts ? Cold() : Warm());
        });
}

TEST_F(OutOfMemory, BatchesExitOneWithTheMessageNeverASignal) {
    std::string lines;
    for (int i = 0; i < 10; ++i) lines += "40063813339" + std::to_string(i) + "\n";
    const TempFile input(lines);
    const struct {
        const char* jobs;
        const char* format;
        std::size_t span, step;
    } kCases[] = {{"1", "png", 2048 * kKb, 128 * kKb}, {"2", "gif", 16384 * kKb, 1024 * kKb}};
    for (const auto& c : kCases)
        Sweep(std::string("batch, jobs ") + c.jobs + ", " + c.format, start_, c.span, c.step,
              [&](std::size_t limit) {
                  return Cli(limit,
                             {"render", "--type", "EAN_13", "--batch", input.path(), "--outdir",
                              folder_.Dir(), "--format", c.format, "--jobs", c.jobs, "--quiet"},
                             Warm());
              });
}

// The C API in this process's own child: the limit is set above what the child already
// uses, so the sweep starts where the call has nothing to spare.
std::size_t SpaceInUse() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) std::abort();
    std::fclose(statm);
    return pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

TEST_F(OutOfMemory, CApiGivesNoMemoryNeverASignal) {
    for (const RenderCase& c : kRenderCases)
        Sweep(std::string("C API ") + c.what, 0, c.span, 2 * c.step, [&](std::size_t above) {
            const std::string cache = c.coldFonts ? Cold() : Warm();
            return Limited(0, [&] {
                setenv("XDG_CACHE_HOME", cache.c_str(), 1);
                varimark_symbol* symbol = varimark_symbol_new();
                varimark_options* options = varimark_options_new();
                varimark_symbol_set_type(symbol, "EAN_13");
                varimark_symbol_set_text(symbol, "400638133393");
                varimark_options_set_format(options, c.format);
                const rlimit space{SpaceInUse() + above, SpaceInUse() + above};
                if (setrlimit(RLIMIT_AS, &space) != 0) return 126;
                varimark_buffer picture;
                const varimark_status status = varimark_render(symbol, options, &picture);
                // As the command-line tool would say it; another status shows its message.
                std::fprintf(stderr, "%s%s\n",
                             status == VARIMARK_NO_MEMORY ? "Out of memory while rendering: " : "",
                             varimark_last_error());
                return status == VARIMARK_OK ? 0 : status == VARIMARK_NO_MEMORY ? 1 : 2;
            });
        });
}

} // namespace
