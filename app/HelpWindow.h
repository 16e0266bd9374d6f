#pragma once
// The help window: shows the contents page of a help file (HTML); a file that cannot be
// found is reported by the window itself.
#include <QDialog>

#include <functional>

class QTextBrowser;

namespace varimark {

class THelpWindow : public QDialog {
public:
    explicit THelpWindow(QWidget* owner = nullptr);
    // Shows the contents of the named help file; false (and a message) when it is missing.
    bool ShowContents(const QString& helpFile);
    QString Shown() const { return shown_; }

    // How a missing file is reported: a warning box (the tests record it instead).
    std::function<void(const QString& message)> reportMissing;

private:
    QTextBrowser* browser_;
    QString shown_;
};

} // namespace varimark
