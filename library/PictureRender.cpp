#include "library/PictureRender.h"

#include "engine/QuietZones.h"
#include "render/PdfSurface.h"
#include "render/PictureSave.h"

namespace varimark {

namespace {

// The save function's picture type of a format (PDF has none: it is written apart).
TPictureType PictureType(Format format) {
    switch (format) {
    case Format::Bmp: return TPictureType::Bmp;
    case Format::Gif: return TPictureType::Gif;
    case Format::Tiff: return TPictureType::Tif;
    case Format::Jpeg: return TPictureType::Jpg;
    case Format::Emf: return TPictureType::Emf;
    case Format::Png: return TPictureType::Png;
    case Format::Svg: return TPictureType::Svg;
    case Format::Pdf: break;
    }
    throw Error("unknown picture format");
}

void CheckOptions(const PictureOptions& options) {
    if (options.scale < 1) throw Error("Barcode: Factor for \"MagnifyBy\" must be >=1");
    if (options.scale > kMaxScale) throw Error("Picture too large: the scale is at most 65535");
    if (options.dpi < 1) throw Error("the resolution must be at least 1 dpi");
    if (options.dpi > kMaxDpi)
        throw Error("Picture too large: the resolution is at most 100000 dpi");
    if (options.margin && *options.margin < 0) throw Error("the margin must not be negative");
    if (options.margin.value_or(0) > kMaxMargin)
        throw Error("Picture too large: the margin is at most 65535");
    if (options.monochrome && (options.format == Format::Svg || options.format == Format::Pdf))
        throw Error("monochrome applies to raster pictures, not SVG or PDF");
}

} // namespace

int PictureMargin(const TLLBarcode& barcode, const PictureOptions& options) {
    if (options.margin && !options.quietZones) return *options.margin;
    return QuietZoneMargin(barcode, options.dpi, options.margin.value_or(kMinimumMargin));
}

std::vector<std::uint8_t> RenderBarcode(TLLBarcode& barcode, const PictureOptions& options,
                                        std::optional<long long> creationTime) {
    CheckOptions(options);
    const int margin = PictureMargin(barcode, options);
    const TDrawFunction draw = [&barcode](TSurface& surface, int x, int y) {
        TDrawnSize size;
        barcode.DrawBarcode(surface, x, y, size);
        return size;
    };
    std::vector<std::uint8_t> bytes =
        options.format == Format::Pdf
            ? BarcodePdfBytes(draw, margin, options.scale, options.dpi, creationTime)
            : BarcodePictureBytes(draw, margin, options.scale, options.dpi,
                                  PictureType(options.format), options.monochrome);
    if (bytes.empty()) throw Error("Picture too small for its format: nothing to write");
    return bytes;
}

} // namespace varimark
