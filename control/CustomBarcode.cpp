#include "control/CustomBarcode.h"

#include "platform/ErrorReport.h"
#include "platform/QtSurface.h"
#include "platform/QtText.h"

#include <QCoreApplication>
#include <QPainter>

#include <exception>

namespace varimark {

TCustomBarcode::TCustomBarcode(QWidget* owner) : QWidget(owner) {
    resize(69, 66);
}

void TCustomBarcode::Written() {
    paintFailed_ = false;
    update();
    if (onWritten_) onWritten_();
}

QString TCustomBarcode::Bar_Caption() const {
    return FromWindows1252(engine_.Params.Caption);
}

void TCustomBarcode::SetBar_Caption(const QString& caption) {
    engine_.Params.SetCaption(ToWindows1252(caption));
    Written();
}

QString TCustomBarcode::Bar_CodeAddon() const {
    return FromWindows1252(engine_.Params.CodeAddon);
}

void TCustomBarcode::SetBar_CodeAddon(const QString& addon) {
    engine_.Params.SetCodeAddon(ToWindows1252(addon));
    Written();
}

void TCustomBarcode::SetBar_CodeType(btCodeTypes type) {
    engine_.Params.CodeType = type;
    Written();
}

QString TCustomBarcode::Bar_Fontname() const {
    return FromWindows1252(engine_.Params.Fontname);
}

void TCustomBarcode::SetBar_Fontname(const QString& name) {
    engine_.Params.Fontname = ToWindows1252(name);
    Written();
}

void TCustomBarcode::SetBar_Fontscaling(int percent) {
    engine_.Params.SetFontscaling(percent);
    Written();
}

void TCustomBarcode::SetBar_HeightPercent(int percent) {
    engine_.Params.SetHeightPercent(percent);
    Written();
}

void TCustomBarcode::SetBar_HighDensity(bool on) {
    engine_.Params.HighDensity = on;
    Written();
}

void TCustomBarcode::SetBar_HumanReadable(bool on) {
    engine_.Params.HumanReadable = on;
    Written();
}

void TCustomBarcode::SetBar_ModuleWidth(btCodeSizes size) {
    engine_.Params.SetModuleWidth(size);
    Written();
}

void TCustomBarcode::SetBar_Ratio(btCodeRatio ratio) {
    engine_.Params.SetRatio(ratio);
    Written();
}

void TCustomBarcode::SetBar_Rotation(btCodeRotate rotation) {
    engine_.Params.SetRotation(rotation);
    Written();
}

void TCustomBarcode::SetBar_WidthReduce(bool on) {
    engine_.Params.WidthReduce = on;
    Written();
}

void TCustomBarcode::SetBar_ZoomSize(bool on) {
    engine_.Params.ZoomSize = on;
    Written();
}

void TCustomBarcode::DrawAt(TSurface& surface, int x, int y, TDrawnSize* size) {
    TDrawnSize drawn;
    engine_.DrawBarcode(surface, x, y, drawn);
    if (size != nullptr) *size = drawn;
}

void TCustomBarcode::paintEvent(QPaintEvent*) {
    if (paintFailed_) return;
    TDrawnSize size;
    try {
        QPainter painter(this);
        TQtSurface surface(painter, logicalDpiX(), logicalDpiY());
        DrawAt(surface, 0, 0, &size);
    } catch (const std::exception& e) {
        // Reported once, after this paint has ended: an error box repaints the window,
        // and a failing paint must not lock the user in error boxes.
        paintFailed_ = true;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [message = std::string(e.what())] { ReportError(message); }, Qt::QueuedConnection);
        return;
    }
    ApplyDrawnSize(size);
}

void TCustomBarcode::ApplyDrawnSize(TDrawnSize size) {
    resize(size.width, size.height);
}

} // namespace varimark
