#pragma once
// The baseline of the file-writing benchmarks: the bytes written to a file plainly, in
// one write, then fsync, as copying them to disk would.
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

inline void WritePlainly(const char* path, const std::vector<std::uint8_t>& bytes) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    fsync(fd);
    close(fd);
}
