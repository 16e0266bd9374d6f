#pragma once
// Reading a small file whole, safely: only a regular file is read, opened without blocking
// (a FIFO would wait forever, a device such as /dev/zero never ends), and never more than
// the caller allows.
#include <cstddef>
#include <string>

namespace varimark {

enum class TReadStatus {
    Missing, // nothing is there
    Loaded,  // the whole file is in the bytes
    Refused, // not a regular file, larger than allowed, or unreadable
};

// Reads path into bytes when it is a regular file of at most maxBytes (a file that grows
// past it while being read is refused too).
TReadStatus ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& bytes);

} // namespace varimark
