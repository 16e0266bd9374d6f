// Writing a whole file: a new file that takes the name when complete.
#include "FileTesting.h"
#include "export/FileWriter.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <tuple>
#include <vector>

using namespace varimark;

namespace {

namespace fs = std::filesystem;

mode_t Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// The message of the EFile that writing raises, or "" if none.
std::string WriteError(const std::string& path, std::string_view bytes,
                       TWriteMode mode = TWriteMode::Save) {
    try {
        WriteFileReplacing(path, bytes, mode);
    } catch (const EFile& e) {
        return e.what();
    }
    return "";
}

class FileWriter : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return folder_.Path(name); }
    std::set<std::string> Names() const { return folder_.Names(); }

    TScratchFolder folder_;
    const std::string& dir_ = folder_.Dir();
};

TEST_F(FileWriter, NewFileGetsTheModeOfAPlainCreate) {
    for (mode_t mask : {022, 027, 077, 0}) {
        const mode_t old = ::umask(mask);
        const std::string path = Path("new" + std::to_string(mask));
        WriteFileReplacing(path, std::string_view("abc"));
        ::umask(old);
        EXPECT_EQ(ReadWholeFile(path), "abc");
        EXPECT_EQ(Mode(path), 0666 & ~mask) << std::oct << mask;
    }
    EXPECT_EQ(Names().size(), 4u);
}

TEST_F(FileWriter, ReplacesAndKeepsPermissions) {
    const std::string path = Path("out.bmp");
    WriteFileReplacing(path, std::string_view("old contents"));
    ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
    std::vector<std::uint8_t> big(3 << 20);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
    WriteFileReplacing(path, big);
    EXPECT_EQ(ReadWholeFile(path), std::string(big.begin(), big.end()));
    EXPECT_EQ(Mode(path), 0604u);
    WriteFileReplacing(path, std::span<const std::uint8_t>());
    EXPECT_EQ(ReadWholeFile(path), "");
    EXPECT_EQ(Names(), std::set<std::string>{"out.bmp"});
}

TEST_F(FileWriter, RelativePathAndSymbolicLink) {
    const fs::path cwd = fs::current_path();
    fs::current_path(dir_);
    WriteFileReplacing("plain", std::string_view("relative"));
    fs::current_path(cwd);
    EXPECT_EQ(ReadWholeFile(Path("plain")), "relative");

    // Like a plain create, writing through a link replaces the file it points to.
    ASSERT_EQ(::symlink("plain", Path("link").c_str()), 0);
    WriteFileReplacing(Path("link"), std::string_view("through the link"));
    EXPECT_TRUE(fs::is_symlink(Path("link")));
    EXPECT_EQ(ReadWholeFile(Path("plain")), "through the link");
    EXPECT_EQ(Names(), (std::set<std::string>{"link", "plain"}));
}

TEST_F(FileWriter, MissingDirectory) {
    const std::string path = Path("missing/out.bmp");
    EXPECT_EQ(WriteError(path, "x"), "Cannot create file " + path + ": No such file or directory");
    EXPECT_EQ(WriteError("", "x"), "Cannot create file : No such file or directory");
    EXPECT_TRUE(Names().empty());
}

TEST_F(FileWriter, TargetIsADirectory) {
    const std::string path = Path("sub");
    fs::create_directory(path);
    std::ofstream(path + "/inside") << "kept";
    EXPECT_EQ(WriteError(path, "x"), "Cannot write file " + path + ": it is a directory");
    EXPECT_EQ(ReadWholeFile(path + "/inside"), "kept");
    EXPECT_EQ(Names(), std::set<std::string>{"sub"});
}

TEST_F(FileWriter, FailedWriteLeavesTheOldFile) {
    const std::string path = Path("out.bmp");
    WriteFileReplacing(path, std::string_view("old contents"));
    // A file size limit makes the write fail part way (EFBIG instead of SIGXFSZ).
    const std::string message =
        WithFileSizeLimit([&] { return WriteError(path, std::string(1000, 'n')); }, 100);
    EXPECT_EQ(message, "Cannot write file " + path + ": File too large");
    EXPECT_EQ(ReadWholeFile(path), "old contents");
    EXPECT_EQ(Names(), std::set<std::string>{"out.bmp"});
}

TEST_F(FileWriter, ReadOnlyDirectoryAndFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "running as root, which ignores file permissions";
    const std::string path = Path("out.bmp");
    WriteFileReplacing(path, std::string_view("old contents"));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(WriteError(path, "x"), "Cannot create file " + path + ": Permission denied");
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    EXPECT_EQ(ReadWholeFile(path), "old contents");
    // A folder that may not be written: the complete bytes go over the file's content.
    ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
    EXPECT_EQ(WriteError(path, "new"), "");
    ASSERT_EQ(::chmod(dir_.c_str(), 0700), 0);
    EXPECT_EQ(ReadWholeFile(path), "new");
    EXPECT_EQ(Names(), std::set<std::string>{"out.bmp"});
}

// Writes as a batch does: by the whole path in bulk, or by name into the folder opened
// once; the message of the EFile raised, or "" if none.
std::string BulkWriteError(const TScratchFolder& folder, const std::string& name,
                           std::string_view bytes, bool opened) {
    const std::span<const std::uint8_t> span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             bytes.size());
    try {
        if (opened)
            TBulkFolder(folder.Dir()).Write(name, span);
        else
            WriteFileReplacing(folder.Path(name), span, TWriteMode::Bulk);
    } catch (const EFile& e) {
        return e.what();
    }
    return "";
}

// A batch (no durable writes) makes its files in the folder itself: anything at the name
// but a regular file is refused and left alone, and a link is never written through.
TEST(BulkWrite, RefusesWhatIsNotARegularFile) {
    for (const bool opened : {false, true}) {
        const TScratchFolder folder;
        const auto path = [&](const std::string& name) { return folder.Path(name); };
        std::ofstream(path("victim")) << "important";
        ASSERT_EQ(::symlink(path("victim").c_str(), path("1.png").c_str()), 0);
        ASSERT_EQ(::symlink("gone", path("2.png").c_str()), 0);
        ASSERT_EQ(::mkfifo(path("3.png").c_str(), 0600), 0);
        fs::create_directory(path("4.png"));
        std::ofstream(path("5.png")) << "old";
        const auto before = folder.Names();
        for (const char* name : {"1.png", "2.png", "3.png", "4.png"})
            EXPECT_EQ(BulkWriteError(folder, name, "x", opened),
                      path(name) + " is not a regular file")
                << opened;
        EXPECT_EQ(BulkWriteError(folder, "5.png", "new", opened), "");
        EXPECT_EQ(ReadWholeFile(path("victim")), "important");
        EXPECT_TRUE(fs::is_symlink(path("1.png")) && fs::is_symlink(path("2.png")) &&
                    fs::is_fifo(path("3.png")) && fs::is_directory(path("4.png")));
        EXPECT_EQ(ReadWholeFile(path("5.png")), "new");
        EXPECT_EQ(folder.Names(), before) << opened;
    }
}

// Both ways give a new file the mode of a plain create, keep a replaced file's mode and
// tell a missing folder by the file's path.
TEST(BulkWrite, NewReplacedAndMissing) {
    for (const bool opened : {false, true}) {
        const TScratchFolder folder;
        const mode_t old = ::umask(027);
        EXPECT_EQ(BulkWriteError(folder, "000001.gif", "one", opened), "");
        ::umask(old);
        EXPECT_EQ(Mode(folder.Path("000001.gif")), 0640u) << opened;
        std::ofstream(folder.Path("000002.gif")) << "old";
        ASSERT_EQ(::chmod(folder.Path("000002.gif").c_str(), 0604), 0);
        EXPECT_EQ(BulkWriteError(folder, "000002.gif", "two", opened), "");
        EXPECT_EQ(Mode(folder.Path("000002.gif")), 0604u) << opened;
        EXPECT_EQ(ReadWholeFile(folder.Path("000001.gif")) +
                      ReadWholeFile(folder.Path("000002.gif")),
                  "onetwo");
        EXPECT_EQ(folder.Names(), (std::set<std::string>{"000001.gif", "000002.gif"}));

        const TScratchFolder gone;
        const std::string dir = gone.Dir();
        fs::remove(dir);
        const std::string message =
            "Cannot create file " + dir + "/x.gif: No such file or directory";
        if (opened) {
            const std::span<const std::uint8_t> none;
            try {
                TBulkFolder(dir).Write("x.gif", none);
                ADD_FAILURE() << "no error";
            } catch (const EFile& e) {
                EXPECT_EQ(e.what(), message);
            }
        } else {
            EXPECT_EQ(WriteError(dir + "/x.gif", "", TWriteMode::Bulk), message);
        }
    }
}

// A replaced file keeps its content's owner, group and permissions, in both modes.
TEST_F(FileWriter, ReplacedFileKeepsOwnerAndMode) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another owner";
    const std::string path = Path("owned.bmp");
    for (const TWriteMode mode : {TWriteMode::Save, TWriteMode::Bulk}) {
        std::ofstream(path) << "old";
        ASSERT_EQ(::chown(path.c_str(), 4321, 8765), 0);
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        WriteFileReplacing(path, std::string_view("new"), mode);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(std::tuple(st.st_uid, st.st_gid, st.st_mode & 07777),
                  std::tuple(4321u, 8765u, 0640u))
            << (mode == TWriteMode::Save);
        EXPECT_EQ(ReadWholeFile(path), "new");
    }
    EXPECT_EQ(Names(), std::set<std::string>{"owned.bmp"});
}

// The number and start time of a process that has ended: a child, reaped.
std::pair<int, std::uint64_t> EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    const std::uint64_t start = ProcessStartTime(child);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return {child, start};
}

// The same hidden name as if made on another system (boot or process namespace).
std::string OnAnotherSystem(std::string name) {
    const std::size_t system = name.size() - 6 - 1 - 8; // before "-" and 6 random letters
    const std::string other = name.substr(system, 8) == "ffffffff" ? "00000000" : "ffffffff";
    return name.replace(system, 8, other);
}

// What the next replacing save in a folder does to the names there: hidden names of ended
// processes go, whatever file they were for; everything else stays (one row each).
TEST(AbandonedNames, TheNextReplacingSaveRemovesOnlyThoseOfEndedProcesses) {
    const auto [ended, endedStart] = EndedProcess();
    ASSERT_NE(endedStart, 0u) << "no /proc to tell start times";
    const int self = ::getpid();
    const std::uint64_t selfStart = ProcessStartTime(self);
    const std::string dead = HiddenNameOf("label.bmp", ended, endedStart);
    ASSERT_EQ(dead.substr(0, 15), ".label.bmp.vmk-");
    const auto old = [](const std::string& path) {
        const timespec twoDaysAgo{std::time(nullptr) - 2 * 24 * 60 * 60, 0};
        const timespec times[2] = {twoDaysAgo, twoDaysAgo};
        return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
    };
    struct TRow {
        std::string name;
        bool removed;
        // Makes the entry at path (a file with "x" when empty).
        std::function<bool(const std::string& path)> make = {};
    };
    const std::vector<TRow> rows = {
        {dead, true},
        {HiddenNameOf("other.png", ended, endedStart), true},
        {HiddenNameOf("label.bmp", self, selfStart), false},    // still running
        {HiddenNameOf("label.bmp", self, selfStart + 1), true}, // the number used again
        {HiddenNameOf("label.bmp", ended, 0), false},           // the start not told
        {OnAnotherSystem(dead), false},                         // may still run there
        {OnAnotherSystem(HiddenNameOf("x.bmp", ended, endedStart)), true, old},
        {dead.substr(1), false},                               // not hidden
        {dead.substr(0, dead.size() - 1), false},              // 5 random letters
        {dead.substr(0, dead.size() - 1) + "X", false},        // a capital
        {".vmk-" + dead.substr(dead.find("vmk-") + 4), false}, // no file name
        {".label.bmp.abc123", false},                          // a name of other programs
        {dead + "x", false},
        {HiddenNameOf("link.bmp", ended, endedStart), false,
         [](const std::string& path) { return ::symlink("victim", path.c_str()) == 0; }},
        {HiddenNameOf("dir.bmp", ended, endedStart), false,
         [](const std::string& path) { return ::mkdir(path.c_str(), 0700) == 0; }},
        {HiddenNameOf("theirs.bmp", ended, endedStart), false,
         [](const std::string& path) {
             std::ofstream(path) << "x";
             return ::geteuid() == 0 && ::chown(path.c_str(), 4321, 4321) == 0;
         }},
    };
    for (const TWriteMode mode : {TWriteMode::Save, TWriteMode::Bulk}) {
        const TScratchFolder folder;
        std::ofstream(folder.Path("label.bmp")) << "old";
        std::ofstream(folder.Path("victim")) << "kept";
        std::set<std::string> expected = {"label.bmp", "victim"};
        for (const TRow& row : rows) {
            const std::string path = folder.Path(row.name);
            if (row.make) {
                if (!row.make(path)) continue; // this system cannot make it
            } else {
                std::ofstream(path) << "x";
            }
            if (!row.removed) expected.insert(row.name);
        }
        if (mode == TWriteMode::Save)
            WriteFileReplacing(folder.Path("label.bmp"), std::string_view("new"));
        else
            TBulkFolder(folder.Dir()).Write("label.bmp", std::span<const std::uint8_t>());
        EXPECT_EQ(folder.Names(), expected) << (mode == TWriteMode::Save ? "save" : "batch");
        EXPECT_EQ(ReadWholeFile(folder.Path("victim")), "kept");
    }
}

} // namespace
