#pragma once
// The barcode control: owns one engine, exposes its parameters as properties with range
// checks, repaints on every write, and sizes itself to the drawn barcode.
#include "engine/LLBarcode.h"
#include "engine/Surface.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <utility>

namespace varimark {

class TCustomBarcode : public QWidget {
public:
    explicit TCustomBarcode(QWidget* owner = nullptr);

    // Properties. Every setter checks its value (EOverflow with the property's message,
    // nothing changed), stores it and requests a repaint, also when the value is equal.
    // Text crosses to the engine as Windows-1252; a character outside it becomes '?'.
    QString Bar_Caption() const;
    void SetBar_Caption(const QString& caption); // at most 50 characters
    QString Bar_CodeAddon() const;
    void SetBar_CodeAddon(const QString& addon); // keeps the digits, cut to 0, 2 or 5
    btCodeTypes Bar_CodeType() const { return engine_.Params.CodeType; }
    void SetBar_CodeType(btCodeTypes type); // any value; an unknown one fails at painting
    QString Bar_Fontname() const;
    void SetBar_Fontname(const QString& name);
    int Bar_Fontscaling() const { return engine_.Params.Fontscaling; }
    void SetBar_Fontscaling(int percent); // 20..200
    int Bar_HeightPercent() const { return engine_.Params.HeightPercent; }
    void SetBar_HeightPercent(int percent); // 20..200
    bool Bar_HighDensity() const { return engine_.Params.HighDensity; }
    void SetBar_HighDensity(bool on);
    bool Bar_HumanReadable() const { return engine_.Params.HumanReadable; }
    void SetBar_HumanReadable(bool on);
    btCodeSizes Bar_ModuleWidth() const { return engine_.Params.ModuleWidth; }
    void SetBar_ModuleWidth(btCodeSizes size); // SC0..SC9
    btCodeRatio Bar_Ratio() const { return engine_.Params.Ratio; }
    void SetBar_Ratio(btCodeRatio ratio); // Ratio_3, Ratio_2
    btCodeRotate Bar_Rotation() const { return engine_.Params.Rotation; }
    void SetBar_Rotation(btCodeRotate rotation); // rotate_000..rotate_270
    bool Bar_WidthReduce() const { return engine_.Params.WidthReduce; }
    void SetBar_WidthReduce(bool on);
    bool Bar_ZoomSize() const { return engine_.Params.ZoomSize; }
    void SetBar_ZoomSize(bool on);

    // Draws the barcode onto any surface with its top-left corner at (x, y); the drawn
    // size after rotation goes to size when one is given. The one drawing entry of the
    // control and of its output services.
    void DrawAt(TSurface& surface, int x, int y, TDrawnSize* size = nullptr);

    const TLLBarcode& Engine() const { return engine_; }

    // Runs after every property write that succeeded (the owner follows the barcode's
    // changes, as the status line's grading does); none by default.
    void SetOnWritten(std::function<void()> written) { onWritten_ = std::move(written); }

protected:
    void paintEvent(QPaintEvent* event) override;
    // Takes the drawn size after a paint: the control becomes exactly that size.
    virtual void ApplyDrawnSize(TDrawnSize size);

private:
    // After a successful write: painting may fail and report again, and a repaint is due.
    void Written();

    TLLBarcode engine_;
    bool paintFailed_ = false; // reported once; nothing drawn until a property is written
    std::function<void()> onWritten_;
};

} // namespace varimark
