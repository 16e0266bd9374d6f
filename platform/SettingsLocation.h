#pragma once
// Where the settings file is read and written. Reads: "varimark.ini" in the program's
// folder, the name matched without regard to case (so "Varimark.INI" is found). Writes:
// the executable's path with its extension replaced by ".INI" (appended when it has none).
// An installed program (below /usr or /opt), and a copy elsewhere whose folder cannot be
// written, keep both in the user's configuration folder instead, whoever runs them:
// $XDG_CONFIG_HOME/varimark/ (default ~/.config/varimark/), with the same two names; a
// settings file beside the program is copied there while the configuration folder has none.
#include <QString>

namespace varimark {

struct TSettingsFiles {
    QString readFile;
    QString writeFile;
};

// executablePath: the running program's full path.
TSettingsFiles LocateSettingsFiles(const QString& executablePath);

// Whether the program at executablePath is an installed one: its path, made absolute and
// without "." and "..", lies below /usr or /opt.
bool IsInstalledProgram(const QString& executablePath);

} // namespace varimark
