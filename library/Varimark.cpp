// The C++ API: symbols prepared through the parameter record, pictures through the one
// render function, files through the safe writer.
#include "varimark/varimark.h"

#include "library/Json.h"
#include "library/PictureRender.h"
#include "library/SymbolBarcode.h"

#include "engine/BarcodeTypes.h"
#include "engine/EOverflow.h"
#include "engine/InputText.h"
#include "engine/Windows1252.h"
#include "export/FileWriter.h"
#include "render/FontCache.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace varimark {

namespace {

// Runs an API call so that every refusal leaves it as Error with its message (the
// engine's, the writers' and the file system's own exceptions all derive from Error; this
// catches what a library below raises in its own type), a text's as TextError. Memory
// running out stays bad_alloc.
template <class TCall> auto Guarded(TCall&& call) {
    try {
        return WithTextErrors(call);
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

// The barcode of the symbol, encoded.
void EncodeBarcode(const Symbol& symbol, TLLBarcode& barcode) {
    PrepareBarcode(symbol, barcode);
    Code128Named(barcode, [&] { barcode.Encode(); });
}

// The engine's 8-bit text with its check characters.
std::string_view CodeText(const TLLBarcode& barcode) {
    return {barcode.CodeText, strnlen(barcode.CodeText, sizeof barcode.CodeText)};
}

// The modules, '1' for a dark one.
std::string Modules(const TLLBarcode& barcode) {
    const int count = std::clamp(barcode.ModuleCount, 0, TLLBarcode::kMaxModules);
    std::string modules;
    modules.reserve(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) modules += barcode.Modules[i] != 0 ? '1' : '0';
    return modules;
}

std::vector<std::uint8_t> RenderSymbol(const Symbol& symbol, const PictureOptions& options,
                                       std::optional<long long> creationTime) {
    return Guarded([&] {
        TLLBarcode barcode;
        PrepareBarcode(symbol, barcode);
        return Code128Named(barcode, [&] { return RenderBarcode(barcode, options, creationTime); });
    });
}

} // namespace

Encoded Encode(const Symbol& symbol) {
    return Guarded([&] {
        TLLBarcode barcode;
        EncodeBarcode(symbol, barcode);
        return Encoded{Windows1252ToUtf8(CodeText(barcode)), Modules(barcode)};
    });
}

std::string EncodeJson(const Symbol& symbol) {
    return Guarded([&] {
        TLLBarcode barcode;
        EncodeBarcode(symbol, barcode);
        std::string out = "{\"type\":\"";
        out += CodeTypeName(barcode.Params.CodeType);
        out += "\",\"codetext\":";
        AppendJsonByteString(out, CodeText(barcode));
        out += ",\"modules\":\"";
        out += Modules(barcode);
        out += "\",\"count\":";
        out += std::to_string(barcode.ModuleCount);
        out += '}';
        return out;
    });
}

std::string JsonString(std::string_view utf8) {
    std::string out;
    AppendJsonString(out, utf8);
    return out;
}

std::vector<std::uint8_t> Render(const Symbol& symbol, const PictureOptions& options) {
    return RenderSymbol(symbol, options, std::nullopt);
}

std::vector<std::uint8_t> Render(const Symbol& symbol, const PictureOptions& options,
                                 long long creationTime) {
    return RenderSymbol(symbol, options, creationTime);
}

void RenderToFile(const Symbol& symbol, const PictureOptions& options,
                  const std::string& fileName) {
    WriteFile(fileName, Render(symbol, options));
}

void WriteFile(const std::string& fileName, std::span<const std::uint8_t> bytes) {
    Guarded([&] { WriteFileReplacing(fileName, bytes); });
}

struct PictureFolder::Folder {
    explicit Folder(const std::string& path) : bulk(path) {}
    TBulkFolder bulk;
};

PictureFolder::PictureFolder(const std::string& path)
    : folder_(Guarded([&] { return std::make_unique<Folder>(path); })) {}

PictureFolder::~PictureFolder() = default;

void PictureFolder::Write(const std::string& name, std::span<const std::uint8_t> bytes) const {
    Guarded([&] { folder_->bulk.Write(name, bytes); });
}

void SetUpFonts() {
    Guarded([] { PrepareFonts(); });
}

void RemoveHiddenNamesForExit() {
    RemoveTemporaryNamesForExit();
}

const char* Version() {
    return VARIMARK_VERSION;
}

} // namespace varimark
