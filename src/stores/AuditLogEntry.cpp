#include "stores/AuditLogEntry.h"

#include "model/MediaFile.h"
#include "platform/JsonForm.h"
#include "platform/PathText.h"

#include <QJsonArray>

namespace tarnwick {

namespace {

std::optional<QStringList> stringList(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isArray())
        return std::nullopt;
    QStringList list;
    const QJsonArray array = value.toArray();
    list.reserve(array.size());
    for (const QJsonValue& item : array) {
        if (!item.isString())
            return std::nullopt;
        list.append(item.toString());
    }
    return list;
}

} // namespace

AuditLogEntry AuditLogEntry::make(AuditAction action, const MediaFile& file,
                                  const std::optional<QString>& destination) {
    AuditLogEntry entry;
    entry.action = action;
    entry.filePath = file.path;
    entry.fileName = path::lastPathComponent(file.path);
    entry.fileSize = file.size;
    entry.projectNames = file.projectNames;
    entry.destinationPath = destination;
    return entry;
}

QJsonObject AuditLogEntry::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), json::fromUuid(id));
    object.insert(QStringLiteral("timestamp"), json::fromDate(timestamp));
    object.insert(QStringLiteral("action"), text(action));
    object.insert(QStringLiteral("filePath"), filePath);
    object.insert(QStringLiteral("fileName"), fileName);
    object.insert(QStringLiteral("fileSize"), fileSize);
    object.insert(QStringLiteral("projectNames"), QJsonArray::fromStringList(projectNames));
    if (destinationPath)
        object.insert(QStringLiteral("destinationPath"), *destinationPath);
    return object;
}

std::optional<AuditLogEntry> AuditLogEntry::fromJson(const QJsonObject& object) {
    const auto idText = json::optString(object, QStringLiteral("id"));
    const auto id = idText ? json::toUuid(*idText) : std::nullopt;
    const auto timestamp = json::optDate(object, QStringLiteral("timestamp"));
    const auto actionText = json::optString(object, QStringLiteral("action"));
    const auto action = actionText ? auditActionFromText(*actionText) : std::nullopt;
    const auto filePath = json::optString(object, QStringLiteral("filePath"));
    const auto fileName = json::optString(object, QStringLiteral("fileName"));
    const auto fileSize = json::optInt64(object, QStringLiteral("fileSize"));
    const auto projectNames = stringList(object, QStringLiteral("projectNames"));
    if (!id || !timestamp || !action || !filePath || !fileName || !fileSize || !projectNames)
        return std::nullopt;
    // A destination of another type would not decode on the other platform either.
    const QJsonValue destination = object.value(QStringLiteral("destinationPath"));
    if (!destination.isUndefined() && !destination.isNull() && !destination.isString())
        return std::nullopt;

    AuditLogEntry entry;
    entry.id = *id;
    entry.timestamp = *timestamp;
    entry.action = *action;
    entry.filePath = *filePath;
    entry.fileName = *fileName;
    entry.fileSize = *fileSize;
    entry.projectNames = *projectNames;
    if (destination.isString())
        entry.destinationPath = destination.toString();
    return entry;
}

bool operator==(const AuditLogEntry& a, const AuditLogEntry& b) {
    return a.id == b.id && a.timestamp == b.timestamp && a.action == b.action && a.filePath == b.filePath &&
           a.fileName == b.fileName && a.fileSize == b.fileSize && a.projectNames == b.projectNames &&
           a.destinationPath == b.destinationPath;
}

} // namespace tarnwick
