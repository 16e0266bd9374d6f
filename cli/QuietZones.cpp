#include "QuietZones.h"

#include "Rounding.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace varimark::cli {

TQuietZone QuietZoneModules(btCodeTypes type, bool addon) {
    TQuietZone zone{10, 10}; // Code 39, Interleaved 2 of 5, Codabar, Code 128, MSI Plessey
    switch (type) {
    case EAN_13: zone = {11, 7}; break;
    case UPC_A: zone = {9, 9}; break;
    case EAN_8: zone = {7, 7}; break;
    case UPC_E: zone = {9, 7}; break;
    default: break;
    }
    if (addon && (type == EAN_13 || type == UPC_A)) zone.right = 5; // after the add-on
    return zone;
}

int MarginFor(const TLLBarcode& barcode, const RenderOptions& options) {
    if (options.margin && !options.quietZones) return *options.margin;
    const TBarcodeParams& params = barcode.Params;
    const long double pixelsPerMM = options.dpi / 25.4L;
    long double left, right;                   // the zones in pixels
    long double drawnLeft = 0, drawnRight = 1; // what the drawing leaves (the extra pixel)
    if (params.CodeType == Postnet || params.CodeType == Postnet_FIM) {
        // Postal symbols: a clear zone of 1/8 inch on each side.
        left = right = options.dpi / 8.0L;
    } else {
        const long double m = barcode.ModuleWidthMM();
        int p = Nearest(m * pixelsPerMM);
        if (p == 0) p = 1;
        const long double module = params.ZoomSize ? m * pixelsPerMM : p; // one module's pixels
        const bool addon = std::strlen(params.CodeAddon) == 2 || std::strlen(params.CodeAddon) == 5;
        const TQuietZone zone = QuietZoneModules(params.CodeType, addon);
        left = zone.left * module;
        right = zone.right * module;
        if (params.CodeType == EAN_13 || params.CodeType == UPC_A) {
            drawnLeft += 10 * p; // room for the outer digits
            drawnRight += 10 * p;
        }
    }
    const long double needed = std::max(left - drawnLeft, right - drawnRight);
    return std::max(options.margin.value_or(kDefaultMargin), static_cast<int>(std::ceil(needed)));
}

} // namespace varimark::cli
