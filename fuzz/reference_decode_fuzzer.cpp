// libFuzzer target of the reference decoders: element widths read back into data.
//
// Input layout:
//   0   bits 0..4: the type (0..15), 16..31: ReferenceDecodeAny; bit 7: module mode
//   1.. one width per byte. Module mode: 1 + (b & 3) modules plus (b >> 2) / 512 of a module,
//       so that real symbols with a little noise decode deep; else b / 16, with 253 infinity,
//       254 NaN and 255 -1.
// Every result must be well formed: a reason and no message nor identifier when it fails;
// data, a symbology identifier "]" letter digit, a decodability in 0..1, a positive module
// width and one positive nominal width per element when it decodes, and the nominal widths
// must decode to the same data, message and identifier with decodability 1. An ITF-14 read
// is 14 digits whose last is the GS1 check digit of the others; a GS1-128 read has FNC1
// first ("]C1").
#include "FuzzCheck.h"
#include "verify/ReferenceDecode.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

using namespace varimark;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int selector = data[0] & 0x1F;
    const bool moduleMode = (data[0] & 0x80) != 0;
    std::vector<double> widths;
    widths.reserve(size - 1);
    for (std::size_t i = 1; i < size; ++i) {
        const std::uint8_t b = data[i];
        if (moduleMode)
            widths.push_back(1 + (b & 3) + (b >> 2) / 512.0);
        else if (b == 253)
            widths.push_back(std::numeric_limits<double>::infinity());
        else if (b == 254)
            widths.push_back(std::numeric_limits<double>::quiet_NaN());
        else
            widths.push_back(b == 255 ? -1.0 : b / 16.0);
    }
    const TDecoded d = selector >= kCodeTypeCount
                           ? ReferenceDecodeAny(widths)
                           : ReferenceDecode(static_cast<btCodeTypes>(selector), widths);
    if (!d.ok) {
        Check(!d.failure.empty(), "a failed decode says why");
        Check(d.message.empty() && d.identifier.empty(), "a failed decode transmits nothing");
        return 0;
    }
    Check(d.failure.empty(), "a decoded symbol has no failure");
    Check(!d.data.empty(), "a decoded symbol has data");
    Check(d.identifier.size() == 3 && d.identifier[0] == ']' && d.identifier[1] >= 'A' &&
              d.identifier[1] <= 'Z' && d.identifier[2] >= '0' && d.identifier[2] <= '9',
          "the symbology identifier is ] letter digit");
    Check(d.decodability >= 0 && d.decodability <= 1, "decodability lies in 0..1");
    Check(std::isfinite(d.moduleWidth) && d.moduleWidth > 0, "the module width is positive");
    if (d.type == btCodeTypes::ITF_14) {
        Check(d.data.size() == 14, "ITF-14 has 14 digits");
        int sum = 0; // GS1 check digit: weights 3 and 1 from the right of the first 13
        for (std::size_t i = 0; i < 13; ++i) sum += (d.data[i] - '0') * (i % 2 == 0 ? 3 : 1);
        Check(d.data[13] - '0' == (10 - sum % 10) % 10, "ITF-14 ends in its GS1 check digit");
    }
    if (d.type == btCodeTypes::GS1_128) Check(d.identifier == "]C1", "GS1-128 has FNC1 first");
    Check(d.nominal.size() == widths.size(), "one nominal width per element");
    for (const double w : d.nominal) Check(std::isfinite(w) && w > 0, "nominal widths positive");
    const TDecoded again = ReferenceDecode(d.type, d.nominal);
    Check(again.ok && again.data == d.data && again.addon == d.addon &&
              again.message == d.message && again.identifier == d.identifier,
          "the nominal widths decode to the same data");
    Check(again.decodability > 1 - 1e-9, "the nominal widths decode with decodability 1");
    return 0;
}
