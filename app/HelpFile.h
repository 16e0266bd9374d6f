#pragma once
// Where the help file is: beside the program (a build, or a program run from its folder),
// else where the package installs it, <prefix>/share/varimark beside <prefix>/bin.
#include <QString>

namespace varimark {

// programFolder: the running program's folder, with or without its trailing separator. The
// first of the two places that holds "VARIMARK.HLP"; the one beside the program when neither
// does (so that the message about the missing file names it).
QString FindHelpFile(const QString& programFolder);

} // namespace varimark
