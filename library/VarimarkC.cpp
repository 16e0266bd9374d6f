// The C API: handles over the C++ API's values; every exception stops here and becomes a
// status with the message kept for varimark_last_error. Whatever may allocate (building a
// message, reading a name) runs inside the guard, so memory running out is
// VARIMARK_NO_MEMORY from every call and never ends the process.
#include "varimark/varimark_c.h"

#include "varimark/varimark.h"
#include "varimark/verify.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>

struct varimark_symbol {
    varimark::Symbol symbol;
};
struct varimark_options {
    varimark::PictureOptions options;
};

namespace {

// This thread's last message, in a buffer of fixed size: a thread_local object with a
// destructor would need memory to register that destructor, and the C library ends the
// process when there is none. A longer message is cut after its last whole UTF-8
// character that fits.
constexpr std::size_t kMessageRoom = 512;
thread_local char tLastError[kMessageRoom];

// The length of text[0, length) without a UTF-8 character cut off at its end.
std::size_t WholeCharacters(const char* text, std::size_t length) {
    std::size_t lead = length;
    while (lead > 0 && length - lead < 4 &&
           (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80)
        --lead;
    if (lead == 0) return length; // no lead byte: not UTF-8, kept as it is
    const auto byte = static_cast<unsigned char>(text[lead - 1]);
    const std::size_t size = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length - (lead - 1) >= size ? length : lead - 1;
}

// Keeps the pieces, one after another, as the message; allocates nothing.
varimark_status Fail(varimark_status status,
                     std::initializer_list<std::string_view> pieces) noexcept {
    std::size_t length = 0;
    for (const std::string_view piece : pieces) {
        const std::size_t room = kMessageRoom - 1 - length;
        const std::size_t taken = std::min(piece.size(), room);
        std::memcpy(tLastError + length, piece.data(), taken);
        length += taken;
        if (taken < piece.size()) {
            length = WholeCharacters(tLastError, length);
            break;
        }
    }
    tLastError[length] = 0;
    return status;
}

varimark_status Invalid(std::initializer_list<std::string_view> pieces) noexcept {
    return Fail(VARIMARK_INVALID_ARGUMENT, pieces);
}

// Runs a call: everything it raises becomes a status with its message, memory running out
// VARIMARK_NO_MEMORY. The call itself gives its own refusals of arguments.
template <class TCall> varimark_status Call(TCall&& call) noexcept {
    try {
        tLastError[0] = 0;
        return call();
    } catch (const varimark::Error& e) {
        return Fail(VARIMARK_REFUSED, {e.what()});
    } catch (const std::bad_alloc&) {
        return Fail(VARIMARK_NO_MEMORY, {"out of memory"});
    } catch (const std::exception& e) {
        return Fail(VARIMARK_REFUSED, {e.what()});
    } catch (...) {
        return Fail(VARIMARK_REFUSED, {"unknown failure"});
    }
}

// A new handle, or null with the message set.
template <class THandle> THandle* NewHandle() noexcept {
    THandle* handle = nullptr;
    Call([&] {
        handle = new THandle();
        return VARIMARK_OK;
    });
    return handle;
}

// Copies bytes into a buffer of malloc'd memory with a zero after them.
varimark_status ToBuffer(std::string_view bytes, varimark_buffer* buffer) {
    auto* data = static_cast<uint8_t*>(std::malloc(bytes.size() + 1));
    if (data == nullptr) throw std::bad_alloc();
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    data[bytes.size()] = 0;
    buffer->data = data;
    buffer->size = bytes.size();
    return VARIMARK_OK;
}

bool IsSwitch(long long value) {
    return value == 0 || value == 1;
}

// A whole number for an int field: values beyond int are kept out of range, never narrowed
// into it.
int Clamped(long long value) {
    if (value > 1'000'000'000) return 1'000'000'000;
    if (value < -1'000'000'000) return -1'000'000'000;
    return static_cast<int>(value);
}

} // namespace

extern "C" {

const char* varimark_last_error(void) {
    return tLastError;
}

const char* varimark_version(void) {
    return varimark::Version();
}

const char* varimark_type_name(int index) {
    if (index < 0 || index > 255) return nullptr;
    const char* name = varimark::TypeName(static_cast<varimark::Type>(index));
    return *name != '\0' ? name : nullptr;
}

varimark_symbol* varimark_symbol_new(void) {
    return NewHandle<varimark_symbol>();
}

void varimark_symbol_free(varimark_symbol* symbol) {
    delete symbol;
}

varimark_status varimark_symbol_set_type(varimark_symbol* symbol, const char* name) {
    return Call([&] {
        if (symbol == nullptr || name == nullptr) return Invalid({"null symbol or type name"});
        const std::optional<varimark::Type> type = varimark::TypeFromName(name);
        if (!type) return Invalid({"unknown barcode type '", name, "'"});
        symbol->symbol.type = *type;
        return VARIMARK_OK;
    });
}

namespace {

varimark_status SetText(varimark_symbol* symbol, const char* text,
                        std::string varimark::Symbol::*field) {
    return Call([&] {
        if (symbol == nullptr || text == nullptr) return Invalid({"null symbol or text"});
        symbol->symbol.*field = text;
        return VARIMARK_OK;
    });
}

} // namespace

varimark_status varimark_symbol_set_text(varimark_symbol* symbol, const char* text) {
    return SetText(symbol, text, &varimark::Symbol::text);
}

varimark_status varimark_symbol_set_addon(varimark_symbol* symbol, const char* addon) {
    return SetText(symbol, addon, &varimark::Symbol::addon);
}

varimark_status varimark_symbol_set_font(varimark_symbol* symbol, const char* font) {
    return SetText(symbol, font, &varimark::Symbol::font);
}

varimark_status varimark_symbol_set_int(varimark_symbol* symbol, const char* field,
                                        long long value) {
    return Call([&] {
        if (symbol == nullptr || field == nullptr) return Invalid({"null symbol or field name"});
        varimark::Symbol& s = symbol->symbol;
        const std::string_view name(field);
        if (name == "ratio") return s.ratio = Clamped(value), VARIMARK_OK;
        if (name == "ratio_percent") return s.ratio = Clamped(value) / 100.0, VARIMARK_OK;
        if (name == "bearer") {
            if (!IsSwitch(value)) return Invalid({"bearer takes 0 (frame) or 1 (top-bottom)"});
            return s.bearer = value == 1 ? varimark::Bearer::TopBottom : varimark::Bearer::Frame,
                   VARIMARK_OK;
        }
        static constexpr std::pair<std::string_view, int varimark::Symbol::*> kNumbers[] = {
            {"module_size", &varimark::Symbol::moduleSize},
            {"rotation", &varimark::Symbol::rotation},
            {"bar_height", &varimark::Symbol::barHeight},
            {"font_height", &varimark::Symbol::fontHeight}};
        static constexpr std::pair<std::string_view, bool varimark::Symbol::*> kSwitches[] = {
            {"human_readable", &varimark::Symbol::humanReadable},
            {"zoom", &varimark::Symbol::zoom},
            {"high_density", &varimark::Symbol::highDensity},
            {"width_reduce", &varimark::Symbol::widthReduce},
            {"escapes", &varimark::Symbol::escapes},
            {"repair", &varimark::Symbol::repair}};
        for (const auto& [known, member] : kNumbers)
            if (name == known) return s.*member = Clamped(value), VARIMARK_OK;
        for (const auto& [known, member] : kSwitches)
            if (name == known) {
                if (!IsSwitch(value)) return Invalid({name, " takes 0 or 1"});
                return s.*member = value == 1, VARIMARK_OK;
            }
        return Invalid({"unknown symbol field '", name, "'"});
    });
}

varimark_options* varimark_options_new(void) {
    return NewHandle<varimark_options>();
}

void varimark_options_free(varimark_options* options) {
    delete options;
}

varimark_status varimark_options_set_format(varimark_options* options, const char* format) {
    return Call([&] {
        if (options == nullptr || format == nullptr) return Invalid({"null options or format"});
        const std::optional<varimark::Format> known = varimark::FormatFromExtension(format);
        if (!known)
            return Invalid(
                {"unknown format '", format, "': use bmp, gif, tif, jpg, emf, png, svg or pdf"});
        options->options.format = *known;
        return VARIMARK_OK;
    });
}

varimark_status varimark_options_set_int(varimark_options* options, const char* field,
                                         long long value) {
    return Call([&] {
        if (options == nullptr || field == nullptr) return Invalid({"null options or field name"});
        varimark::PictureOptions& o = options->options;
        const std::string_view name(field);
        if (name == "scale")
            o.scale = Clamped(value);
        else if (name == "dpi")
            o.dpi = Clamped(value);
        else if (name == "margin")
            o.margin = value < 0 ? std::nullopt : std::optional<int>(Clamped(value));
        else if (name == "quiet_zones" || name == "monochrome") {
            if (!IsSwitch(value)) return Invalid({name, " takes 0 or 1"});
            (name == "monochrome" ? o.monochrome : o.quietZones) = value == 1;
        } else
            return Invalid({"unknown option field '", name, "'"});
        return VARIMARK_OK;
    });
}

varimark_status varimark_encode(const varimark_symbol* symbol, varimark_buffer* codeText,
                                varimark_buffer* modules) {
    return Call([&] {
        if (symbol == nullptr || codeText == nullptr || modules == nullptr)
            return Invalid({"null symbol or buffer"});
        *codeText = *modules = varimark_buffer{nullptr, 0};
        const varimark::Encoded encoded = varimark::Encode(symbol->symbol);
        ToBuffer(encoded.codeText, codeText);
        try {
            return ToBuffer(encoded.modules, modules);
        } catch (...) {
            varimark_buffer_free(codeText);
            throw;
        }
    });
}

varimark_status varimark_render(const varimark_symbol* symbol, const varimark_options* options,
                                varimark_buffer* picture) {
    return Call([&] {
        if (symbol == nullptr || picture == nullptr) return Invalid({"null symbol or buffer"});
        *picture = varimark_buffer{nullptr, 0};
        const std::vector<std::uint8_t> bytes = varimark::Render(
            symbol->symbol, options != nullptr ? options->options : varimark::PictureOptions{});
        return ToBuffer({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, picture);
    });
}

varimark_status varimark_render_to_file(const varimark_symbol* symbol,
                                        const varimark_options* options, const char* fileName) {
    return Call([&] {
        if (symbol == nullptr || fileName == nullptr) return Invalid({"null symbol or file name"});
        varimark::RenderToFile(symbol->symbol,
                               options != nullptr ? options->options : varimark::PictureOptions{},
                               fileName);
        return VARIMARK_OK;
    });
}

varimark_status varimark_verify(const uint8_t* picture, size_t size, const char* type, double dpi,
                                double apertureMils, double reflectanceBlack,
                                double reflectanceWhite, double minGrade,
                                varimark_buffer* reportJson) {
    return varimark_verify_flags(picture, size, type, dpi, apertureMils, reflectanceBlack,
                                 reflectanceWhite, minGrade, 0, reportJson);
}

varimark_status varimark_verify_flags(const uint8_t* picture, size_t size, const char* type,
                                      double dpi, double apertureMils, double reflectanceBlack,
                                      double reflectanceWhite, double minGrade, unsigned flags,
                                      varimark_buffer* reportJson) {
    return Call([&] {
        if (picture == nullptr || reportJson == nullptr)
            return Invalid({"null picture or buffer"});
        *reportJson = varimark_buffer{nullptr, 0};
        if ((flags & ~VARIMARK_VERIFY_GS1) != 0)
            return Invalid({"unknown verify flags ", std::to_string(flags).c_str()});
        varimark::VerifyOptions options;
        if (type != nullptr && std::strcmp(type, "auto") != 0) {
            options.type = varimark::TypeFromName(type);
            if (!options.type) return Invalid({"unknown barcode type '", type, "'"});
        }
        options.dpi = dpi;
        options.apertureMils = apertureMils;
        options.reflectanceBlack = reflectanceBlack;
        options.reflectanceWhite = reflectanceWhite;
        options.minGrade = minGrade;
        options.gs1 = (flags & VARIMARK_VERIFY_GS1) != 0;
        return ToBuffer(varimark::VerifyReportJson(varimark::Verify(picture, size, options)),
                        reportJson);
    });
}

void varimark_buffer_free(varimark_buffer* buffer) {
    if (buffer == nullptr) return;
    std::free(buffer->data);
    *buffer = varimark_buffer{nullptr, 0};
}

} // extern "C"
