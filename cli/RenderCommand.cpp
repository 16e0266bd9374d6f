#include "RenderCommand.h"

#include "BatchRender.h"
#include "EOverflow.h"
#include "Escapes.h"
#include "FileWriter.h"
#include "MagnifiedPicture.h"
#include "PictureSave.h"
#include "QtSurface.h"
#include "QtText.h"
#include "QuietZones.h"
#include "Usage.h"
#include "Windows1252.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace varimark::cli {

namespace {

constexpr int kMaxDpi = 100000;
constexpr int kMaxMargin = 65535;

int ParseInteger(std::string_view name, std::string_view value) {
    int result = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), result);
    if (error != std::errc() || end != value.data() + value.size() || value.empty())
        throw UsageError("option '" + std::string(name) + "' needs a whole number, not '" +
                         std::string(value) + "'");
    return result;
}

bool IsPdf(const std::string& fileName) {
    return LowerExtension(fileName) == ".pdf";
}

// Drops Qt's own chatter (platform notes on standard error); our messages are our own.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "varimark-cli: %s\n", qPrintable(message));
        std::abort();
    }
}

class PictureWriter {
public:
    PictureWriter(TLLBarcode& barcode, const RenderOptions& options, const std::string& fileName)
        : barcode_(barcode), options_(options), fileName_(fileName),
          margin_(MarginFor(barcode, options)) {}

    // The file is written completely beside its target and renamed over it, so a failure
    // leaves any old file as it was. Every format but PDF is the desktop program's save.
    void Write() {
        if (IsPdf(fileName_))
            WriteFileReplacing(fileName_, Pdf());
        else
            SaveBarcodePicture(DrawFunction(), margin_, options_.scale, options_.dpi, fileName_,
                               options_.monochrome);
    }

private:
    TDrawnSize Draw(TSurface& surface, int x, int y) {
        TDrawnSize size;
        barcode_.DrawBarcode(surface, x, y, size);
        return size;
    }
    TDrawFunction DrawFunction() {
        return [this](TSurface& s, int x, int y) { return Draw(s, x, y); };
    }

    std::string Pdf() {
        const TDrawnSize size = MeasureBarcode(DrawFunction(), margin_, options_.dpi);
        const QSize pixels = MagnifiedSize(size, margin_, options_.scale);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        {
            QPdfWriter pdf(&buffer);
            pdf.setCreator("Varimark");
            pdf.setResolution(options_.dpi);
            pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
            pdf.setPageSize(QPageSize(
                QSizeF(pixels.width() * 72.0 / options_.dpi, pixels.height() * 72.0 / options_.dpi),
                QPageSize::Point, QString(), QPageSize::ExactMatch));
            QPainter painter(&pdf);
            painter.fillRect(QRect(QPoint(0, 0), pixels), Qt::white);
            TQtSurface surface(painter, options_.dpi, options_.dpi);
            surface.SetMapMode(MM_ANISOTROPIC);
            surface.SetWindowExt(1, 1);
            surface.SetViewportExt(options_.scale, options_.scale);
            Draw(surface, margin_, margin_);
            if (!painter.end()) throw EPicture("cannot encode " + fileName_ + " as PDF");
        }
        return bytes.toStdString();
    }

    TLLBarcode& barcode_;
    const RenderOptions& options_;
    const std::string& fileName_;
    int margin_;
};

} // namespace

void ApplyRenderOptions(const RenderOptions& options, TBarcodeParams& params) {
    params.SetModuleWidth(static_cast<btCodeSizes>(options.module < 0 ? 255 : options.module));
    const int rotation = options.rotateDegrees / 90;
    params.SetRotation(static_cast<btCodeRotate>(rotation < 0 ? 255 : rotation));
    params.HumanReadable = !options.noText;
    params.SetHeightPercent(options.barHeight);
    params.SetFontscaling(options.fontHeight);
    params.Fontname = Utf8ToWindows1252(options.font);
    params.ZoomSize = options.zoom;
    params.HighDensity = options.highDensity;
    params.WidthReduce = options.widthReduce;
}

void RenderToFile(TLLBarcode& barcode, const RenderOptions& options, const std::string& fileName) {
    PictureWriter(barcode, options, fileName).Write();
}

void StartQtApplication() {
    // Fonts need a Qt application; no display is ever needed.
    static int argc = 3;
    static char name[] = "varimark-cli", platform[] = "-platform", offscreen[] = "offscreen";
    static char* argv[] = {name, platform, offscreen, nullptr};
    qInstallMessageHandler(QuietQtMessages);
    static QGuiApplication application(argc, argv);
}

int RunRenderCommand(std::vector<std::string_view> args) {
    RenderOptions render;
    OptionParser parser(std::move(args));
    const auto extra = [&render](std::string_view name, OptionParser& p) {
        static constexpr std::pair<std::string_view, int RenderOptions::*> kIntegers[] = {
            {"--module", &RenderOptions::module},
            {"--rotate", &RenderOptions::rotateDegrees},
            {"--bar-height", &RenderOptions::barHeight},
            {"--font-height", &RenderOptions::fontHeight},
            {"--scale", &RenderOptions::scale},
            {"--margin", &RenderOptions::margin},
            {"--dpi", &RenderOptions::dpi}};
        static constexpr std::pair<std::string_view, bool RenderOptions::*> kFlags[] = {
            {"--no-text", &RenderOptions::noText},
            {"--zoom", &RenderOptions::zoom},
            {"--high-density", &RenderOptions::highDensity},
            {"--width-reduce", &RenderOptions::widthReduce},
            {"--monochrome", &RenderOptions::monochrome},
            {"--quiet", &RenderOptions::quiet},
            {"--quiet-zones", &RenderOptions::quietZones}};
        for (const auto& [option, field] : kIntegers)
            if (name == option) return render.*field = ParseInteger(name, p.Value()), true;
        for (const auto& [option, field] : kFlags)
            if (name == option) return render.*field = true;
        if (name == "--font") return render.font = p.Value(), true;
        if (name == "-o" || name == "--output") return render.output = p.Value(), true;
        if (name == "--outdir") return render.outdir = p.Value(), true;
        if (name == "--format") return render.format = p.Value(), true;
        if (name == "--jobs") {
            render.jobs = ParseInteger(name, p.Value());
            if (render.jobs < 1) throw UsageError("--jobs must be at least 1");
            return true;
        }
        return false;
    };
    const SymbolOptions options = parser.Parse(extra);
    if (options.help) {
        PrintRenderUsage(stdout);
        return kExitOk;
    }
    if (render.rotateDegrees % 90 != 0) throw UsageError("--rotate takes 0, 90, 180 or 270");
    if (render.margin < 0) throw UsageError("--margin must not be negative");
    if (render.dpi < 1) throw UsageError("--dpi must be at least 1");
    if (options.batchFile) return RunBatchRender(options, render);

    if (!render.outdir.empty() || !render.format.empty() || render.jobs != 0)
        throw UsageError("--outdir, --format and --jobs go with --batch");
    if (render.output.empty()) throw UsageError("missing -o FILE");
    CheckPictureName(render.output, render.monochrome);
    std::string text;
    try {
        text = ToEngineText(*options.text, options.escapes);
    } catch (const EscapeError& e) {
        throw UsageError(e.what());
    }

    try {
        CheckPictureLimits(render);
        TLLBarcode barcode;
        ApplySymbolOptions(options, barcode.Params);
        ApplyRenderOptions(render, barcode.Params);
        barcode.Params.SetCaption(text);
        StartQtApplication();
        RenderToFile(barcode, render, render.output);
    } catch (const std::exception& e) { // EOverflow (the engine's messages), EPicture, files
        std::fprintf(stderr, "%s\n", e.what());
        return kExitRefused;
    }
    return kExitOk;
}

void CheckPictureName(const std::string& fileName, bool monochrome) {
    const std::optional<TPictureType> type = PictureTypeOf(fileName);
    if (!type && !IsPdf(fileName))
        throw UsageError("unsupported picture type of '" + fileName +
                         "': use .bmp, .gif, .tif, .jpg, .emf, .png, .svg or .pdf");
    if (monochrome && (!type || *type == TPictureType::Svg))
        throw UsageError("--monochrome applies to raster pictures, not .svg or .pdf");
}

void CheckPictureLimits(const RenderOptions& render) {
    if (render.dpi > kMaxDpi || render.margin > kMaxMargin)
        throw EPicture("Picture too large: --dpi is at most 100000 and --margin at most 65535");
}

} // namespace varimark::cli
