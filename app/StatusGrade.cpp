#include "app/StatusGrade.h"

#include "engine/EOverflow.h"
#include "engine/Formatted.h"
#include "engine/InputText.h"
#include "library/PictureRender.h"
#include "library/TypeBridge.h"
#include "render/PictureSave.h"
#include "verify/PictureReader.h"
#include "verify/ProfileGrading.h"
#include "verify/ReferenceDecode.h"
#include "verify/VerifyPicture.h"

#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <utility>

namespace varimark {

namespace {

QString NotGraded(const std::string& why) {
    return QString::fromStdString("Not graded: " + why);
}

// A count of modules as people read it: whole when it is within the verifier's slack of a
// whole number, else to a tenth.
std::string Modules(double count) {
    return Formatted(std::abs(count - std::round(count)) < 0.05 ? "%.0f" : "%.1f", count);
}

// How far the picture (it covers [-0.5, width - 0.5] x [-0.5, height - 0.5]) reaches
// beyond a scan line's first and last samples, in samples: where the quiet zones end.
std::pair<double, double> SamplesBeyond(const ScanLine& line, int width, int height) {
    const auto ahead = [](double from, double step, int size) {
        if (step > 0) return (size - 0.5 - from) / step;
        if (step < 0) return (from + 0.5) / -step;
        return std::numeric_limits<double>::infinity();
    };
    const double last = line.count - 1;
    const double lastX = line.x + last * line.dx, lastY = line.y + last * line.dy;
    return {std::min(ahead(line.x, -line.dx, width), ahead(line.y, -line.dy, height)),
            std::min(ahead(lastX, line.dx, width), ahead(lastY, line.dy, height))};
}

// The sides a scan line meets first and last, as they lie in the picture.
std::pair<const char*, const char*> Sides(const ScanLine& line) {
    if (std::abs(line.dy) > std::abs(line.dx))
        return line.dy > 0 ? std::pair("top", "bottom") : std::pair("bottom", "top");
    return line.dx > 0 ? std::pair("left", "right") : std::pair("right", "left");
}

// The first parameter of a profile graded below C, in words; "" when none is.
std::string FirstFailure(const ProfileReport& p, const TProfileGrade& regraded,
                         const ScanLine& line, bool quietZonesOn) {
    constexpr int kPassing = 2; // C: ISO/IEC 15416 grades 4 A, 3 B, 2 C, 1 D, 0 F
    if (p.decodeGrade < kPassing) {
        const auto [first, last] = Sides(line);
        constexpr double kSlack = 0.05; // the verifier's own
        const bool firstShort = regraded.quietLeft < regraded.quietLeftNeeded - kSlack;
        const bool lastShort = regraded.quietRight < regraded.quietRightNeeded - kSlack;
        if (!p.decoded) return "does not decode: " + p.failure;
        if (!firstShort && !lastShort) return p.failure; // the gap before an add-on
        std::string words =
            firstShort ? std::string(first) + " quiet zone " + Modules(regraded.quietLeft) +
                             " of " + std::to_string(regraded.quietLeftNeeded) + " modules"
                       : std::string(last) + " quiet zone " + Modules(regraded.quietRight) +
                             " of " + std::to_string(regraded.quietRightNeeded) + " modules";
        if (!quietZonesOn) words += " · turn on Barcode > Quiet zones";
        return words;
    }
    if (p.rminGrade < kPassing)
        return "Rmin " + Formatted("%.0f", p.rmin) + " % is more than half of Rmax " +
               Formatted("%.0f", p.rmax) + " %";
    if (p.symbolContrastGrade < kPassing)
        return "symbol contrast " + Formatted("%.0f", p.symbolContrast) + " % (C needs " +
               Formatted("%.0f", TGradeLimits::kContrast[2]) + " %)";
    if (p.minEdgeContrastGrade < kPassing)
        return "edge contrast " + Formatted("%.0f", p.minEdgeContrast) + " % (at least " +
               Formatted("%.0f", TGradeLimits::kMinEdgeContrast) + " %)";
    if (p.modulationGrade < kPassing)
        return "modulation " + Formatted("%.2f", p.modulation) + " (C needs " +
               Formatted("%.2f", TGradeLimits::kModulation[2]) + ")";
    if (p.defectsGrade < kPassing)
        return "defects " + Formatted("%.2f", p.defects) + " (C needs at most " +
               Formatted("%.2f", TGradeLimits::kDefects[2]) + ")";
    if (p.decodabilityGrade < kPassing)
        return "decodability " + Formatted("%.2f", p.decodability) + " (C needs " +
               Formatted("%.2f", TGradeLimits::kDecodability[2]) + ")";
    return "";
}

// The report in one line: the grade with X and the quiet zones, or what fails first on
// the lowest scan.
QString Describe(const VerifyReport& report, const TGreyPicture& picture, btCodeTypes type,
                 bool quietZonesOn) {
    const std::string letter = std::string("Grade ") + report.letter;
    if (!report.found) return QString::fromStdString(letter + ": " + report.failure);
    const auto lowest = std::min_element(
        report.profiles.begin(), report.profiles.end(),
        [](const ProfileReport& a, const ProfileReport& b) { return a.grade < b.grade; });
    // The lowest scan graded again for its quiet zones, which the report does not carry.
    const auto [before, after] = SamplesBeyond(lowest->line, picture.width, picture.height);
    const TProfileGrade regraded = GradeProfile(lowest->reflectance, type, before, after);
    if (!report.passed) {
        const std::string failure = FirstFailure(*lowest, regraded, lowest->line, quietZonesOn);
        return QString::fromStdString(letter + ": " + (failure.empty() ? report.failure : failure));
    }
    const std::string quiet = "quiet zones " + Modules(regraded.quietLeft) + "/" +
                              Modules(regraded.quietRight) + " modules";
    return QString::fromStdString(letter + " (" + Formatted("%.1f", report.grade) + ") · X " +
                                  Formatted("%.2f", report.xMillimetres) + " mm · " + quiet);
}

} // namespace

int SaveMargin(const TLLBarcode& barcode, int dpi, bool quietZones) {
    if (!quietZones) return kMinimumMargin;
    PictureOptions options; // the margin left open: each side's quiet zone
    options.dpi = dpi;
    return PictureMargin(barcode, options);
}

QString GradeStatusText(const TGradeRequest& request) {
    TLLBarcode barcode = request.barcode; // drawing encodes into it
    const TDrawFunction draw = [&barcode](TSurface& surface, int x, int y) {
        TDrawnSize size;
        barcode.DrawBarcode(surface, x, y, size);
        return size;
    };
    const btCodeTypes type = barcode.Params.CodeType;
    try {
        std::vector<std::uint8_t> file =
            BarcodePictureBytes(draw, SaveMargin(barcode, request.dpi, request.quietZones),
                                request.factor, request.dpi, TPictureType::Bmp);
        if (type == btCodeTypes::Postnet || type == btCodeTypes::Postnet_FIM)
            return NotGraded(kPostalNotGraded);
        const TGreyPicture picture = ReadGreyPicture(file);
        file = {};
        VerifyOptions options;
        options.type = ApiType(type);
        options.dpi = request.dpi;
        return Describe(VerifyGreyPicture(picture, options), picture, type, request.quietZones);
    } catch (const std::bad_alloc&) {
        return NotGraded("not enough memory for a picture of this size");
    } catch (const std::exception& e) {
        // The engine's Code 128 refusal names the character it could not carry.
        return NotGraded(std::string_view(e.what()) == kCode128Refusal
                             ? Code128Error(barcode.Params.Caption, type)
                             : e.what());
    }
}

TStatusGrade::TStatusGrade(QLabel* label, std::function<TGradeRequest()> snapshot)
    : label_(label), snapshot_(std::move(snapshot)), timer_(new QTimer(this)) {
    timer_->setSingleShot(true);
    timer_->setInterval(0);
    connect(timer_, &QTimer::timeout, this, [this] { Start(); });
    worker_ = std::thread([this] { Run(); });
}

TStatusGrade::~TStatusGrade() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
        pending_.reset();
    }
    wake_.notify_one();
    worker_.join(); // a grading under way ends first; its result is never shown
}

void TStatusGrade::Schedule() {
    timer_->start();
}

bool TStatusGrade::Settled() const {
    return !timer_->isActive() && shownGeneration_ == requested_;
}

void TStatusGrade::Start() {
    const std::uint64_t generation = ++requested_;
    try {
        TGradeRequest request = snapshot_();
        {
            const std::lock_guard lock(mutex_);
            pending_.emplace(TPending{generation, std::move(request)});
        }
        wake_.notify_one();
    } catch (const std::exception& e) {
        Show(generation, NotGraded(e.what()));
    }
}

void TStatusGrade::Show(std::uint64_t generation, const QString& text) {
    if (generation != requested_) return; // a newer request is on its way
    label_->setText(text);
    shownGeneration_ = generation;
    ++shown_;
}

void TStatusGrade::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || pending_.has_value(); });
        if (stop_) return;
        const TPending job = std::move(*pending_);
        pending_.reset();
        lock.unlock();
        const QString text = GradeStatusText(job.request);
        QMetaObject::invokeMethod(
            this, [this, generation = job.generation, text] { Show(generation, text); },
            Qt::QueuedConnection);
        lock.lock();
    }
}

} // namespace varimark
