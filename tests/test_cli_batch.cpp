// "varimark-cli render --batch": numbered files byte-identical to single renders whatever
// the number of workers, failing lines reported while the others are written, standard
// input, no progress bar off a terminal, and quiet zones. Hostile input: long lines and
// endless input in bounded memory, byte-order marks, NUL bytes, odd formats, entries
// planted where the files go, threads that cannot start, and a batch killed mid-way.
#include "ByteReading.h"
#include "CliRunner.h"
#include "FileTesting.h"

#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <vector>

namespace {

// Lines of every kind: text alone, type and text, type, text and add-on, an empty line
// (skipped: no file).
const std::string kLines = "400638133393\n"
                           "CODE128_B\tHello\n"
                           "upc-a\t03600029145\t12\n"
                           "\n"
                           "Codabar\tB12-34D\n";

struct Single {
    std::vector<std::string> args; // as one render of the same line
};
const Single kSingles[] = {{{"--type", "EAN_13", "400638133393"}},
                           {{"--type", "CODE128_B", "Hello"}},
                           {{"--type", "UPC_A", "--addon", "12", "03600029145"}},
                           {},
                           {{"--type", "Codabar", "B12-34D"}}};

TEST(CliBatch, FilesEqualSingleRendersWhateverTheJobs) {
    for (const char* format : {"bmp", "gif", "svg", "png"}) {
        for (const char* jobs : {"1", "2"}) {
            const TScratchFolder scratch;
            const std::string folder = scratch.Path("out");
            const RunResult r = RunCli({"render", "--type", "EAN_13", "--batch", "-", "--outdir",
                                        folder, "--format", format, "--jobs", jobs, "--scale", "2"},
                                       kLines);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "");
            for (std::size_t k = 0; k < std::size(kSingles); ++k) {
                char name[32];
                std::snprintf(name, sizeof name, "/%06zu.%s", k + 1, format);
                if (kSingles[k].args.empty()) {
                    EXPECT_FALSE(FileExists(folder + name)) << "the empty line " << k + 1;
                    continue;
                }
                const std::string single = folder + "_single." + format;
                std::vector<std::string> args{"render", "--scale", "2", "-o", single};
                args.insert(args.end(), kSingles[k].args.begin(), kSingles[k].args.end());
                ASSERT_EQ(RunCli(args).status, 0);
                EXPECT_EQ(ReadWholeFile(folder + name), ReadWholeFile(single))
                    << format << " line " << k + 1;
                std::remove(single.c_str());
            }
            EXPECT_FALSE(FileExists(folder + "/000006." + format)); // the final newline adds none
        }
    }
}

TEST(CliBatch, FailingLinesAreReportedAndTheOthersWritten) {
    const TScratchFolder scratch;
    const std::string folder = scratch.Path("out");
    const std::string lines = "CODE128_B\tok\n"
                              "CODE128_B\ttab\\x09here\n"
                              "NOPE\t1\n"
                              "EAN_8\t1\t2\t3\n" +
                              std::string(51, 'x') +
                              "\n"
                              "EAN_8\t1234567\n";
    const RunResult r = RunCli(
        {"render", "--esc", "--batch", "-", "--outdir", folder + "/deep/er", "--format", "png"},
        lines);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "line 2: the escape \\x09 at character 4 is not one Code 128 B can carry\n"
                     "line 3: unknown type 'NOPE'\n"
                     "line 4: too many fields: TEXT, TYPE<TAB>TEXT or TYPE<TAB>TEXT<TAB>ADDON\n"
                     "line 5: String exceeds maximum length\n");
    for (const char* written : {"/deep/er/000001.png", "/deep/er/000006.png"})
        EXPECT_TRUE(FileExists(folder + written)) << written;
    for (const char* missing : {"/deep/er/000002.png", "/deep/er/000005.png"})
        EXPECT_FALSE(FileExists(folder + missing)) << missing;
}

// Hundreds of lines on two threads, one of which writes the files the other draws: every
// failure, in drawing or in writing, is told with its own line, and every other file is
// there and equals its single render.
TEST(CliBatch, ManyLinesOnTwoThreadsKeepTheirFilesAndFailures) {
    const TScratchFolder scratch;
    const std::string folder = scratch.Path("out");
    std::string lines, expected;
    for (int k = 1; k <= 600; ++k) {
        if (k % 97 == 0) {
            lines += "NOPE\t1\n";
            expected += "line " + std::to_string(k) + ": unknown type 'NOPE'\n";
        } else {
            lines += std::to_string(100000000000 + 7919LL * k) + "\n";
        }
    }
    // Files that cannot be written: a folder stands where each should be.
    std::filesystem::create_directories(folder);
    for (int k : {7, 300, 599}) {
        char name[32];
        std::snprintf(name, sizeof name, "/%06d.bmp", k);
        std::filesystem::create_directory(folder + name);
    }
    const RunResult r = RunCli({"render", "--type", "EAN_13", "--batch", "-", "--outdir", folder,
                                "--format", "bmp", "--monochrome", "--jobs", "2"},
                               lines);
    EXPECT_EQ(r.status, 1);
    // The drawing failures as expected; the writing failures name their lines and files.
    std::string drawing, writing;
    std::istringstream err(r.err);
    for (std::string line; std::getline(err, line);)
        (line.find("unknown type") != std::string::npos ? drawing : writing) += line + "\n";
    EXPECT_EQ(drawing, expected);
    for (int k : {7, 300, 599}) {
        char name[32];
        std::snprintf(name, sizeof name, "%06d.bmp", k);
        EXPECT_NE(writing.find("line " + std::to_string(k) + ": "), std::string::npos) << k;
        EXPECT_NE(writing.find(name), std::string::npos) << k;
    }
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 600 - 6 - 3);
    for (int k : {1, 298, 600}) {
        const std::string single = folder + "_single.bmp";
        ASSERT_EQ(RunCli({"render", "--type", "EAN_13", "--monochrome", "-o", single,
                          std::to_string(100000000000 + 7919LL * k)})
                      .status,
                  0);
        char name[32];
        std::snprintf(name, sizeof name, "/%06d.bmp", k);
        EXPECT_EQ(ReadWholeFile(folder + name), ReadWholeFile(single)) << k;
        std::remove(single.c_str());
    }
}

TEST(CliBatch, FromAFileWithoutProgressOffATerminal) {
    const TScratchFolder scratch;
    const std::string folder = scratch.Path("out");
    std::string many;
    for (int i = 0; i < 400; ++i) many += std::to_string(1000000 + i) + "\n";
    const std::string list = folder + ".txt";
    { std::ofstream(list) << many; }
    const RunResult r = RunCli(
        {"render", "--type", "EAN_8", "--batch", list, "--outdir", folder, "--format", "bmp"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, ""); // standard error is a pipe here: no progress bar
    EXPECT_TRUE(FileExists(folder + "/000400.bmp"));
    EXPECT_FALSE(FileExists(folder + "/000401.bmp"));
    std::remove(list.c_str());
}

TEST(CliBatch, UsageErrors) {
    const std::vector<std::string> cases[] = {
        {"render", "--batch", "-", "--format", "png"},                  // no --outdir
        {"render", "--batch", "-", "--outdir", "x"},                    // no --format
        {"render", "--batch", "-", "--outdir", "x", "--format", "xyz"}, // unknown format
        {"render", "--batch", "-", "--outdir", "x", "--format", "png", "-o", "y.png"},
        {"render", "--outdir", "x", "-o", "y.png", "1"}}; // --outdir alone
    for (const auto& args : cases) EXPECT_EQ(RunCli(args, "1\n").status, 2) << args.back();
    const TScratchFolder scratch;
    EXPECT_EQ(RunCli({"render", "--batch", "/nonexistent.txt", "--outdir", scratch.Path("n"),
                      "--format", "png"})
                  .status,
              1);
}

// Quiet zones (the default) widen the fixed margin to the symbology's minimum, counted from
// the bars.
TEST(CliBatch, QuietZonesWidenTheMargin) {
    struct Case {
        std::vector<std::string> args;
        QSize plain, zoned;
    };
    // Code 128 "Hello": 91 x 70 drawn; the margin of 2 grows to 10 modules (pixels) a side.
    // EAN-13: 11 modules left, of which the drawing leaves 10: margin 2 already covers it.
    // Code 39 at SC9 (p = 2): 20 pixels a side.
    const Case cases[] = {{{"--type", "CODE128_B", "Hello"}, {95, 74}, {111, 90}},
                          {{"--type", "EAN_13", "400638133393"}, {120, 87}, {120, 87}},
                          {{"--type", "CODE39", "--module", "9", "AB"}, {133, 144}, {169, 180}}};
    for (const Case& c : cases) {
        for (const bool zoned : {false, true}) {
            const TScratchFolder scratch;
            const std::string path = scratch.Path("zone.png");
            std::vector<std::string> args{"render", "-o", path};
            if (!zoned) args.insert(args.end(), {"--margin", "2"});
            args.insert(args.end(), c.args.begin(), c.args.end());
            ASSERT_EQ(RunCli(args).status, 0);
            EXPECT_EQ(QImage(QString::fromStdString(path)).size(), zoned ? c.zoned : c.plain)
                << c.args.back() << (zoned ? " zoned" : "");
            std::remove(path.c_str());
        }
    }
}

const std::string kNul = "the text holds a NUL byte (\\x00), which no barcode can carry";
// Lines of 4096 bytes besides "\r\n" (too long for Code 128), 4097 bytes, a megabyte,
// "Hello" and 5000 bytes without a line end.
const std::string kLong = std::string(4096, 'x') + "\r\n" + std::string(4097, 'x') + "\n" +
                          std::string(1 << 20, 'x') + "\nHello\n" + std::string(5000, 'x');

TEST(CliBatch, FormatIsOneOfThePictureExtensions) {
    const std::pair<std::string, std::string> cases[] = {
        // format, file of line 1 ("": refused)
        {"a.png", ""}, {"png/../../x", ""},    {"jpeg", ""},          {".", ""},
        {"png.", ""},  {".PNG", "000001.PNG"}, {"Svg", "000001.Svg"}, {"bmp", "000001.bmp"}};
    for (const auto& [format, file] : cases) {
        const TScratchFolder dir;
        const std::string out = file.empty() ? dir.Path("out") : dir.Dir();
        const RunResult r =
            RunCli({"render", "--batch", "-", "--outdir", out, "--format", format}, "1\n");
        EXPECT_EQ(r.status, file.empty() ? 2 : 0) << format << r.err;
        if (!file.empty()) {
            EXPECT_EQ(dir.Names(), std::set{file});
            continue;
        }
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
                  "varimark-cli: unknown --format '" + format +
                      "': use bmp, gif, tif, jpg, emf, png, svg or pdf");
        EXPECT_FALSE(FileExists(out)) << format;
    }
}

// A bad line is refused alone and the lines after it are read: a byte-order mark anywhere
// but before the first line, a NUL byte (raw or escaped), more than 4096 bytes besides "\r\n".
// An input of a byte-order mark alone is one empty line: nothing to draw, nothing refused.
TEST(CliBatch, BadLinesAreRefusedAlone) {
    const std::string bom = "\xEF\xBB\xBF";
    const auto nul = [](int line) { return "line " + std::to_string(line) + ": " + kNul + "\n"; };
    const std::string tooLong = " line too long\n";
    struct Case {
        std::string input, err, file;
    };
    const Case cases[] = {
        {bom + "EAN_13\t400638133393\n" + bom + "EAN_13\t400638133393\n",
         "line 2: unknown type '" + bom + "EAN_13'\n", "000001.svg"},
        {std::string("CODE128_B\tA\0B\nEAN\0_13\t1\n", 24) + "CODE128_B\tA\\x00B\n1\n",
         nul(1) + nul(2) + nul(3), "000004.svg"},
        {kLong,
         "line 1: String exceeds maximum length\nline 2:" + tooLong + "line 3:" + tooLong +
             "line 5:" + tooLong,
         "000004.svg"},
        {bom, "", ""},
        {bom + "\r\n", "", ""}};
    for (const Case& c : cases) {
        const TScratchFolder dir;
        const RunResult r = RunCli(
            {"render", "--esc", "--batch", "-", "--outdir", dir.Dir(), "--format", "svg"}, c.input);
        EXPECT_EQ(r.status, c.err.empty() ? 0 : 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(dir.Names(), c.file.empty() ? std::set<std::string>{} : std::set{c.file});
    }
}

// Whatever the size of the input, memory stays bounded: an endless line, and a stream of
// lines drawn (here refused) as they come. The input is written to a file piece by piece
// (the program starts as a copy of this process, whose memory counts in its peak).
TEST(CliBatch, MemoryStaysBoundedWhateverTheInput) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine: peaks mean nothing";
#endif
    const TScratchFolder dir;
    const std::string list = dir.Path("list.txt");
    const std::tuple<std::vector<std::string>, std::size_t, std::size_t> cases[] = {
        {{"encode", "--batch", list}, 1, 200 << 20}, // args, lines, bytes per line
        {{"render", "--batch", list, "--outdir", dir.Path("out"), "--format", "png"}, 200000, 999}};
    for (const auto& [args, lines, bytes] : cases) {
        { std::ofstream(list) << "1\n"; }
        const long small = RunCli(args).peakKb;
        {
            std::ofstream out(list, std::ios::binary);
            for (std::size_t k = 0; k < lines; ++k) out << std::string(bytes, 'x') << '\n';
        }
        const RunResult r = RunCli(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_LT(r.peakKb, small + 32 * 1024) << args[0];
    }
}

// Entries planted where the batch writes: a link to someone's file, a FIFO and a folder
// are refused and left alone; a regular file is replaced whole.
TEST(CliBatch, PlantedEntriesAreRefusedAndLeftAlone) {
    for (const char* jobs : {"1", "2"}) {
        const TScratchFolder dir;
        const auto at = [&dir](int k) { return dir.Path("00000" + std::to_string(k) + ".png"); };
        { std::ofstream(dir.Path("victim")) << "important"; }
        std::filesystem::create_symlink(dir.Path("victim"), at(1));
        ASSERT_EQ(mkfifo(at(2).c_str(), 0600), 0);
        std::filesystem::create_directory(at(3));
        { std::ofstream(at(4)) << "old"; }
        const RunResult r = RunCli(
            {"render", "--batch", "-", "--outdir", dir.Dir(), "--format", "png", "--jobs", jobs},
            "1\n2\n3\n4\n5\n");
        EXPECT_EQ(r.status, 1);
        std::string expected;
        for (int k = 1; k <= 3; ++k)
            expected += "line " + std::to_string(k) + ": " + at(k) + " is not a regular file\n";
        EXPECT_EQ(r.err, expected);
        EXPECT_EQ(ReadWholeFile(dir.Path("victim")), "important");
        EXPECT_TRUE(std::filesystem::is_symlink(at(1)));
        EXPECT_TRUE(std::filesystem::is_fifo(at(2)));
        EXPECT_TRUE(std::filesystem::is_directory(at(3)));
        for (const int written : {4, 5})
            EXPECT_FALSE(QImage(QString::fromStdString(at(written))).isNull()) << written;
    }
}

// With fewer threads than --jobs asks for (a process limit), the batch runs on those it has.
// The limit is set here (root is not bound by it) and handed down to the program, which runs
// as a user of its own, so that no other process counts against it.
TEST(CliBatch, ThreadsThatCannotStartLeaveTheBatchWhole) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "LeakSanitizer needs a thread of its own, which the process limit denies";
#endif
    const TScratchFolder dir;
    chmod(dir.Dir().c_str(), 0777);
    std::string input;
    for (int k = 1; k <= 100; ++k) input += std::to_string(k) + "\n";
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NPROC, &saved), 0);
    for (const rlim_t processes : {1, 3}) {
        const rlimit limit{processes, saved.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_NPROC, &limit), 0);
        const RunResult r = RunCli(
            {"render", "--batch", "-", "--outdir", dir.Dir(), "--format", "bmp", "--jobs", "64"},
            input, 61903);
        ASSERT_EQ(setrlimit(RLIMIT_NPROC, &saved), 0);
        EXPECT_EQ(r.status, 0) << processes << ": " << r.err;
        EXPECT_EQ(r.err, "") << processes;
        EXPECT_EQ(dir.Names().size(), 100u) << processes;
    }
}

// A batch killed mid-way leaves every numbered file whole (as long as its header says)
// and no other file.
TEST(CliBatch, KilledBatchLeavesWholeFilesOnly) {
    std::string text;
    for (int k = 1; k <= 400; ++k) text += "CODE128_B\tHello" + std::to_string(k) + "\n";
    const TempFile lines(text);
    for (const std::size_t killAfter : {1u, 4u, 9u, 16u}) {
        const TScratchFolder dir;
        const pid_t pid = SpawnCli({"render", "--batch", "-", "--outdir", dir.Dir(), "--format",
                                    "bmp", "--scale", "8", "--jobs", "2"},
                                   lines.path());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (dir.Names().size() < killAfter && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << killAfter << ": the batch ended before the kill";
        for (const std::string& name : dir.Names()) {
            EXPECT_TRUE(std::regex_match(name, std::regex("[0-9]{6}\\.bmp"))) << name;
            const Bytes b = ReadWholeFile<Bytes>(dir.Path(name));
            ASSERT_GE(b.size(), 6u) << name;
            EXPECT_EQ(U32(b, 2), b.size()) << name;
        }
    }
}

// The inode of each file in a folder, by name.
std::map<std::string, ino_t> Inodes(const TScratchFolder& dir) {
    std::map<std::string, ino_t> inodes;
    for (const std::string& name : dir.Names()) {
        struct stat st {};
        if (stat(dir.Path(name).c_str(), &st) == 0) inodes[name] = st.st_ino;
    }
    return inodes;
}

// SIGTERM, SIGINT or SIGHUP while a batch on two threads replaces the files of an earlier
// one: the batch ends by that signal (its exit status tells it), leaving every file whole,
// the old picture or the new, and no hidden name of its own (".NAME.vmk-..."), whichever
// thread the signal reaches and whatever it is doing. One row per signal and moment: the
// number of files replaced (a new inode) before the signal. A signal ignored when the
// program starts (nohup) stays ignored: the batch goes on to the end.
TEST(CliBatch, EndingSignalsLeaveNoHiddenNames) {
    std::string oldLines, newLines;
    for (int k = 1; k <= 400; ++k) {
        oldLines += "CODE128_B\tOld" + std::to_string(k) + "\n";
        newLines += "CODE128_B\tNew" + std::to_string(k) + "\n";
    }
    const TempFile input(newLines);
    const TScratchFolder before, after;
    const auto batch = [](const std::string& dir) {
        return std::vector<std::string>{"render",   "--batch", "-",      "--outdir", dir,
                                        "--format", "bmp",     "--jobs", "2",        "--quiet"};
    };
    ASSERT_EQ(RunCli(batch(before.Dir()), oldLines).status, 0);
    ASSERT_EQ(RunCli(batch(after.Dir()), newLines).status, 0);
    const struct {
        int signal;
        std::size_t replaced;
        bool ignored = false;
    } rows[] = {{SIGTERM, 1}, {SIGTERM, 60}, {SIGINT, 20}, {SIGHUP, 100}, {SIGHUP, 20, true}};
    for (const auto& row : rows) {
        const TScratchFolder dir;
        std::filesystem::copy(before.Dir(), dir.Dir());
        const std::map<std::string, ino_t> old = Inodes(dir);
        const auto previous = std::signal(row.signal, row.ignored ? SIG_IGN : SIG_DFL);
        const pid_t pid = SpawnCli(batch(dir.Dir()), input.path());
        std::signal(row.signal, previous);
        for (std::size_t replaced = 0;
             replaced < row.replaced && waitpid(pid, nullptr, WNOHANG) == 0;) {
            replaced = 0;
            for (const auto& [name, inode] : Inodes(dir)) // a hidden name shows for a moment
                replaced += old.contains(name) && old.at(name) != inode;
        }
        kill(pid, row.signal);
        int status = 0;
        waitpid(pid, &status, 0);
        if (row.ignored)
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        else
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == row.signal)
                << strsignal(row.signal) << " after " << row.replaced << " files: status "
                << status;
        for (const std::string& name : dir.Names()) {
            EXPECT_TRUE(std::regex_match(name, std::regex("[0-9]{6}\\.bmp"))) << name;
            const std::string file = ReadWholeFile(dir.Path(name));
            EXPECT_TRUE(file == ReadWholeFile(after.Path(name)) ||
                        (!row.ignored && file == ReadWholeFile(before.Path(name))))
                << name << (row.ignored ? " not written" : " torn");
        }
    }
}

} // namespace
