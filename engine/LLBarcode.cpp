#include "engine/LLBarcode.h"

#include "engine/EOverflow.h"
#include "engine/TextPreparation.h"

#include <cstring>
#include <iterator>

namespace varimark {

void TLLBarcode::Encode() {
    std::memset(Modules, 0, sizeof Modules);
    PrepareText(Params.Caption, CodeText, Params.CodeType);
    switch (Params.CodeType) {
    case btCodeTypes::EAN_8: BuildEAN8(); break;
    case btCodeTypes::EAN_13: BuildEAN13(); break;
    case btCodeTypes::UPC_A: BuildUPCA(); break;
    case btCodeTypes::UPC_E: BuildUPCE(); break;
    case btCodeTypes::CODE39: BuildCode39(); break;
    case btCodeTypes::CODE25i:
    case btCodeTypes::CODE25iP: BuildCode25(); break;
    case btCodeTypes::MSI_Plessey: BuildMSI(); break;
    case btCodeTypes::Codabar: BuildCodabar(); break;
    case btCodeTypes::CODE128_A:
    case btCodeTypes::CODE128_B:
    case btCodeTypes::CODE128_C:
    case btCodeTypes::GS1_128: BuildCode128(); break;
    case btCodeTypes::ITF_14: BuildITF14(); break;
    case btCodeTypes::Postnet: BuildPostnet(); break;
    case btCodeTypes::Postnet_FIM: BuildFIM(); break;
    default: throw EOverflow("Barcode: Unknown Type of Barcode");
    }
    if (Params.CodeType == btCodeTypes::EAN_13 || Params.CodeType == btCodeTypes::UPC_A) {
        const std::size_t length = strnlen(Params.CodeAddon, sizeof Params.CodeAddon);
        for (std::size_t i = 0; i < length; ++i)
            if (Params.CodeAddon[i] < '0' || Params.CodeAddon[i] > '9')
                throw EOverflow("BarLL: Wrong Addoncode");
        switch (length) {
        case 0: break;
        case 2: BuildAddon2(); break;
        case 5: BuildAddon5(); break;
        default: throw EOverflow("BarLL: Wrong Addoncode");
        }
    }
}

long double TLLBarcode::ModuleWidthMM() const {
    static constexpr long double kWidths[10] = {0.27L,  0.297L, 0.33L,  0.363L, 0.396L,
                                                0.445L, 0.495L, 0.544L, 0.61L,  0.66L};
    const auto size = static_cast<std::size_t>(Params.ModuleWidth);
    const long double m = size < std::size(kWidths) ? kWidths[size] : 0.33L;
    return Params.HighDensity ? m * 0.5L : m;
}

int TLLBarcode::PutRun(int pos, std::uint8_t bar, int count) {
    std::memset(Modules + pos, bar, static_cast<std::size_t>(count));
    return pos + count;
}

int TLLBarcode::PutPattern(int pos, const std::uint8_t* pattern, int count) {
    std::memcpy(Modules + pos, pattern, static_cast<std::size_t>(count));
    return pos + count;
}

} // namespace varimark
