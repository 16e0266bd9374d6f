// Writing a whole file: the bytes go into a new, unnamed file in the target's folder,
// which takes the target's name only when it is complete.
#include "export/FileWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/falloc.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace varimark {

namespace {

// A hidden name is "." + name + ".vmk-" + PID + "-" + START + "-" + SYSTEM + "-" + 6 random
// letters; longer names are cut so that it still fits into one directory entry.
constexpr std::string_view kMark = ".vmk-";
constexpr std::size_t kPidDigits = 10, kStartDigits = 20, kSystemDigits = 8, kRandom = 6;
constexpr std::size_t kMaxTempBase =
    NAME_MAX - (1 + kMark.size() + kPidDigits + 1 + kStartDigits + 1 + kSystemDigits + 1 + kRandom);
static_assert(kMaxTempBase > 100);
// A name of another system (boot or process namespace) unchanged this long is abandoned:
// no save lasts a day.
constexpr time_t kForeignAge = 24 * 60 * 60;
// Links followed to the final target before giving up, as the system does.
constexpr int kMaxLinks = 40;
constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";

[[noreturn]] void Fail(const char* what, const std::string& path, int err) {
    throw EFile(std::string("Cannot ") + what + " file " + path + ": " +
                std::generic_category().message(err));
}

[[noreturn]] void FailBecause(const std::string& path, const char* reason) {
    throw EFile("Cannot write file " + path + ": " + reason);
}

// The name that opening the path for writing would write: the end of a chain of
// symbolic links, which need not exist (a dangling link creates its target). A loop
// raises EFile.
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

// Up to size bytes of a small file of the system (under /proc), "" when it cannot be read.
std::string ReadSmall(const char* path, std::size_t size = 1024) {
    std::string text(size, '\0');
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "";
    ssize_t n;
    while ((n = ::read(fd, text.data(), text.size())) < 0 && errno == EINTR) {
    }
    ::close(fd);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

// Digits only, at most max of them, without a leading zero; nothing otherwise.
std::optional<std::uint64_t> Number(std::string_view digits, std::size_t max) {
    if (digits.empty() || digits.size() > max || (digits[0] == '0' && digits.size() > 1))
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// This process as its hidden names tell it: its start time (0 when /proc cannot tell) and
// its system, 8 hexadecimal digits of a hash (FNV-1a) of the boot's id and the process
// namespace, so that a process of another machine or container with the same number is
// not taken for one of ours.
struct TSelf {
    int pid = 0;
    std::uint64_t start = 0;
    char system[kSystemDigits + 1] = {};
};

TSelf Self() {
    static std::mutex mutex;
    static TSelf self;
    const std::lock_guard lock(mutex);
    if (self.pid == ::getpid()) return self; // made again in a forked child
    self.pid = ::getpid();
    self.start = ProcessStartTime(self.pid);
    char ns[64] = {};
    const ssize_t n = ::readlink("/proc/self/ns/pid", ns, sizeof ns - 1);
    const std::string id = ReadSmall("/proc/sys/kernel/random/boot_id", 64) + "/" +
                           std::string(ns, n > 0 ? static_cast<std::size_t>(n) : 0);
    std::uint32_t hash = 2166136261u;
    for (const char c : id) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    std::snprintf(self.system, sizeof self.system, "%08x", static_cast<unsigned>(hash));
    return self;
}

// The parts of a hidden name, or nothing when the name is not exactly one.
struct THiddenName {
    int pid;
    std::uint64_t start;
    std::string_view system;
};

std::optional<THiddenName> ParseHiddenName(std::string_view name) {
    // From the end: random letters, system, start and pid after dashes, then the mark
    // without its dash after "." and a name of at least one byte.
    const auto field = [&name](std::size_t size) -> std::optional<std::string_view> {
        const std::size_t dash = name.rfind('-');
        if (dash == std::string_view::npos || (size != 0 && name.size() - dash - 1 != size))
            return std::nullopt;
        const std::string_view value = name.substr(dash + 1);
        name = name.substr(0, dash);
        return value;
    };
    const auto random = field(kRandom);
    const auto system = field(kSystemDigits);
    const auto start = field(0);
    const auto pid = field(0);
    if (!random || !system || !start || !pid) return std::nullopt;
    const std::string_view mark = kMark.substr(0, kMark.size() - 1);
    if (random->find_first_not_of(kLetters) != std::string_view::npos ||
        system->find_first_not_of("0123456789abcdef") != std::string_view::npos ||
        !name.ends_with(mark) || name.size() < mark.size() + 2 || name[0] != '.')
        return std::nullopt;
    const auto number = Number(*pid, kPidDigits);
    const auto when = Number(*start, kStartDigits);
    if (!number || *number == 0 || *number > INT_MAX || !when) return std::nullopt;
    return THiddenName{static_cast<int>(*number), *when, *system};
}

// Whether the process that made a hidden name has ended: none of that number runs, or one
// that started at another time (the number was used again). A name of another system, or
// where a start cannot be told (no /proc), only when the file is unchanged for a day.
bool Abandoned(const THiddenName& hidden, const struct stat& st, const TSelf& self) {
    if (hidden.system != self.system || self.start == 0 || hidden.start == 0)
        return std::time(nullptr) - st.st_mtime > kForeignAge;
    if (::kill(hidden.pid, 0) != 0 && errno == ESRCH) return true;
    const std::uint64_t start = ProcessStartTime(hidden.pid);
    return start != 0 && start != hidden.start;
}

// Removes, from the folder named relative to at, the hidden names that saves of processes
// that have ended left there: regular files of this user named exactly so, never through a
// link. A folder that cannot be read or written is left as it is.
void RemoveAbandoned(int at, const char* folder) {
    const int fd = ::openat(at, folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return;
    }
    const TSelf self = Self();
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) continue;
        const std::optional<THiddenName> hidden = ParseHiddenName(entry->d_name);
        struct stat st {};
        if (hidden && ::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && Abandoned(*hidden, st, self))
            ::unlinkat(fd, entry->d_name, 0);
    }
    ::closedir(dir);
}

// The hidden name of base made by process pid, started at start, on system, most likely
// free: it is only ever created exclusively, and another one is tried when it is taken.
std::string HiddenName(const std::string& prefix, const std::string& base, int pid,
                       std::uint64_t start, const char* system) {
    static std::atomic<unsigned> counter{0};
    unsigned long long seed = (static_cast<unsigned long long>(::getpid()) << 32) ^
                              (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull) ^
                              static_cast<unsigned long long>(::clock()) ^
                              reinterpret_cast<std::uintptr_t>(&seed);
    std::string name = prefix + "." + base.substr(0, kMaxTempBase);
    name += kMark;
    name += std::to_string(pid) + "-" + std::to_string(start) + "-" + system + "-";
    for (std::size_t i = 0; i < kRandom; ++i, seed /= 36) name += kLetters[seed % 36];
    return name;
}

// A hidden name of this process beside the target.
std::string TempName(const std::string& prefix, const std::string& base) {
    const TSelf self = Self();
    return HiddenName(prefix, base, self.pid, self.start, self.system);
}

// The hidden names that new files are written under where the file system has no unnamed
// files, for RemoveTemporaryNamesForExit; and the lock held while any hidden name is made,
// renamed or removed, so that it finds each one either listed or not there at all (a name
// linked in for a moment is renamed or removed under the lock and never listed).
class TTemporaryNames {
public:
    struct TEntry {
        std::string name;
        TEntry* next = nullptr;
        TEntry** from = nullptr; // the pointer to this entry, while listed
    };
    static std::unique_lock<std::mutex> Lock() { return std::unique_lock(mutex_); }
    // Both with the lock held.
    static void Add(TEntry& entry) {
        entry.next = first_;
        if (first_ != nullptr) first_->from = &entry.next;
        entry.from = &first_;
        first_ = &entry;
    }
    static void Remove(TEntry& entry) {
        if (entry.from == nullptr) return;
        *entry.from = entry.next;
        if (entry.next != nullptr) entry.next->from = entry.from;
        entry.from = nullptr;
    }
    // Keeps the lock: the process ends.
    static void RemoveAllAndHold() {
        mutex_.lock();
        for (const TEntry* entry = first_; entry != nullptr; entry = entry->next)
            ::unlink(entry->name.c_str());
    }

private:
    static inline std::mutex mutex_;
    static inline TEntry* first_ = nullptr;
};

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
// that not even SIGKILL leaves it behind; elsewhere under a hidden name beside the target,
// removed on failure and by RemoveTemporaryNamesForExit. Closed (and its hidden name
// removed) unless it took the target's name. Before it makes a hidden name, the folder's
// abandoned names are removed, unless swept tells that this was done already.
class TNewFile {
public:
    explicit TNewFile(std::atomic<bool>& swept) : swept_(swept) {}
    TNewFile(const TNewFile&) = delete;
    TNewFile& operator=(const TNewFile&) = delete;
    ~TNewFile() {
        if (fd_ >= 0) ::close(fd_);
        if (hidden_.from != nullptr) {
            const auto lock = TTemporaryNames::Lock();
            ::unlink(hidden_.name.c_str());
            TTemporaryNames::Remove(hidden_);
        }
    }

    // Creates the file in the folder of prefix ("" for the current one) with the mode
    // bits given (the umask applies); returns 0 or the error.
    int Open(const std::string& prefix, const std::string& base, mode_t mode) {
        const int err = OpenUnnamed(prefix, base, mode);
        if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL) return err;
        // No unnamed files here: a hidden name, listed for RemoveTemporaryNamesForExit.
        Sweep();
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = TempName(prefix, base);
            const auto lock = TTemporaryNames::Lock();
            fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            if (fd_ >= 0) {
                hidden_.name = std::move(name);
                TTemporaryNames::Add(hidden_);
                return 0;
            }
            if (errno != EEXIST) return errno;
        }
        return EEXIST;
    }
    // The same without a hidden name: EOPNOTSUPP, EISDIR or EINVAL where the file system
    // has no unnamed files.
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
        if (hidden_.from != nullptr) {
            // Renamed over anything made there meanwhile, as the unnamed file would be.
            const auto lock = TTemporaryNames::Lock();
            if (::rename(hidden_.name.c_str(), target.c_str()) != 0) return errno;
            TTemporaryNames::Remove(hidden_);
            return 0;
        }
        if (!replace) return LinkUnnamed(fd_, target.c_str());
        // Linked in under a hidden name that is renamed over the target at once. Nothing
        // links a file over a name, and exchanging two names needs both, so the hidden
        // name is there for a moment: under the lock, so that an ending signal never
        // leaves it, and with this process's number and start, so that a later save
        // removes it after a SIGKILL.
        Sweep();
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string temp = TempName(prefix_, base_);
            const auto lock = TTemporaryNames::Lock();
            if (const int err = LinkUnnamed(fd_, temp.c_str()); err != 0) {
                if (err == EEXIST) continue;
                return err;
            }
            if (::rename(temp.c_str(), target.c_str()) == 0) return 0;
            const int err = errno;
            ::unlink(temp.c_str());
            return err;
        }
        return EEXIST;
    }

private:
    void Sweep() {
        if (!swept_.exchange(true))
            RemoveAbandoned(AT_FDCWD, prefix_.empty() ? "." : prefix_.c_str());
    }

    std::atomic<bool>& swept_;
    int fd_ = -1;
    std::string prefix_, base_;
    TTemporaryNames::TEntry hidden_; // listed while the file has a hidden name
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

// The folder cannot take a new file but the file itself may be written: the bytes go over
// its content in place, which cannot be atomic. The steps leave the least damage. Room for
// the new content is taken first, so that a full disk leaves the old content whole. Then
// the file is emptied and the content written in one call (a loop only on short writes):
// a failure or kill part way leaves an empty file or the start of the new content, which
// every picture format tells as cut short. Writing first and cutting the rest off after
// would leave, in between and after a short write, the new bytes followed by the old tail
// (a picture that reads whole, or old bars under a new header).
void WriteOver(const std::string& target,
               std::initializer_list<std::span<const std::uint8_t>> parts, const std::string& path,
               bool durable) {
    const TDescriptor file(
        ::open(target.c_str(), O_WRONLY | O_CLOEXEC | (durable ? 0 : O_NOFOLLOW)));
    if (file.Fd() < 0) Fail("create", path, errno);
    off_t size = 0;
    for (const std::span<const std::uint8_t> part : parts) size += static_cast<off_t>(part.size());
    if (size > 0 && ::fallocate(file.Fd(), FALLOC_FL_KEEP_SIZE, 0, size) != 0 &&
        errno != EOPNOTSUPP)
        Fail("write", path, errno);
    if (::ftruncate(file.Fd(), 0) != 0) Fail("write", path, errno);
    WriteAll(file.Fd(), parts, path);
    if (durable) Sync(file.Fd(), path);
}

// What WriteReplacing works with: the name asked for, the file it writes (the name, or
// where a single save's links lead), that file's folder (with its slash) and name in it,
// the bytes, and what is known of a file already there.
struct TReplacement {
    TReplacement(const std::string& name,
                 std::initializer_list<std::span<const std::uint8_t>> bytes, bool save)
        : path(name), parts(bytes), durable(save), target(name) {}

    const std::string& path;
    std::initializer_list<std::span<const std::uint8_t>> parts;
    bool durable; // a single save: synced, and written through links
    std::string target;
    std::string prefix, base;
    struct stat st {};
};

// A replaced file keeps its permissions, and its owner and group where we may set them; a
// new one gets what a plain create gives.
void KeepOwnerAndMode(const TNewFile& file, const TReplacement& job) {
    const struct stat& st = job.st;
    // Another owner only where we may set it (root, or a group of ours).
    if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(file.Fd(), st.st_uid, st.st_gid) != 0 && errno != EPERM && errno != EINVAL)
        Fail("create", job.path, errno);
    if (::fchmod(file.Fd(), st.st_mode & 0777) != 0) Fail("create", job.path, errno);
}

// A batch's files are mostly new: an unnamed file is written and linked in, and the name
// is looked at only when it turns out to be taken (then as in WriteThroughNewName, where a
// file that is there is looked at first). False when no unnamed file can be made here.
bool WriteUnnamed(TReplacement& job, std::atomic<bool>& swept) {
    const std::string& path = job.path;
    const std::string& target = job.target;
    TNewFile file(swept);
    if (file.OpenUnnamed(job.prefix, job.base, 0666) != 0) return false;
    WriteAll(file.Fd(), job.parts, path);
    int err = file.Name(target, false);
    if (err == EEXIST) {
        const bool exists = ::lstat(target.c_str(), &job.st) == 0;
        if (!exists && errno != ENOENT) Fail("create", path, errno);
        if (exists && !S_ISREG(job.st.st_mode)) throw EFile(path + " is not a regular file");
        if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            Fail("create", path, errno);
        if (exists) KeepOwnerAndMode(file, job);
        err = file.Name(target, true);
    }
    if (err != 0) Fail("write", path, err);
    return true;
}

// The file is written under a new hidden name in the folder and renamed over the target;
// where the folder takes no new file but an existing file may be written, it is written
// over in place.
void WriteThroughNewName(TReplacement& job, std::atomic<bool>& swept) {
    const std::string& path = job.path;
    const std::string& target = job.target;
    const bool durable = job.durable;
    const bool exists = ::lstat(target.c_str(), &job.st) == 0;
    if (!exists && errno != ENOENT) Fail("create", path, errno);
    if (exists && !S_ISREG(job.st.st_mode)) {
        if (!durable) throw EFile(path + " is not a regular file");
        return WriteIntoSpecial(target, job.st, job.parts, path); // changed meanwhile
    }
    if (job.base.empty()) Fail("create", path, EISDIR);

    // Like a plain create, a file that we may not write is not replaced.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        Fail("create", path, errno);
    TNewFile file(swept);
    if (const int err = file.Open(job.prefix, job.base, exists ? 0600 : 0666); err != 0) {
        if (exists && (err == EACCES || err == EPERM))
            return WriteOver(target, job.parts, path, durable);
        Fail("create", path, err);
    }
    if (exists) KeepOwnerAndMode(file, job);
    WriteAll(file.Fd(), job.parts, path);
    if (durable) Sync(file.Fd(), path);
    int err = file.Name(target, exists);
    if (err == EEXIST && !exists) err = file.Name(target, true); // made meanwhile
    if (err != 0) Fail("write", path, err);
    if (durable) SyncDirectory(job.prefix.empty() ? "." : job.prefix);
}

// WriteFileReplacing; the folder's abandoned hidden names are removed before one is made,
// unless swept tells that this was done already.
void WriteReplacing(const std::string& path,
                    std::initializer_list<std::span<const std::uint8_t>> parts, TWriteMode mode,
                    std::atomic<bool>& swept) {
    if (path.empty()) Fail("create", path, ENOENT);
    TReplacement job(path, parts, mode == TWriteMode::Save);
    // A single save follows links to the file they name, as a plain create does (the
    // system follows them first, for links of its own such as "/dev/stdout"); a batch
    // makes its files in the folder itself and never writes through a link.
    if (job.durable) {
        if (::stat(path.c_str(), &job.st) == 0) {
            if (!S_ISREG(job.st.st_mode)) return WriteIntoSpecial(path, job.st, parts, path);
        } else if (errno == ELOOP) {
            Fail("write", path, ELOOP);
        }
        job.target = FinalTarget(path);
    }
    const std::size_t slash = job.target.rfind('/');
    job.prefix = slash == std::string::npos ? "" : job.target.substr(0, slash + 1);
    job.base = slash == std::string::npos ? job.target : job.target.substr(slash + 1);

    if (!job.durable && !job.base.empty() && WriteUnnamed(job, swept)) return;
    WriteThroughNewName(job, swept);
}

} // namespace

void WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes,
                        TWriteMode mode) {
    std::atomic<bool> swept{false};
    WriteReplacing(path, {bytes}, mode, swept);
}

void WriteFileReplacing(const std::string& path,
                        std::initializer_list<std::span<const std::uint8_t>> parts,
                        TWriteMode mode) {
    std::atomic<bool> swept{false};
    WriteReplacing(path, parts, mode, swept);
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
    // cannot take unnamed files: by the path; the folder's abandoned names are removed
    // once, before the first hidden name.
    WriteReplacing(path, {bytes}, TWriteMode::Bulk, swept_);
}

std::string HiddenNameOf(const std::string& name, int pid, std::uint64_t start) {
    return HiddenName("", name, pid, start, Self().system);
}

std::uint64_t ProcessStartTime(int pid) {
    char path[40];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    const std::string stat = ReadSmall(path, 4096);
    // "PID (NAME) STATE ...": the name may hold anything; the space before field 22 is the 20th
    // after it.
    std::size_t at = stat.rfind(')');
    for (int field = 3; field <= 22 && at != std::string::npos; ++field)
        at = stat.find(' ', at + 1);
    if (at == std::string::npos) return 0;
    const std::size_t end = stat.find(' ', at + 1);
    return Number(std::string_view(stat).substr(at + 1, end - at - 1), kStartDigits).value_or(0);
}

void RemoveTemporaryNamesForExit() {
    TTemporaryNames::RemoveAllAndHold();
}

} // namespace varimark
