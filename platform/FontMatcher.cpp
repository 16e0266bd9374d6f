#include "platform/FontMatcher.h"

#include "platform/QtText.h"

#include <QFontDatabase>
#include <QFontMetricsF>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace varimark {

namespace {

// Qt's font metrics hold lengths in a fixed-point form that wraps at 16384 pixels: an
// ascent that large reads as -16384. Fonts whose cell reaches that are not measured.
constexpr double kMaxMeasuredCell = 16000;
// The size at which a face's proportions are measured: ascent and descent grow in
// proportion to the pixel size.
constexpr int kProportionSize = 1000;

// Ascent + descent at a pixel size.
double CellAt(QFont font, int pixelSize) {
    font.setPixelSize(pixelSize);
    const QFontMetricsF metrics(font);
    return metrics.ascent() + metrics.descent();
}

// Ascent + descent at a pixel size, rounded as a whole.
int CellHeightAt(const QFont& font, int pixelSize) {
    return qRound(CellAt(font, pixelSize));
}

int ClampToInt(double v) {
    return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(INT_MAX)));
}

} // namespace

QString TFontMatcher::FaceName(std::string_view face) {
    if (face == "Default") return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    return FromWindows1252(face);
}

std::map<std::pair<std::string, int>, TFontMatcher::Entry, std::less<>>& TFontMatcher::Cache() {
    thread_local std::map<std::pair<std::string, int>, Entry, std::less<>> cache;
    return cache;
}

const TFontMatcher::Entry& TFontMatcher::Find(std::string_view face, int height) {
    auto& cache = Cache();
    // Pictures of a batch ask for the same font again and again.
    thread_local const std::pair<const std::pair<std::string, int>, Entry>* last = nullptr;
    if (last != nullptr && last->first.second == height && last->first.first == face)
        return last->second;
    auto key = std::make_pair(std::string(face), height);
    if (auto it = cache.find(key); it != cache.end()) {
        last = &*it;
        return it->second;
    }

    QFont font(FaceName(face));
    font.setStyleHint(QFont::SansSerif);
    font.setHintingPreference(QFont::PreferDefaultHinting);
    font.setKerning(false);
    const long long target = std::llabs(static_cast<long long>(height));
    int best = 1, bestCell = 0;
    if (target > 0) {
        // The cell of most faces is 1.1 to 1.2 times the pixel size; look around the size the
        // face's own proportion gives.
        const double proportion = CellAt(font, kProportionSize) / kProportionSize;
        const long long guess =
            proportion > 0 ? std::llround(static_cast<double>(target) / proportion) : target;
        if (static_cast<double>(guess + 3) * std::max(proportion, 1.0) >= kMaxMeasuredCell) {
            // Too large to measure: the pixel size and the cell in the face's proportions.
            best = std::max(1, ClampToInt(static_cast<double>(guess)));
            bestCell = proportion > 0 ? ClampToInt(std::round(best * proportion)) : best;
        } else {
            long long bestDiff = -1;
            for (int size = guess - 3 < 1 ? 1 : static_cast<int>(guess) - 3; size <= guess + 3;
                 ++size) {
                const int cell = CellHeightAt(font, size);
                const long long diff = std::llabs(cell - target);
                if (bestDiff < 0 || diff < bestDiff) best = size, bestCell = cell, bestDiff = diff;
            }
        }
    }
    font.setPixelSize(best);
    last = &*cache.emplace(std::move(key), Entry{font, target > 0 ? bestCell : 0}).first;
    return last->second;
}

const QFont& TFontMatcher::Match(std::string_view face, int height) {
    return Find(face, height).font;
}

int TFontMatcher::CellHeight(std::string_view face, int height) {
    return Find(face, height).cellHeight;
}

} // namespace varimark
