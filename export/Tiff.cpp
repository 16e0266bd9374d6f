// The TIFF writer. File layout, all numbers little-endian:
//
//   palette picture (n = 16 or 256 colours)     RGB picture
//   0        header "II", 42, directory offset  0   header
//   8        colour map, 3 x n SHORTs            8   XResolution 877/10
//   8 + 6n   XResolution 877/10                  16  YResolution 877/10
//   16 + 6n  YResolution 877/10                  24  BitsPerSample 8, 8, 8
//   24 + 6n  "Tavelmorin" (10 bytes, no zero)    30  "Tavelmorin"
//   34 + 6n  rows, top row first, unpadded       40  rows, top first, red green blue
//   then the directory: 15 entries of 12 bytes between the entry count and a zero
//   next-directory offset, right behind the last row even at an odd offset.
//
// 4-bit pictures are written (W div 4) x 4 pixels wide (narrower ones not at all). Colour map
// values are v x 256, so white is 65280. Width and height are SHORT fields, so neither may exceed
// 65535.
#include "export/Tiff.h"
#include "export/LittleEndian.h"
#include "export/Pixels.h"

#include <cstdint>
#include <string>
#include <vector>

namespace varimark {

namespace {

enum : std::uint16_t { kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };

constexpr std::uint32_t kEntryCount = 15;
constexpr std::uint32_t kDirectorySize = 2 + kEntryCount * 12 + 4;
constexpr char kSoftware[10] = {'T', 'a', 'v', 'e', 'l', 'm', 'o', 'r', 'i', 'n'};
constexpr std::uint32_t kMaxDimension = 65535;

struct TEntry {
    std::uint16_t tag, type;
    std::uint32_t count, value;
};

void PutResolutions(std::vector<std::uint8_t>& out) {
    for (int i = 0; i < 2; ++i) {
        Put32(out, 877);
        Put32(out, 10);
    }
}

void PutSoftware(std::vector<std::uint8_t>& out) {
    out.insert(out.end(), kSoftware, kSoftware + sizeof kSoftware);
}

// Writes the directory at the end and its offset into the header.
void PutDirectory(std::vector<std::uint8_t>& out, const TEntry (&entries)[kEntryCount]) {
    const auto offset = static_cast<std::uint32_t>(out.size());
    Put16(out, kEntryCount);
    for (const TEntry& e : entries) {
        Put16(out, e.tag);
        Put16(out, e.type);
        Put32(out, e.count);
        Put32(out, e.value); // a SHORT of count 1 sits in the low two bytes
    }
    Put32(out, 0);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(offset >> (8 * i));
}

void PutHeader(std::vector<std::uint8_t>& out) {
    out.insert(out.end(), {'I', 'I', 42, 0});
    Put32(out, 8); // the directory offset, filled in at the end
}

[[noreturn]] void TooLarge(const TBitmap& bitmap, const char* reason) {
    throw ETiff("Cannot write a TIFF file of " + std::to_string(bitmap.Width()) + " x " +
                std::to_string(bitmap.Height()) + " pixels: " + reason);
}

std::vector<std::uint8_t> PaletteFile(const TBitmap& bitmap, int bits) {
    const std::uint32_t n = 1u << bits;
    const auto height = static_cast<std::uint32_t>(bitmap.Height());
    const auto width =
        bits == 4 ? static_cast<std::uint32_t>(bitmap.Width()) / 4 * 4 : bitmap.Width();
    const std::uint32_t rowBytes = bits == 4 ? width / 2 : width;
    const std::uint32_t pixelsAt = 34 + 6 * n;
    const std::uint64_t stripBytes = std::uint64_t{rowBytes} * height;
    if (pixelsAt + stripBytes + kDirectorySize > 0xFFFFFFFFu)
        TooLarge(bitmap, "the file would exceed 4 gigabytes");

    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(pixelsAt + stripBytes + kDirectorySize));
    PutHeader(out);
    auto entry = [&bitmap](std::uint32_t i) { return varimark::PaletteEntry(bitmap.Palette(), i); };
    for (std::uint32_t i = 0; i < n; ++i) Put16(out, entry(i).red * 256u);
    for (std::uint32_t i = 0; i < n; ++i) Put16(out, entry(i).green * 256u);
    for (std::uint32_t i = 0; i < n; ++i) Put16(out, entry(i).blue * 256u);
    const std::uint32_t xResolutionAt = 8 + 6 * n, yResolutionAt = xResolutionAt + 8;
    const std::uint32_t softwareAt = yResolutionAt + 8;
    PutResolutions(out);
    PutSoftware(out);
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* row = bitmap.ScanLine(y);
        out.insert(out.end(), row, row + rowBytes);
    }

    const TEntry entries[kEntryCount] = {
        {254, kLong, 1, 0},                                      // NewSubfileType
        {256, kShort, 1, width},                                 // ImageWidth
        {257, kShort, 1, height},                                // ImageLength
        {258, kShort, 1, static_cast<std::uint32_t>(bits)},      // BitsPerSample
        {259, kShort, 1, 1},                                     // Compression: none
        {262, kShort, 1, 3},                                     // Photometric: palette
        {273, kLong, 1, pixelsAt},                               // StripOffsets
        {277, kShort, 1, 1},                                     // SamplesPerPixel
        {278, kLong, 1, height},                                 // RowsPerStrip
        {279, kLong, 1, static_cast<std::uint32_t>(stripBytes)}, // StripByteCounts
        {282, kRational, 1, xResolutionAt},                      // XResolution
        {283, kRational, 1, yResolutionAt},                      // YResolution
        {296, kShort, 1, 2},                                     // ResolutionUnit: inch
        {305, kAscii, sizeof kSoftware, softwareAt},             // Software
        {320, kShort, 3 * n, 8},                                 // ColorMap
    };
    PutDirectory(out, entries);
    return out;
}

// Pictures of more than 8 bits per pixel as RGB: 24 bits (and the display's format) as
// they are, 32 bits without their fourth byte, 15 and 16 bits widened.
std::vector<std::uint8_t> RgbFile(const TBitmap& bitmap) {
    const auto width = static_cast<std::uint32_t>(bitmap.Width());
    const auto height = static_cast<std::uint32_t>(bitmap.Height());
    const std::uint32_t rowBytes = 3 * width;
    const std::uint32_t pixelsAt = 40;
    const std::uint64_t stripBytes = std::uint64_t{rowBytes} * height;
    if (pixelsAt + stripBytes + kDirectorySize > 0xFFFFFFFFu)
        TooLarge(bitmap, "the file would exceed 4 gigabytes");

    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(pixelsAt + stripBytes + kDirectorySize));
    PutHeader(out);
    PutResolutions(out);
    for (int i = 0; i < 3; ++i) Put16(out, 8); // BitsPerSample at 24
    PutSoftware(out);                          // at 30
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::size_t at = out.size();
        out.resize(at + rowBytes);
        varimark::RowToRgb(bitmap.ScanLine(y), bitmap.Width(), bitmap.PixelFormat(), {},
                           out.data() + at);
    }

    const TEntry entries[kEntryCount] = {
        {254, kLong, 1, 0},                                      // NewSubfileType
        {256, kShort, 1, width},                                 // ImageWidth
        {257, kShort, 1, height},                                // ImageLength
        {258, kShort, 3, 24},                                    // BitsPerSample
        {259, kShort, 1, 1},                                     // Compression: none
        {262, kShort, 1, 2},                                     // Photometric: RGB
        {273, kLong, 1, pixelsAt},                               // StripOffsets
        {277, kShort, 1, 3},                                     // SamplesPerPixel
        {278, kLong, 1, height},                                 // RowsPerStrip
        {279, kLong, 1, static_cast<std::uint32_t>(stripBytes)}, // StripByteCounts
        {282, kRational, 1, 8},                                  // XResolution
        {283, kRational, 1, 16},                                 // YResolution
        {284, kShort, 1, 1},                                     // PlanarConfiguration
        {296, kShort, 1, 2},                                     // ResolutionUnit: inch
        {305, kAscii, sizeof kSoftware, 30},                     // Software
    };
    PutDirectory(out, entries);
    return out;
}

} // namespace

std::vector<std::uint8_t> TiffFileBytes(const TBitmap& bitmap) {
    // A 4-bit picture narrower than 4 pixels would be written 0 pixels wide.
    if (bitmap.Empty() || bitmap.PixelFormat() == pf1bit ||
        (bitmap.PixelFormat() == pf4bit && bitmap.Width() < 4))
        return {};
    if (static_cast<std::uint32_t>(bitmap.Width()) > kMaxDimension ||
        static_cast<std::uint32_t>(bitmap.Height()) > kMaxDimension)
        TooLarge(bitmap, "TIFF width and height are limited to 65535");
    switch (bitmap.PixelFormat()) {
    case pf4bit: return PaletteFile(bitmap, 4);
    case pf8bit: return PaletteFile(bitmap, 8);
    default: return RgbFile(bitmap); // pfDevice, 15, 16, 24 and 32 bits
    }
}

} // namespace varimark
