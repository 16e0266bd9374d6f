// What a save does to whatever stands at the chosen name, for the save function and for
// "varimark-cli render": each row sets up the folder and states what must be on disk
// afterwards. A kill in the middle of a save, of a single file or of a batch, leaves
// only whole files.
#include "ByteReading.h"
#include "CliRunner.h"
#include "FileTesting.h"
#include "UpcaBarcode.h"
#include "render/PictureSave.h"

#include <gtest/gtest.h>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sched.h>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace varimark;

namespace {

namespace fs = std::filesystem;

constexpr const char* kText = "03600029145";
// A factor whose bitmap file (about 110 MB) takes a while to write.
constexpr int kLargeFactor = 60;

std::vector<std::string> CliArgs(const std::string& path, int factor) {
    return {"render", "--type", "UPC_A", "--scale", std::to_string(factor), "-o", path, kText};
}

std::string SaveInProcess(const std::string& path, int factor) {
    Upca upca;
    try {
        SaveBarcodePicture(upca.Draw(), 2, factor, 96, path);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

// One way of saving the label (margin 2): the save function, or the command-line tool.
struct Saver {
    const char* name;
    std::string (*save)(const std::string& path, int factor); // "" or the error message
    pid_t (*start)(const std::string& path, int factor);      // a save in a process of its own
};

void PrintTo(const Saver& saver, std::ostream* out) {
    *out << saver.name;
}

const Saver kSavers[] = {
    {"Function", SaveInProcess,
     [](const std::string& path, int factor) {
         const pid_t pid = fork();
         if (pid == 0) _exit(SaveInProcess(path, factor).empty() ? 0 : 1);
         return pid;
     }},
    {"Cli",
     [](const std::string& path, int factor) -> std::string {
         const RunResult r = RunCli(CliArgs(path, factor));
         return r.status == 0 ? "" : "exit " + std::to_string(r.status) + ": " + r.err;
     },
     [](const std::string& path, int factor) {
         return SpawnCli(CliArgs(path, factor), "/dev/null");
     }},
};

// Kills the process once it has a file open in the folder (it is writing the picture).
void KillWhileWriting(pid_t pid, const std::string& dir) {
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    bool writing = false;
    for (int i = 0; i < 600000 && !writing && waitpid(pid, nullptr, WNOHANG) != pid; ++i) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(fds, error))
            writing |= fs::read_symlink(entry.path(), error).string().starts_with(dir + "/");
        usleep(100);
    }
    EXPECT_TRUE(writing) << "the save ended before it wrote";
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// Keeps a folder from taking new names (true; false when this system cannot) or lets it
// again. Root ignores permissions, but not the immutable flag.
bool SetReadOnly(const std::string& dir, bool readOnly) {
    if (!readOnly) {
        if (geteuid() == 0) std::system(("chattr -i '" + dir + "' 2>/dev/null").c_str());
        return chmod(dir.c_str(), 0700) == 0;
    }
    if (geteuid() != 0) return chmod(dir.c_str(), 0555) == 0;
    return std::system(("chattr +i '" + dir + "' 2>/dev/null").c_str()) == 0;
}

// Entries in a folder, by name: "*" the picture, "->X" a link to X, "fifo" a FIFO (with a
// reader that gets the picture), "zero" a character device (own or the system's), "?" any
// file, else a file with that content; "a/b" is b in folder a.
using Entries = std::vector<std::pair<std::string, std::string>>;

// How the save goes: into a plain folder, a read-only one, a full disk, a read-only folder
// on a full disk, killed while it writes into a plain folder, past the file size limit, and
// where the file system has no unnamed files (so under a hidden name), alone or past the
// limit.
enum THow {
    kPlain,
    kReadOnly,
    kFullDisk,
    kFullReadOnly,
    kKilled,
    kFileSizeLimit,
    kHiddenName,
    kHiddenNameSizeLimit
};

// Runs save in a child process where opening an unnamed file (O_TMPFILE) fails with
// EOPNOTSUPP, as on a file system without them, so that a save takes a hidden name; gives
// what save returned, or why the child could not run it.
std::string WithoutUnnamedFiles(const std::function<std::string()>& save) {
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        constexpr unsigned kTmpFile = O_TMPFILE & ~O_DIRECTORY;
        sock_filter filter[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 4),
                                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
                                BPF_STMT(BPF_ALU | BPF_AND | BPF_K, kTmpFile),
                                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kTmpFile, 0, 1),
                                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
                                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
        const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
        const std::string said = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
                                         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0
                                     ? "no seccomp filter"
                                     : save();
        const ssize_t written = write(fds[1], said.data(), said.size());
        _exit(written == static_cast<ssize_t>(said.size()) ? 0 : 1);
    }
    close(fds[1]);
    std::string said;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return said;
}

struct Row {
    const char* name;
    Entries before;    // then "label.bmp" is saved
    const char* error; // part of the message, or "" when the save succeeds
    Entries after;     // every name in the folder afterwards
    THow how = kPlain;
};

class FileTarget : public ::testing::TestWithParam<std::tuple<Saver, int>> {
public:
    std::string Path(const std::string& name) const { return folder_.Path(name); }

    // Makes the entries; false when this system cannot.
    bool Make(const Row& row) {
        const bool full = row.how == kFullDisk || row.how == kFullReadOnly;
        if (full && !MountFullDisk()) return false;
        for (const auto& [name, what] : row.before) {
            const std::string path = Path(name);
            if (name.find('/') != std::string::npos)
                fs::create_directories(fs::path(path).parent_path());
            if (what.starts_with("->")) {
                EXPECT_EQ(symlink(what.c_str() + 2, path.c_str()), 0) << name;
            } else if (what == "fifo") {
                EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
                fifo_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
                EXPECT_GE(fcntl(fifo_, F_SETPIPE_SZ, 1 << 20), 0); // takes a whole picture
            } else if (what == "zero") {
                EXPECT_TRUE(MakeZeroDevice(path) || symlink("/dev/zero", path.c_str()) == 0);
            } else {
                std::ofstream(path) << what;
            }
        }
        if (full) FillDisk();
        return (row.how != kReadOnly && row.how != kFullReadOnly) ||
               SetReadOnly(folder_.Dir(), true);
    }

    void Check(const Row& row, const std::string& picture) {
        MakeWritable();
        std::set<std::string> names;
        for (const auto& [name, what] : row.after) {
            names.insert(name.substr(0, name.find('/')));
            const std::string path = Path(name);
            std::error_code error;
            struct stat st {};
            if (what.starts_with("->")) {
                EXPECT_EQ(fs::read_symlink(path, error).string(), what.substr(2)) << name;
            } else if (what == "fifo") {
                EXPECT_TRUE(fs::is_fifo(path));
                std::string received;
                char buffer[65536];
                for (ssize_t n; (n = read(fifo_, buffer, sizeof buffer)) > 0;)
                    received.append(buffer, static_cast<std::size_t>(n));
                EXPECT_EQ(received, picture);
            } else if (what == "zero") {
                EXPECT_TRUE(stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) << name;
            } else if (what != "?") {
                EXPECT_EQ(ReadWholeFile(path), what == "*" ? picture : what) << name;
            }
        }
        EXPECT_EQ(folder_.Names(), names);
    }

    void TearDown() override {
        if (fifo_ >= 0) close(fifo_);
        MakeWritable();
        if (mounted_) umount2(folder_.Dir().c_str(), MNT_DETACH);
    }

    TScratchFolder folder_;

private:
    // A full disk: a small file system of its own at the folder, in a mount namespace of
    // this process (its children share it), filled up once the entries are made.
    bool MountFullDisk() {
        if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("varimark", folder_.Dir().c_str(), "tmpfs", 0, "size=256k") != 0)
            return false;
        mounted_ = true;
        return true;
    }
    void FillDisk() {
        std::ofstream filler(Path("filler"), std::ios::binary);
        const std::string block(4096, 'f');
        for (int i = 0; i < 1024 && filler.write(block.data(), block.size()); ++i) filler.flush();
    }
    void MakeWritable() { SetReadOnly(folder_.Dir(), false); }

    int fifo_ = -1;
    bool mounted_ = false;
};

// clang-format off
const Row kRows[] = {
    {"Missing", {}, "", {{"label.bmp", "*"}}},
    {"Regular", {{"label.bmp", "old"}}, "", {{"label.bmp", "*"}}},
    {"CaseTwin", {{"label.BMP", "twin"}}, "", {{"label.bmp", "*"}, {"label.BMP", "twin"}}},
    {"LinkToRegular", {{"real.bmp", "old"}, {"label.bmp", "->real.bmp"}}, "",
     {{"label.bmp", "->real.bmp"}, {"real.bmp", "*"}}},
    {"DanglingLink", {{"label.bmp", "->made.bmp"}}, "",
     {{"label.bmp", "->made.bmp"}, {"made.bmp", "*"}}},
    {"LinkLoop", {{"label.bmp", "->other.bmp"}, {"other.bmp", "->label.bmp"}},
     ": Too many levels of symbolic links",
     {{"label.bmp", "->other.bmp"}, {"other.bmp", "->label.bmp"}}},
    {"Fifo", {{"label.bmp", "fifo"}}, "", {{"label.bmp", "fifo"}}},
    {"CharacterDevice", {{"zero", "zero"}, {"label.bmp", "->zero"}}, "",
     {{"label.bmp", "->zero"}, {"zero", "zero"}}},
    {"Directory", {{"label.bmp/inside", "kept"}}, ": it is a directory",
     {{"label.bmp/inside", "kept"}}},
    {"ReadOnlyFolderWritableFile", {{"label.bmp", "old"}}, "", {{"label.bmp", "*"}}, kReadOnly},
    {"FullDisk", {{"label.bmp", "old"}}, ": No space left on device",
     {{"label.bmp", "old"}, {"filler", "?"}}, kFullDisk},
    // Written over in place: room is taken before the file is emptied.
    {"FullDiskReadOnlyFolder", {{"label.bmp", "old"}}, ": No space left on device",
     {{"label.bmp", "old"}, {"filler", "?"}}, kFullReadOnly},
    {"KilledWhileWriting", {{"label.bmp", "old"}}, "", {{"label.bmp", "old"}}, kKilled},
    {"FileSizeLimit", {{"label.bmp", "old"}}, ": File too large", {{"label.bmp", "old"}},
     kFileSizeLimit},
    {"FileSizeLimitNew", {}, ": File too large", {}, kFileSizeLimit},
    {"HiddenName", {{"label.bmp", "old"}}, "", {{"label.bmp", "*"}}, kHiddenName},
    {"HiddenNameSizeLimit", {{"label.bmp", "old"}}, ": File too large", {{"label.bmp", "old"}},
     kHiddenNameSizeLimit},
    {"HiddenNameSizeLimitNew", {}, ": File too large", {}, kHiddenNameSizeLimit},
};
// clang-format on

TEST_P(FileTarget, LeavesWhatTheRowSays) {
    const Saver& saver = std::get<0>(GetParam());
    const Row& row = kRows[std::get<1>(GetParam())];
    // The picture as the saver writes it to a plain new file.
    TScratchFolder reference;
    ASSERT_EQ(saver.save(reference.Path("label.bmp"), 1), "");
    const std::string picture = ReadWholeFile(reference.Path("label.bmp"));
    ASSERT_EQ(picture.substr(0, 2), "BM");

    if (!Make(row)) GTEST_SKIP() << "this system cannot set the row up";
    if (row.how == kKilled) {
        KillWhileWriting(saver.start(Path("label.bmp"), kLargeFactor), folder_.Dir());
    } else {
        const auto save = [&] { return saver.save(Path("label.bmp"), 1); };
        const auto limited = [&] { return WithFileSizeLimit(save); };
        const std::string error = row.how == kFileSizeLimit         ? limited()
                                  : row.how == kHiddenName          ? WithoutUnnamedFiles(save)
                                  : row.how == kHiddenNameSizeLimit ? WithoutUnnamedFiles(limited)
                                                                    : save();
        if (*row.error == '\0')
            EXPECT_EQ(error, "");
        else
            EXPECT_NE(error.find(row.error), std::string::npos) << error;
    }
    Check(row, picture);
}

INSTANTIATE_TEST_SUITE_P(Rows, FileTarget,
                         ::testing::Combine(::testing::ValuesIn(kSavers),
                                            ::testing::Range(0,
                                                             static_cast<int>(std::size(kRows)))),
                         [](const auto& row) {
                             return std::string(std::get<0>(row.param).name) + "_" +
                                    kRows[std::get<1>(row.param)].name;
                         });

// A batch killed while it writes leaves whole files only: each as large as its header says.
TEST(FileTargetBatch, KilledLeavesWholeFilesOnly) {
    TScratchFolder folder;
    std::ofstream(folder.Path("lines.txt")) << kText << "\n" << kText << "\n" << kText << "\n";
    const std::string out = folder.Path("out");
    fs::create_directory(out);
    KillWhileWriting(
        SpawnCli({"render", "--type", "UPC_A", "--scale", std::to_string(kLargeFactor), "--batch",
                  folder.Path("lines.txt"), "--outdir", out, "--format", "bmp", "--jobs", "1"},
                 "/dev/null"),
        out);
    for (const auto& entry : fs::directory_iterator(out)) {
        const Bytes file = ReadWholeFile<Bytes>(entry.path().string());
        ASSERT_GT(file.size(), 54u) << entry.path();
        EXPECT_EQ(file.size(), U32(file, 2)) << entry.path();
    }
}

// Over a writable file in a folder that takes no new names, the picture is written into
// the file in place, which cannot be atomic: a kill while the file is open for it leaves
// the old picture, the new one, or the start of the new one (cut short, which every reader
// tells), never old bytes after new ones. The old picture is the larger, so that its tail
// would show.
TEST(FileTargetWriteOver, KilledLeavesTheOldTheNewOrTheStartOfTheNew) {
    TScratchFolder folder;
    const std::string path = folder.Path("label.bmp");
    ASSERT_EQ(
        RunCli({"render", "--type", "UPC_A", "--scale", "16", "-o", path, "01234567890"}).status,
        0);
    const std::string old = ReadWholeFile(path);
    ASSERT_EQ(RunCli(CliArgs(path, 12)).status, 0);
    const std::string picture = ReadWholeFile(path);
    ASSERT_LT(picture.size(), old.size());
    if (!SetReadOnly(folder.Dir(), true)) GTEST_SKIP() << "this system cannot set it up";
    for (int round = 0; round < 4; ++round) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << old;
        KillWhileWriting(SpawnCli(CliArgs(path, 12), "/dev/null"), folder.Dir());
        const std::string now = ReadWholeFile(path);
        EXPECT_TRUE(now == old || picture.starts_with(now))
            << round << ": " << now.size() << " bytes, neither the old picture nor the start "
            << "of the new";
    }
    SetReadOnly(folder.Dir(), false);
    EXPECT_EQ(folder.Names(), std::set<std::string>{"label.bmp"});
}

// The batch and verify --report past the file size limit: each says which file it could
// not write and why, and leaves nothing of its own beside what was there.
TEST(FileSizeLimit, BatchAndReportSayWhatFailedAndLeaveNothing) {
    TScratchFolder folder;
    std::ofstream(folder.Path("lines.txt")) << kText << "\n";
    fs::create_directory(folder.Path("out"));
    ASSERT_EQ(RunCli(CliArgs(folder.Path("label.png"), 1)).status, 0);
    const std::set<std::string> before = folder.Names();
    struct TRow {
        std::vector<std::string> args;
        int status;
        std::string error; // on standard error
    };
    const TRow kCommands[] = {
        {{"render", "--type", "UPC_A", "--batch", folder.Path("lines.txt"), "--outdir",
          folder.Path("out"), "--format", "bmp"},
         1,
         "line 1: Cannot write file " + folder.Path("out/000001.bmp") + ": File too large\n"},
        {{"verify", "--dpi", "96", "--report", folder.Path("report.png"), folder.Path("label.png")},
         1,
         "varimark-cli: Cannot write file " + folder.Path("report.png") + ": File too large\n"},
    };
    for (const TRow& row : kCommands) {
        const RunResult r = WithFileSizeLimit([&] { return RunCli(row.args); });
        EXPECT_EQ(r.status, row.status) << row.args[0];
        EXPECT_EQ(r.err, row.error) << row.args[0];
        EXPECT_EQ(folder.Names(), before) << row.args[0];
        EXPECT_TRUE(fs::is_empty(folder.Path("out"))) << row.args[0];
    }
}

} // namespace
