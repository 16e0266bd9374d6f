#pragma once
// The about box: the picture on the left, the project's notice on the right. A click on
// its background, its picture or its button closes it.
#include <QDialog>

class QPushButton;

namespace varimark {

class TAboutBox : public QDialog {
public:
    explicit TAboutBox(QWidget* owner = nullptr);

    // Ends the box with the result Cancel.
    void CancelButtonClick();
    QPushButton* OkButton() const { return okButton_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPushButton* okButton_;
};

} // namespace varimark
