#include "QuietZones.h"

#include "../engine/QuietZones.h" // this directory's header of the same name is included above

namespace varimark::cli {

int MarginFor(const TLLBarcode& barcode, const RenderOptions& options) {
    if (options.margin && !options.quietZones) return *options.margin;
    return QuietZoneMargin(barcode, options.dpi, options.margin.value_or(kDefaultMargin));
}

} // namespace varimark::cli
