#pragma once
// Writing a whole file safely: the bytes go into a new file in the target's folder, which
// takes the target's name only when complete, so the target is either the old file or
// the complete new one, and an interrupted write leaves nothing behind.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A file that could not be created, written or read; the message names the file and
// the cause ("Cannot create file /x/y.bmp: Permission denied").
class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether each write is made durable (fsync of the file and its folder) before it returns:
// on by default. A batch of many small files turns it off: the system writes them out
// later. Then the name is also taken as it stands in its folder, never through a link:
// anything there but a regular file is refused ("<path> is not a regular file") and left
// alone.
void SetDurableWrites(bool durable);

// Writes the bytes as the file path. The new file is made without a name in the target's
// folder (where the file system cannot, under a hidden temporary name that SIGINT and
// SIGTERM remove) and takes the name once complete: a file that was there is replaced
// whole, keeping its permissions and, where the process may set them, its owner and
// group (a second hard link keeps the old content). A durable write follows symbolic
// links to their final target (a dangling link creates it); writes straight into a FIFO
// or a character device; refuses a directory, a block device, a socket or a loop of links.
// When the folder may not be written but the file may, the complete bytes are written
// over the file's content. Raises EFileError.
void WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes);
// The parts one after the other, each written straight from where it is.
void WriteFileReplacing(const std::string& path,
                        std::initializer_list<std::span<const std::uint8_t>> parts);
void WriteFileReplacing(const std::string& path, std::string_view bytes);
// The same, written at once even while this thread keeps its writes (TKeptWrites): for
// files that are not a batch's own, such as caches.
void WriteFileNow(const std::string& path, std::string_view bytes);

// Files kept in memory to be written later: paths, and bytes one after the other in one
// block. Cleared, it keeps its memory for the next files.
class TKeptFiles {
public:
    std::size_t Count() const { return count_; }
    const std::string& Path(std::size_t i) const { return paths_[i]; }
    std::span<const std::uint8_t> Bytes(std::size_t i) const {
        return {bytes_.data() + ends_[i] - Length(i), Length(i)};
    }
    void Clear() { count_ = 0, bytes_.clear(); }

private:
    friend void WriteFileReplacing(const std::string&,
                                   std::initializer_list<std::span<const std::uint8_t>>);
    std::size_t Length(std::size_t i) const { return ends_[i] - (i == 0 ? 0 : ends_[i - 1]); }
    void Add(const std::string& path, std::initializer_list<std::span<const std::uint8_t>> parts);

    std::size_t count_ = 0;
    std::vector<std::string> paths_; // the first count_ are the files'
    std::vector<std::size_t> ends_;  // where each file's bytes end
    std::vector<std::uint8_t> bytes_;
};

// While one lives, the files its thread writes are kept (in into) instead of written: a
// batch hands them to one thread that does all the writing, so that its threads do not
// contend for the folder. Files larger than maxBytes are written at once as usual (for
// them the copying costs more than the contention).
class TKeptWrites {
public:
    explicit TKeptWrites(TKeptFiles& into, std::size_t maxBytes = SIZE_MAX);
    ~TKeptWrites();
    TKeptWrites(const TKeptWrites&) = delete;
    TKeptWrites& operator=(const TKeptWrites&) = delete;

private:
    friend void WriteFileReplacing(const std::string&,
                                   std::initializer_list<std::span<const std::uint8_t>>);
    TKeptFiles& into_;
    std::size_t maxBytes_;
    TKeptWrites* outer_;
};
