#pragma once
// Reading back the files that tests write, in a scratch folder of their own.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs call with the file size limit at `bytes` (512 by default) and SIGXFSZ ignored, in this
// process and the programs it starts: a write past the limit fails with EFBIG ("File too
// large"). Gives what call returns.
template <class TCall> auto WithFileSizeLimit(TCall call, rlim_t bytes = 512) {
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{bytes, old.rlim_max};
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    auto result = call();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    return result;
}

// A whole file, or nothing when it cannot be opened: a missing file is not an empty one.
inline std::optional<std::string> ReadFileIfThere(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A whole file as text, or as bytes (ReadWholeFile<std::vector<std::uint8_t>>); empty when
// it cannot be read.
template <class TContent = std::string> TContent ReadWholeFile(const std::string& path) {
    const std::string content = ReadFileIfThere(path).value_or("");
    return TContent(content.begin(), content.end());
}

inline bool FileExists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

// A new, empty folder under the test's temporary folder, removed with all it holds.
class TScratchFolder {
public:
    TScratchFolder() {
        std::string pattern = ::testing::TempDir() + "varimark_scratch_XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
    }
    ~TScratchFolder() {
        ::chmod(dir_.c_str(), 0700);
        std::error_code error;
        std::filesystem::remove_all(dir_, error);
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const std::string& Dir() const { return dir_; }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    // The names in the folder: no temporary file may be left behind.
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            names.insert(entry.path().filename().string());
        return names;
    }

private:
    std::string dir_;
};

// Counts the opens of one file, by the system's file events (inotify), from its making on.
// Closes are watched too, so that the system does not merge two opens in a row into one event.
class TFileOpenCounter {
public:
    explicit TFileOpenCounter(const std::string& path)
        : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0 && ::inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~TFileOpenCounter() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFileOpenCounter(const TFileOpenCounter&) = delete;
    TFileOpenCounter& operator=(const TFileOpenCounter&) = delete;

    bool Watching() const { return fd_ >= 0; }
    // The opens since the last call.
    int Opens() {
        int opens = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; fd_ >= 0 && (n = ::read(fd_, buffer, sizeof buffer)) > 0;)
            for (char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                opens += (event->mask & IN_OPEN) != 0;
                p += sizeof(inotify_event) + event->len;
            }
        return opens;
    }

private:
    int fd_;
};

// A character device that reads as endless zeros (as /dev/zero), made at the path: a test
// links to it instead of to /dev/zero, so that a faulty write that follows the link replaces
// only this node. False without the right to make device nodes.
inline bool MakeZeroDevice(const std::string& path) {
    return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 5)) == 0;
}

// Runs a shell command: its exit status (-1 when it did not exit normally) and output.
inline std::pair<int, std::string> RunShell(const std::string& command) {
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {-1, ""};
    std::string said;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        said.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, said};
}
