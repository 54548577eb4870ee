#include "stores/AuditLogEntry.h"

#include "model/MediaFile.h"
#include "platform/JsonForm.h"
#include "platform/PathText.h"

#include <QJsonArray>

namespace tarnwick {

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
    json::Fields fields(object);
    AuditLogEntry entry;
    entry.id = fields.uuid(QStringLiteral("id"));
    entry.timestamp = fields.date(QStringLiteral("timestamp"));
    entry.action = fields.choice(QStringLiteral("action"), &auditActionFromText);
    entry.filePath = fields.string(QStringLiteral("filePath"));
    entry.fileName = fields.string(QStringLiteral("fileName"));
    entry.fileSize = fields.int64(QStringLiteral("fileSize"));
    entry.projectNames = fields.strings(QStringLiteral("projectNames"));
    entry.destinationPath = fields.optionalString(QStringLiteral("destinationPath"));
    if (!fields.ok())
        return std::nullopt;
    return entry;
}

bool operator==(const AuditLogEntry& a, const AuditLogEntry& b) {
    return a.id == b.id && a.timestamp == b.timestamp && a.action == b.action && a.filePath == b.filePath &&
           a.fileName == b.fileName && a.fileSize == b.fileSize && a.projectNames == b.projectNames &&
           a.destinationPath == b.destinationPath;
}

} // namespace tarnwick
