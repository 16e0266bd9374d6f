#include "platform/QtSurface.h"

#include "platform/QtText.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>

#include <algorithm>

namespace varimark {

TQtSurface::TQtSurface(QPainter& painter, int dpiX, int dpiY, int screenDpi)
    : TSurfaceState(dpiX, dpiY, screenDpi, screenDpi), painter_(painter),
      base_(painter.transform()) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
}

TQtSurface::TQtSurface(QPainter& painter)
    : TQtSurface(painter, painter.device() ? painter.device()->logicalDpiX() : kScreenDpi,
                 painter.device() ? painter.device()->logicalDpiY() : kScreenDpi) {}

void TQtSurface::FillRect(int left, int top, int right, int bottom) {
    if (brushStyle_ == TBrushStyle::Clear) return;
    const int x0 = std::min(left, right), x1 = std::max(left, right);
    const int y0 = std::min(top, bottom), y1 = std::max(top, bottom);
    if (x0 == x1 || y0 == y1) return;
    painter_.fillRect(QRect(x0, y0, x1 - x0, y1 - y0),
                      QColor(brushColor_.r, brushColor_.g, brushColor_.b));
}

int TQtSurface::TextHeight(std::string_view) {
    return fonts_.CellHeight(fontFace_, fontHeight_);
}

void TQtSurface::TextOut(int x, int y, std::string_view text, const TFontSpec& spec) {
    QFont font = fonts_.Match(spec.face, spec.height);
    // A whole, equal magnification of the mapping (a magnified picture) goes into the font:
    // the text is drawn at device size with a font that many times higher, as a device
    // with that resolution would draw it, not as enlarged outlines.
    const QTransform mapping = painter_.transform();
    const qreal magnification = mapping.m11();
    const bool deviceFont = mapping.type() <= QTransform::TxScale && magnification > 1 &&
                            mapping.m22() == magnification &&
                            magnification == static_cast<int>(magnification);
    QPointF origin(x, y);
    if (deviceFont) {
        font.setPixelSize(font.pixelSize() * static_cast<int>(magnification));
        origin = mapping.map(origin);
    }
    const QString string = FromWindows1252(text);
    const QFontMetricsF metrics(font);
    const qreal width = metrics.horizontalAdvance(string);
    const qreal cell = metrics.ascent() + metrics.descent();

    const auto [left, top] = TextBoxAt(width, metrics.ascent(), cell);

    painter_.save();
    if (deviceFont) painter_.resetTransform();
    painter_.translate(origin);
    painter_.rotate(-spec.escapement / 10.0); // escapement turns counter-clockwise
    if (bkMode_ == TBkMode::Opaque)
        painter_.fillRect(QRectF(left, top, width, cell),
                          QColor(bkColor_.r, bkColor_.g, bkColor_.b));
    painter_.setFont(font);
    painter_.setPen(Qt::black);
    painter_.drawText(QPointF(left, top + metrics.ascent()), string);
    painter_.restore();
}

void TQtSurface::MappingChanged() {
    const TScale scale = Scale();
    QTransform transform = base_;
    transform.scale(scale.x, scale.y);
    painter_.setTransform(transform);
}

} // namespace varimark
