#include "ui/common/RevealAndCopy.h"

#include "platform/AppLog.h"
#include "ui/common/DesktopServices.h"

#include <QStringList>

namespace tarnwick {

void revealInFinder(DesktopServices& desktop, const MediaFile& file) {
    const QString target = file.matchedPath.value_or(file.path);
    AppLog::userAction(QStringLiteral("Revealing in file manager: ") + file.fileName());
    desktop.revealFile(target);
}

void copyPathsToClipboard(DesktopServices& desktop, const QList<MediaFile>& files) {
    QStringList paths;
    paths.reserve(files.size());
    for (const MediaFile& file : files)
        paths.append(file.path);
    desktop.copyText(paths.join(QLatin1Char('\n')));
    AppLog::userAction(QStringLiteral("Copied %1 path(s) to clipboard").arg(files.size()));
}

} // namespace tarnwick
