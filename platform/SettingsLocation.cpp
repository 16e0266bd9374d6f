// Where the settings file lives.
//
// The read name is looked up among the files of the folder without regard to case. When more
// than one file matches, the one that is also the write file wins (so that what is written
// comes back, as on a file system that ignores case), then "varimark.ini" spelt exactly, then
// the first of the others in name order. When none exists yet, a write file whose name
// matches is the read file too.
//
// The write name is the executable's file name with its last extension replaced by ".INI"; a
// name without an extension (a leading dot does not start one) gets ".INI" appended.
//
// An installed program, one whose path lies below /usr or /opt, keeps both files in the
// configuration folder whoever runs it (root, who may write /usr/bin, too). A copy elsewhere
// (a portable copy, the build folder) keeps them beside itself while the process may create
// files in its folder (access() with W_OK and X_OK; a read-only mount is not writable), and
// in the configuration folder otherwise. The configuration folder is
// $XDG_CONFIG_HOME/varimark when XDG_CONFIG_HOME is an absolute path, else
// $HOME/.config/varimark; it is created when missing. When it holds no settings file yet
// and one lies beside the program (a preset shipped with an installed program), that file is
// copied there first, under the name the configuration folder's file is read by: the preset
// is read, and what is written afterwards comes back.
#include "platform/SettingsLocation.h"

#include "platform/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace varimark {

namespace {

const QString kReadName = QStringLiteral("varimark.ini");

QString WriteName(const QString& executableName) {
    const qsizetype dot = executableName.lastIndexOf(QLatin1Char('.'));
    return (dot > 0 ? executableName.left(dot) : executableName) + QStringLiteral(".INI");
}

bool CanCreateFilesIn(const QString& folder) {
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

QString ConfigFolder() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty()) home = QDir::homePath();
        base = home + QStringLiteral("/.config");
    }
    return QDir::cleanPath(base + QStringLiteral("/varimark"));
}

QStringList ReadFileMatches(const QDir& dir) {
    QStringList matches;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        if (name.compare(kReadName, Qt::CaseInsensitive) == 0) matches << name;
    return matches;
}

QString FindReadFile(const QString& folder, const QString& writeName) {
    const QDir dir(folder);
    const QStringList matches = ReadFileMatches(dir);
    QString chosen = kReadName;
    // The write file is the one read when its name matches, even before it exists: what a
    // fresh start writes must come back at once, not only after a restart.
    if (matches.contains(writeName) ||
        (matches.isEmpty() && writeName.compare(kReadName, Qt::CaseInsensitive) == 0))
        chosen = writeName;
    else if (!matches.isEmpty() && !matches.contains(kReadName))
        chosen = matches.front();
    return dir.filePath(chosen);
}

} // namespace

bool IsInstalledProgram(const QString& executablePath) {
    const QString path = QDir::cleanPath(QFileInfo(executablePath).absoluteFilePath());
    return path.startsWith(QStringLiteral("/usr/")) || path.startsWith(QStringLiteral("/opt/"));
}

TSettingsFiles LocateSettingsFiles(const QString& executablePath) {
    const QFileInfo executable(executablePath);
    const QString writeName = WriteName(executable.fileName());
    const QString programFolder = executable.absolutePath();
    QString folder = programFolder;
    if (IsInstalledProgram(executablePath) || !CanCreateFilesIn(folder)) {
        folder = ConfigFolder();
        QDir().mkpath(folder);
        if (ReadFileMatches(QDir(folder)).isEmpty() &&
            !ReadFileMatches(QDir(programFolder)).isEmpty())
            varimark::CopyProfileFileIfMissing(FindReadFile(programFolder, writeName),
                                               FindReadFile(folder, writeName));
    }
    return {FindReadFile(folder, writeName), QDir(folder).filePath(writeName)};
}

} // namespace varimark
