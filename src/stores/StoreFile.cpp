#include "stores/StoreFile.h"

#include "platform/AppLog.h"
#include "platform/FileMoveSupport.h"
#include "platform/JsonForm.h"
#include "platform/RegularFile.h"
#include "stores/RecordReserve.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace tarnwick {

namespace {

// Stores are small; anything far larger is not one of ours and is not read into memory.
constexpr qint64 maxStoreBytes = qint64(1) << 30;

} // namespace

StoreFile::StoreFile(QString path) : m_path(std::move(path)) {}

namespace {

QMutex& faultMutex() {
    static QMutex mutex;
    return mutex;
}

std::function<int(StoreFile::SaveStep)>& faultHook() {
    static std::function<int(StoreFile::SaveStep)> hook;
    return hook;
}

int injectedFault(StoreFile::SaveStep step) {
    QMutexLocker lock(&faultMutex());
    return faultHook() ? faultHook()(step) : 0;
}

// Earlier versions saved through "<name>.XXXXXX": six letters or digits.
bool isEarlierTemporary(const QString& entry, const QString& name) {
    if (entry.size() != name.size() + 7 || !entry.startsWith(name + QLatin1Char('.')))
        return false;
    for (qsizetype i = name.size() + 1; i < entry.size(); ++i) {
        const QChar c = entry[i];
        if (!(c.isDigit() || (c.unicode() < 0x80 && c.isLetter())))
            return false;
    }
    return true;
}

void removeEarlierTemporaries(const QString& folder, const QString& name) {
    const QStringList entries =
        QDir(folder).entryList({name + QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (isEarlierTemporary(entry, name))
            ::unlink(QFile::encodeName(folder + QLatin1Char('/') + entry).constData());
    }
}

// The file a link points to, followed to the end, so a linked store keeps its link.
QString finalTarget(const QString& path) {
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.filePath();
}

} // namespace

void StoreFile::setSaveFaultForTesting(std::function<int(SaveStep)> fault) {
    QMutexLocker lock(&faultMutex());
    faultHook() = std::move(fault);
}

std::optional<QJsonArray> StoreFile::readArray() {
    const auto bytes = read();
    if (!bytes)
        return std::nullopt;
    const auto doc = json::decode(*bytes);
    if (!doc || !doc->isArray()) {
        markDamaged();
        return std::nullopt;
    }
    return doc->array();
}

std::optional<QJsonObject> StoreFile::readObject() {
    const auto bytes = read();
    if (!bytes)
        return std::nullopt;
    const auto doc = json::decode(*bytes);
    if (!doc || !doc->isObject()) {
        markDamaged();
        return std::nullopt;
    }
    return doc->object();
}

std::optional<QByteArray> StoreFile::read() {
    const QFileInfo info(m_path);
    if (!info.exists()) {
        // Saving would create the file the link points to: say so, as that may not be where the
        // data was expected.
        if (info.isSymLink())
            AppLog::error(info.fileName() + QStringLiteral(" is a link to a missing file: ") +
                          info.symLinkTarget());
        return std::nullopt;
    }
    // A pipe or a device in its place would block the start or be read until memory runs out.
    RegularFile file(m_path);
    std::optional<QByteArray> bytes = file.readAll(maxStoreBytes);
    if (!bytes) {
        AppLog::error(QStringLiteral("Could not read ") + info.fileName() + QStringLiteral(": ") +
                      file.errorString());
        markDamaged();
        return std::nullopt;
    }
    return bytes;
}

void StoreFile::markDamaged() {
    m_wasDamaged = true;
    m_pendingMoveAside = QFileInfo::exists(m_path);
}

bool StoreFile::write(const QByteArray& bytes) {
    return write(QList<QByteArrayView>{QByteArrayView(bytes)});
}

bool StoreFile::write(const QList<QByteArrayView>& pieces) {
    // Never overwrite a damaged file that could not be kept.
    if (m_pendingMoveAside && !moveAside())
        return false;
    // The folder may have been removed while running; made again, it is synced into its parent so
    // that a power cut cannot drop it with the file synced into it.
    filemove::makeSyncedFolder(QFile::encodeName(QFileInfo(m_path).absolutePath()), 0777, true);
    int error = save(finalTarget(m_path), pieces);
    // A full disk: the records' reserve in the folder gives the room this write needs.
    qint64 bytes = 0;
    for (const QByteArrayView piece : pieces)
        bytes += piece.size();
    while ((error == ENOSPC || error == EDQUOT) &&
           RecordReserve::releaseFor(QFileInfo(m_path).absolutePath(), bytes, true))
        error = save(finalTarget(m_path), pieces);
    if (error != 0) {
        AppLog::error(QStringLiteral("Could not write ") + QFileInfo(m_path).fileName() +
                      QStringLiteral(": ") + qt_error_string(error));
        return false;
    }
    return true;
}

int StoreFile::save(const QString& target, const QList<QByteArrayView>& pieces) {
    const QFileInfo info(target);
    removeEarlierTemporaries(info.absolutePath(), info.fileName());
    return writeAtomically(target, pieces, [](WriteStep step) { return injectedFault(step); });
}

bool StoreFile::moveAside() {
    // Removed since it was found damaged: nothing is left to keep, and writing must go on.
    const QFileInfo current(m_path);
    if (!current.exists() && !current.isSymLink()) {
        m_pendingMoveAside = false;
        return true;
    }
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = m_path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = m_path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);
    const QString name = QFileInfo(m_path).fileName();
    if (QFile::rename(m_path, target)) {
        m_movedAsidePath = target;
        m_pendingMoveAside = false;
        AppLog::error(QStringLiteral("Moved damaged ") + name + QStringLiteral(" aside to ") + target);
        return true;
    }
    if (QFile::copy(m_path, target)) {
        m_movedAsidePath = target;
        m_pendingMoveAside = false;
        AppLog::error(QStringLiteral("Copied damaged ") + name + QStringLiteral(" aside to ") + target);
        return true;
    }
    AppLog::error(QStringLiteral("Could not move damaged ") + name +
                  QStringLiteral(" aside; not overwriting it"));
    return false;
}

} // namespace tarnwick
