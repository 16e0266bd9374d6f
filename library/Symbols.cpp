// The API's symbols without drawing: names of types, formats and bearers, the symbol as
// the engine's parameter record, and the checks of a symbol's parts. Only the engine below
// it, so that a program that checks texts (varimark-cli's fuzzers) takes nothing else.
#include "varimark/varimark.h"

#include "library/SymbolBarcode.h"
#include "library/TypeBridge.h"

#include "engine/BarcodeTypes.h"
#include "engine/EOverflow.h"
#include "engine/Escapes.h"
#include "engine/Formatted.h"
#include "engine/InputText.h"
#include "engine/Windows1252.h"

#include <algorithm>

namespace varimark {

namespace {

// A value outside a byte is out of every enumeration's range, as the byte 255 is.
template <class TEnum> TEnum RawByte(int value) {
    return static_cast<TEnum>(value < 0 || value > 255 ? 255 : value);
}

// ASCII letters in lower case, whatever the locale.
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

btCodeTypes CheckedType(Type type) {
    if (static_cast<int>(type) >= kCodeTypeCount) throw Error("unknown barcode type");
    return EngineType(type);
}

// The symbol's type, ratio, bearer, add-on and look into the parameter record.
void PrepareParams(const Symbol& symbol, TBarcodeParams& params) {
    params.CodeType = CheckedType(symbol.type);
    if (params.CodeType == btCodeTypes::ITF_14) {
        const std::optional<int> quarters = ItfWideQuarters(symbol.ratio);
        if (!quarters) throw Error("bad ratio " + Formatted("%g", symbol.ratio) + " " + kItfRatios);
        params.ItfWideQuarters = static_cast<std::uint8_t>(*quarters);
    } else if (!RatioFits(symbol.type, symbol.ratio)) {
        throw Error("bad ratio " + Formatted("%g", symbol.ratio) + " (3 or 2)");
    }
    params.SetRatio(symbol.ratio == 2 ? btCodeRatio::Ratio_2 : btCodeRatio::Ratio_3);
    params.Bearer = symbol.bearer == Bearer::TopBottom ? TBearer::TopBottom : TBearer::Frame;
    params.SetCodeAddon(CheckedAddon(symbol.addon, params.CodeType, symbol.repair));
    ApplyLook(symbol, params);
}

// The symbol's text as the engine takes it; a text too long for any caption is refused as
// a text (TextError), as is one the type cannot carry.
std::string SymbolText(const Symbol& symbol, btCodeTypes type) {
    return WithTextErrors([&] {
        try {
            return CheckedText(symbol.text, type, {symbol.escapes, symbol.repair});
        } catch (const EOverflow& e) {
            throw TextError(e.what());
        }
    });
}

} // namespace

const char* TypeName(Type type) {
    const char* name = CodeTypeName(EngineType(type));
    return name != nullptr ? name : "";
}

std::optional<Type> TypeFromName(std::string_view name) {
    const std::optional<btCodeTypes> type = CodeTypeFromName(name);
    if (!type) return std::nullopt;
    return ApiType(*type);
}

std::optional<Bearer> BearerFromName(std::string_view name) {
    const std::optional<TBearer> bearer = CodeBearerFromName(name);
    if (!bearer) return std::nullopt;
    return *bearer == TBearer::TopBottom ? Bearer::TopBottom : Bearer::Frame;
}

std::optional<Format> FormatFromName(std::string_view fileName) {
    const std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string_view::npos || fileName.find('/', dot) != std::string_view::npos)
        return std::nullopt;
    static constexpr std::pair<std::string_view, Format> kFormats[] = {
        {".bmp", Format::Bmp},  {".gif", Format::Gif}, {".tif", Format::Tiff},
        {".jpg", Format::Jpeg}, {".emf", Format::Emf}, {".png", Format::Png},
        {".svg", Format::Svg},  {".pdf", Format::Pdf}};
    const std::string_view extension = fileName.substr(dot);
    for (const auto& [name, format] : kFormats)
        if (std::ranges::equal(extension, name, {}, Lower)) return format;
    return std::nullopt;
}

std::optional<Format> FormatFromExtension(std::string_view extension) {
    if (extension.starts_with('.')) extension.remove_prefix(1);
    if (extension.find_first_of("./") != std::string_view::npos) return std::nullopt;
    return FormatFromName("picture." + std::string(extension));
}

void PrepareBarcode(const Symbol& symbol, TLLBarcode& barcode) {
    PrepareParams(symbol, barcode.Params);
    barcode.Params.SetCaption(SymbolText(symbol, barcode.Params.CodeType));
}

void ApplyLook(const Symbol& symbol, TBarcodeParams& params) {
    params.SetModuleWidth(RawByte<btCodeSizes>(symbol.moduleSize));
    params.SetRotation(
        RawByte<btCodeRotate>(symbol.rotation % 90 != 0 ? -1 : symbol.rotation / 90));
    params.HumanReadable = symbol.humanReadable;
    params.SetHeightPercent(symbol.barHeight);
    params.SetFontscaling(symbol.fontHeight);
    params.Fontname = Utf8ToWindows1252(symbol.font);
    params.ZoomSize = symbol.zoom;
    params.HighDensity = symbol.highDensity;
    params.WidthReduce = symbol.widthReduce;
}

void CheckText(const Symbol& symbol) {
    SymbolText(symbol, CheckedType(symbol.type));
}

void CheckAddon(const Symbol& symbol) {
    const btCodeTypes type = CheckedType(symbol.type);
    WithTextErrors([&] { CheckedAddon(symbol.addon, type, symbol.repair); });
}

void CheckSymbolOptions(const Symbol& symbol) {
    TBarcodeParams params;
    WithTextErrors([&] { PrepareParams(symbol, params); });
}

void CheckNoNulByte(std::string_view text) {
    WithTextErrors([&] { CheckNoNul(text); });
}

bool TakesAddon(Type type) {
    return type == Type::EAN_13 || type == Type::UPC_A || type == Type::UPC_E;
}

bool RatioFits(Type type, double ratio) {
    if (type == Type::ITF_14) return ItfWideQuarters(ratio).has_value();
    return ratio == 0 || ratio == 3 || ratio == 2;
}

const char* RatioChoices(Type type) {
    return type == Type::ITF_14 ? kItfRatios : "(3 or 2)";
}

} // namespace varimark
