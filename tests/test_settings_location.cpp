// Where the settings file is read and written.
#include "platform/ProfileFile.h"
#include "platform/SettingsLocation.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

using namespace varimark;

namespace {

class SettingsLocation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        Chmod(dir_.path(), 0755);
    }
    QString Folder(const QString& name) const {
        const QString path = dir_.filePath(name);
        QDir().mkpath(path);
        return path;
    }
    static void Touch(const QString& path) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    }
    static void Chmod(const QString& path, mode_t mode) {
        ::chmod(QFile::encodeName(path).constData(), mode);
    }
    QTemporaryDir dir_;
};

// Runs `body` as the user nobody in a child process and returns what it reports.
QString AsNobody(const std::function<QString()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return "<no pipe>";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const QByteArray report =
            ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0
                ? body().toUtf8()
                : QByteArray("<not nobody>");
        const bool sent = ::write(fds[1], report.constData(), report.size()) == report.size();
        ::_exit(sent ? 0 : 1);
    }
    ::close(fds[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? QString::fromUtf8(report)
                                                         : QStringLiteral("<child failed>");
}

QString Report(const TSettingsFiles& files) {
    return files.readFile + " | " + files.writeFile;
}

TEST_F(SettingsLocation, WriteNameReplacesTheExtension) {
    const struct {
        const char* executable;
        const char* written;
    } cases[] = {
        {"varimark", "varimark.INI"},
        {"varimark.bin", "varimark.INI"},
        {"Varimark.exe", "Varimark.INI"},
        {"varimark.tar.gz", "varimark.tar.INI"},
        {"other", "other.INI"},
        {"varimark.", "varimark.INI"},
        {".hidden", ".hidden.INI"},
        {"dir.d/varimark", "dir.d/varimark.INI"},
        {"dir.d/other.x", "dir.d/other.INI"},
    };
    const QString base = Folder("app");
    Folder("app/dir.d");
    for (const auto& c : cases) {
        const TSettingsFiles files = LocateSettingsFiles(base + "/" + c.executable);
        EXPECT_EQ(files.writeFile, base + "/" + c.written) << c.executable;
        // Before any file exists the read file is the write file when their names match.
        const QString folder = QFileInfo(base + "/" + c.executable).absolutePath();
        const QString written = QFileInfo(base + "/" + c.written).fileName();
        EXPECT_EQ(files.readFile, folder + "/" +
                                      (written.compare("varimark.ini", Qt::CaseInsensitive) == 0
                                           ? written
                                           : QStringLiteral("varimark.ini")))
            << c.executable;
    }
}

TEST_F(SettingsLocation, ReadNameIsFoundWithoutRegardToCase) {
    const struct {
        const char* what;
        QStringList present;
        const char* executable;
        const char* read;
    } cases[] = {
        {"none", {}, "varimark", "varimark.INI"},
        {"none, renamed", {}, "other", "varimark.ini"},
        {"mixed case", {"Varimark.INI"}, "varimark", "Varimark.INI"},
        {"exact before others", {"VARIMARK.INI", "varimark.ini"}, "varimark", "varimark.ini"},
        {"the written file first", {"varimark.ini", "varimark.INI"}, "varimark", "varimark.INI"},
        {"renamed program", {"other.INI", "varimark.ini"}, "other", "varimark.ini"},
        {"renamed, several", {"Varimark.Ini", "VARIMARK.INI"}, "other", "VARIMARK.INI"},
        {"other names ignored", {"varimark.ini.bak", "xvarimark.ini"}, "varimark", "varimark.INI"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString folder = Folder(QString::number(n++));
        for (const QString& name : c.present) Touch(folder + "/" + name);
        EXPECT_EQ(LocateSettingsFiles(folder + "/" + c.executable).readFile, folder + "/" + c.read)
            << c.what;
    }
    const QString folder = Folder("withdir");
    QDir().mkpath(folder + "/Varimark.ini"); // a folder is no settings file
    EXPECT_EQ(LocateSettingsFiles(folder + "/varimark").readFile, folder + "/varimark.INI");
}

TEST_F(SettingsLocation, ReadAndWriteMeetUnderTheUsualName) {
    const QString folder = Folder("app");
    const TSettingsFiles first = LocateSettingsFiles(folder + "/varimark");
    ASSERT_TRUE(WriteProfileString("Varimark", "bctype", "7", first.writeFile));
    const TSettingsFiles again = LocateSettingsFiles(folder + "/varimark");
    EXPECT_EQ(again.readFile, first.writeFile);
    EXPECT_EQ(ReadProfileString("varimark", "bctype", "2", again.readFile), "7");

    const TSettingsFiles renamed = LocateSettingsFiles(folder + "/other");
    ASSERT_TRUE(WriteProfileString("Varimark", "bctype", "9", renamed.writeFile));
    EXPECT_EQ(ReadProfileString("varimark", "bctype", "2",
                                LocateSettingsFiles(folder + "/other").readFile),
              "7");
}

TEST_F(SettingsLocation, UnwritableFolderMovesToTheConfigurationFolder) {
    const QString app = Folder("app");
    const QString xdg = Folder("xdg");
    const QString home = Folder("home");
    Chmod(xdg, 0777);
    Chmod(home, 0777);
    Chmod(app, 0555);
    const QString exe = app + "/varimark";
    const struct {
        const char* what;
        const char* xdgValue; // nullptr: unset
        QString expectedFolder;
    } cases[] = {
        {"XDG_CONFIG_HOME", "xdg", xdg + "/varimark"},
        {"relative XDG_CONFIG_HOME ignored", "relative/xdg", home + "/.config/varimark"},
        {"empty XDG_CONFIG_HOME ignored", "", home + "/.config/varimark"},
        {"HOME", nullptr, home + "/.config/varimark"},
    };
    for (const auto& c : cases) {
        const QString report = AsNobody([&] {
            ::setenv("HOME", QFile::encodeName(home).constData(), 1);
            if (!c.xdgValue)
                ::unsetenv("XDG_CONFIG_HOME");
            else if (QByteArray(c.xdgValue) == "xdg")
                ::setenv("XDG_CONFIG_HOME", QFile::encodeName(xdg).constData(), 1);
            else
                ::setenv("XDG_CONFIG_HOME", c.xdgValue, 1);
            return Report(LocateSettingsFiles(exe));
        });
        EXPECT_EQ(report,
                  c.expectedFolder + "/varimark.INI | " + c.expectedFolder + "/varimark.INI")
            << c.what;
        EXPECT_TRUE(QFileInfo(c.expectedFolder).isDir()) << c.what;
    }

    // Found there without regard to case, and what is written there comes back.
    Touch(xdg + "/varimark/Varimark.Ini");
    const QString report = AsNobody([&] {
        ::setenv("XDG_CONFIG_HOME", QFile::encodeName(xdg).constData(), 1);
        const TSettingsFiles files = LocateSettingsFiles(app + "/Varimark.exe");
        const bool wrote = WriteProfileString("Varimark", "font", "Courier", files.writeFile);
        const TSettingsFiles again = LocateSettingsFiles(app + "/Varimark.exe");
        return Report(files) + (wrote ? " | wrote | " : " | failed | ") +
               ReadProfileString("varimark", "font", "Arial", again.readFile);
    });
    EXPECT_EQ(report, xdg + "/varimark/Varimark.Ini | " + xdg +
                          "/varimark/Varimark.INI | wrote | " + "Courier");
    EXPECT_FALSE(QFileInfo::exists(app + "/Varimark.INI"));

    // The same folder writable (by root): no move.
    EXPECT_EQ(LocateSettingsFiles(exe).writeFile, app + "/varimark.INI");
    Chmod(app, 0755);
}

TEST(SettingsLocationInstalled, BelowUsrOrOptIsInstalled) {
    const struct {
        const char* path;
        bool installed;
    } cases[] = {
        {"/usr/bin/varimark", true},
        {"/usr/local/bin/varimark", true},
        {"/opt/varimark/bin/varimark", true},
        {"/opt/varimark", true},
        {"/usr/lib/../bin/./varimark", true},
        {"/usr/../home/me/varimark", false}, // "/home/me/varimark"
        {"/usrx/bin/varimark", false},
        {"/optional/varimark", false},
        {"/home/me/usr/bin/varimark", false},
        {"/home/me/opt/varimark", false},
        {"/work/build/bin/varimark", false},
        {"/varimark", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsInstalledProgram(c.path), c.installed) << c.path;
}

// An installed program keeps its settings in the configuration folder even when its own
// folder may be written, as /usr/bin may by root (the test's user in CI); a copy elsewhere
// in a folder it may write keeps them beside itself.
TEST_F(SettingsLocation, InstalledProgramUsesTheConfigurationFolderWhoeverRunsIt) {
    const QString xdg = Folder("installed-xdg");
    const QString portable = Folder("portable");
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    ::setenv("XDG_CONFIG_HOME", QFile::encodeName(xdg).constData(), 1);
    const QString config = xdg + "/varimark/varimark.INI";
    const struct {
        QString executable;
        QString written;
    } cases[] = {
        {"/usr/bin/varimark", config},
        {"/usr/local/bin/varimark", config},
        {"/opt/varimark/bin/varimark", config},
        {portable + "/varimark", portable + "/varimark.INI"},
    };
    for (const auto& c : cases) {
        const TSettingsFiles files = LocateSettingsFiles(c.executable);
        EXPECT_EQ(Report(files).toStdString(), (c.written + " | " + c.written).toStdString());
    }
    if (wasSet)
        ::setenv("XDG_CONFIG_HOME", saved.constData(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

// An installed program with a preset beside it: while the configuration folder has no settings
// file, the preset is what is read, and what is written then comes back with it.
TEST_F(SettingsLocation, PresetBesideTheProgramIsReadUntilTheConfigurationHasOne) {
    const QString app = Folder("preset");
    const QString xdg = Folder("preset-xdg");
    Chmod(xdg, 0777);
    const QString preset = app + "/varimark.INI";
    ASSERT_TRUE(WriteProfileString("Varimark", "bctype", "8", preset) &&
                WriteProfileString("Varimark", "8", "Hello", preset));
    Chmod(app, 0555);
    const auto start = [&] {
        return AsNobody([&] {
            ::setenv("XDG_CONFIG_HOME", QFile::encodeName(xdg).constData(), 1);
            const TSettingsFiles files = LocateSettingsFiles(app + "/varimark");
            const bool wrote = WriteProfileString("Varimark", "font", "Courier", files.writeFile);
            const auto read = [&](const char* key) {
                return ReadProfileString("varimark", key, "-", files.readFile);
            };
            return files.readFile + (wrote ? " " : " failed ") + read("bctype") + " " + read("8") +
                   " " + read("font");
        });
    };
    const QString config = xdg + "/varimark/varimark.INI";
    EXPECT_EQ(start(), config + " 8 Hello Courier");
    // The configuration's own file wins from then on.
    ASSERT_TRUE(WriteProfileString("Varimark", "bctype", "3", config));
    EXPECT_EQ(start(), config + " 3 Hello Courier");
    Chmod(app, 0755);
}

} // namespace
