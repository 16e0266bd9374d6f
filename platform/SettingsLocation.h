#pragma once
// Where the settings file is read and written. Reads: "varimark.ini" in the program's
// folder, the name matched without regard to case (so "Varimark.INI" is found). Writes:
// the executable's path with its extension replaced by ".INI" (appended when it has none).
// When the program's folder cannot be written (an installed program), both live in the
// user's configuration folder instead: $XDG_CONFIG_HOME/varimark/ (default
// ~/.config/varimark/), with the same two names; a settings file beside the program is
// copied there while the configuration folder has none.
#include <QString>

namespace varimark {

struct TSettingsFiles {
    QString readFile;
    QString writeFile;
};

// executablePath: the running program's full path.
TSettingsFiles LocateSettingsFiles(const QString& executablePath);

} // namespace varimark
