#pragma once
// Writing a whole file safely: the bytes go into a new file in the target's folder, which
// takes the target's name only when complete, so the target is either the old file or
// the complete new one, and an interrupted write leaves nothing behind.
#include "varimark/error.h"
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
class EFileError : public varimark::Error {
public:
    using varimark::Error::Error;
};

// How a file is written. A save is made durable (fsync of the file and its folder) before
// it returns. Bulk writes, of many small files, leave the writing out to the system; their
// names are taken as they stand in their folder, never through a link: anything there but
// a regular file is refused ("<path> is not a regular file") and left alone.
enum class TWriteMode { Save, Bulk };

// Writes the bytes as the file path. The new file is made without a name in the target's
// folder (where the file system cannot, under a hidden temporary name that SIGINT and
// SIGTERM remove) and takes the name once complete: a file that was there is replaced
// whole, keeping its permissions and, where the process may set them, its owner and
// group (a second hard link keeps the old content). A durable write follows symbolic
// links to their final target (a dangling link creates it); writes straight into a FIFO
// or a character device; refuses a directory, a block device, a socket or a loop of links.
// When the folder may not be written but the file may, the complete bytes are written
// over the file's content. Raises EFileError.
void WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes,
                        TWriteMode mode = TWriteMode::Save);
// The parts one after the other, each written straight from where it is.
void WriteFileReplacing(const std::string& path,
                        std::initializer_list<std::span<const std::uint8_t>> parts,
                        TWriteMode mode = TWriteMode::Save);
void WriteFileReplacing(const std::string& path, std::string_view bytes,
                        TWriteMode mode = TWriteMode::Save);

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
};

} // namespace varimark
