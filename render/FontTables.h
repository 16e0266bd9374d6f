#pragma once
// What a look-up or a cached glyph needs to know of a TrueType or OpenType font file, read
// from the file's own tables without FreeType: the face's table directory (whose records
// carry each table's checksum), its head table (units per em) and its OS/2 table (the
// Windows ascent and descent that measure the cell). A digest of these tells whether the
// file is still the one a look-up was taken from; FreeType is needed only where they do
// not tell (a file of another kind, a face measured by its horizontal header).
// Every offset and length is checked against the file's size before it is read, and at
// most a few kilobytes are read whatever the file holds.
#include "render/FontFace.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace varimark {

// The face's design metrics as TFontFace takes them, and the digest of its tables.
struct TSfntFace {
    TFaceMetrics metrics;
    std::uint64_t digest = 0;
};

enum class TSfntRead {
    Read,     // face filled in
    Unknown,  // not a face these tables describe (another kind of font, a damaged or
              // hostile table directory, no Windows ascent and descent): ask FreeType
    NotAFile, // the name is not a regular file that can be opened: no font at all
};

// The face at index of a font file's bytes in memory.
TSfntRead ParseSfnt(std::span<const std::uint8_t> bytes, int index, TSfntFace& face);

// The face at location, read from its file (links followed, opened without blocking), and
// the file's stamp as it was read.
TSfntRead ReadSfnt(const TFontLocation& location, TFontFileStamp& stamp, TSfntFace& face);

// Reads from a file at an offset until count bytes are read or the file ends: the bytes read.
std::size_t ReadAt(int fd, std::uint64_t offset, std::uint8_t* out, std::size_t count);

// FNV-1a, 64 bits, of bytes, continuing from hash (the checksum of kept glyphs too).
constexpr std::uint64_t kFnvStart = 14695981039346656037ull;
std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash = kFnvStart);

} // namespace varimark
