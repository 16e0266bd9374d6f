#pragma once
// Runs the built varimark-cli (its path in VARIMARK_CLI) with arguments and standard
// input, capturing standard output, standard error and the exit status.
#include "FileTesting.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

struct RunResult {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
    long peakKb = 0; // the program's peak resident memory
};

// In a child process: becomes the program with args (exit status 127 when it cannot).
[[noreturn]] inline void ExecCli(const std::vector<std::string>& args,
                                 const char* program = VARIMARK_CLI) {
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program, argv.data());
    _exit(127);
}

// The program where any user may run it: the build folder may lie in one that only its
// owner may enter (a checkout under mktemp -d), so a copy in the temporary folder, made
// once and removed when the test program ends.
inline const char* ProgramForAnyUser() {
    static const struct TCopy {
        std::string path = ::testing::TempDir() + "varimark-cli-" + std::to_string(getpid());
        TCopy() {
            std::filesystem::copy_file(VARIMARK_CLI, path,
                                       std::filesystem::copy_options::overwrite_existing);
            ::chmod(path.c_str(), 0755);
        }
        ~TCopy() { std::remove(path.c_str()); }
    } copy;
    return copy.path.c_str();
}

// Runs varimark-cli with args, feeding input on its standard input.
// With a user id, the program runs as that user (the test must run as root). With a
// file name for standard output ("/dev/full"), the output goes there instead of out.
inline RunResult RunCli(const std::vector<std::string>& args, const std::string& input = "",
                        int asUser = -1, const std::string& stdoutFile = "") {
    // A program that exits before reading all its input (a usage error) closes the pipe:
    // the write then fails with EPIPE instead of killing the test with SIGPIPE.
    static const bool pipeSignalIgnored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)pipeSignalIgnored;
    const char* program = asUser >= 0 ? ProgramForAnyUser() : VARIMARK_CLI;
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) std::abort();
    const pid_t pid = fork();
    if (pid < 0) std::abort();
    if (pid == 0) {
        dup2(in[0], 0);
        const int file = stdoutFile.empty() ? -1 : open(stdoutFile.c_str(), O_WRONLY);
        if (!stdoutFile.empty() && file < 0) _exit(125);
        dup2(stdoutFile.empty() ? out[1] : file, 1);
        dup2(err[1], 2);
        if (file >= 0) close(file);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        if (asUser >= 0 && (setgid(asUser) != 0 || setuid(asUser) != 0)) _exit(126);
        ExecCli(args, program);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    RunResult result;
    std::size_t written = 0;
    if (input.empty()) close(in[1]);
    pollfd fds[3] = {
        {out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {input.empty() ? -1 : in[1], POLLOUT, 0}};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            std::abort();
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
        if (fds[2].fd >= 0 && fds[2].revents != 0) {
            const ssize_t n = write(in[1], input.data() + written, input.size() - written);
            if (n > 0) written += static_cast<std::size_t>(n);
            if (n <= 0 || written == input.size()) {
                close(in[1]);
                fds[2].fd = -1;
            }
        }
    }
    if (fds[2].fd >= 0) close(in[1]);
    int wstatus = 0;
    rusage usage{};
    wait4(pid, &wstatus, 0, &usage);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.peakKb = usage.ru_maxrss;
    return result;
}

// Starts varimark-cli with args and returns at once with its process id: standard input
// from the file inputPath, standard output and error to /dev/null. The caller waits for it.
inline pid_t SpawnCli(const std::vector<std::string>& args, const std::string& inputPath) {
    const pid_t pid = fork();
    if (pid < 0) std::abort();
    if (pid == 0) {
        const int in = open(inputPath.c_str(), O_RDONLY);
        const int null = open("/dev/null", O_WRONLY);
        if (in < 0 || null < 0) _exit(126);
        dup2(in, 0);
        dup2(null, 1);
        dup2(null, 2);
        ExecCli(args);
    }
    return pid;
}

// Shows a case as its command line in test names and failure messages.
inline void PrintArgs(const std::vector<std::string>& args, std::ostream* os) {
    for (const auto& a : args) *os << ::testing::PrintToString(a) << ' ';
}

// A temporary file holding content, removed at the end of the test.
class TempFile {
public:
    explicit TempFile(const std::string& content) {
        path_ = ::testing::TempDir() + "varimark_cli_XXXXXX";
        const int fd = mkstemp(path_.data());
        if (fd < 0 || write(fd, content.data(), content.size()) != ssize_t(content.size()))
            std::abort();
        close(fd);
    }
    ~TempFile() { unlink(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};
