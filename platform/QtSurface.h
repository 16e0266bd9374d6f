#pragma once
// The drawing surface over a QPainter: serves a widget, a QImage, a printer and a PDF
// writer. Bars are filled on whole pixels without antialiasing.
#include "engine/Surface.h"
#include "engine/Units.h"
#include "platform/FontMatcher.h"

#include <QPainter>
#include <QTransform>

namespace varimark {

class TQtSurface : public TSurfaceState {
public:
    // dpiX/dpiY: the resolution the surface reports; screenDpi: the screen's, for the
    // fallback of a surface without resolution.
    TQtSurface(QPainter& painter, int dpiX, int dpiY, int screenDpi = kScreenDpi);
    // Takes the resolution from the painter's device.
    explicit TQtSurface(QPainter& painter);

    void FillRect(int left, int top, int right, int bottom) override;
    int TextHeight(std::string_view text) override;
    void TextOut(int x, int y, std::string_view text, const TFontSpec& font) override;

private:
    // Mapping modes become the painter's transform.
    void MappingChanged() override;

    QPainter& painter_;
    QTransform base_;
    TFontMatcher fonts_;
};

} // namespace varimark
