#include "stores/StoreFile.h"

#include "platform/AppLog.h"
#include "platform/JsonForm.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <utility>

namespace tarnwick {

StoreFile::StoreFile(QString path) : m_path(std::move(path)) {}

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
    QFile file(m_path);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        markDamaged();
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
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
    // Never overwrite a damaged file that could not be kept.
    if (m_pendingMoveAside && !moveAside())
        return false;
    // The folder may have been removed while running.
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        AppLog::error(QStringLiteral("Could not write ") + QFileInfo(m_path).fileName() +
                      QStringLiteral(": ") + file.errorString());
        return false;
    }
    return true;
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
