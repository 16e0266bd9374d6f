#include "render/MagnifiedBitmap.h"

#include "engine/EOverflow.h"
#include "engine/Rounding.h"

#include <array>
#include <bit>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varimark {

namespace {

// Each byte with its bits in the opposite order.
constexpr auto kReversedBits = [] {
    std::array<std::uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v)
        for (int b = 0; b < 8; ++b)
            if (v & (1 << b)) t[v] |= static_cast<std::uint8_t>(0x80 >> b);
    return t;
}();

// A white-background picture in grey levels as a 1-bit bitmap (black, white): every
// pixel lighter than mid-grey is white.
TBitmap ToMonochrome(const TRasterSurface& picture, int width, int height) {
    const std::vector<std::uint32_t>& rowClasses = picture.RowClasses();
    TBitmap bitmap(width, height, pf1bit);
    bitmap.SetPalette({TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}});
    if (bitmap.Empty()) return bitmap;
    // Rows are stored bottom first, each padded with zero bytes.
    const std::size_t stride = bitmap.RowStride(), used = (static_cast<std::size_t>(width) + 7) / 8;
    std::uint8_t* const top = bitmap.ScanLine(0);
    const auto rowAt = [&](int y) { return top - static_cast<std::ptrdiff_t>(stride) * y; };
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = rowAt(y);
        if (y > 0 && rowClasses[y] == rowClasses[y - 1]) {
            // Rows like the one above: copies of it, doubling the rows copied each time
            // (the rows lie one below the other in memory, going down).
            int end = y + 1;
            while (end < height && rowClasses[end] == rowClasses[y]) ++end;
            for (int done = 1, rows = end - y + 1; done < rows;) {
                const int n = std::min(done, rows - done);
                std::memcpy(rowAt(y - 2 + done + n), rowAt(y - 2 + done),
                            stride * static_cast<std::size_t>(n));
                done += n;
            }
            y = end - 1;
            continue;
        }
        const std::uint8_t* source = picture.RowPixels(y);
        row[used - 1] = 0; // the last byte may be partly filled below
        for (std::size_t i = used; i < stride; ++i) row[i] = 0;
        int x = 0;
#if defined(__SSE2__)
        // Sixteen top bits at once; the mask has the first pixel in its lowest bit.
        for (; x + 16 <= width; x += 16) {
            const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
            const auto bits = static_cast<unsigned>(_mm_movemask_epi8(sixteen));
            row[x >> 3] = kReversedBits[bits & 0xFF];
            row[(x >> 3) + 1] = kReversedBits[bits >> 8];
        }
#endif
        if constexpr (std::endian::native == std::endian::little)
            for (; x + 8 <= width; x += 8) {
                // The top bits of eight grey bytes gathered into one byte, the first pixel
                // in its highest bit (the bytes read as a little-endian word).
                std::uint64_t eight;
                std::memcpy(&eight, source + x, 8);
                row[x >> 3] = static_cast<std::uint8_t>(
                    (((eight >> 7) & 0x0101010101010101u) * 0x8040201008040201u) >> 56);
            }
        for (; x < width; ++x)
            row[x >> 3] |= static_cast<std::uint8_t>((source[x] >> 7) << (7 - (x & 7)));
    }
    return bitmap;
}

} // namespace

TBitmap MagnifiedBitmap(const TDrawFunction& draw, int margin, bool monochrome, int factor,
                        int dpi) {
    if (factor < 1) throw EOverflow("Barcode: Factor for \"MagnifyBy\" must be >=1");
    const TRecordedDrawing drawing = RecordBarcode(draw, margin, dpi);
    const TDrawnSize size = MagnifiedSize(drawing.Size(), margin, factor);
    const int width = size.width, height = size.height;
    if (monochrome) {
        const std::size_t pixels = static_cast<std::size_t>(width) * height;
        const auto grey = std::make_unique_for_overwrite<std::uint8_t[]>(pixels);
        std::memset(grey.get(), 255, pixels);
        TBitmap bitmap;
        ReadMagnified(
            drawing, factor, dpi, TPixelRows{grey.get(), width, width, height, 1},
            [&](const TRasterSurface& picture) { bitmap = ToMonochrome(picture, width, height); });
        return bitmap;
    }
    // The display's depth: blue, green, red, rows stored bottom first; drawn in place.
    TBitmap bitmap(width, height, pfDevice);
    const std::ptrdiff_t stride = -static_cast<std::ptrdiff_t>(bitmap.RowStride());
    DrawMagnified(drawing, factor, dpi, TPixelRows{bitmap.ScanLine(0), stride, width, height});
    return bitmap;
}

void MagnifyBy(const TDrawFunction& draw, int margin, const std::string& fileName, bool monochrome,
               int factor, int dpi) {
    MagnifiedBitmap(draw, margin, monochrome, factor, dpi).SaveToFile(fileName);
}

void LoMetricPrint(const TDrawFunction& draw, TSurface& surface, int x, int y, TDrawnSize* size) {
    const TMapMode mode = surface.MapMode();
    if (mode == MM_TEXT) {
        const TDrawnSize drawn = draw(surface, x, y);
        if (size != nullptr) *size = drawn;
        return;
    }
    long double f;
    if (mode == MM_LOMETRIC)
        f = 1.0L / 254;
    else if (mode == MM_HIMETRIC)
        f = 1.0L / 2540;
    else
        throw EOverflow("Barcode: Wrong mapmode in \"LoMetricPrint\"");

    const long double dpiX = surface.DpiX(), dpiY = surface.DpiY();
    // Drawing happens in device pixels; the metric modes count y upwards.
    struct ModeRestorer {
        TSurface& surface;
        TMapMode mode;
        ~ModeRestorer() { surface.SetMapMode(mode); }
    } restore{surface, mode};
    surface.SetMapMode(MM_TEXT);
    const TDrawnSize drawn = draw(surface, Nearest(x * dpiX * f), -Nearest(y * dpiY * f));
    if (size != nullptr)
        *size = {Nearest(drawn.width / (dpiX * f)), Nearest(drawn.height / (dpiY * f))};
}

} // namespace varimark
