#pragma once
// The drawing surface of pictures in memory: fills and text go straight into rows of
// 24-bit colour (blue, green, red) or 8-bit grey pixels, bars on whole pixels, text
// blended from cached glyph masks.
// Mapping modes scale the logical units; a whole, equal magnification draws the text
// with a font that many times higher, as a device of that resolution would.
#include "GlyphMasks.h"
#include "Surface.h"

#include <cstddef>
#include <cstdint>
#include <vector>

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
    // drawn a row at a time and copied down. The fills are deferred; everything is in the
    // pixels when the surface is gone (or after Flush).
    TRasterSurface(TPixelRows pixels, int dpiX, int dpiY, bool blank = false);
    ~TRasterSurface() override;
    TRasterSurface(const TRasterSurface&) = delete;
    TRasterSurface& operator=(const TRasterSurface&) = delete;

    void FillRect(int left, int top, int right, int bottom) override;
    int TextHeight(std::string_view text) override;
    void TextOut(int x, int y, std::string_view text, const TFontSpec& font) override;

    void SetMapMode(TMapMode mode) override;
    void SetWindowExt(int width, int height) override;
    void SetViewportExt(int width, int height) override;

    // Draws the deferred fills.
    void Flush();

private:
    struct TPendingFill {
        int x0, y0, x1, y1;
        TColor color;
    };
    template <int Bytes>
    void FlushRows();
    // Rows y0 <= y < y1 were drawn on one by one: no longer known to be like any other.
    void TouchRows(int y0, int y1);

    // Fills device pixels x0 <= x < x1, y0 <= y < y1 (clipped to the picture), deferred.
    void FillDevice(int x0, int y0, int x1, int y1, TColor color);
    // Darkens one device pixel towards black by coverage / 255.
    void Blend(int x, int y, std::uint8_t coverage);
    // Blends an unturned glyph mask whose top-left pixel is at (left, top).
    void BlendMask(const TGlyphMask& mask, int left, int top);

    TPixelRows pixels_;
    void UpdateScale();

    TScale scale_;       // of the mapping mode, kept as it changes
    int wholeScale_ = 1; // the scale when it is one whole number across and down, else 0
    std::vector<TPendingFill> pending_;
    std::vector<int> edges_;
    // Rows of the same class are known to hold the same pixels.
    std::vector<std::uint32_t> rowClass_;
    std::uint32_t nextClass_ = 0;
};
