#include "app/HelpWindow.h"

#include "export/FileReader.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace varimark {

THelpWindow::THelpWindow(QWidget* owner) : QDialog(owner), browser_(new QTextBrowser(this)) {
    setWindowTitle("Varimark Help");
    resize(640, 520);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    browser_->setOpenExternalLinks(false);
}

bool THelpWindow::ShowContents(const QString& helpFile) {
    // Only a regular file of a sensible size is read: a FIFO would block, a device never end.
    constexpr std::size_t kMaxHelpSize = 16 << 20;
    std::string page;
    if (varimark::ReadSmallFile(QFile::encodeName(helpFile).toStdString(), kMaxHelpSize, page) !=
        varimark::TReadStatus::Loaded) {
        shown_.clear();
        const QString message = "Cannot find the help file " + helpFile + ".";
        if (reportMissing)
            reportMissing(message);
        else
            QMessageBox::warning(parentWidget(), "Varimark Help", message);
        return false;
    }
    browser_->setSearchPaths({QFileInfo(helpFile).absolutePath()});
    browser_->setHtml(QString::fromUtf8(page.data(), static_cast<qsizetype>(page.size())));
    shown_ = helpFile;
    show();
    raise();
    activateWindow();
    return true;
}

} // namespace varimark
