#include "LineReader.h"

#include <cerrno>
#include <cstring>

namespace varimark::cli {

bool LineReader::Refill() {
    if (atEnd_) return false;
    errno = 0;
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    pos_ = 0;
    if (end_ > 0) return true;
    atEnd_ = true;
    if (std::ferror(file_)) error_ = errno != 0 ? errno : EIO;
    return false;
}

bool LineReader::Next(std::string& line) {
    line.clear();
    bool started = false; // bytes of an unterminated line have been taken
    for (;;) {
        if (pos_ == end_ && !Refill()) {
            if (error_ != 0) return false;
            return started;
        }
        const char* begin = buffer_.data() + pos_;
        const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', end_ - pos_));
        if (newline == nullptr) {
            line.append(begin, end_ - pos_);
            pos_ = end_;
            started = true;
            continue;
        }
        line.append(begin, newline);
        pos_ += static_cast<std::size_t>(newline - begin) + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
}

} // namespace varimark::cli
