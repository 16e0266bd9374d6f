// Writing a whole file: a new file that takes the name when complete.
#include "FileTesting.h"
#include "export/FileWriter.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
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

// The message of the EFileError that writing raises, or "" if none.
std::string WriteError(const std::string& path, std::string_view bytes,
                       TWriteMode mode = TWriteMode::Save) {
    try {
        WriteFileReplacing(path, bytes, mode);
    } catch (const EFileError& e) {
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
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 100;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string message = WriteError(path, std::string(1000, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
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

// A batch (no durable writes) makes its files in the folder itself: anything at the name
// but a regular file is refused and left alone, and a link is never written through.
TEST_F(FileWriter, BatchRefusesWhatIsNotARegularFile) {
    std::ofstream(Path("victim")) << "important";
    ASSERT_EQ(::symlink(Path("victim").c_str(), Path("1.png").c_str()), 0);
    ASSERT_EQ(::symlink("gone", Path("2.png").c_str()), 0);
    ASSERT_EQ(::mkfifo(Path("3.png").c_str(), 0600), 0);
    fs::create_directory(Path("4.png"));
    std::ofstream(Path("5.png")) << "old";
    const auto before = Names();
    for (const char* name : {"1.png", "2.png", "3.png", "4.png"})
        EXPECT_EQ(WriteError(Path(name), "x", TWriteMode::Bulk),
                  Path(name) + " is not a regular file");
    WriteFileReplacing(Path("5.png"), std::string_view("new"), TWriteMode::Bulk);
    EXPECT_EQ(ReadWholeFile(Path("victim")), "important");
    EXPECT_TRUE(fs::is_symlink(Path("1.png")) && fs::is_symlink(Path("2.png")) &&
                fs::is_fifo(Path("3.png")) && fs::is_directory(Path("4.png")));
    EXPECT_EQ(ReadWholeFile(Path("5.png")), "new");
    EXPECT_EQ(Names(), before);
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

} // namespace
