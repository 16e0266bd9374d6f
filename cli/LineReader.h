#pragma once
// Line-by-line reading of a text file or of standard input, for --batch.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace varimark::cli {

class LineReader {
public:
    // Reads from file, which stays open and owned by the caller.
    explicit LineReader(std::FILE* file) : file_(file), buffer_(kBufferSize) {}

    // The next line into line, without its "\n" and without a "\r" before it. A final "\n"
    // ends the last line and starts no new one; an empty line gives an empty text. Returns
    // false at the end of the input and after a read error (see Error()).
    bool Next(std::string& line);

    // The errno value of a failed read, 0 when reading has not failed.
    int Error() const { return error_; }

private:
    static constexpr std::size_t kBufferSize = 64 * 1024;

    bool Refill();

    std::FILE* file_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool atEnd_ = false;
    int error_ = 0;
};

} // namespace varimark::cli
