// Writing a whole file through a temporary file beside it and a rename.
#include "FileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <vector>

namespace {

// mkostemp's pattern is "." + name + ".XXXXXX"; longer names are cut so that the
// temporary name still fits into one directory entry.
constexpr std::size_t kMaxTempBase = NAME_MAX - 8;

[[noreturn]] void Fail(const char* what, const std::string& path, int err) {
    throw EFileError(std::string("Cannot ") + what + " file " + path + ": " +
                     std::generic_category().message(err));
}

// The process's file mode creation mask, read without changing it where the system
// reports it (Linux 4.7 and later); otherwise set and restored at once.
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// The file that opening the path for writing would write: the end of a chain of
// symbolic links. A dangling link is replaced itself.
std::string ResolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return path;
}

// The temporary file while it is being written: closed and removed unless kept.
class TTempFile {
public:
    TTempFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    ~TTempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!kept_) ::unlink(name_.c_str());
    }

    int Fd() const { return fd_; }
    const std::string& Name() const { return name_; }
    // Closes the descriptor; returns 0 or the error.
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        // On Linux the descriptor is released even when close is interrupted.
        return result == 0 || errno == EINTR ? 0 : errno;
    }
    void Keep() { kept_ = true; }

private:
    int fd_;
    std::string name_;
    bool kept_ = false;
};

// Makes the directory entry of the rename durable; a failure changes nothing for the
// caller, since the file itself is complete.
void SyncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::atomic<bool> gDurable{true};

void WriteAll(int fd, std::initializer_list<std::span<const std::uint8_t>> parts,
              const std::string& path) {
    // All parts in one call where the system takes them at once; what a short write leaves
    // goes on from where it stopped.
    constexpr std::size_t kMaxParts = 8;
    iovec vectors[kMaxParts];
    std::size_t count = 0;
    for (const std::span<const std::uint8_t> bytes : parts) {
        if (bytes.empty()) continue;
        if (count == kMaxParts) Fail("write", path, EINVAL);
        vectors[count++] = {const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    }
    iovec* next = vectors;
    for (std::size_t left = count; left > 0;) {
        const ssize_t n = ::writev(fd, next, static_cast<int>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write", path, errno);
        }
        if (n == 0) Fail("write", path, EIO);
        for (auto done = static_cast<std::size_t>(n); done > 0 && left > 0;) {
            const std::size_t step = std::min(done, next->iov_len);
            next->iov_base = static_cast<std::uint8_t*>(next->iov_base) + step;
            next->iov_len -= step;
            done -= step;
            if (next->iov_len == 0) ++next, --left;
        }
    }
}

} // namespace

void SetDurableWrites(bool durable) {
    gDurable = durable;
}

void WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes) {
    WriteFileReplacing(path, {bytes});
}

namespace {

thread_local TKeptWrites* tKept = nullptr;

} // namespace

TKeptWrites::TKeptWrites(TKeptFiles& into, std::size_t maxBytes)
    : into_(into), maxBytes_(maxBytes), outer_(tKept) {
    tKept = this;
}

TKeptWrites::~TKeptWrites() {
    tKept = outer_;
}

void TKeptFiles::Add(const std::string& path,
                     std::initializer_list<std::span<const std::uint8_t>> parts) {
    if (count_ == paths_.size()) paths_.emplace_back(), ends_.emplace_back();
    paths_[count_] = path; // reuses the string's memory
    for (const std::span<const std::uint8_t> part : parts)
        bytes_.insert(bytes_.end(), part.begin(), part.end());
    ends_[count_++] = bytes_.size();
}

void WriteFileReplacing(const std::string& path,
                        std::initializer_list<std::span<const std::uint8_t>> parts) {
    if (tKept != nullptr) {
        std::size_t size = 0;
        for (const std::span<const std::uint8_t> part : parts) size += part.size();
        if (size <= tKept->maxBytes_) {
            tKept->into_.Add(path, parts);
            return;
        }
    }
    if (path.empty()) Fail("create", path, ENOENT);
    // Without durable writes (a batch of new files), a file that does not exist yet is made
    // in place: created exclusively (the system applies the umask), and removed again when
    // writing it fails. Anything already there takes the path below.
    if (!gDurable) {
        const int direct = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (direct >= 0) {
            TTempFile created(direct, path);
            WriteAll(created.Fd(), parts, path);
            if (const int err = created.Close(); err != 0) Fail("write", path, err);
            created.Keep();
            return;
        }
        if (errno != EEXIST) Fail("create", path, errno);
    }
    const std::string target = ResolveTarget(path);
    const std::size_t slash = target.rfind('/');
    const std::string prefix = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) Fail("create", path, EISDIR);
    const std::string dir = prefix.empty() ? "." : prefix;

    // A replaced file keeps its permissions; a new one gets those a plain create gives.
    // Like a plain create, a file that we may not write is not replaced.
    mode_t mode;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            Fail("create", path, errno);
        mode = st.st_mode & 0777;
    } else {
        mode = 0666 & ~CurrentUmask();
    }

    std::string pattern = prefix + "." + base.substr(0, kMaxTempBase) + ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) Fail("create", path, errno);
    TTempFile temp(fd, pattern);
    if (::fchmod(temp.Fd(), mode) != 0) Fail("create", path, errno);

    WriteAll(temp.Fd(), parts, path);
    const bool durable = gDurable;
    int result = 0;
    while (durable && (result = ::fsync(temp.Fd())) != 0 && errno == EINTR) {
    }
    if (result != 0) Fail("write", path, errno);
    if (const int err = temp.Close(); err != 0) Fail("write", path, err);
    if (::rename(temp.Name().c_str(), target.c_str()) != 0) Fail("write", path, errno);
    temp.Keep();
    if (durable) SyncDirectory(dir);
}

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
    WriteFileReplacing(
        path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}
