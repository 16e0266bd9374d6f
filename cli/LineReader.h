#pragma once
// Line-by-line reading of a text file or of standard input, for --batch, in bounded memory.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace varimark::cli {

class TLineReader {
public:
    // The longest line kept, in bytes (without its "\r\n"); a longer one is skipped.
    static constexpr std::size_t kMaxLineBytes = 4096;

    // Reads from file, which stays open and owned by the caller.
    explicit TLineReader(std::FILE* file) : file_(file), buffer_(kBufferSize) {}

    // The next line into line, without its "\n" and without a "\r" before it. A final "\n"
    // ends the last line and starts no new one; an empty line gives an empty text. A UTF-8
    // byte-order mark at the start of the input is no part of the first line. A line longer
    // than kMaxLineBytes is read to its end without being kept: line is then empty and
    // TooLong() true. Returns false at the end of the input and after a read error (see
    // Error()).
    bool Next(std::string& line);

    // Whether the line that Next gave last was too long to be kept.
    bool TooLong() const { return tooLong_; }

    // The errno value of a failed read, 0 when reading has not failed.
    int Error() const { return error_; }

private:
    static constexpr std::size_t kBufferSize = 64 * 1024;

    bool Refill();

    std::FILE* file_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool atStart_ = true;
    bool atEnd_ = false;
    bool tooLong_ = false;
    int error_ = 0;
};

} // namespace varimark::cli
