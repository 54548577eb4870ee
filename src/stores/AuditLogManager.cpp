#include "stores/AuditLogManager.h"

#include "platform/AppLog.h"
#include "platform/Immortal.h"
#include "platform/JsonForm.h"
#include "platform/MemoryRelease.h"
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
    // Never destroyed: the start's merge may still read it on its worker while the program ends.
    static Immortal<AuditLogManager> instance(storeFolder(),
                                              std::make_shared<CountingReviewHook>(Preferences::shared()));
    return instance.get();
}

AuditLogManager::AuditLogManager(const QString& folder, std::shared_ptr<ReviewHook> hook)
    : m_file(QDir(folder).filePath(QStringLiteral("audit_log.json"))),
      m_journal(RecordJournal::pathIn(folder)), m_hook(std::move(hook)) {
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
    // Entries shown before the files were read follow the journal's (those already in it once).
    m_tail.putFirst(loaded.journalEntries);
    m_decoded.reset();
    AppLog::info(QStringLiteral("Loaded ") + QString::number(count()) + QStringLiteral(" audit log entries"));
}

void AuditLogManager::ensureLoaded() const {
    if (!m_loaded)
        install(readFiles(m_file.path(), m_journal.path()));
}

void AuditLogManager::addToTail(const QList<AuditLogEntry>& entries,
                                const AuditLogTail::Spill& spilled) const {
    if (!entries.isEmpty())
        m_decoded.reset();
    m_tail.add(entries, spilled);
}

qsizetype AuditLogManager::count() const {
    ensureLoaded();
    return logCount() + m_tail.size();
}

AuditLogEntry AuditLogManager::entry(qsizetype index) const {
    ensureLoaded();
    return index < logCount() ? m_index->entry(index) : m_tail.entry(index - logCount());
}

qint64 AuditLogManager::timestampMs(qsizetype index) const {
    ensureLoaded();
    return index < logCount() ? m_index->timestampMs(index) : m_tail.timestampMs(index - logCount());
}

const QList<AuditLogEntry>& AuditLogManager::entries() const {
    ensureLoaded();
    if (!m_decoded) {
        QList<AuditLogEntry> list;
        list.reserve(count());
        for (qsizetype i = 0; i < count(); ++i)
            list.append(entry(i));
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
    for (const AuditLogEntry& entry : entries)
        AppLog::info(notice(entry));
    addToTail(entries);
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
    write(prepared);
    recorded(std::move(prepared));
}

void AuditLogManager::write(Prepared& prepared) {
    if (prepared.written || prepared.entries.isEmpty())
        return;
    prepared.written = true;
    if (m_journal.append(prepared.lines))
        m_journal.sync();
    for (const QString& line : std::as_const(prepared.notices))
        AppLog::info(line);
    // Shown now; the tail's own thread writes them aside, after the restore has reported.
    m_tail.add(prepared.entries);
}

// Tens of thousands of entries and their lines: not freed on the GUI thread.
constexpr qsizetype largeBatch = 5000;

void AuditLogManager::recorded(Prepared prepared) {
    if (prepared.entries.isEmpty())
        return;
    write(prepared);
    m_decoded.reset();
    report(prepared.entries);
    if (prepared.entries.size() >= largeBatch)
        memory::releaseLater(std::move(prepared));
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

void AuditLogManager::adopt(const QList<AuditLogEntry>& entries, bool logEach) {
    if (logEach)
        show(entries);
    else
        addToTail(entries);
    report(entries);
}

AuditLogManager::Shown AuditLogManager::prepareShown(QList<AuditLogEntry> entries) {
    Shown shown;
    shown.notices.reserve(entries.size());
    for (const AuditLogEntry& entry : std::as_const(entries))
        shown.notices.append(notice(entry));
    shown.spill = m_tail.spill(entries);
    shown.entries = std::move(entries);
    return shown;
}

void AuditLogManager::adopt(Shown shown) {
    for (const QString& line : std::as_const(shown.notices))
        AppLog::info(line);
    addToTail(shown.entries, shown.spill);
    report(shown.entries);
    if (shown.entries.size() >= largeBatch)
        memory::releaseLater(std::move(shown));
}

bool AuditLogManager::compactionDue() const {
    if (m_compactedThisRun)
        return false;
    const qint64 journalBytes = m_journal.size();
    if (journalBytes == 0)
        return false;
    const qint64 logBytes = QFileInfo(m_file.path()).size();
    return logBytes <= alwaysCompactBelow || journalBytes >= logBytes / compactShare;
}

bool AuditLogManager::compactIfDue() {
    if (!compactionDue())
        return false;
    return compact();
}

std::optional<AuditLogManager::Compaction> AuditLogManager::beginCompaction() {
    if (m_loaded || m_journal.openRuns() > 0 || !compactionDue())
        return std::nullopt;
    return Compaction{m_file.path(), m_journal.path(), &m_tail, m_journal.size(), m_tail.size(), {}};
}

void AuditLogManager::Compaction::run() {
    Loaded loaded = readFiles(logPath, journalPath);
    if (loaded.damaged)
        return; // kept aside by the store's file on the GUI thread, as it reports it
    // Ordered as install() orders the tail: the journal's entries first, then those shown.
    QSet<QUuid> first;
    first.reserve(loaded.journalEntries.size());
    QByteArray json = "[";
    for (const AuditLogEntry& entry : std::as_const(loaded.journalEntries)) {
        if (first.contains(entry.id))
            continue;
        first.insert(entry.id);
        if (json.size() > 1)
            json += ',';
        json += json::encode(entry.toJson());
    }
    const QByteArray shown = tail->json(first);
    if (shown.size() > 2) {
        if (json.size() > 1)
            json += ',';
        json += QByteArrayView(shown).sliced(1, shown.size() - 2);
    }
    json += ']';
    if (json.size() == 2) {
        written = true; // nothing to fold in
        return;
    }
    StoreFile file(logPath);
    written = writeFolded(file, loaded.log, false, std::move(json));
}

bool AuditLogManager::endCompaction(const Compaction& compaction) {
    if (!compaction.written)
        return compactIfDue();
    m_compactedThisRun = true;
    if (!*compaction.written)
        return false;
    // Recorded meanwhile (another process's run, say): the journal is kept, the folded lines then in
    // both files, which a read takes once.
    const bool asItWas =
        !m_loaded && m_tail.size() == compaction.tailSize && m_journal.size() == compaction.journalBytes;
    if (asItWas && m_journal.size() > 0 && !m_journal.clear())
        AppLog::error(
            QStringLiteral("Could not empty the records journal after folding it into the audit log"));
    forget();
    return true;
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
}

bool AuditLogManager::writeLog(const QList<AuditLogEntry>& extra) {
    ensureLoaded();
    if (m_tail.isEmpty() && extra.isEmpty())
        return true;
    QByteArray tail = m_tail.json();
    // The extra entries go after the tail's, those already among them once.
    for (const AuditLogEntry& entry : extra) {
        if (m_tail.contains(entry.id))
            continue;
        tail.chop(1); // the closing bracket
        if (tail.size() > 1)
            tail += ',';
        tail += json::encode(entry.toJson());
        tail += ']';
    }
    return writeFolded(m_file, m_index, m_logDamaged, std::move(tail));
}

bool AuditLogManager::writeFolded(StoreFile& file, const std::optional<AuditLogIndex>& index, bool damaged,
                                  QByteArray tail) {
    if (!damaged && index && index->size() > 0 && index->isCompact()) {
        // Spliced in before the closing bracket: the same bytes a whole encode gives.
        tail[0] = ',';
        const QByteArray& bytes = index->bytes();
        return file.write({QByteArrayView(bytes.constData(), bytes.size() - 1), QByteArrayView(tail)});
    }
    if (!damaged && index && index->size() > 0) {
        // Written by another encoder: the whole list in ours.
        QByteArray all = "[";
        for (qsizetype i = 0; i < index->size(); ++i) {
            if (i > 0)
                all += ',';
            all += json::encode(index->entry(i).toJson());
        }
        all += ',';
        all += QByteArrayView(tail).sliced(1);
        return file.write(all);
    }
    return file.write(tail);
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
