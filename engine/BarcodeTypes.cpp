#include "engine/BarcodeTypes.h"

namespace varimark {

const char* CodeTypeName(btCodeTypes type) {
    static constexpr const char* kNames[kCodeTypeCount] = {
        "EAN_8",     "EAN_13",    "UPC_A",     "UPC_E",       "CODE39",  "CODE25i", "CODE25iP",
        "CODE128_A", "CODE128_B", "CODE128_C", "MSI_Plessey", "Codabar", "Postnet", "Postnet_FIM"};
    return type < kCodeTypeCount ? kNames[type] : nullptr;
}

} // namespace varimark
