#include "platform/StoreFolder.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

namespace tarnwick {

namespace {

QMutex& overrideMutex() {
    static QMutex mutex;
    return mutex;
}

QString& overrideFolder() {
    static QString folder;
    return folder;
}

} // namespace

QString storeFolder() {
    QString folder;
    {
        QMutexLocker lock(&overrideMutex());
        folder = overrideFolder();
    }
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                 QStringLiteral("/Tarnwick");
    QDir().mkpath(folder);
    return folder;
}

void setStoreFolderOverride(const QString& folder) {
    QMutexLocker lock(&overrideMutex());
    overrideFolder() = folder;
}

} // namespace tarnwick
