// Writing a whole file through a temporary file and a rename.
#include "FileTesting.h"
#include "FileWriter.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

mode_t Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// The message of the EFileError that writing raises, or "" if none.
std::string WriteError(const std::string& path, std::string_view bytes) {
    try {
        WriteFileReplacing(path, bytes);
    } catch (const EFileError& e) {
        return e.what();
    }
    return "";
}

class FileWriter : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "varimark_writer_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        ::chmod(dir_.c_str(), 0700);
        fs::remove_all(dir_);
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    // The names in the directory: no temporary file may be left behind.
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.insert(entry.path().filename().string());
        return names;
    }

    std::string dir_;
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
    EXPECT_EQ(WriteError(path, "x"), "Cannot write file " + path + ": Is a directory");
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
    ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
    EXPECT_EQ(WriteError(path, "x"), "Cannot create file " + path + ": Permission denied");
    ASSERT_EQ(::chmod(dir_.c_str(), 0700), 0);
    EXPECT_EQ(ReadWholeFile(path), "old contents");
    EXPECT_EQ(Names(), std::set<std::string>{"out.bmp"});
}

// Kept writes: nothing reaches the disk while a keeper lives; the files are there in
// order, their parts joined; an inner keeper keeps its own, and without one files are
// written again; files larger than the keeper takes are written at once; cleared, the
// files kept take the next ones.
TEST(KeptWrites, StayInMemoryUntilWritten) {
    const std::string dir = ::testing::TempDir() + "vm_kept_" + std::to_string(getpid());
    fs::create_directories(dir);
    const std::vector<std::uint8_t> head{'B', 'M'}, body{1, 2, 3};
    const auto bytes = [](const TKeptFiles& files, std::size_t i) {
        return std::string(files.Bytes(i).begin(), files.Bytes(i).end());
    };
    TKeptFiles outerFiles, innerFiles;
    {
        TKeptWrites outer(outerFiles);
        WriteFileReplacing(
            dir + "/a", {std::span<const std::uint8_t>(head), std::span<const std::uint8_t>(body)});
        {
            TKeptWrites inner(innerFiles, 4);
            WriteFileReplacing(dir + "/b", std::string_view("in"));
            WriteFileReplacing(dir + "/e", std::string_view("large"));
        }
        WriteFileReplacing(dir + "/c", std::string_view("outer"));
    }
    for (const char* name : {"/a", "/b", "/c"}) EXPECT_FALSE(fs::exists(dir + name)) << name;
    EXPECT_EQ(ReadWholeFile(dir + "/e"), "large");
    ASSERT_EQ(innerFiles.Count(), 1u);
    EXPECT_EQ(innerFiles.Path(0), dir + "/b");
    EXPECT_EQ(bytes(innerFiles, 0), "in");
    ASSERT_EQ(outerFiles.Count(), 2u);
    EXPECT_EQ(outerFiles.Path(0), dir + "/a");
    EXPECT_EQ(bytes(outerFiles, 0), std::string("BM\x01\x02\x03"));
    EXPECT_EQ(outerFiles.Path(1), dir + "/c");
    EXPECT_EQ(bytes(outerFiles, 1), "outer");
    outerFiles.Clear();
    {
        TKeptWrites again(outerFiles);
        WriteFileReplacing(dir + "/f", std::string_view("next"));
    }
    ASSERT_EQ(outerFiles.Count(), 1u);
    EXPECT_EQ(outerFiles.Path(0), dir + "/f");
    EXPECT_EQ(bytes(outerFiles, 0), "next");
    WriteFileReplacing(dir + "/d", std::string_view("written"));
    EXPECT_EQ(ReadWholeFile(dir + "/d"), "written");
    fs::remove_all(dir);
}

} // namespace
