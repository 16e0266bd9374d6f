#pragma once
// The drawing surface of pictures in memory: fills and text go straight into rows of
// 24-bit colour (blue, green, red) or 8-bit grey pixels, bars on whole pixels, text
// blended from cached glyph masks.
// Mapping modes scale the logical units; a whole, equal magnification draws the text
// with a font that many times higher, as a device of that resolution would.
#include "engine/Surface.h"
#include "render/GlyphMasks.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace varimark {

// Pixel rows: the top row's first byte and the distance from a row to the one below it
// (negative for pictures stored bottom row first); 3 bytes per pixel (blue, green, red)
// or 1 (grey, colours drawn as their grey level).
struct TPixelRows {
    std::uint8_t* top = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0, height = 0;
    int bytesPerPixel = 3;

    std::uint8_t* Row(int y) const { return top + stride * y; }
};

// The grey level of a colour: (11 red + 16 green + 5 blue) / 32.
std::uint8_t GreyOf(TColor color);

class TRasterSurface : public TSurfaceState {
public:
    // blank: the picture is one colour throughout (a fresh picture), which lets bars be
    // drawn a row at a time and shared by the rows alike. The fills are deferred, and rows
    // alike are written out at the end: everything is in the pixels when the surface is
    // gone. Without writeSharedRows they are not: read them through RowPixels.
    // Memory running out is std::bad_alloc from the constructor and the drawing calls;
    // flushing and the destructor allocate nothing they cannot do without.
    TRasterSurface(TPixelRows pixels, int dpiX, int dpiY, bool blank = false,
                   bool writeSharedRows = true);
    ~TRasterSurface() override;
    TRasterSurface(const TRasterSurface&) = delete;
    TRasterSurface& operator=(const TRasterSurface&) = delete;

    void FillRect(int left, int top, int right, int bottom) override;
    int TextHeight(std::string_view text) override;
    void TextOut(int x, int y, std::string_view text, const TFontSpec& font) override;

    // Draws the deferred fills. The memory it needs was taken as the fills came; a copy
    // of a row that cannot be had only costs drawing the rows alike one by one.
    void Flush() noexcept;
    // After Flush: rows with equal numbers hold equal pixels (as far as drawing tells).
    const std::vector<std::uint32_t>& RowClasses() const { return rowClass_; }
    // After Flush: the pixels of row y, in the picture or in the copy the row shares.
    const std::uint8_t* RowPixels(int y) const {
        return shared_[y] != nullptr ? shared_[y] : pixels_.Row(y);
    }
    // Writes the rows that share a copy into the picture.
    void WriteSharedRows();

private:
    struct TPendingFill {
        int x0, y0, x1, y1;
        TColor color;
    };
    template <int kBytes> void FlushRows() noexcept;
    void CollectEdges() noexcept;
    template <int kBytes> void FillBandRow(std::uint8_t* row, int ya, int yb) const noexcept;
    void FillTextBox(int ox, int oy, int turns, double left, double top, double width, double cell);
    // Rows y0 <= y < y1 are drawn on one by one: written out, and no longer known to be
    // like any other.
    void TouchRows(int y0, int y1);
    // Writes row y out if it shares a copy.
    void Own(int y);
    std::size_t RowBytes() const {
        return static_cast<std::size_t>(pixels_.bytesPerPixel) * pixels_.width;
    }

    // Fills device pixels x0 <= x < x1, y0 <= y < y1 (clipped to the picture), deferred.
    void FillDevice(int x0, int y0, int x1, int y1, TColor color);
    // Darkens one device pixel towards black by coverage / 255.
    void Blend(int x, int y, std::uint8_t coverage);
    // Blends an unturned glyph mask whose top-left pixel is at (left, top).
    void BlendMask(const TGlyphMask& mask, int left, int top);

    void MappingChanged() override;

    TPixelRows pixels_;
    TScale scale_;       // of the mapping mode, kept as it changes
    int wholeScale_ = 1; // the scale when it is one whole number across and down, else 0
    bool writeSharedRows_;
    std::uint32_t nextClass_ = 0;

    // The surface's working lists, kept from one surface to the next on a thread (a batch
    // draws thousands of pictures) instead of allocated anew for each.
    struct TScratch;
    struct TScratchSpares; // a thread's scratch lists not in use
    struct TScratchDeleter {
        void operator()(TScratch* scratch) const noexcept; // back to the thread's spares
    };
    using TScratchPtr = std::unique_ptr<TScratch, TScratchDeleter>;
    static TScratchPtr TakeScratch();
    TScratchPtr scratch_;
    std::vector<TPendingFill>& pending_;
    std::vector<int>& edges_;
    // Rows of the same class are known to hold the same pixels.
    std::vector<std::uint32_t>& rowClass_;
    // Per row: the copy of a row alike that it stands for until written out, or null.
    std::vector<const std::uint8_t*>& shared_;
};

} // namespace varimark
