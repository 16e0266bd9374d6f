// The picture in memory and the Windows bitmap file it is written as.
#include "export/Bitmap.h"
#include "export/LittleEndian.h"
#include "export/Pixels.h"

#include "export/FileWriter.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace varimark {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr std::uint32_t kMasksSize = 12;       // red, green, blue
constexpr std::uint32_t kCompressionRgb = 0;   // BI_RGB
constexpr std::uint32_t kCompressionMasks = 3; // BI_BITFIELDS

constexpr std::uint32_t kMasks565[3] = {0xF800, 0x07E0, 0x001F};

// Bytes per stored row: whole 32-bit words.
std::uint64_t Stride(std::uint64_t width, int bits) {
    return (width * bits + 31) / 32 * 4;
}

// The palette a 1-, 4- or 8-bit picture gets when it has none of its own:
// 1 bit: black and white; 4 bits: the 16 colours of the standard system palette;
// 8 bits: 256 grey levels from black (index 0) to white (index 255). All of them hold
// pure black and pure white, which is what the barcode pictures need.
std::vector<TRGBQuad> DefaultPalette(int bits) {
    auto grey = [](int v) {
        const auto level = static_cast<std::uint8_t>(v);
        return TRGBQuad{level, level, level, 0};
    };
    switch (bits) {
    case 1: return {grey(0), grey(255)};
    case 4: {
        const auto& system = varimark::SystemPalette16();
        return {system.begin(), system.end()};
    }
    default: {
        std::vector<TRGBQuad> greys(256);
        for (int i = 0; i < 256; ++i) greys[i] = grey(i);
        return greys;
    }
    }
}

// The size of the information header with its colour masks or colour table.
std::uint32_t HeadersSize(TPixelFormat format) {
    const int bits = TBitmap::BitsPerPixel(format);
    const std::uint32_t tableEntries = bits <= 8 ? 1u << bits : 0;
    return kInfoHeaderSize + (format == pf16bit ? kMasksSize : 0) + 4 * tableEntries;
}

// The index of the entry nearest to white, among the entries a pixel of the given depth
// can address. 0 for an empty palette.
unsigned NearestToWhite(const std::vector<TRGBQuad>& palette, int bits) {
    const std::size_t count = std::min(palette.size(), std::size_t{1} << bits);
    return varimark::NearestColour(std::span(palette).first(count), 255, 255, 255);
}

} // namespace

TBitmap::TBitmap(int width, int height, TPixelFormat format) {
    BitsPerPixel(format); // refuses pfCustom and anything unknown
    format_ = format;
    SetSize(width, height);
}

int TBitmap::BitsPerPixel(TPixelFormat format) {
    switch (format) {
    case pfDevice: return kDisplayBitsPerPixel;
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit: return 16;
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: throw EBitmap("Invalid pixel format");
    }
}

int TBitmap::BitsPerPixel() const {
    return BitsPerPixel(format_);
}

std::size_t TBitmap::RowStride() const {
    return static_cast<std::size_t>(Stride(static_cast<std::uint64_t>(width_), BitsPerPixel()));
}

void TBitmap::SetSize(int width, int height) {
    if (width < 0 || height < 0)
        throw EBitmap("Invalid bitmap size " + std::to_string(width) + " x " +
                      std::to_string(height));
    const int bits = BitsPerPixel();
    const std::uint64_t stride = Stride(static_cast<std::uint64_t>(width), bits);
    std::size_t imageSize = 0;
    if (__builtin_mul_overflow(stride, static_cast<std::uint64_t>(height), &imageSize))
        throw EBitmap("Bitmap is too large");
    if (bits <= 8 && palette_.empty()) palette_ = DefaultPalette(bits);

    // One white row, then copies of it.
    std::vector<std::uint8_t> row(static_cast<std::size_t>(stride), 0);
    if (bits <= 8) {
        // Whole bytes of the white index repeated, then the pixels of a last part byte.
        const unsigned index = NearestToWhite(palette_, bits);
        unsigned pattern = 0;
        for (int b = 0; b < 8; b += bits) pattern = pattern << bits | index;
        const std::uint64_t usedBits = static_cast<std::uint64_t>(width) * bits;
        std::fill_n(row.begin(), static_cast<std::size_t>(usedBits / 8),
                    static_cast<std::uint8_t>(pattern));
        if (const unsigned rest = static_cast<unsigned>(usedBits % 8); rest != 0)
            row[static_cast<std::size_t>(usedBits / 8)] =
                static_cast<std::uint8_t>(pattern & (0xFF00u >> rest));
    } else if (bits == 16) {
        // 5-5-5 white is 0x7FFF; with the 5-6-5 masks it is 0xFFFF.
        const std::uint8_t high = format_ == pf16bit ? 0xFF : 0x7F;
        for (int x = 0; x < width; ++x) {
            row[static_cast<std::size_t>(x) * 2] = 0xFF;
            row[static_cast<std::size_t>(x) * 2 + 1] = high;
        }
    } else {
        std::fill_n(row.begin(), static_cast<std::size_t>(width) * (bits / 8), std::uint8_t{0xFF});
    }

    // Written once, behind the room for the file's headers: 24- and 32-bit pictures are
    // white bytes with their fill cleared.
    const std::size_t headRoom = kFileHeaderSize + HeadersSize(format_);
    std::vector<std::uint8_t> pixels;
    if (bits >= 24) {
        pixels.assign(headRoom + imageSize, 0xFF);
        for (int y = 0; y < height; ++y)
            varimark::ClearRowFill(pixels.data() + headRoom + y * stride,
                                   static_cast<std::size_t>(stride), width, bits);
    } else {
        pixels.resize(headRoom + imageSize);
        // The first row, then the rows so far copied after themselves: log2(height) copies.
        std::uint8_t* const rows = pixels.data() + headRoom;
        if (imageSize > 0) {
            std::memcpy(rows, row.data(), static_cast<std::size_t>(stride));
            for (std::size_t done = stride; done < imageSize; done *= 2)
                std::memcpy(rows + done, rows, std::min(done, imageSize - done));
        }
    }
    pixels_ = std::move(pixels);
    headRoom_ = headRoom;
    width_ = width;
    height_ = height;
}

std::uint8_t* TBitmap::ScanLine(int y) {
    return const_cast<std::uint8_t*>(std::as_const(*this).ScanLine(y));
}

const std::uint8_t* TBitmap::ScanLine(int y) const {
    if (y < 0 || y >= height_) throw EBitmap("Scan line index out of range");
    return pixels_.data() + headRoom_ + static_cast<std::size_t>(height_ - 1 - y) * RowStride();
}

void TBitmap::ReadRgbRow(int y, std::uint8_t* rgb) const noexcept {
    if (y < 0 || y >= height_) return;
    const std::uint8_t* row =
        pixels_.data() + headRoom_ + static_cast<std::size_t>(height_ - 1 - y) * RowStride();
    varimark::RowToRgb(row, width_, format_, palette_, rgb);
}

std::vector<std::uint8_t> TBitmap::InfoHeader() const {
    std::vector<std::uint8_t> out;
    AppendInfoHeader(out);
    return out;
}

void TBitmap::AppendInfoHeader(std::vector<std::uint8_t>& out) const {
    const int bits = BitsPerPixel();
    const bool masks = format_ == pf16bit;
    const std::uint32_t tableEntries = bits <= 8 ? 1u << bits : 0;
    out.reserve(out.size() + InfoHeaderSize());
    Put32(out, kInfoHeaderSize);
    Put32(out, static_cast<std::uint32_t>(width_));
    Put32(out, static_cast<std::uint32_t>(height_)); // positive: bottom row first
    Put16(out, 1);                                   // planes
    Put16(out, static_cast<std::uint32_t>(bits));
    Put32(out, masks ? kCompressionMasks : kCompressionRgb);
    Put32(out, static_cast<std::uint32_t>(ImageSize()));
    Put32(out, 0); // pixels per metre across
    Put32(out, 0); // and down
    Put32(out, tableEntries);
    Put32(out, 0); // colours important: all
    if (masks)
        for (std::uint32_t m : kMasks565) Put32(out, m);
    for (std::uint32_t i = 0; i < tableEntries; ++i) {
        const TRGBQuad c = varimark::PaletteEntry(palette_, i);
        out.push_back(c.blue);
        out.push_back(c.green);
        out.push_back(c.red);
        out.push_back(0);
    }
}

std::uint32_t TBitmap::InfoHeaderSize() const {
    const std::uint32_t headerSize = HeadersSize(format_);
    if (ImageSize() > std::numeric_limits<std::uint32_t>::max() - kFileHeaderSize - headerSize)
        throw EBitmap("Bitmap is too large for a bitmap file");
    return headerSize;
}

std::vector<std::uint8_t> TBitmap::FileHeaders() const {
    const std::uint32_t headerSize = InfoHeaderSize(); // checks the size limit
    std::vector<std::uint8_t> out;
    out.reserve(kFileHeaderSize + headerSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, kFileHeaderSize + headerSize + static_cast<std::uint32_t>(ImageSize()));
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, kFileHeaderSize + headerSize);
    AppendInfoHeader(out);
    return out;
}

bool TBitmap::FillIsClear() const {
    const std::size_t stride = RowStride();
    const std::uint64_t usedBits = static_cast<std::uint64_t>(width_) * BitsPerPixel();
    const std::size_t full = static_cast<std::size_t>(usedBits / 8);
    const unsigned rest = static_cast<unsigned>(usedBits % 8);
    const std::size_t from = full + (rest != 0 ? 1 : 0);
    const unsigned partMask = rest != 0 ? 0xFFu >> rest : 0;
    // Every row's fill bits gathered into one value: no branch per row.
    unsigned fill = 0;
    const std::uint8_t* row = pixels_.data() + headRoom_;
    for (int y = 0; y < height_; ++y, row += stride) {
        if (rest != 0) fill |= row[full] & partMask;
        for (std::size_t i = from; i < stride; ++i) fill |= row[i];
    }
    return fill == 0;
}

std::vector<std::uint8_t> TBitmap::ToBmpFile() const {
    std::vector<std::uint8_t> out = FileHeaders();
    const std::size_t stride = RowStride();
    const std::size_t rowsAt = out.size();
    const std::span<const std::uint8_t> bits = Bits();
    out.insert(out.end(), bits.begin(), bits.end());
    // The fill is written as zeros whatever the rows hold there.
    if (stride != 0)
        for (int y = 0; y < height_; ++y)
            varimark::ClearRowFill(out.data() + rowsAt + static_cast<std::size_t>(y) * stride,
                                   stride, width_, BitsPerPixel());
    return out;
}

TBitmap::TFileParts TBitmap::FileParts() const {
    // The rows go out as they are stored, without a copy, when their fill is clear.
    if (FillIsClear()) return {FileHeaders(), Bits()};
    return {ToBmpFile(), {}};
}

std::vector<std::uint8_t> TBitmap::TakeBmpFile() && {
    std::vector<std::uint8_t> file = FileHeaders();
    if (!FillIsClear() || file.size() != headRoom_) { // a picture never sized has no room
        file = ToBmpFile();
    } else {
        std::memcpy(pixels_.data(), file.data(), headRoom_);
        file = std::move(pixels_);
    }
    *this = TBitmap();
    return file;
}

void TBitmap::SaveToFile(const std::string& path) const {
    const TFileParts parts = FileParts();
    WriteFileReplacing(path, {std::span<const std::uint8_t>(parts.head), parts.rows});
}

} // namespace varimark
