#include "platform/RemovableMediaRoot.h"

#include <QDir>
#include <QFileInfo>

namespace tarnwick {

QString firstExistingFolder(const QStringList& candidates, const QString& fallback) {
    for (const QString& folder : candidates) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return fallback;
}

QString removableMediaRoot() {
    static const QString root = [] {
        const QString user = qEnvironmentVariable("USER");
        QStringList candidates;
        if (!user.isEmpty())
            candidates << QStringLiteral("/media/") + user << QStringLiteral("/run/media/") + user;
        candidates << QStringLiteral("/mnt");
        return firstExistingFolder(candidates, QDir::homePath());
    }();
    return root;
}

} // namespace tarnwick
