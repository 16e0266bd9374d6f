#include "app/VarimarkApplication.h"

#include "platform/ErrorReport.h"

#include <QMessageBox>

#include <exception>

namespace varimark {

TVarimarkApplication::TVarimarkApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The name only: a display name would be appended to every window title on X11.
    setApplicationName("Varimark");
    // Ties the windows to the installed desktop entry (its icon, its name in the task bar).
    setDesktopFileName("io.varimark.Varimark");
    SetErrorReporter(
        [](const std::string& message) { ShowError(QString::fromStdString(message)); });
}

bool TVarimarkApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
    }
    return false;
}

QString TVarimarkApplication::ErrorText(const QString& message) {
    if (!message.isEmpty() && message.back() > QChar('.')) return message + '.';
    return message;
}

namespace {
std::function<void(const QString&)>& Presenter() {
    static std::function<void(const QString&)> presenter;
    return presenter;
}
} // namespace

void TVarimarkApplication::SetErrorPresenter(std::function<void(const QString&)> presenter) {
    Presenter() = std::move(presenter);
}

void TVarimarkApplication::ShowError(const QString& message) {
    if (Presenter()) {
        Presenter()(ErrorText(message));
        return;
    }
    QMessageBox box(QMessageBox::Critical, applicationName(), ErrorText(message), QMessageBox::Ok);
    box.exec();
}

} // namespace varimark
