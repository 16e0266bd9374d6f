#pragma once
// Little-endian numbers read from file bytes in tests (bounds-checked).
#include <cstdint>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline std::uint32_t U16(const Bytes& b, std::size_t at) {
    return b.at(at) | b.at(at + 1) << 8;
}
inline std::uint32_t U32(const Bytes& b, std::size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}
