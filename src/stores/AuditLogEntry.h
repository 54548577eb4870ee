#pragma once

#include "model/AuditAction.h"
#include "model/FreshId.h"

#include <QDateTime>
#include <QJsonObject>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tarnwick {

struct MediaFile;

// One destructive action (or restore) on one file.
struct AuditLogEntry {
    QUuid id = freshId();
    QDateTime timestamp = QDateTime::currentDateTimeUtc();
    AuditAction action = AuditAction::movedToTrash;
    QString filePath;
    QString fileName;
    qint64 fileSize = 0;
    QStringList projectNames;
    std::optional<QString> destinationPath;

    // A fresh entry for `file` made now.
    static AuditLogEntry make(AuditAction action, const MediaFile& file,
                              const std::optional<QString>& destination);

    QJsonObject toJson() const;
    // Absent when a required key is missing, of the wrong type, or the action is unknown.
    static std::optional<AuditLogEntry> fromJson(const QJsonObject& object);

    friend bool operator==(const AuditLogEntry& a, const AuditLogEntry& b);
};

} // namespace tarnwick
