#pragma once
// Reading back the files that tests write.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

// A whole file as text; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A whole file as bytes; empty when it cannot be read.
inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool FileExists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}
