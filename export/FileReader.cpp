#include "export/FileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace varimark {

TReadStatus ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& bytes) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? TReadStatus::Missing : TReadStatus::Refused;
    TReadStatus status = TReadStatus::Refused;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::size_t>(info.st_size) <= maxBytes) {
        // Room for the file as it stands and a byte more, to see it end.
        bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
        std::size_t length = 0;
        for (;;) {
            if (length == bytes.size()) {
                if (length > maxBytes) break; // grew past what is allowed
                bytes.resize(std::min(2 * length, maxBytes + 1));
            }
            const ssize_t got = ::read(fd, bytes.data() + length, bytes.size() - length);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) break;
            if (got == 0) {
                status = TReadStatus::Loaded;
                break;
            }
            length += static_cast<std::size_t>(got);
        }
        bytes.resize(status == TReadStatus::Loaded ? length : 0);
    }
    ::close(fd);
    return status;
}

} // namespace varimark
