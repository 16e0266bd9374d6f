#include "GlyphMasks.h"

#include "FontMatcher.h"
#include "Windows1252.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <map>
#include <string>
#include <tuple>

namespace {

QChar CharOf(unsigned char c) {
    return QChar(static_cast<char16_t>(Windows1252ToCodePoint(c)));
}

// Qt draws the character black on white into a scratch picture with room on every side;
// what it darkened, cropped, is the coverage.
TGlyphMask RenderMask(const QFont& font, double ascent, QChar character, double penOffset) {
    const int size = std::max(1, font.pixelSize());
    const int pad = size + 2;
    const QFontMetricsF metrics(font);
    const int width = static_cast<int>(std::ceil(metrics.horizontalAdvance(character))) + 2 * pad;
    const int height = static_cast<int>(std::ceil(ascent + metrics.descent())) + 2 * pad;
    QImage scratch(width, height, QImage::Format_RGB32);
    scratch.fill(Qt::white);
    const int baseline = pad + static_cast<int>(std::lround(ascent));
    {
        QPainter painter(&scratch);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(pad + penOffset, baseline), QString(character));
    }
    int x0 = width, y0 = height, x1 = -1, y1 = -1;
    for (int y = 0; y < height; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
        for (int x = 0; x < width; ++x)
            if (qGray(row[x]) != 255) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
    }
    TGlyphMask mask;
    if (x1 < 0) return mask; // a space, or a character the face leaves blank
    mask.left = x0 - pad;
    mask.top = y0 - baseline;
    mask.width = x1 - x0 + 1;
    mask.height = y1 - y0 + 1;
    mask.coverage.resize(static_cast<std::size_t>(mask.width) * mask.height);
    std::uint8_t* out = mask.coverage.data();
    for (int y = y0; y <= y1; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
        for (int x = x0; x <= x1; ++x) *out++ = static_cast<std::uint8_t>(255 - qGray(row[x]));
    }
    for (const std::uint8_t c : mask.coverage) {
        const auto white = static_cast<std::uint8_t>(255 - c);
        mask.onWhite.push_back(white);
        mask.onWhite3.insert(mask.onWhite3.end(), 3, white);
    }
    return mask;
}

} // namespace

TGlyphFont::TGlyphFont(const QFont& font) : font_(font) {
    const QFontMetricsF metrics(font_);
    ascent_ = metrics.ascent();
    descent_ = metrics.descent();
    advances_.fill(-1);
}

double TGlyphFont::Advance(unsigned char c) {
    if (advances_[c] < 0) advances_[c] = QFontMetricsF(font_).horizontalAdvance(CharOf(c));
    return advances_[c];
}

const TGlyphMask& TGlyphFont::Mask(unsigned char c, int subpixel) {
    std::unique_ptr<TGlyphMask>& slot = masks_[c * kSubpixels + subpixel];
    if (!slot)
        slot = std::make_unique<TGlyphMask>(
            RenderMask(font_, ascent_, CharOf(c), static_cast<double>(subpixel) / kSubpixels));
    return *slot;
}

TGlyphFont& GlyphFontFor(std::string_view face, int cellHeight, int magnification) {
    using TKey = std::tuple<std::string, int, int>;
    thread_local std::map<TKey, std::unique_ptr<TGlyphFont>, std::less<>> fonts;
    thread_local TFontMatcher matcher;
    // Pictures of a batch ask for the same font again and again.
    thread_local const TKey* lastKey = nullptr;
    thread_local TGlyphFont* last = nullptr;
    if (last != nullptr && std::get<0>(*lastKey) == face && std::get<1>(*lastKey) == cellHeight &&
        std::get<2>(*lastKey) == magnification)
        return *last;
    const auto key = std::make_tuple(std::string(face), cellHeight, magnification);
    auto it = fonts.find(key);
    if (it == fonts.end()) {
        if (fonts.size() >= 256) fonts.clear(); // a run through many sizes keeps no more
        QFont font = matcher.Match(face, cellHeight);
        font.setPixelSize(std::max(1, font.pixelSize() * magnification));
        it = fonts.emplace(key, std::make_unique<TGlyphFont>(font)).first;
    }
    lastKey = &it->first;
    last = it->second.get();
    return *last;
}
