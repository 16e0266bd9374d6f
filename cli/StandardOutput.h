#pragma once
// Standard output of varimark-cli: whatever command writes there, a failed write is
// reported once, when the program ends, with its cause, and the exit status becomes 1.
#include "cli/Options.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdio_ext.h>
#include <string_view>

namespace varimark::cli {

namespace detail {
// The cause (errno) of the first failed write to standard output; 0 while none failed.
inline int& StandardOutputError() {
    static int error = 0;
    return error;
}
} // namespace detail

// Writes bytes to standard output (buffered); false when the write failed, its cause kept.
inline bool WriteStandardOutput(std::string_view bytes) {
    if (bytes.empty()) return true;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size()) return true;
    if (detail::StandardOutputError() == 0) detail::StandardOutputError() = errno ? errno : EIO;
    return false;
}

// Flushes and closes standard output. When any write to it failed, prints
// "varimark-cli: cannot write to standard output: CAUSE" on standard error and returns
// kExitRefused; otherwise returns status. A standard output that was closed from the start
// is no failure as long as nothing was written to it.
inline int FinishStandardOutput(int status) {
    const bool pending = __fpending(stdout) != 0;
    errno = 0;
    int error = 0;
    bool failed = false;
    if (std::fflush(stdout) != 0) failed = true, error = errno;
    if (std::ferror(stdout)) failed = true;
    errno = 0;
    if (std::fclose(stdout) != 0 && (failed || pending || errno != EBADF)) {
        failed = true;
        if (error == 0) error = errno;
    }
    if (!failed) return status;
    if (error == 0) error = detail::StandardOutputError();
    PrintNamed(std::string("cannot write to standard output: ") +
               std::strerror(error != 0 ? error : EIO));
    return kExitRefused;
}

} // namespace varimark::cli
