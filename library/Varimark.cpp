// The C++ API: symbols prepared through the parameter record, pictures through the one
// render function, files through the safe writer.
#include "varimark/varimark.h"

#include "library/PictureRender.h"
#include "library/SymbolBarcode.h"

#include "engine/BarcodeTypes.h"
#include "engine/EOverflow.h"
#include "engine/Formatted.h"
#include "engine/InputText.h"
#include "engine/Windows1252.h"
#include "export/FileWriter.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace varimark {

namespace {

// A value outside a byte is out of every enumeration's range, as the byte 255 is.
template <class TEnum> TEnum RawByte(int value) {
    return static_cast<TEnum>(value < 0 || value > 255 ? 255 : value);
}

// Runs an API call so that every refusal leaves it as Error with its message (the
// engine's, the writers' and the file system's own exceptions all derive from Error; this
// catches what a library below raises in its own type). Memory running out stays bad_alloc.
template <class TCall> auto Guarded(TCall&& call) {
    try {
        return call();
    } catch (const Error&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        throw Error(e.what());
    }
}

// The engine's Code 128 refusal with the first character it could not carry named.
template <class TCall> auto Code128Named(const TLLBarcode& barcode, TCall&& call) {
    try {
        return call();
    } catch (const EOverflow& e) {
        if (std::string_view(e.what()) != kCode128Refusal) throw;
        throw EOverflow(Code128Error(barcode.Params.Caption, barcode.Params.CodeType));
    }
}

// ASCII letters in lower case, whatever the locale.
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

const char* TypeName(Type type) {
    const char* name = CodeTypeName(static_cast<btCodeTypes>(type));
    return name != nullptr ? name : "";
}

std::optional<Type> TypeFromName(std::string_view name) {
    const std::optional<btCodeTypes> type = CodeTypeFromName(name);
    if (!type) return std::nullopt;
    return static_cast<Type>(*type);
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
    TBarcodeParams& params = barcode.Params;
    if (static_cast<int>(symbol.type) >= kCodeTypeCount) throw Error("unknown barcode type");
    params.CodeType = static_cast<btCodeTypes>(symbol.type);
    if (params.CodeType == ITF_14) {
        const std::optional<int> quarters = ItfWideQuarters(symbol.ratio);
        if (!quarters) throw Error("bad ratio " + Formatted("%g", symbol.ratio) + " " + kItfRatios);
        params.ItfWideQuarters = static_cast<std::uint8_t>(*quarters);
    } else if (symbol.ratio != 0 && symbol.ratio != 3 && symbol.ratio != 2) {
        throw Error("bad ratio " + Formatted("%g", symbol.ratio) + " (3 or 2)");
    }
    params.SetRatio(symbol.ratio == 2 ? Ratio_2 : Ratio_3);
    params.Bearer = symbol.bearer == Bearer::TopBottom ? Bearer_TopBottom : Bearer_Frame;
    params.SetCodeAddon(CheckedAddon(symbol.addon, params.CodeType, symbol.repair));
    ApplyLook(symbol, params);
    params.SetCaption(CheckedText(symbol.text, params.CodeType, {symbol.escapes, symbol.repair}));
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

Encoded Encode(const Symbol& symbol) {
    return Guarded([&] {
        TLLBarcode barcode;
        PrepareBarcode(symbol, barcode);
        Code128Named(barcode, [&] { barcode.Encode(); });
        Encoded encoded;
        encoded.codeText = Windows1252ToUtf8(
            std::string_view(barcode.CodeText, strnlen(barcode.CodeText, sizeof barcode.CodeText)));
        const int count = std::clamp(barcode.ModuleCount, 0, TLLBarcode::kMaxModules);
        encoded.modules.reserve(static_cast<std::size_t>(count));
        for (int i = 1; i <= count; ++i) encoded.modules += barcode.Modules[i] != 0 ? '1' : '0';
        return encoded;
    });
}

std::vector<std::uint8_t> Render(const Symbol& symbol, const PictureOptions& options) {
    return Guarded([&] {
        TLLBarcode barcode;
        PrepareBarcode(symbol, barcode);
        return Code128Named(barcode, [&] { return RenderBarcode(barcode, options); });
    });
}

void RenderToFile(const Symbol& symbol, const PictureOptions& options,
                  const std::string& fileName) {
    const std::vector<std::uint8_t> bytes = Render(symbol, options);
    Guarded([&] { WriteFileReplacing(fileName, bytes); });
}

const char* Version() {
    return VARIMARK_VERSION;
}

} // namespace varimark
