#pragma once
// The desktop program's window in a temporary program folder, its error boxes recorded.
#include "FileTesting.h"
#include "app/MainForm.h"
#include "app/VarimarkApplication.h"
#include "platform/ErrorReport.h"
#include "platform/ProfileFile.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <ostream>
#include <string>

namespace varimark {

// Texts as text in failure messages (the lists print their entries through it).
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void Settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

class TestProgram {
public:
    TestProgram() {
        TVarimarkApplication::SetErrorPresenter([this](const QString& text) { errors << text; });
        SetErrorReporter(
            [this](const std::string& text) { errors << QString::fromStdString(text); });
    }
    ~TestProgram() {
        form.reset();
        TVarimarkApplication::SetErrorPresenter({});
        SetErrorReporter({});
    }
    TestProgram(const TestProgram&) = delete;
    TestProgram& operator=(const TestProgram&) = delete;

    // Writes the settings file.
    void Put(const QByteArray& settings) const {
        QFile file(Ini());
        if (file.open(QIODevice::WriteOnly)) file.write(settings);
    }
    // executable: the program's path in the folder.
    TForm1& Start(const QString& executable = "varimark") {
        form = std::make_unique<TForm1>(TForm1::TOptions{Path(executable), {}});
        form->show();
        Settle();
        return *form;
    }
    QString Path(const QString& name) const { return folder.path() + "/" + name; }
    QString Ini() const { return Path("varimark.INI"); }
    QString Read(const QString& section, const QString& key) const {
        return ReadProfileString(section, key, "<missing>", Ini());
    }
    QByteArray File() const {
        return QByteArray::fromStdString(
            ReadFileIfThere(QFile::encodeName(Ini()).toStdString()).value_or("<missing>"));
    }
    // The messages shown, the program's folder written "<folder>".
    QStringList Errors() const {
        QStringList shown = errors;
        return shown.replaceInStrings(folder.path(), "<folder>");
    }

    QTemporaryDir folder;
    QStringList errors;
    std::unique_ptr<TForm1> form;
};

} // namespace varimark
