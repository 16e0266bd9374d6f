// "varimark-cli render --batch": numbered files byte-identical to single renders whatever
// the number of workers, failing lines reported while the others are written, standard
// input, no progress bar off a terminal, and quiet zones.
#include "CliRunner.h"
#include "FileTesting.h"

#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Folder(const std::string& name) {
    return ::testing::TempDir() + "vm_batch_" + std::to_string(getpid()) + "_" + name;
}

// Lines of every kind: text alone, type and text, type, text and add-on, an empty text.
const std::string kLines = "400638133393\n"
                           "CODE128_B\tHello\n"
                           "upc-a\t03600029145\t12\n"
                           "\n"
                           "Codabar\tb12-34d\n";

struct Single {
    std::vector<std::string> args; // as one render of the same line
};
const Single kSingles[] = {{{"--type", "EAN_13", "400638133393"}},
                           {{"--type", "CODE128_B", "Hello"}},
                           {{"--type", "UPC_A", "--addon", "12", "03600029145"}},
                           {{"--type", "EAN_13", ""}},
                           {{"--type", "Codabar", "b12-34d"}}};

TEST(CliBatch, FilesEqualSingleRendersWhateverTheJobs) {
    for (const char* format : {"bmp", "gif", "svg", "png"}) {
        for (const char* jobs : {"1", "2"}) {
            const std::string folder = Folder(std::string(format) + jobs);
            const RunResult r = RunCli({"render", "--type", "EAN_13", "--batch", "-", "--outdir",
                                        folder, "--format", format, "--jobs", jobs, "--scale", "2"},
                                       kLines);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "");
            for (std::size_t k = 0; k < std::size(kSingles); ++k) {
                char name[32];
                std::snprintf(name, sizeof name, "/%06zu.%s", k + 1, format);
                const std::string single = folder + "_single." + format;
                std::vector<std::string> args{"render", "--scale", "2", "-o", single};
                args.insert(args.end(), kSingles[k].args.begin(), kSingles[k].args.end());
                ASSERT_EQ(RunCli(args).status, 0);
                EXPECT_EQ(ReadWholeFile(folder + name), ReadWholeFile(single))
                    << format << " line " << k + 1;
                std::remove(single.c_str());
            }
            EXPECT_FALSE(FileExists(folder + "/000006." + format)); // the final newline adds none
            std::system(("rm -rf '" + folder + "'").c_str());
        }
    }
}

TEST(CliBatch, FailingLinesAreReportedAndTheOthersWritten) {
    const std::string folder = Folder("failing");
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
    EXPECT_EQ(r.err, "line 2: BarcoLL: Code128 error\n"
                     "line 3: unknown type 'NOPE'\n"
                     "line 4: too many fields: TEXT, TYPE<TAB>TEXT or TYPE<TAB>TEXT<TAB>ADDON\n"
                     "line 5: String exceeds maximum length\n");
    for (const char* written : {"/deep/er/000001.png", "/deep/er/000006.png"})
        EXPECT_TRUE(FileExists(folder + written)) << written;
    for (const char* missing : {"/deep/er/000002.png", "/deep/er/000005.png"})
        EXPECT_FALSE(FileExists(folder + missing)) << missing;
    std::system(("rm -rf '" + folder + "'").c_str());
}

// Hundreds of lines on two threads, one of which writes the files the other draws: every
// failure, in drawing or in writing, is told with its own line, and every other file is
// there and equals its single render.
TEST(CliBatch, ManyLinesOnTwoThreadsKeepTheirFilesAndFailures) {
    const std::string folder = Folder("many");
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
    std::system(("rm -rf '" + folder + "'").c_str());
}

TEST(CliBatch, FromAFileWithoutProgressOffATerminal) {
    const std::string folder = Folder("file");
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
    std::system(("rm -rf '" + folder + "'").c_str());
}

TEST(CliBatch, UsageErrors) {
    const std::vector<std::string> cases[] = {
        {"render", "--batch", "-", "--format", "png"},                  // no --outdir
        {"render", "--batch", "-", "--outdir", "x"},                    // no --format
        {"render", "--batch", "-", "--outdir", "x", "--format", "xyz"}, // unknown format
        {"render", "--batch", "-", "--outdir", "x", "--format", "png", "-o", "y.png"},
        {"render", "--outdir", "x", "-o", "y.png", "1"}, // --outdir alone
        {"render", "--batch", "-", "--outdir", "x", "--format", "png", "--jobs", "0"}};
    for (const auto& args : cases) EXPECT_EQ(RunCli(args, "1\n").status, 2) << args.back();
    EXPECT_EQ(RunCli({"render", "--batch", "/nonexistent.txt", "--outdir", Folder("n"), "--format",
                      "png"})
                  .status,
              1);
}

// Quiet zones widen the margin to the symbology's minimum, counted from the bars.
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
            const std::string path = Folder("zone.png");
            std::vector<std::string> args{"render", "-o", path};
            if (zoned) args.push_back("--quiet-zones");
            args.insert(args.end(), c.args.begin(), c.args.end());
            ASSERT_EQ(RunCli(args).status, 0);
            EXPECT_EQ(QImage(QString::fromStdString(path)).size(), zoned ? c.zoned : c.plain)
                << c.args.back() << (zoned ? " zoned" : "");
            std::remove(path.c_str());
        }
    }
}

} // namespace
