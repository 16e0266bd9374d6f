#pragma once
// Writing a whole file safely: the bytes go to a new file beside the target, which is
// then renamed over it, so the target is either the old file or the complete new one.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A file that could not be created, written or read; the message names the file and
// the cause ("Cannot create file /x/y.bmp: Permission denied").
class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether each write is made durable (fsync of the file and its folder) before it returns:
// on by default. A batch of many small files turns it off: the system writes them out
// later, and a file that does not exist yet is created in place (removed again when
// writing it fails) instead of through a temporary file; an existing file is still only
// replaced by a complete new one.
void SetDurableWrites(bool durable);

void WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes);
// The parts one after the other, each written straight from where it is.
void WriteFileReplacing(const std::string& path,
                        std::initializer_list<std::span<const std::uint8_t>> parts);
void WriteFileReplacing(const std::string& path, std::string_view bytes);

// While one lives, the files its thread writes are kept in memory instead of written: a
// batch hands them to one thread that does all the writing, so that its threads do not
// contend for the folder. Files larger than maxBytes are written at once as usual (for
// them the copying costs more than the contention).
class TKeptWrites {
public:
    struct TFile {
        std::string path;
        std::vector<std::uint8_t> bytes;
    };

    explicit TKeptWrites(std::size_t maxBytes = SIZE_MAX);
    ~TKeptWrites(); // files not taken are dropped
    TKeptWrites(const TKeptWrites&) = delete;
    TKeptWrites& operator=(const TKeptWrites&) = delete;

    // The files kept since the last call, in the order they were written.
    std::vector<TFile> Take() { return std::exchange(files_, {}); }

private:
    friend void WriteFileReplacing(const std::string&,
                                   std::initializer_list<std::span<const std::uint8_t>>);
    std::vector<TFile> files_;
    std::size_t maxBytes_;
    TKeptWrites* outer_;
};
