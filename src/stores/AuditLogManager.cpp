#include "stores/AuditLogManager.h"

#include "platform/AppLog.h"
#include "platform/JsonForm.h"
#include "platform/Preferences.h"
#include "platform/StoreFolder.h"
#include "stores/CountingReviewHook.h"

#include <QDir>
#include <QJsonArray>

#include <utility>

namespace tarnwick {

namespace {

// True when `bytes` (a valid JSON array) is in the compact form the encoder writes: no whitespace
// between tokens and every "/" inside a string escaped.
bool isCompactArray(const QByteArray& bytes) {
    if (!bytes.startsWith('[') || !bytes.endsWith(']'))
        return false;
    bool inString = false;
    bool escaped = false;
    for (const char c : bytes) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            else if (c == '/')
                return false;
        } else if (c == '"') {
            inString = true;
        } else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            return false;
        }
    }
    return true;
}

} // namespace

AuditLogManager& AuditLogManager::shared() {
    static AuditLogManager instance(storeFolder(),
                                    std::make_shared<CountingReviewHook>(Preferences::shared()));
    return instance;
}

AuditLogManager::AuditLogManager(const QString& folder, std::shared_ptr<ReviewHook> hook)
    : m_file(QDir(folder).filePath(QStringLiteral("audit_log.json"))), m_hook(std::move(hook)) {
    QDir().mkpath(folder);
    load();
}

void AuditLogManager::setReviewHook(std::shared_ptr<ReviewHook> hook) {
    m_hook = std::move(hook);
}

void AuditLogManager::load() {
    const auto bytes = m_file.read();
    if (!bytes)
        return;
    const auto doc = json::decode(*bytes);
    if (!doc || !doc->isArray()) {
        m_file.markDamaged();
        return;
    }
    const QJsonArray array = doc->array();
    QList<AuditLogEntry> entries;
    entries.reserve(array.size());
    for (const QJsonValue& value : array) {
        // One bad entry rejects the whole file, as the other platform's decoder does.
        const auto entry = value.isObject() ? AuditLogEntry::fromJson(value.toObject()) : std::nullopt;
        if (!entry) {
            m_file.markDamaged();
            return;
        }
        entries.append(*entry);
    }
    m_entries = std::move(entries);
    if (isCompactArray(*bytes))
        m_encoded = *bytes;
    AppLog::info(QStringLiteral("Loaded ") + QString::number(m_entries.size()) +
                 QStringLiteral(" audit log entries"));
}

void AuditLogManager::save(qsizetype newEntries) {
    if (m_encoded.isEmpty()) {
        QJsonArray array;
        for (const AuditLogEntry& entry : std::as_const(m_entries))
            array.append(entry.toJson());
        m_encoded = json::encode(array);
    } else {
        // Splice the new entries in before the closing bracket: the same bytes a full encode gives.
        m_encoded.chop(1);
        for (qsizetype i = m_entries.size() - newEntries; i < m_entries.size(); ++i) {
            if (m_encoded.size() > 1)
                m_encoded.append(',');
            m_encoded.append(json::encode(m_entries[i].toJson()));
        }
        m_encoded.append(']');
    }
    m_file.write(m_encoded);
}

void AuditLogManager::log(AuditAction action, const MediaFile& file,
                          const std::optional<QString>& destination) {
    append(AuditLogEntry::make(action, file, destination));
    if (m_hook)
        m_hook->recordSuccess(action);
}

void AuditLogManager::log(const QList<Request>& requests) {
    QList<AuditLogEntry> entries;
    entries.reserve(requests.size());
    for (const Request& request : requests)
        entries.append(AuditLogEntry::make(request.action, request.file, request.destination));
    append(entries);
    if (!m_hook || entries.isEmpty())
        return;
    QList<AuditAction> actions;
    actions.reserve(entries.size());
    for (const AuditLogEntry& entry : std::as_const(entries))
        actions.append(entry.action);
    m_hook->recordSuccesses(actions);
}

void AuditLogManager::append(const AuditLogEntry& entry) {
    append(QList<AuditLogEntry>{entry});
}

void AuditLogManager::append(const QList<AuditLogEntry>& entries) {
    if (entries.isEmpty())
        return;
    m_entries.append(entries);
    save(entries.size());
    for (const AuditLogEntry& entry : entries)
        AppLog::info(QStringLiteral("Audit: ") + text(entry.action) + QStringLiteral(" - ") + entry.fileName);
}

} // namespace tarnwick
