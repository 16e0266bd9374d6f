// Writing a whole file: the bytes go into a new, unnamed file in the target's folder,
// which takes the target's name only when it is complete.
#include "export/FileWriter.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

namespace varimark {

namespace {

// A temporary name is "." + name + "." + 6 characters; longer names are cut so that it
// still fits into one directory entry.
constexpr std::size_t kMaxTempBase = NAME_MAX - 8;
// Links followed to the final target before giving up, as the system does.
constexpr int kMaxLinks = 40;

[[noreturn]] void Fail(const char* what, const std::string& path, int err) {
    throw EFileError(std::string("Cannot ") + what + " file " + path + ": " +
                     std::generic_category().message(err));
}

[[noreturn]] void FailBecause(const std::string& path, const char* reason) {
    throw EFileError("Cannot write file " + path + ": " + reason);
}

// The name that opening the path for writing would write: the end of a chain of
// symbolic links, which need not exist (a dangling link creates its target). A loop
// raises EFileError.
std::string FinalTarget(const std::string& path) {
    std::string name = path;
    for (int links = 0;; ++links) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
        if (links == kMaxLinks) Fail("write", path, ELOOP);
        std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
        for (;;) {
            const ssize_t n = ::readlink(name.c_str(), target.data(), target.size());
            if (n < 0) Fail("write", path, errno);
            if (static_cast<std::size_t>(n) < target.size()) {
                target.resize(static_cast<std::size_t>(n));
                break;
            }
            target.resize(target.size() * 2); // the link grew meanwhile
        }
        if (target.empty()) Fail("write", path, ENOENT);
        const std::size_t slash = name.rfind('/');
        name = target[0] == '/' || slash == std::string::npos ? target
                                                              : name.substr(0, slash + 1) + target;
    }
}

// One temporary name for the handler below: state 0 free, 1 being filled, 2 ready.
struct TCleanupSlot {
    std::atomic<int> state{0};
    char name[PATH_MAX];
};

// Temporary names that SIGINT and SIGTERM remove before the process ends, so that an
// interrupted save leaves nothing behind where the file system has no unnamed files.
// The handler only reads slots that are complete and calls unlink: both safe in it.
class TInterruptCleanup {
public:
    // Returns the slot, or -1 when none is free (the name then stays unprotected).
    static int Register(const std::string& name) {
        if (name.size() >= PATH_MAX) return -1;
        std::call_once(installed_, Install);
        for (int i = 0; i < kSlots; ++i) {
            int free = kFree;
            if (!slots_[i].state.compare_exchange_strong(free, kFilling)) continue;
            std::memcpy(slots_[i].name, name.c_str(), name.size() + 1);
            slots_[i].state.store(kReady);
            return i;
        }
        return -1;
    }
    static void Unregister(int slot) {
        if (slot >= 0) slots_[slot].state.store(kFree);
    }

private:
    enum { kFree, kFilling, kReady };
    static constexpr int kSlots = 16;

    static void Install() {
        for (int i = 0; i < 2; ++i) {
            struct sigaction previous {};
            if (::sigaction(kSignals[i], nullptr, &previous) != 0) continue;
            if (previous.sa_handler == SIG_IGN) continue; // an ignored signal ends nothing
            previous_[i] = previous;
            struct sigaction action {};
            action.sa_handler = Handle;
            sigemptyset(&action.sa_mask);
            ::sigaction(kSignals[i], &action, nullptr);
        }
    }
    // Removes the names, then lets the signal take its earlier course: by default it ends
    // the process once the handler returns.
    static void Handle(int number) {
        const int saved = errno;
        for (TCleanupSlot& slot : slots_)
            if (slot.state.load() == kReady) ::unlink(slot.name);
        const int i = number == kSignals[0] ? 0 : 1;
        ::sigaction(number, &previous_[i], nullptr);
        ::raise(number);
        errno = saved;
    }

    static constexpr int kSignals[2] = {SIGINT, SIGTERM};
    static inline TCleanupSlot slots_[kSlots];
    static inline struct sigaction previous_[2]{};
    static inline std::once_flag installed_;
};

// SIGINT and SIGTERM held back while a temporary name is made and registered.
class TSignalsHeld {
public:
    TSignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        ::pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~TSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    TSignalsHeld(const TSignalsHeld&) = delete;
    TSignalsHeld& operator=(const TSignalsHeld&) = delete;

private:
    sigset_t old_;
};

// A hidden name beside the target, "." + base + "." + 6 letters, most likely free: it is
// only ever created exclusively, and another one is tried when it is taken.
std::string TempName(const std::string& prefix, const std::string& base) {
    static std::atomic<unsigned> counter{0};
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned long long seed = (static_cast<unsigned long long>(::getpid()) << 32) ^
                              (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull) ^
                              reinterpret_cast<std::uintptr_t>(&seed);
    std::string name = prefix + "." + base.substr(0, kMaxTempBase) + ".";
    for (int i = 0; i < 6; ++i, seed /= 36) name += kLetters[seed % 36];
    return name;
}

// Gives an unnamed file (open with O_TMPFILE) a name; returns 0 or the error (EEXIST when
// the name is taken). Linking the descriptor itself is one step less than its name under
// /proc; systems that allow it only to privileged processes refuse it once (ENOENT), and
// /proc serves from then on.
int LinkUnnamed(int fd, const char* name, int folder = AT_FDCWD) {
    static std::atomic<bool> byDescriptor{true};
    if (byDescriptor.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", folder, name, AT_EMPTY_PATH) == 0) return 0;
        if (errno != ENOENT && errno != EPERM) return errno;
        byDescriptor.store(false, std::memory_order_relaxed);
    }
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, self, folder, name, AT_SYMLINK_FOLLOW) == 0) return 0;
    int err = errno;
    if (err == ENOENT && ::access("/proc/self/fd", F_OK) != 0) { // no /proc mounted
        if (::linkat(fd, "", folder, name, AT_EMPTY_PATH) == 0) return 0;
        err = errno;
    }
    return err;
}

// The new file while it is written: unnamed where the file system has unnamed files, so
// that not even SIGKILL leaves it behind; elsewhere under a hidden temporary name beside
// the target, removed on failure and on SIGINT or SIGTERM. Closed (and its temporary name
// removed) unless it took the target's name.
class TNewFile {
public:
    TNewFile() = default;
    TNewFile(const TNewFile&) = delete;
    TNewFile& operator=(const TNewFile&) = delete;
    ~TNewFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!name_.empty()) {
            ::unlink(name_.c_str());
            TInterruptCleanup::Unregister(slot_);
        }
    }

    // Creates the file in the folder of prefix ("" for the current one) with the mode
    // bits given (the umask applies); returns 0 or the error.
    int Open(const std::string& prefix, const std::string& base, mode_t mode) {
        const int err = OpenUnnamed(prefix, base, mode);
        if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL) return err;
        // No unnamed files here: a temporary name, removed when the process is interrupted.
        for (int attempt = 0; attempt < 100; ++attempt) {
            TSignalsHeld held;
            std::string name = TempName(prefix, base);
            fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            if (fd_ >= 0) {
                name_ = std::move(name);
                slot_ = TInterruptCleanup::Register(name_);
                return 0;
            }
            if (errno != EEXIST) return errno;
        }
        return EEXIST;
    }
    // The same without a temporary name: EOPNOTSUPP, EISDIR or EINVAL where the file
    // system has no unnamed files.
    int OpenUnnamed(const std::string& prefix, const std::string& base, mode_t mode) {
        prefix_ = prefix, base_ = base;
        fd_ = ::open(prefix.empty() ? "." : prefix.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        return fd_ >= 0 ? 0 : errno;
    }
    int Fd() const { return fd_; }

    // Gives the complete file the name target, in its folder: in place of an entry there
    // when replace is set, else only where there is none (EEXIST otherwise). Returns 0 or
    // the error.
    int Name(const std::string& target, bool replace) {
        if (!name_.empty()) {
            // Renamed over anything made there meanwhile, as the unnamed file would be.
            if (::rename(name_.c_str(), target.c_str()) != 0) return errno;
            TInterruptCleanup::Unregister(slot_);
            name_.clear();
            return 0;
        }
        if (!replace) return LinkUnnamed(fd_, target.c_str());
        // Linked in under a short-lived temporary name that is then renamed over the target.
        for (int attempt = 0; attempt < 100; ++attempt) {
            int slot;
            std::string temp;
            {
                TSignalsHeld held;
                temp = TempName(prefix_, base_);
                if (const int err = LinkUnnamed(fd_, temp.c_str()); err != 0) {
                    if (err == EEXIST) continue;
                    return err;
                }
                slot = TInterruptCleanup::Register(temp);
            }
            const int err = ::rename(temp.c_str(), target.c_str()) == 0 ? 0 : errno;
            if (err != 0) ::unlink(temp.c_str());
            TInterruptCleanup::Unregister(slot);
            return err;
        }
        return EEXIST;
    }

private:
    int fd_ = -1;
    std::string prefix_, base_;
    std::string name_; // the temporary name, while there is one
    int slot_ = -1;
};

// Makes the directory entry of the rename durable; a failure changes nothing for the
// caller, since the file itself is complete.
void SyncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

void Sync(int fd, const std::string& path) {
    int result;
    while ((result = ::fsync(fd)) != 0 && errno == EINTR) {
    }
    if (result != 0) Fail("write", path, errno);
}

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

// An open descriptor, closed when it goes.
class TDescriptor {
public:
    explicit TDescriptor(int fd) : fd_(fd) {}
    ~TDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Fd() const { return fd_; }

private:
    int fd_;
};

// What is not a regular file: a FIFO or a character device takes the bytes as they come,
// like any program's output ("/dev/stdout", a pipe); anything else is refused untouched.
void WriteIntoSpecial(const std::string& target, const struct stat& st,
                      std::initializer_list<std::span<const std::uint8_t>> parts,
                      const std::string& path) {
    if (S_ISDIR(st.st_mode)) FailBecause(path, "it is a directory");
    if (S_ISBLK(st.st_mode)) FailBecause(path, "it is a block device");
    if (S_ISSOCK(st.st_mode)) FailBecause(path, "it is a socket");
    if (!S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode))
        FailBecause(path, "it is not a regular file");
    const TDescriptor file(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
    if (file.Fd() < 0) Fail("write", path, errno);
    WriteAll(file.Fd(), parts, path);
}

// The folder cannot take a new file but the file itself may be written: the complete
// bytes go over its content. Room for all of them is taken first where the file system
// can, so that a full disk leaves the old content as it was.
void WriteOver(const std::string& target,
               std::initializer_list<std::span<const std::uint8_t>> parts, const std::string& path,
               bool durable) {
    const TDescriptor file(
        ::open(target.c_str(), O_WRONLY | O_CLOEXEC | (durable ? 0 : O_NOFOLLOW)));
    if (file.Fd() < 0) Fail("create", path, errno);
    off_t size = 0;
    for (const std::span<const std::uint8_t> part : parts) size += static_cast<off_t>(part.size());
    if (size > 0 && ::fallocate(file.Fd(), 0, 0, size) != 0 && errno != EOPNOTSUPP)
        Fail("write", path, errno);
    WriteAll(file.Fd(), parts, path);
    if (::ftruncate(file.Fd(), size) != 0) Fail("write", path, errno);
    if (durable) Sync(file.Fd(), path);
}

} // namespace

void WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes,
                        TWriteMode mode) {
    WriteFileReplacing(path, {bytes}, mode);
}

void WriteFileReplacing(const std::string& path,
                        std::initializer_list<std::span<const std::uint8_t>> parts,
                        TWriteMode mode) {
    if (path.empty()) Fail("create", path, ENOENT);
    const bool durable = mode == TWriteMode::Save;
    // A single save follows links to the file they name, as a plain create does (the
    // system follows them first, for links of its own such as "/dev/stdout"); a batch
    // makes its files in the folder itself and never writes through a link.
    std::string target = path;
    struct stat st {};
    if (durable) {
        if (::stat(path.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode)) return WriteIntoSpecial(path, st, parts, path);
        } else if (errno == ELOOP) {
            Fail("write", path, ELOOP);
        }
        target = FinalTarget(path);
    }
    const std::size_t slash = target.rfind('/');
    const std::string prefix = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

    // A replaced file keeps its permissions, and its owner and group where we may set
    // them; a new one gets what a plain create gives.
    const auto keepOwnerAndMode = [&](const TNewFile& file) {
        // Another owner only where we may set it (root, or a group of ours).
        if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
            ::fchown(file.Fd(), st.st_uid, st.st_gid) != 0 && errno != EPERM && errno != EINVAL)
            Fail("create", path, errno);
        if (::fchmod(file.Fd(), st.st_mode & 0777) != 0) Fail("create", path, errno);
    };

    // A batch's files are mostly new: an unnamed file is written and linked in, and the
    // name is looked at only when it turns out to be taken (then as below, where a file
    // that is there is looked at first).
    if (!durable && !base.empty()) {
        TNewFile file;
        if (file.OpenUnnamed(prefix, base, 0666) == 0) {
            WriteAll(file.Fd(), parts, path);
            int err = file.Name(target, false);
            if (err == EEXIST) {
                const bool exists = ::lstat(target.c_str(), &st) == 0;
                if (!exists && errno != ENOENT) Fail("create", path, errno);
                if (exists && !S_ISREG(st.st_mode))
                    throw EFileError(path + " is not a regular file");
                if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
                    Fail("create", path, errno);
                if (exists) keepOwnerAndMode(file);
                err = file.Name(target, true);
            }
            if (err != 0) Fail("write", path, err);
            return;
        }
    }

    const bool exists = ::lstat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) Fail("create", path, errno);
    if (exists && !S_ISREG(st.st_mode)) {
        if (!durable) throw EFileError(path + " is not a regular file");
        return WriteIntoSpecial(target, st, parts, path); // changed meanwhile
    }
    if (base.empty()) Fail("create", path, EISDIR);

    // Like a plain create, a file that we may not write is not replaced.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        Fail("create", path, errno);
    TNewFile file;
    if (const int err = file.Open(prefix, base, exists ? 0600 : 0666); err != 0) {
        if (exists && (err == EACCES || err == EPERM))
            return WriteOver(target, parts, path, durable);
        Fail("create", path, err);
    }
    if (exists) keepOwnerAndMode(file);
    WriteAll(file.Fd(), parts, path);
    if (durable) Sync(file.Fd(), path);
    int err = file.Name(target, exists);
    if (err == EEXIST && !exists) err = file.Name(target, true); // made meanwhile
    if (err != 0) Fail("write", path, err);
    if (durable) SyncDirectory(prefix.empty() ? "." : prefix);
}

void WriteFileReplacing(const std::string& path, std::string_view bytes, TWriteMode mode) {
    WriteFileReplacing(
        path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), mode);
}

TBulkFolder::TBulkFolder(std::string path)
    : path_(std::move(path)), fd_(::open(path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

TBulkFolder::~TBulkFolder() {
    if (fd_ >= 0) ::close(fd_);
}

void TBulkFolder::Write(const std::string& name, std::span<const std::uint8_t> bytes) const {
    const std::string path = path_ + "/" + name;
    if (fd_ >= 0) {
        const TDescriptor file(::openat(fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        if (file.Fd() >= 0) {
            WriteAll(file.Fd(), {bytes}, path);
            if (LinkUnnamed(file.Fd(), name.c_str(), fd_) == 0) return;
        }
    }
    // A name that is taken (written again, then checked and replaced), or a folder that
    // cannot take unnamed files: by the path.
    WriteFileReplacing(path, bytes, TWriteMode::Bulk);
}

} // namespace varimark
