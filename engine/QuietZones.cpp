#include "engine/QuietZones.h"

#include "engine/BarLayout.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace varimark {
namespace {

// The postal symbols' clear zone on each side: an eighth of an inch.
constexpr long double kPostalQuietZonesPerInch = 8.0L;

} // namespace

TQuietZone QuietZoneModules(btCodeTypes type, bool addon) {
    const TSymbology* symbology = Symbology(type);
    TQuietZone zone = symbology ? symbology->quietZone : TQuietZone{10, 10};
    if (addon && (type == btCodeTypes::EAN_13 || type == btCodeTypes::UPC_A))
        zone.right = 5; // after the add-on
    return zone;
}

int QuietZoneMargin(const TLLBarcode& barcode, int dpi, int minimum) {
    const TBarcodeParams& params = barcode.Params;
    long double left, right;                   // the zones in pixels
    long double drawnLeft = 0, drawnRight = 1; // what the drawing leaves (the extra pixel)
    if (params.CodeType == btCodeTypes::Postnet || params.CodeType == btCodeTypes::Postnet_FIM) {
        left = right = dpi / kPostalQuietZonesPerInch;
    } else {
        const TModuleMeasure modules = MeasureModules(barcode, ResolutionAt(dpi, dpi).across);
        const std::size_t addonLength = std::strlen(params.CodeAddon);
        const TQuietZone zone =
            QuietZoneModules(params.CodeType, addonLength == 2 || addonLength == 5);
        left = zone.left * modules.Pitch();
        right = zone.right * modules.Pitch();
        drawnLeft += modules.digitRoom;
        drawnRight += modules.digitRoom;
        if (params.CodeType ==
            btCodeTypes::ITF_14) { // the layout draws the zones inside the bearer frame
            drawnLeft += left;
            drawnRight += right;
        }
    }
    const long double needed = std::max(left - drawnLeft, right - drawnRight);
    return std::max(minimum, static_cast<int>(std::ceil(needed)));
}

} // namespace varimark
