#pragma once

#include "model/MediaFile.h"
#include "stores/AuditLogEntry.h"
#include "stores/StoreFile.h"

#include <QList>

#include <memory>
#include <optional>

namespace tarnwick {

class ReviewHook;

// The audit trail of destructive clean-up actions and restores ("audit_log.json"), oldest first.
// Main thread only.
class AuditLogManager {
public:
    struct Request {
        AuditAction action = AuditAction::movedToTrash;
        MediaFile file;
        std::optional<QString> destination;
    };

    // Loads from the store folder; reports to a CountingReviewHook until setReviewHook().
    static AuditLogManager& shared();

    // Loads "audit_log.json" from `folder` (created when missing). `hook` may be null.
    AuditLogManager(const QString& folder, std::shared_ptr<ReviewHook> hook);
    AuditLogManager(const AuditLogManager&) = delete;
    AuditLogManager& operator=(const AuditLogManager&) = delete;

    void setReviewHook(std::shared_ptr<ReviewHook> hook);

    const QList<AuditLogEntry>& entries() const { return m_entries; }

    // One entry for one file, stored, then reported to the review hook.
    void log(AuditAction action, const MediaFile& file, const std::optional<QString>& destination = {});
    // All entries of one clean-up operation with a single write; each is reported afterwards.
    void log(const QList<Request>& requests);

    void append(const AuditLogEntry& entry);
    void append(const QList<AuditLogEntry>& entries);

    const QString& fileName() const { return m_file.path(); }
    // The file existed but could not be decoded at load (it is kept beside, see StoreFile).
    bool fileWasDamaged() const { return m_file.wasDamaged(); }

private:
    void load();
    void save(qsizetype newEntries);

    StoreFile m_file;
    std::shared_ptr<ReviewHook> m_hook;
    QList<AuditLogEntry> m_entries;
    // The encoded list as last written (or read, when already in compact form), so an append
    // encodes only the new entries; empty until known.
    QByteArray m_encoded;
};

} // namespace tarnwick
