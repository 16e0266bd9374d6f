#include "cli/RenderCommand.h"
#include "cli/EndingSignals.h"

#include "cli/BatchRender.h"
#include "cli/ReproduciblePdf.h"
#include "cli/StandardOutput.h"
#include "cli/Usage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <unistd.h>

namespace varimark::cli {

namespace {

constexpr const char* kModuleRange = "Bar_SC_Size must be in the range 0..9!";
constexpr const char* kRotateRange = "Bar_Rotate must be in the range rotate_000..rotate_270!";
constexpr const char* kHeightRange = "Bar_HeightPercent must be in the range 20..200!";
constexpr const char* kFontRange = "Bar_Fontscaling must be in the range 20..200!";

// A whole-number option: its range, checked on the value as given (never narrowed first),
// and the messages below and above it.
// A refusal of a value: the program's own (after its name) or the control's, as it is.
struct TRangeMessage {
    const char* text;
    bool named;
};
constexpr TRangeMessage Ours(const char* text) {
    return {text, true};
}
constexpr TRangeMessage Verbatim(const char* text) {
    return {text, false};
}
[[noreturn]] void Refuse(TRangeMessage message) {
    throw ERange(message.named ? Named(message.text) : std::string(message.text));
}

struct TIntegerOption {
    std::string_view name;
    long long min, max;
    TRangeMessage below;
    TRangeMessage above;
    void (*store)(TRenderOptions&, int);
};

constexpr TIntegerOption kIntegerOptions[] = {
    {"--module", 0, 9, Verbatim(kModuleRange), Verbatim(kModuleRange),
     [](TRenderOptions& o, int v) { o.module = v; }},
    {"--rotate", 0, 270, Verbatim(kRotateRange), Verbatim(kRotateRange),
     [](TRenderOptions& o, int v) { o.rotateDegrees = v; }},
    {"--bar-height", 20, 200, Verbatim(kHeightRange), Verbatim(kHeightRange),
     [](TRenderOptions& o, int v) { o.barHeight = v; }},
    {"--font-height", 20, 200, Verbatim(kFontRange), Verbatim(kFontRange),
     [](TRenderOptions& o, int v) { o.fontHeight = v; }},
    {"--scale", 1, 65535, Verbatim("Barcode: Factor for \"MagnifyBy\" must be >=1"),
     Verbatim("Picture too large: --scale is at most 65535"),
     [](TRenderOptions& o, int v) { o.scale = v; }},
    {"--margin", 0, kMaxMargin, Ours("--margin must not be negative"),
     Verbatim("Picture too large: --margin is at most 65535"),
     [](TRenderOptions& o, int v) { o.margin = v; }},
    {"--dpi", 1, kMaxDpi, Ours("--dpi must be at least 1"),
     Verbatim("Picture too large: --dpi is at most 100000"),
     [](TRenderOptions& o, int v) { o.dpi = v; }},
    {"--jobs", 1, 1024, Ours("--jobs must be at least 1"), Ours("--jobs is at most 1024"),
     [](TRenderOptions& o, int v) { o.jobs = v; }},
};

// Stores a whole-number option's value after checking its range; ERange outside it.
void StoreInRange(const TIntegerOption& option, long long value, TRenderOptions& render) {
    if (value < option.min) Refuse(option.below);
    if (value > option.max) Refuse(option.above);
    if (option.name == "--rotate" && value % 90 != 0)
        Refuse(Ours("--rotate takes 0, 90, 180 or 270"));
    option.store(render, static_cast<int>(value));
}

// The picture options of the command line, in a format.
PictureOptions PictureOptionsOf(const TRenderOptions& render, Format format) {
    PictureOptions options;
    options.format = format;
    options.scale = render.scale;
    options.margin = render.margin;
    options.quietZones = render.quietZones;
    options.dpi = render.dpi;
    options.monochrome = render.monochrome;
    return options;
}

} // namespace

std::string FormatExtension(const std::string& format) {
    if (!FormatFromExtension(format))
        throw EUsage("unknown --format '" + format +
                     "': use bmp, gif, tif, jpg, emf, png, svg or pdf");
    return format.starts_with('.') ? format : "." + format;
}

Symbol LookOf(const TRenderOptions& options) {
    Symbol look;
    look.moduleSize = options.module;
    look.rotation = options.rotateDegrees;
    look.humanReadable = !options.noText;
    look.barHeight = options.barHeight;
    look.fontHeight = options.fontHeight;
    look.font = options.font;
    look.zoom = options.zoom;
    look.highDensity = options.highDensity;
    look.widthReduce = options.widthReduce;
    return look;
}

std::vector<std::uint8_t> RenderToBytes(const Symbol& symbol, const TRenderOptions& options,
                                        const std::string& fileName) {
    const std::optional<Format> format = FormatFromName(fileName);
    if (!format) throw Error("unsupported picture type of '" + fileName + "'");
    const PictureOptions picture = PictureOptionsOf(options, *format);
    // Only a PDF carries a date.
    if (const std::optional<long long> date =
            picture.format == Format::Pdf ? SourceDateEpoch() : std::nullopt)
        return Render(symbol, picture, *date);
    return Render(symbol, picture);
}

namespace {

// The options of a single picture, -o FILE or -o - (with --format, which chooses the format
// of any -o, so that a name without an extension such as /dev/stdout can be written):
// EUsage when the command line does not name one picture.
void CheckSingleCommandLine(const TRenderOptions& render, bool jobsGiven) {
    if (!render.outdir.empty() || jobsGiven) throw EUsage("--outdir and --jobs go with --batch");
    if (render.output.empty()) throw EUsage("missing -o FILE");
    if (render.output == "-" && render.format.empty()) throw EUsage("-o - needs --format EXT");
    CheckPictureName(render.format.empty() ? render.output
                                           : "picture" + FormatExtension(render.format),
                     render.monochrome);
}

// The command line: the shared options, the render options (whole numbers kept in numbers
// until the command line is known to be well formed) and the flags.
TSymbolOptions
ParseRenderCommandLine(std::vector<std::string_view> args, TRenderOptions& render,
                       std::vector<std::pair<const TIntegerOption*, long long>>& numbers) {
    TOptionParser parser(std::move(args));
    const auto extra = [&](std::string_view name, TOptionParser& p) {
        static constexpr std::pair<std::string_view, bool TRenderOptions::*> kFlags[] = {
            {"--no-text", &TRenderOptions::noText},
            {"--zoom", &TRenderOptions::zoom},
            {"--high-density", &TRenderOptions::highDensity},
            {"--width-reduce", &TRenderOptions::widthReduce},
            {"--monochrome", &TRenderOptions::monochrome},
            {"--quiet", &TRenderOptions::quiet},
            {"--quiet-zones", &TRenderOptions::quietZones}};
        for (const TIntegerOption& option : kIntegerOptions)
            if (name == option.name)
                return numbers.emplace_back(&option, ParseWholeNumber(name, p.Value())), true;
        for (const auto& [option, field] : kFlags)
            if (name == option) return render.*field = true;
        if (name == "--font") return render.font = p.Value(), true;
        if (name == "-o" || name == "--output") return render.output = p.Value(), true;
        if (name == "--outdir") return render.outdir = p.Value(), true;
        if (name == "--format") return render.format = p.Value(), true;
        return false;
    };
    return parser.Parse(extra);
}

// One picture: the text checked (a bad escape is a usage error, a refused text the
// program's own message), then drawn and written; a refusal while drawing or writing is
// told with its own message.
int RenderSingle(const TSymbolOptions& options, const TRenderOptions& render) {
    const bool toStdout = render.output == "-";
    const Symbol symbol = SymbolOf(options, options.type, *options.text, LookOf(render));
    try {
        CheckText(symbol);
    } catch (const EscapeSequenceError& e) {
        throw EUsage(e.what());
    } catch (const TextError& e) {
        throw ERange(Named(e.what()));
    }
    if (toStdout && isatty(STDOUT_FILENO))
        Refuse(Ours("standard output is a terminal; redirect it to a file or a pipe, or write "
                    "the picture with -o FILE"));

    try {
        CheckPictureLimits(render);
        // --format chooses the format of any -o, a name without an extension included.
        const std::string formatName =
            render.format.empty() ? render.output : "picture" + FormatExtension(render.format);
        const std::vector<std::uint8_t> bytes = RenderToBytes(symbol, render, formatName);
        if (toStdout)
            WriteStandardOutput({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
        else {
            const TEndingSignalsHeld held;
            WriteFile(render.output, bytes);
        }
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("drawing the picture");
    } catch (const std::exception& e) { // the engine's messages, pictures too large, files
        std::fprintf(stderr, "%s\n", e.what());
        return kExitRefused;
    }
    return kExitOk;
}

} // namespace

int RunRenderCommand(std::vector<std::string_view> args) {
    TRenderOptions render;
    std::vector<std::pair<const TIntegerOption*, long long>> numbers; // checked once well formed
    const TSymbolOptions options = ParseRenderCommandLine(std::move(args), render, numbers);
    if (options.help) {
        PrintRenderUsage(stdout);
        return kExitOk;
    }
    if (!options.batchFile)
        CheckSingleCommandLine(render, std::any_of(numbers.begin(), numbers.end(), [](auto& n) {
                                   return n.first->name == "--jobs";
                               }));
    for (const auto& [option, value] : numbers) StoreInRange(*option, value, render);
    if (options.batchFile) return RunBatchRender(options, render);
    return RenderSingle(options, render);
}

void CheckPictureName(const std::string& fileName, bool monochrome) {
    const std::optional<Format> format = FormatFromName(fileName);
    if (!format)
        throw EUsage("unsupported picture type of '" + fileName +
                     "': use .bmp, .gif, .tif, .jpg, .emf, .png, .svg or .pdf");
    if (monochrome && (*format == Format::Svg || *format == Format::Pdf))
        throw EUsage("--monochrome applies to raster pictures, not .svg or .pdf");
}

void CheckPictureLimits(const TRenderOptions& render) {
    if (render.dpi > kMaxDpi || render.margin.value_or(0) > kMaxMargin)
        throw Error("Picture too large: --dpi is at most 100000 and --margin at most 65535");
}

} // namespace varimark::cli
