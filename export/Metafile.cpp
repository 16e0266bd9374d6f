// Enhanced metafile recording: little-endian records, each a multiple of 4 bytes long.
// A recording is the header record, the drawing records and the end record:
//   EMR_HEADER (1)            108 bytes: bounds, frame, " EMF", version 0x10000, total
//                             bytes, record count, 1 handle, no description, no palette,
//                             the display's size in pixels, millimetres, micrometres
//   EMR_SETSTRETCHBLTMODE (21) per drawn bitmap, when the mode rule below asks for one
//   EMR_STRETCHDIBITS (81)    the bitmap's information header and rows, copied with
//                             SRCCOPY at its own size
//   EMR_EOF (14)              20 bytes, no palette
#include "export/Metafile.h"
#include "export/LittleEndian.h"
#include "export/Pixels.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace varimark {

namespace {

constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEmrEof = 14;
constexpr std::uint32_t kEmrSetStretchBltMode = 21;
constexpr std::uint32_t kEmrStretchDIBits = 81;

constexpr std::uint32_t kHeaderSize = 108;       // with the pixel-format and OpenGL fields
constexpr std::uint32_t kStretchDIBitsSize = 80; // before the information header
constexpr std::uint32_t kEofSize = 20;
constexpr std::uint32_t kSignature = 0x464D4520; // " EMF"
constexpr std::uint32_t kVersion = 0x10000;

constexpr std::uint32_t kColorOnColor = 3; // stretch modes
constexpr std::uint32_t kHalftone = 4;
constexpr std::uint32_t kDibRgbColors = 0;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;

void PutInt(std::vector<std::uint8_t>& out, int v) {
    Put32(out, static_cast<std::uint32_t>(v));
}

// length × (millimetres × 100) ÷ pixels, to the nearest integer; a length of 0 stands
// for the whole display.
int HundredthsOfMM(int length, int millimetres, int pixels) {
    if (length == 0 || pixels <= 0) return millimetres * 100;
    const std::int64_t num = std::int64_t{length} * millimetres * 100;
    const std::int64_t half = pixels / 2;
    const std::int64_t q = num >= 0 ? (num + half) / pixels : (num - half) / pixels;
    return static_cast<int>(q);
}

int PixelsOf(int hundredths, int millimetres, int pixels) {
    if (millimetres <= 0) return 0;
    const std::int64_t num = std::int64_t{hundredths} * pixels;
    const std::int64_t den = std::int64_t{millimetres} * 100;
    return static_cast<int>((num + den / 2) / den);
}

// The stretch mode recorded before a bitmap of bits per pixel: halftone when the display
// has at most 8 bits per pixel and fewer than the bitmap, otherwise colour-on-colour unless
// the bitmap is monochrome (1 bit), where none is recorded (0).
std::uint32_t StretchModeFor(int displayBits, int bits) {
    if (displayBits <= 8 && displayBits < bits) return kHalftone;
    if (bits != 1) return kColorOnColor;
    return 0;
}

// The StretchDIBits record of size bytes that draws the whole bitmap (its information
// header info, its rows) with its top left corner at (x, y), one pixel per pixel; the fill
// after each row's last pixel is recorded as zeros.
std::vector<std::uint8_t> StretchDIBitsRecord(int x, int y, const TBitmap& bitmap,
                                              const std::vector<std::uint8_t>& info,
                                              std::span<const std::uint8_t> rows,
                                              std::uint64_t size) {
    const int w = bitmap.Width(), h = bitmap.Height();
    std::vector<std::uint8_t> r;
    r.reserve(static_cast<std::size_t>(size));
    Put32(r, kEmrStretchDIBits);
    Put32(r, static_cast<std::uint32_t>(size));
    PutInt(r, x); // bounds, inclusive
    PutInt(r, y);
    PutInt(r, x + w - 1);
    PutInt(r, y + h - 1);
    PutInt(r, x); // destination
    PutInt(r, y);
    PutInt(r, 0); // source rectangle: the whole bitmap
    PutInt(r, 0);
    PutInt(r, w);
    PutInt(r, h);
    Put32(r, kStretchDIBitsSize); // information header: where and how long
    Put32(r, static_cast<std::uint32_t>(info.size()));
    Put32(r, kStretchDIBitsSize + static_cast<std::uint32_t>(info.size())); // rows
    Put32(r, static_cast<std::uint32_t>(rows.size()));
    Put32(r, kDibRgbColors);
    Put32(r, kSrcCopy);
    PutInt(r, w); // destination size
    PutInt(r, h);
    r.insert(r.end(), info.begin(), info.end());
    const std::size_t rowsAt = r.size();
    r.insert(r.end(), rows.begin(), rows.end());
    const std::size_t stride = bitmap.RowStride();
    for (int row = 0; row < h; ++row)
        varimark::ClearRowFill(r.data() + rowsAt + static_cast<std::size_t>(row) * stride, stride,
                               w, bitmap.BitsPerPixel());
    return r;
}

} // namespace

// The recording starts with the frame of the metafile's size in pixels on the display.
TMetafileCanvas::TMetafileCanvas(TMetafile& metafile, const TDisplayFacts& display)
    : metafile_(metafile), display_(display),
      frameWidth_(HundredthsOfMM(metafile.width_, display.widthMM, display.widthPixels)),
      frameHeight_(HundredthsOfMM(metafile.height_, display.heightMM, display.heightPixels)) {}

TMetafileCanvas::~TMetafileCanvas() {
    try {
        Close();
    } catch (...) {
        // A destructor cannot report it; the metafile keeps its earlier content.
    }
}

// Draws the whole bitmap with its top left corner at (x, y), one pixel per pixel, after
// the stretch mode (StretchModeFor).
void TMetafileCanvas::Draw(int x, int y, const TBitmap& bitmap) {
    if (closed_) throw std::logic_error("Metafile canvas is closed");
    if (bitmap.Empty()) return;
    const int w = bitmap.Width(), h = bitmap.Height();

    const std::vector<std::uint8_t> info = bitmap.InfoHeader();
    const std::span<const std::uint8_t> rows = bitmap.Bits();
    const std::uint64_t size = std::uint64_t{kStretchDIBitsSize} + info.size() + rows.size();
    if (size > std::numeric_limits<std::uint32_t>::max())
        throw EBitmap("Bitmap is too large for a metafile");

    if (const std::uint32_t mode = StretchModeFor(display_.bitsPerPixel, bitmap.BitsPerPixel());
        mode != 0) {
        records_.push_back({});
        Put32(records_.back(), kEmrSetStretchBltMode);
        Put32(records_.back(), 12);
        Put32(records_.back(), mode);
    }
    records_.push_back(StretchDIBitsRecord(x, y, bitmap, info, rows, size));

    // Bounds: every pixel drawn, inclusive.
    const bool first = boundsRight_ < boundsLeft_;
    boundsLeft_ = first ? x : std::min(boundsLeft_, x);
    boundsTop_ = first ? y : std::min(boundsTop_, y);
    boundsRight_ = first ? x + w - 1 : std::max(boundsRight_, x + w - 1);
    boundsBottom_ = first ? y + h - 1 : std::max(boundsBottom_, y + h - 1);
}

// The recording becomes the metafile's content; its size in pixels then follows from
// the frame.
void TMetafileCanvas::Close() {
    if (closed_) return;
    std::uint64_t total = kHeaderSize + kEofSize;
    for (const auto& record : records_) total += record.size();
    if (total > std::numeric_limits<std::uint32_t>::max()) throw EBitmap("Metafile is too large");

    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(total));
    Put32(out, kEmrHeader);
    Put32(out, kHeaderSize);
    PutInt(out, boundsLeft_); // nothing drawn: (0, 0, -1, -1)
    PutInt(out, boundsTop_);
    PutInt(out, boundsRight_);
    PutInt(out, boundsBottom_);
    PutInt(out, 0); // frame, hundredths of a millimetre
    PutInt(out, 0);
    PutInt(out, frameWidth_);
    PutInt(out, frameHeight_);
    Put32(out, kSignature);
    Put32(out, kVersion);
    Put32(out, static_cast<std::uint32_t>(total));
    Put32(out, static_cast<std::uint32_t>(records_.size() + 2));
    Put32(out, 1); // handles: the reserved one only; reserved 0
    Put32(out, 0); // no description
    Put32(out, 0);
    Put32(out, 0); // palette entries
    PutInt(out, display_.widthPixels);
    PutInt(out, display_.heightPixels);
    PutInt(out, display_.widthMM);
    PutInt(out, display_.heightMM);
    Put32(out, 0); // no pixel format
    Put32(out, 0);
    Put32(out, 0); // no OpenGL records
    PutInt(out, display_.widthMM * 1000);
    PutInt(out, display_.heightMM * 1000);
    for (const auto& record : records_) out.insert(out.end(), record.begin(), record.end());
    Put32(out, kEmrEof);
    Put32(out, kEofSize);
    Put32(out, 0);  // palette entries
    Put32(out, 16); // where they would be
    Put32(out, kEofSize);

    metafile_.records_ = std::move(out);
    metafile_.frameWidth_ = frameWidth_;
    metafile_.frameHeight_ = frameHeight_;
    metafile_.width_ = PixelsOf(frameWidth_, display_.widthMM, display_.widthPixels);
    metafile_.height_ = PixelsOf(frameHeight_, display_.heightMM, display_.heightPixels);
    records_.clear();
    closed_ = true;
}

std::vector<std::uint8_t> BitmapMetafileBytes(const TBitmap& bitmap) {
    TMetafile metafile;
    metafile.SetHeight(bitmap.Height());
    metafile.SetWidth(bitmap.Width());
    {
        TMetafileCanvas canvas(metafile);
        canvas.Draw(0, 0, bitmap);
        canvas.Close();
    }
    return metafile.TakeData();
}

} // namespace varimark
