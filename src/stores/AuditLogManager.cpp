#include "stores/AuditLogManager.h"

#include "platform/AppLog.h"
#include "platform/JsonForm.h"
#include "platform/Preferences.h"
#include "platform/StoreFolder.h"
#include "stores/CountingReviewHook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace tarnwick {

namespace {

// A log up to this size is always folded in at start; a larger one once the journal holds an
// eighth of its size, so that the rewrites cost a fixed share of what is appended.
constexpr qint64 alwaysCompactBelow = qint64(32) << 20;
constexpr qint64 compactShare = 8;

} // namespace

AuditLogManager& AuditLogManager::shared() {
    static AuditLogManager instance(storeFolder(),
                                    std::make_shared<CountingReviewHook>(Preferences::shared()));
    return instance;
}

AuditLogManager::AuditLogManager(const QString& folder, std::shared_ptr<ReviewHook> hook)
    : m_file(QDir(folder).filePath(QStringLiteral("audit_log.json"))),
      m_journal(QDir(folder).filePath(QStringLiteral("audit_log.journal"))), m_hook(std::move(hook)) {
    QDir().mkpath(folder);
}

void AuditLogManager::setReviewHook(std::shared_ptr<ReviewHook> hook) {
    m_hook = std::move(hook);
}

AuditLogManager::Loaded AuditLogManager::readFiles(const QString& logPath, const QString& journalPath) {
    Loaded loaded;
    QList<AuditLogEntry> journalEntries = RecordJournal(journalPath).read().entries;
    QSet<QUuid> ids;
    for (const AuditLogEntry& entry : std::as_const(journalEntries))
        ids.insert(entry.id);
    StoreFile file(logPath);
    QSet<QUuid> inLog;
    if (std::optional<QByteArray> bytes = file.read()) {
        loaded.log = AuditLogIndex::build(std::move(*bytes), ids, &inLog);
        loaded.damaged = !loaded.log;
    } else {
        loaded.damaged = file.wasDamaged();
    }
    // A kill between folding the journal in and emptying it leaves its entries in both.
    for (const AuditLogEntry& entry : std::as_const(journalEntries)) {
        if (!inLog.contains(entry.id))
            loaded.journalEntries.append(entry);
    }
    return loaded;
}

void AuditLogManager::install(Loaded loaded) const {
    if (m_loaded)
        return;
    m_index = std::move(loaded.log);
    m_logDamaged = loaded.damaged;
    if (loaded.damaged)
        m_file.markDamaged();
    m_loaded = true;
    addToTail(loaded.journalEntries);
    addToTail(m_shownBeforeLoad);
    m_shownBeforeLoad.clear();
    AppLog::info(QStringLiteral("Loaded ") + QString::number(count()) + QStringLiteral(" audit log entries"));
}

void AuditLogManager::ensureLoaded() const {
    if (!m_loaded)
        install(readFiles(m_file.path(), m_journal.path()));
}

void AuditLogManager::addToTail(const QList<AuditLogEntry>& entries) const {
    if (!entries.isEmpty())
        m_decoded.reset();
    for (const AuditLogEntry& entry : entries) {
        if (!m_tailIds.contains(entry.id)) {
            m_tailIds.insert(entry.id);
            m_tail.append(entry);
        }
    }
}

qsizetype AuditLogManager::count() const {
    ensureLoaded();
    return logCount() + m_tail.size();
}

AuditLogEntry AuditLogManager::entry(qsizetype index) const {
    ensureLoaded();
    return index < logCount() ? m_index->entry(index) : m_tail.at(index - logCount());
}

qint64 AuditLogManager::timestampMs(qsizetype index) const {
    ensureLoaded();
    return index < logCount() ? m_index->timestampMs(index)
                              : m_tail.at(index - logCount()).timestamp.toMSecsSinceEpoch();
}

const QList<AuditLogEntry>& AuditLogManager::entries() const {
    ensureLoaded();
    if (!m_decoded) {
        QList<AuditLogEntry> list;
        list.reserve(count());
        for (qsizetype i = 0; i < logCount(); ++i)
            list.append(m_index->entry(i));
        list += m_tail;
        m_decoded = std::move(list);
    }
    return *m_decoded;
}

bool AuditLogManager::fileWasDamaged() const {
    ensureLoaded();
    return m_file.wasDamaged();
}

QString AuditLogManager::notice(const AuditLogEntry& entry) {
    return QStringLiteral("Audit: ") + text(entry.action) + QStringLiteral(" - ") + entry.fileName;
}

void AuditLogManager::show(const QList<AuditLogEntry>& entries) {
    QStringList notices;
    notices.reserve(entries.size());
    for (const AuditLogEntry& entry : entries)
        notices.append(notice(entry));
    show(entries, notices);
}

void AuditLogManager::show(const QList<AuditLogEntry>& entries, const QStringList& notices) {
    if (m_loaded)
        addToTail(entries);
    else
        m_shownBeforeLoad += entries;
    for (const QString& line : notices)
        AppLog::info(line);
}

void AuditLogManager::report(const QList<AuditLogEntry>& entries) {
    if (!m_hook || entries.isEmpty())
        return;
    QList<AuditAction> actions;
    actions.reserve(entries.size());
    for (const AuditLogEntry& entry : entries)
        actions.append(entry.action);
    if (actions.size() == 1)
        m_hook->recordSuccess(actions.front());
    else
        m_hook->recordSuccesses(actions);
}

void AuditLogManager::log(AuditAction action, const MediaFile& file,
                          const std::optional<QString>& destination) {
    log(QList<Request>{{action, file, destination}});
}

void AuditLogManager::log(const QList<Request>& requests) {
    log(prepare(requests));
}

AuditLogManager::Prepared AuditLogManager::prepare(const QList<Request>& requests) {
    Prepared prepared;
    prepared.entries.reserve(requests.size());
    prepared.notices.reserve(requests.size());
    for (const Request& request : requests) {
        prepared.entries.append(AuditLogEntry::make(request.action, request.file, request.destination));
        prepared.lines += RecordJournal::entryLine(prepared.entries.last());
        prepared.notices.append(notice(prepared.entries.last()));
    }
    return prepared;
}

void AuditLogManager::log(Prepared prepared) {
    if (prepared.entries.isEmpty())
        return;
    if (m_journal.append(prepared.lines))
        m_journal.sync();
    show(prepared.entries, prepared.notices);
    report(prepared.entries);
}

void AuditLogManager::append(const AuditLogEntry& entry) {
    append(QList<AuditLogEntry>{entry});
}

void AuditLogManager::append(const QList<AuditLogEntry>& entries) {
    if (entries.isEmpty())
        return;
    QByteArray lines;
    for (const AuditLogEntry& entry : entries)
        lines += RecordJournal::entryLine(entry);
    if (m_journal.append(lines))
        m_journal.sync();
    show(entries);
}

void AuditLogManager::adopt(const QList<AuditLogEntry>& entries) {
    show(entries);
    report(entries);
}

bool AuditLogManager::compactIfDue() {
    if (m_compactedThisRun)
        return false;
    const qint64 journalBytes = m_journal.size();
    if (journalBytes == 0)
        return false;
    const qint64 logBytes = QFileInfo(m_file.path()).size();
    if (logBytes > alwaysCompactBelow && journalBytes < logBytes / compactShare)
        return false;
    return compact();
}

bool AuditLogManager::compact() {
    if (m_journal.openRuns() > 0)
        return false;
    m_compactedThisRun = true;
    if (!writeLog())
        return false;
    if (m_journal.size() > 0 && !m_journal.clear())
        AppLog::error(
            QStringLiteral("Could not empty the records journal after folding it into the audit log"));
    forget();
    return true;
}

bool AuditLogManager::writeThrough() {
    if (!writeLog())
        return false;
    forget();
    return true;
}

bool AuditLogManager::writeThrough(const QList<AuditLogEntry>& entries) {
    if (!writeLog(entries))
        return false;
    forget();
    // In the log file now: read from there when next needed, never shown twice.
    for (const AuditLogEntry& entry : entries)
        AppLog::info(notice(entry));
    report(entries);
    return true;
}

// Read again when next needed: the start does not keep a large log in memory.
void AuditLogManager::forget() {
    m_loaded = false;
    m_index.reset();
    m_decoded.reset();
    m_tail.clear();
    m_tailIds.clear();
}

bool AuditLogManager::writeLog(const QList<AuditLogEntry>& extra) {
    ensureLoaded();
    if (m_tail.isEmpty() && extra.isEmpty())
        return true;
    QByteArray tail;
    const auto add = [&tail](const AuditLogEntry& entry) {
        tail += tail.isEmpty() ? '[' : ',';
        tail += json::encode(entry.toJson());
    };
    for (const AuditLogEntry& entry : std::as_const(m_tail))
        add(entry);
    for (const AuditLogEntry& entry : extra) {
        if (!m_tailIds.contains(entry.id))
            add(entry);
    }
    tail += ']';
    if (!m_logDamaged && m_index && m_index->size() > 0 && m_index->isCompact()) {
        // Spliced in before the closing bracket: the same bytes a whole encode gives.
        tail[0] = ',';
        const QByteArray& bytes = m_index->bytes();
        return m_file.write({QByteArrayView(bytes.constData(), bytes.size() - 1), QByteArrayView(tail)});
    }
    if (!m_logDamaged && m_index && m_index->size() > 0) {
        // Written by another encoder: the whole list in ours.
        QByteArray all = "[";
        for (qsizetype i = 0; i < m_index->size(); ++i) {
            if (i > 0)
                all += ',';
            all += json::encode(m_index->entry(i).toJson());
        }
        all += ',';
        all += QByteArrayView(tail).sliced(1);
        return m_file.write(all);
    }
    return m_file.write(tail);
}

QSet<QUuid> AuditLogManager::idsInLog(const QSet<QUuid>& ids) const {
    QSet<QUuid> found;
    if (ids.isEmpty())
        return found;
    StoreFile file(m_file.path());
    if (std::optional<QByteArray> bytes = file.read())
        AuditLogIndex::build(std::move(*bytes), ids, &found);
    return found;
}

} // namespace tarnwick
