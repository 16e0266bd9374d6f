#pragma once
// The application object: its title, and the one place where a failure that leaves an
// event handler or a paint is shown — a critical message box captioned with the title.
#include <QApplication>

#include <functional>
#include <string>

namespace varimark {

class TVarimarkApplication : public QApplication {
public:
    TVarimarkApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The error box text: the message with a final "." added when its last character
    // sorts after ".".
    static QString ErrorText(const QString& message);
    // Shows the error box (the program goes on).
    static void ShowError(const QString& message);
    // Replaces the box by another presenter of the error text (the tests record it); an
    // empty function restores the box.
    static void SetErrorPresenter(std::function<void(const QString& text)> presenter);
};

// Runs a handler; a failure is shown in the error box and the handler ends there.
template <typename Handler> void Handle(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        TVarimarkApplication::ShowError(QString::fromStdString(e.what()));
    }
}

} // namespace varimark
