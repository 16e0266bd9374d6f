#pragma once
// Writing a whole file safely: the bytes go into a new file in the target's folder, which
// takes the target's name only when complete, so the target is either the old file or
// the complete new one, and an interrupted write leaves nothing behind that a later save
// does not remove.
#include "varimark/error.h"
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace varimark {

// A file that could not be created, written or read; the message names the file and
// the cause ("Cannot create file /x/y.bmp: Permission denied").
class EFile : public varimark::Error {
public:
    using varimark::Error::Error;
};

// How a file is written. A save is made durable (fsync of the file and its folder) before
// it returns. Bulk writes, of many small files, leave the writing out to the system; their
// names are taken as they stand in their folder, never through a link: anything there but
// a regular file is refused ("<path> is not a regular file") and left alone.
enum class TWriteMode { Save, Bulk };

// Writes the bytes as the file path. A new file is made without a name in the target's
// folder and linked in under the target's name once complete. A file that is there is
// replaced whole: the new one is linked in under a hidden name beside it,
// ".NAME.vmk-PID-START-SYSTEM-XXXXXX", and renamed over it, keeping its permissions and,
// where the process may set them, its owner and group (a second hard link keeps the old
// content). A process killed between those two steps leaves that name: before making one,
// a save removes those of processes that have ended from the folder (a batch once, before
// the first file it replaces); only regular files of this user named exactly so, never
// through a link. A name's process has ended when no process PID started at START (clock
// ticks after boot, /proc/PID/stat field 22) runs; SYSTEM tells this boot and process
// namespace from others sharing the folder (another machine, a container), whose names are
// removed only when unchanged for a day. Where the file system has no unnamed files, the
// new file is written under such a name from the start, removed on failure and by
// RemoveTemporaryNamesForExit. A durable write follows symbolic links to their final
// target (a dangling link creates it); writes straight into a FIFO or a character device;
// refuses a directory, a block device, a socket or a loop of links. When the folder may
// not be written but the file may, the bytes are written over the file's content in place,
// which cannot be atomic: a failure or kill part way leaves the file empty or holding the
// start of the new bytes, never a mix with the old ones. Raises EFile.
void WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes,
                        TWriteMode mode = TWriteMode::Save);
// The parts one after the other, each written straight from where it is.
void WriteFileReplacing(const std::string& path,
                        std::initializer_list<std::span<const std::uint8_t>> parts,
                        TWriteMode mode = TWriteMode::Save);
void WriteFileReplacing(const std::string& path, std::string_view bytes,
                        TWriteMode mode = TWriteMode::Save);

// The hidden name under which process pid, started at start, replaces the file name (the
// random letters differ each time); the start time of a process, or 0 when it is not
// running or cannot be told.
std::string HiddenNameOf(const std::string& name, int pid, std::uint64_t start);
std::uint64_t ProcessStartTime(int pid);

// For the thread that ends the process on SIGINT, SIGTERM or SIGHUP: removes the hidden
// names of the saves in progress and keeps every later save from making one (those block;
// the caller ends the process at once). Not for a signal handler: it waits for a save that
// is between making a hidden name and renaming it. The library installs no handler of its
// own; the program does (varimark-cli's main).
void RemoveTemporaryNamesForExit();

// A folder that a batch writes many files into, opened once: a new file's name is looked
// up in it, not along the folder's whole path each time. Write(name, bytes) writes as
// WriteFileReplacing does in bulk for "folder/name" (and through it, for a name that is
// taken or a folder that takes no unnamed files). The name is a plain file name.
class TBulkFolder {
public:
    explicit TBulkFolder(std::string path);
    ~TBulkFolder();
    TBulkFolder(const TBulkFolder&) = delete;
    TBulkFolder& operator=(const TBulkFolder&) = delete;

    void Write(const std::string& name, std::span<const std::uint8_t> bytes) const;

private:
    std::string path_;
    int fd_; // -1 when it could not be opened: every file goes by its path
    mutable std::atomic<bool> swept_{false}; // its abandoned hidden names removed
};

} // namespace varimark
