#pragma once
// A picture in memory: width, height, pixel format, palette and the pixels in the
// device-independent layout (rows bottom first, each padded to a multiple of 4 bytes;
// 24- and 32-bit pixels blue, green, red). Writes the Windows bitmap file.
#include "varimark/error.h"
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace varimark {

enum TPixelFormat : std::uint8_t {
    pfDevice = 0, // the display's depth
    pf1bit = 1,
    pf4bit = 2,
    pf8bit = 3,
    pf15bit = 4, // 5-5-5
    pf16bit = 5, // 5-6-5, with colour masks
    pf24bit = 6,
    pf32bit = 7,
    pfCustom = 8, // not settable
};

// The display's depth: what a device-dependent bitmap holds.
inline constexpr int kDisplayBitsPerPixel = 24;

struct TRGBQuad {
    std::uint8_t blue = 0, green = 0, red = 0, reserved = 0;
    friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

// A request the bitmap cannot carry out.
class EBitmap : public varimark::Error {
public:
    using varimark::Error::Error;
};

class TBitmap {
public:
    TBitmap() = default;
    // A white picture of the given size and format.
    TBitmap(int width, int height, TPixelFormat format = pfDevice);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    TPixelFormat PixelFormat() const { return format_; }
    // Bits per pixel of the device-independent layout (the display's for pfDevice).
    int BitsPerPixel() const;
    static int BitsPerPixel(TPixelFormat format);

    // Converts to another pixel format; nothing happens when it is the present one. The
    // new picture starts white and takes the old pixels: 1-bit and 4-bit pictures by the
    // nearest colour of their palette (4 bits: the 16-colour system palette), 8 bits by
    // the nearest colour of the fixed halftone palette (exact nearest, no dithering; pure
    // black and white stay exact), 15/16 bits by 5-5-5 / 5-6-5 reduction, 24 and 32 bits
    // exactly. pfCustom raises "Invalid pixel format".
    void SetPixelFormat(TPixelFormat format);

    // Resizes to a white picture (palette formats: the index of the palette's white
    // entry, or of the entry nearest to white).
    void SetSize(int width, int height);

    // Palette of 1-, 4- and 8-bit pictures: up to 2^bits entries.
    const std::vector<TRGBQuad>& Palette() const { return palette_; }
    void SetPalette(std::vector<TRGBQuad> palette) { palette_ = std::move(palette); }

    // Bytes per stored row: ((width × bits + 31) div 32) × 4.
    std::size_t RowStride() const;
    std::size_t ImageSize() const { return RowStride() * static_cast<std::size_t>(height_); }
    // Row y of the picture, 0 being the top row.
    std::uint8_t* ScanLine(int y);
    const std::uint8_t* ScanLine(int y) const;
    // Row y (0 = the top row) as red, green, blue bytes, 3 × width, from any format
    // (read as varimark::RowToRgb reads them).
    void ReadRgbRow(int y, std::uint8_t* rgb) const noexcept;
    // All rows as stored: bottom row first.
    std::span<const std::uint8_t> Bits() const {
        return std::span<const std::uint8_t>(pixels_).subspan(headRoom_);
    }

    // The device-independent information header with its colour masks or colour table
    // (40 + 12 or 40 + 4 × 2^bits bytes), as it stands in the bitmap file.
    std::vector<std::uint8_t> InfoHeader() const;

    // The bitmap file: 14-byte file header, information header, rows.
    std::vector<std::uint8_t> ToBmpFile() const;

    // The bitmap file as two parts that go out one after the other: the headers, and the
    // rows as stored, straight from the picture (valid while it is unchanged). When the
    // rows must be copied to clear their fill bits, the first part is the whole file.
    struct TFileParts {
        std::vector<std::uint8_t> head;
        std::span<const std::uint8_t> rows;
    };
    TFileParts FileParts() const;
    // The whole bitmap file, made where the picture lies (the rows are kept behind room
    // for the headers): no copy of the rows when their fill is clear. The picture is left
    // empty.
    std::vector<std::uint8_t> TakeBmpFile() &&;

    void SaveToFile(const std::string& path) const; // raises EFile

private:
    std::vector<std::uint8_t> FileHeaders() const; // file header and information header
    void AppendInfoHeader(std::vector<std::uint8_t>& out) const;
    std::uint32_t InfoHeaderSize() const; // raises EBitmap when too large for a file
    bool FillIsClear() const;             // every row's fill bits are zero

    int width_ = 0, height_ = 0;
    TPixelFormat format_ = pfDevice;
    std::vector<TRGBQuad> palette_;
    // The headers' room (kept for TakeBmpFile), then the rows.
    std::size_t headRoom_ = 0;
    std::vector<std::uint8_t> pixels_;
};

} // namespace varimark
