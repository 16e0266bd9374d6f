#include "FontMatcher.h"

#include "QtText.h"

#include <QFontDatabase>
#include <QFontMetricsF>

#include <cstdlib>

namespace {

// Ascent + descent at a pixel size, rounded as a whole.
int CellHeightAt(QFont font, int pixelSize) {
    font.setPixelSize(pixelSize);
    const QFontMetricsF metrics(font);
    return qRound(metrics.ascent() + metrics.descent());
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
    const int target = std::abs(height);
    int best = 1, bestCell = 0, bestDiff = -1;
    if (target > 0) {
        // The cell of most faces is 1.1 to 1.2 times the pixel size; look around that.
        const int reference = 100;
        const int referenceCell = CellHeightAt(font, reference);
        const int guess =
            referenceCell > 0 ? (target * reference + referenceCell / 2) / referenceCell : target;
        for (int size = guess - 3 < 1 ? 1 : guess - 3; size <= guess + 3; ++size) {
            const int cell = CellHeightAt(font, size);
            const int diff = std::abs(cell - target);
            if (bestDiff < 0 || diff < bestDiff) best = size, bestCell = cell, bestDiff = diff;
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
