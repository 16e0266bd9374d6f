#include "app/HelpFile.h"

#include <QDir>
#include <QFileInfo>

namespace varimark {

QString FindHelpFile(const QString& programFolder) {
    const QDir folder(programFolder);
    const QString beside = QDir::cleanPath(folder.filePath("VARIMARK.HLP"));
    const QString installed = QDir::cleanPath(folder.filePath("../share/varimark/VARIMARK.HLP"));
    for (const QString& candidate : {beside, installed})
        if (QFileInfo(candidate).isFile()) return candidate;
    return beside;
}

} // namespace varimark
