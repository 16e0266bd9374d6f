#include "cli/LineReader.h"

#include <cerrno>
#include <cstring>

namespace varimark::cli {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::size_t kByteOrderMarkSize = sizeof kByteOrderMark - 1;

} // namespace

bool TLineReader::Refill() {
    if (atEnd_) return false;
    errno = 0;
    // fread returns less than asked only at the end of the input or on an error, so the
    // first block holds the whole byte-order mark when there is one.
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    pos_ = 0;
    if (atStart_) {
        atStart_ = false;
        if (end_ >= kByteOrderMarkSize &&
            std::memcmp(buffer_.data(), kByteOrderMark, kByteOrderMarkSize) == 0)
            pos_ = kByteOrderMarkSize;
    }
    if (end_ > 0) return true;
    atEnd_ = true;
    if (std::ferror(file_)) error_ = errno != 0 ? errno : EIO;
    return false;
}

bool TLineReader::Next(std::string& line) {
    line.clear();
    tooLong_ = false;
    bool started = false; // bytes of an unterminated line have been taken
    // One byte more than the cap is kept: it may be the "\r" of a "\r\n".
    const auto take = [&](const char* from, std::size_t count) {
        if (tooLong_) return;
        if (line.size() + count > kMaxLineBytes + 1) {
            tooLong_ = true;
            line.clear();
            return;
        }
        line.append(from, count);
    };
    for (;;) {
        if (pos_ == end_ && !Refill()) {
            if (error_ != 0) return false;
            break;
        }
        const char* begin = buffer_.data() + pos_;
        const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', end_ - pos_));
        started = true;
        if (newline == nullptr) {
            take(begin, end_ - pos_);
            pos_ = end_;
            continue;
        }
        take(begin, static_cast<std::size_t>(newline - begin));
        pos_ += static_cast<std::size_t>(newline - begin) + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        break;
    }
    if (!started) return false;
    if (line.size() > kMaxLineBytes) {
        tooLong_ = true;
        line.clear();
    }
    return true;
}

} // namespace varimark::cli
