#include "HelpWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

THelpWindow::THelpWindow(QWidget* owner) : QDialog(owner), browser_(new QTextBrowser(this)) {
    setWindowTitle("Varimark Help");
    resize(640, 520);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    browser_->setOpenExternalLinks(false);
}

bool THelpWindow::ShowContents(const QString& helpFile) {
    // Only a regular file of a sensible size is opened: a FIFO would block, a device never end.
    constexpr qint64 kMaxHelpSize = 16 << 20;
    const QFileInfo info(helpFile);
    QFile file(helpFile);
    if (!info.isFile() || info.size() > kMaxHelpSize || !file.open(QIODevice::ReadOnly)) {
        shown_.clear();
        const QString message = "Cannot find the help file " + helpFile + ".";
        if (ReportMissing)
            ReportMissing(message);
        else
            QMessageBox::warning(parentWidget(), "Varimark Help", message);
        return false;
    }
    browser_->setSearchPaths({QFileInfo(helpFile).absolutePath()});
    browser_->setHtml(QString::fromUtf8(file.read(kMaxHelpSize)));
    shown_ = helpFile;
    show();
    raise();
    activateWindow();
    return true;
}
