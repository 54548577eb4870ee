#include "ui/common/RevealAndCopy.h"

#include "platform/AppLog.h"
#include "ui/common/DesktopServices.h"
#include "ui/common/ViewHelpers.h"

#include <QFileInfo>
#include <QStringList>

namespace tarnwick {

void revealInFinder(DesktopServices& desktop, const MediaFile& file,
                    std::function<void(const QString& path)> failed) {
    // A transcoded file stands where its new file is: the old one went to the Trash.
    const QString target = standingPath(file);
    AppLog::userAction(QStringLiteral("Revealing in file manager: ") + file.fileName());
    desktop.revealFile(target, [target, failed = std::move(failed)](bool shown) {
        if (shown)
            return;
        AppLog::warning(QStringLiteral("No file manager could show ") + target);
        if (failed)
            failed(target);
    });
}

QString noFileManagerMessage(const QString& path) {
    const QFileInfo file(path);
    return QStringLiteral("No file manager here could show “%1”. It is in %2.")
        .arg(file.fileName(), file.path());
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
