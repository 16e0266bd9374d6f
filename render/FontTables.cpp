#include "render/FontTables.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace varimark {

namespace {

constexpr std::uint32_t Tag(const char (&name)[5]) {
    return std::uint32_t{static_cast<unsigned char>(name[0])} << 24 |
           std::uint32_t{static_cast<unsigned char>(name[1])} << 16 |
           std::uint32_t{static_cast<unsigned char>(name[2])} << 8 |
           std::uint32_t{static_cast<unsigned char>(name[3])};
}

std::uint32_t U32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
unsigned U16(const std::uint8_t* p) {
    return unsigned{p[0]} << 8 | p[1];
}

// Faces with more tables than this are left to FreeType (fonts hold a few dozen).
constexpr unsigned kMaxTables = 256;
// The OS/2 table's length as FreeType reads it for its version: the fields of version 0,
// then those added by versions 1, 2 and 5.
unsigned Os2Length(unsigned version) {
    return version == 0 ? 78 : version == 1 ? 86 : version < 5 ? 96 : 100;
}

// The face's table directory: its offset and its header (a collection's face by index).
template <typename Read>
bool LocateDirectory(int index, Read& read, std::uint8_t (&header)[12], std::uint64_t& directory) {
    if (index < 0 || index > 0xFFFF || !read(0, sizeof header, header)) return false;
    directory = 0;
    if (U32(header) == Tag("ttcf")) { // a collection: its faces' directories by offset
        std::uint8_t offset[4];
        if (static_cast<std::uint32_t>(index) >= U32(header + 8) ||
            !read(12 + 4ull * static_cast<unsigned>(index), 4, offset) ||
            !read(U32(offset), sizeof header, header))
            return false;
        directory = U32(offset);
        return true;
    }
    return index == 0;
}

// The directory's table records.
struct TTableRecords {
    std::array<std::uint8_t, 16 * kMaxTables> bytes;
    unsigned count = 0;
    std::uint64_t fileSize = 0;

    // The first record of a tag with a length, as FreeType finds a table; false too when the
    // table it states does not lie wholly in the file.
    bool Find(std::uint32_t tag, std::uint32_t& offset, std::uint32_t& length) const {
        for (unsigned i = 0; i < count; ++i) {
            const std::uint8_t* record = bytes.data() + 16 * i;
            if (U32(record) == tag && U32(record + 12) != 0) {
                offset = U32(record + 8), length = U32(record + 12);
                return offset <= fileSize && length <= fileSize - offset;
            }
        }
        return false;
    }
};

std::uint64_t Digest(const std::uint8_t* bytes, std::size_t count, std::uint64_t digest) {
    return Fnv1a(std::string_view(reinterpret_cast<const char*>(bytes), count), digest);
}

// The metrics from head and OS/2, their bytes added to the digest.
template <typename Read>
bool ReadMetrics(const TTableRecords& records, Read& read, TSfntFace& face) {
    // head: units per em at 18, after the magic number 0x5F0F3CF5 at 12.
    std::uint32_t offset = 0, length = 0;
    std::uint8_t head[54], os2[100];
    if (!records.Find(Tag("head"), offset, length) || length < sizeof head ||
        !read(offset, sizeof head, head) || U32(head + 12) != 0x5F0F3CF5)
        return false;
    const unsigned unitsPerEm = U16(head + 18);
    if (unitsPerEm < 16 || unitsPerEm > 16384) return false;
    // OS/2: the Windows ascent and descent at 74 and 76; a face without them is measured by
    // its horizontal header, which FreeType reads.
    if (!records.Find(Tag("OS/2"), offset, length) || length < 2 || !read(offset, 2, os2))
        return false;
    const unsigned os2Version = U16(os2);
    const unsigned os2Length = Os2Length(os2Version);
    if (os2Version == 0xFFFF || length < os2Length || !read(offset, os2Length, os2)) return false;
    const unsigned ascent = U16(os2 + 74), descent = U16(os2 + 76);
    if (ascent + descent == 0) return false;
    face.digest = Digest(os2, os2Length, Digest(head, sizeof head, face.digest));
    face.metrics = {unitsPerEm, ascent, descent};
    return true;
}

// Reads the face through read(offset, count, out), which fails (false) for any stretch that
// does not lie wholly in the file.
template <typename Read>
TSfntRead ParseFace(std::uint64_t size, int index, Read read, TSfntFace& face) {
    std::uint8_t header[12];
    std::uint64_t directory = 0;
    if (!LocateDirectory(index, read, header, directory)) return TSfntRead::Unknown;
    const std::uint32_t version = U32(header);
    TTableRecords records;
    records.count = U16(header + 4);
    records.fileSize = size;
    if ((version != 0x00010000 && version != Tag("OTTO") && version != Tag("true")) ||
        records.count == 0 || records.count > kMaxTables ||
        !read(directory + 12, 16 * records.count, records.bytes.data()))
        return TSfntRead::Unknown;
    TSfntFace found; // the face is given only when it is read whole
    found.digest = Fnv1a(std::string_view(reinterpret_cast<const char*>(&index), sizeof index));
    found.digest = Digest(header, sizeof header, found.digest);
    found.digest = Digest(records.bytes.data(), 16 * records.count, found.digest);
    if (!ReadMetrics(records, read, found)) return TSfntRead::Unknown;
    face = found;
    return TSfntRead::Read;
}

} // namespace

std::size_t ReadAt(int fd, std::uint64_t offset, std::uint8_t* out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash) {
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

TSfntRead ParseSfnt(std::span<const std::uint8_t> bytes, int index, TSfntFace& face) {
    return ParseFace(
        bytes.size(), index,
        [&](std::uint64_t offset, std::size_t count, std::uint8_t* out) {
            if (offset > bytes.size() || count > bytes.size() - offset) return false;
            std::memcpy(out, bytes.data() + offset, count);
            return true;
        },
        face);
}

TSfntRead ReadSfnt(const TFontLocation& location, TFontFileStamp& stamp, TSfntFace& face) {
    const int fd = ::open(location.file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return TSfntRead::NotAFile;
    struct stat info {};
    TSfntRead result = TSfntRead::NotAFile;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        stamp = {info.st_mtim.tv_sec, info.st_mtim.tv_nsec, info.st_size};
        const auto size = static_cast<std::uint64_t>(info.st_size);
        result = ParseFace(
            size, location.index,
            [&](std::uint64_t offset, std::size_t count, std::uint8_t* out) {
                return offset <= size && count <= size - offset &&
                       ReadAt(fd, offset, out, count) == count;
            },
            face);
    }
    ::close(fd);
    return result;
}

} // namespace varimark
