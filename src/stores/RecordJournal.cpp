#include "stores/RecordJournal.h"

#include "model/EnumText.h"
#include "platform/AppLog.h"
#include "platform/FileMoveSupport.h"
#include "platform/JsonForm.h"
#include "platform/RegularFile.h"
#include "platform/ThreadNames.h"
#include "stores/RecordLineWriter.h"
#include "stores/RecordReserve.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

// The journal is read whole at start; anything far larger is not ours.
constexpr qint64 maxJournalBytes = qint64(1) << 31;

constexpr auto kindTexts = std::to_array<EnumText<RecordKind>>({
    {RecordKind::trash, u"trash"},
    {RecordKind::deletion, u"deletion"},
    {RecordKind::move, u"move"},
    {RecordKind::transcode, u"transcode"},
});

QString kindText(RecordKind kind) {
    return enumText(kindTexts, kind);
}

std::optional<RecordKind> kindFromText(const QString& text) {
    return enumFromText(kindTexts, text, EnumTextMatch::exact);
}

template <typename Number> void appendDecimal(QByteArray& out, Number value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
}

// "device:inode:size:modifiedNs" in decimal.
QByteArray identityText(const FileIdentity& id) {
    QByteArray text;
    text.reserve(84);
    appendDecimal(text, id.device);
    text.append(':');
    appendDecimal(text, id.inode);
    text.append(':');
    appendDecimal(text, id.size);
    text.append(':');
    appendDecimal(text, id.modifiedNs);
    return text;
}

std::optional<FileIdentity> identityFromText(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 4)
        return std::nullopt;
    bool ok[4] = {};
    FileIdentity id{parts[0].toULongLong(&ok[0]), parts[1].toULongLong(&ok[1]), parts[2].toLongLong(&ok[2]),
                    parts[3].toLongLong(&ok[3])};
    if (!(ok[0] && ok[1] && ok[2] && ok[3]))
        return std::nullopt;
    return id;
}

// A line is read whole or counted damaged: a field of the wrong type or form is never dropped alone.
std::optional<FileRecord> recordFromJson(const QJsonObject& o) {
    FileRecord record;
    const QJsonValue entry = o.value(QStringLiteral("e"));
    if (entry.isObject()) {
        record.entry = AuditLogEntry::fromJson(entry.toObject());
        if (!record.entry)
            return std::nullopt;
    } else if (!entry.isUndefined() && !entry.isNull()) {
        return std::nullopt;
    }
    json::Fields fields(o);
    record.target = fields.optionalString(QStringLiteral("p")).value_or(QString());
    record.destination = fields.optionalString(QStringLiteral("d"));
    record.identity = fields.optionalChoice(QStringLiteral("i"), &identityFromText);
    record.files = fields.optionalInt64(QStringLiteral("f")).value_or(0);
    record.bytes = fields.optionalInt64(QStringLiteral("b")).value_or(0);
    record.traced = fields.optionalBool(QStringLiteral("t")).value_or(false);
    record.tracedAt = fields.optionalDate(QStringLiteral("at"));
    record.member = fields.optionalString(QStringLiteral("m"));
    if (!fields.ok())
        return std::nullopt;
    return record;
}

// Reads the lines into runs; what a torn or foreign line would add is left out.
class ContentsBuilder {
public:
    void add(const QJsonObject& o) {
        const QString k = json::optString(o, QStringLiteral("k")).value_or(QString());
        if (k == QLatin1String("entry"))
            return addEntry(o);
        const QString runId = json::optString(o, QStringLiteral("r")).value_or(QString());
        if (k == QLatin1String("run"))
            return addRun(o, runId);
        const qsizetype index = m_runIndex.value(runId, -1);
        if (index < 0 || !addToRun(index, k, o))
            ++m_contents.damagedLines;
    }

    JournalContents take() { return std::move(m_contents); }

private:
    void addEntry(const QJsonObject& o) {
        const QJsonValue e = o.value(QStringLiteral("e"));
        if (const auto entry = e.isObject() ? AuditLogEntry::fromJson(e.toObject()) : std::nullopt)
            m_contents.entries.append(*entry);
        else
            ++m_contents.damagedLines;
    }

    void addRun(const QJsonObject& o, const QString& runId) {
        json::Fields fields(o);
        JournalRun run;
        run.id = runId;
        run.kind = fields.choice(QStringLiteral("kind"), &kindFromText);
        run.writesTraceFiles = fields.optionalBool(QStringLiteral("trace")).value_or(false);
        if (const auto writer = fields.optionalString(QStringLiteral("w"))) {
            if (const auto mark = leftover::decode(writer->toLatin1()))
                run.writer = mark->writer;
        }
        if (runId.isEmpty() || !fields.ok() || m_runIndex.contains(runId)) {
            ++m_contents.damagedLines;
            return;
        }
        m_runIndex.insert(runId, m_contents.runs.size());
        m_contents.runs.append(run);
        m_items.append(QHash<int, qsizetype>());
    }

    // False when the line is damaged.
    bool addToRun(qsizetype index, const QString& k, const QJsonObject& o) {
        JournalRun& run = m_contents.runs[index];
        const int seq = int(json::optInt64(o, QStringLiteral("n")).value_or(-1));
        if (k == QLatin1String("intent") || k == QLatin1String("record"))
            return addItem(run, m_items[index], seq, k == QLatin1String("record"), o);
        if (k == QLatin1String("done") || k == QLatin1String("failed"))
            return settleItem(run, m_items[index].value(seq, -1), k == QLatin1String("done"), o);
        if (k == QLatin1String("traceFile"))
            return addTraceFile(run, o);
        if (k == QLatin1String("stats")) {
            if (!addStats(run, o))
                return false;
            joinLog(index);
            return true;
        }
        if (k != QLatin1String("closed"))
            return false;
        joinLog(index);
        run.closed = true;
        return true;
    }

    // A run's entries belong to the log once its totals are in the statistics (announced), even
    // while it stays open for its trace lines: the log shows every file the statistics count.
    void joinLog(qsizetype index) {
        if (m_joined.contains(index))
            return;
        m_joined.insert(index);
        m_contents.entries += m_contents.runs[index].countedEntries();
    }

    static bool addItem(JournalRun& run, QHash<int, qsizetype>& items, int seq, bool done,
                        const QJsonObject& o) {
        const auto record = recordFromJson(o);
        if (!record || seq < 0)
            return false;
        items.insert(seq, run.items.size());
        run.items.append({seq, *record, done ? JournalRun::State::done : JournalRun::State::pending});
        return true;
    }

    static bool settleItem(JournalRun& run, qsizetype at, bool done, const QJsonObject& o) {
        json::Fields fields(o);
        const auto time = fields.optionalDate(QStringLiteral("at"));
        const auto destination = fields.optionalString(QStringLiteral("d"));
        if (at < 0 || !fields.ok())
            return false;
        JournalRun::Item& item = run.items[at];
        item.state = done ? JournalRun::State::done : JournalRun::State::failed;
        if (time)
            item.record.tracedAt = time;
        if (destination && item.record.entry)
            item.record.entry->destinationPath = destination;
        return true;
    }

    static bool addTraceFile(JournalRun& run, const QJsonObject& o) {
        json::Fields fields(o);
        const QString folder = fields.string(QStringLiteral("dir"));
        const QString name = fields.string(QStringLiteral("name"));
        const QDateTime generated = fields.date(QStringLiteral("at"));
        if (!fields.ok())
            return false;
        run.traceFiles.removeIf([&](const auto& pair) { return pair.first == folder; });
        run.traceFiles.append({folder, {name, generated}});
        return true;
    }

    static bool addStats(JournalRun& run, const QJsonObject& o) {
        const auto before = AllTimeStats::fromJson(o.value(QStringLiteral("from")).toObject());
        const auto after = AllTimeStats::fromJson(o.value(QStringLiteral("to")).toObject());
        if (!before || !after)
            return false;
        run.stats = std::make_pair(*before, *after);
        return true;
    }

    JournalContents m_contents;
    QHash<QString, qsizetype> m_runIndex;
    QList<QHash<int, qsizetype>> m_items; // per run: seq → item
    QSet<qsizetype> m_joined;             // runs whose entries are in m_contents.entries
};

} // namespace

std::optional<JournalRun::TraceFile> JournalRun::traceFileFor(const QString& folder) const {
    for (const auto& [dir, file] : traceFiles) {
        if (dir == folder)
            return file;
    }
    return std::nullopt;
}

QList<AuditLogEntry> JournalRun::countedEntries() const {
    QList<AuditLogEntry> entries;
    entries.reserve(items.size());
    for (const Item& item : items) {
        if (item.state == State::done && item.record.entry)
            entries.append(*item.record.entry);
    }
    return entries;
}

RecordJournal::RecordJournal(QString path) : m_path(std::move(path)) {}

RecordJournal::~RecordJournal() {
    if (m_syncer.joinable()) {
        {
            std::lock_guard lock(m_syncMutex);
            m_stopping = true;
        }
        m_syncWanted.notify_one();
        m_syncer.join();
    }
    if (m_fd >= 0)
        ::close(m_fd);
    for (const int fd : std::as_const(m_retired))
        ::close(fd);
}

quint64 RecordJournal::syncLater() {
    quint64 ticket = 0;
    {
        std::lock_guard lock(m_syncMutex);
        ticket = ++m_syncRequested;
        m_syncPending = true;
        if (!m_syncer.joinable())
            m_syncer = std::thread([this] {
                nameCurrentThread("JournalSyncer");
                syncLoop();
            });
    }
    m_syncWanted.notify_one();
    return ticket;
}

bool RecordJournal::awaitSync(quint64 ticket) {
    std::unique_lock lock(m_syncMutex);
    m_syncEnded.wait(lock, [&] { return m_syncDone >= ticket || m_stopping; });
    return m_syncDone >= ticket && !m_syncFailed;
}

void RecordJournal::syncLoop() {
    std::unique_lock lock(m_syncMutex);
    for (;;) {
        m_syncWanted.wait(lock, [this] { return m_syncPending || m_stopping; });
        if (m_stopping)
            break;
        m_syncPending = false;
        const quint64 target = m_syncRequested;
        lock.unlock();
        const bool synced = sync();
        lock.lock();
        m_syncFailed = m_syncFailed || !synced;
        m_syncDone = std::max(m_syncDone, target);
        m_syncEnded.notify_all();
    }
    m_syncEnded.notify_all();
}

QString RecordJournal::pathIn(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("audit_log.journal"));
}

QStringList RecordJournal::filesOf(const QString& path) {
    const QFileInfo main(path);
    QList<std::pair<qint64, QString>> numbered;
    const QString prefix = main.fileName() + QLatin1Char('.');
    const QStringList names = main.dir().entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        bool ok = false;
        const qint64 n = name.mid(prefix.size()).toLongLong(&ok);
        if (ok && n > 0)
            numbered.append({n, main.dir().filePath(name)});
    }
    std::sort(numbered.begin(), numbered.end());
    QStringList paths{path};
    for (const auto& [n, file] : std::as_const(numbered))
        paths.append(file);
    return paths;
}

namespace {

// Opens a journal file for appending; -1 with errno set when it cannot be.
int openJournalFile(const QString& path, int extraFlags) {
    const QByteArray native = QFile::encodeName(path);
    constexpr int flags = O_RDWR | O_APPEND | O_CLOEXEC;
    int fd = ::open(native.constData(), flags | O_CREAT | O_EXCL, 0666);
    const bool made = fd >= 0;
    if (fd < 0 && errno == EEXIST && !(extraFlags & O_EXCL))
        fd = ::open(native.constData(), flags | extraFlags, 0666);
    if (fd < 0)
        return -1;
    // A journal made now has its name synced into its folder: a power cut must not keep the steps
    // its lines were synced for and drop the file that holds them.
    if (const int error = made ? filemove::syncFolder(filemove::parentOf(native)) : 0; error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    struct ::stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    // A line torn by a kill stays a line of its own: what follows starts on a new one.
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n' &&
        ::write(fd, "\n", 1) != 1) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace

bool RecordJournal::openForAppend() {
    if (m_fd >= 0)
        return true;
    // The last file of the journal takes the lines: reading goes in the same order.
    if (m_current.isEmpty())
        m_current = files().constLast();
    m_fd = openJournalFile(m_current, 0);
    return m_fd >= 0;
}

// The journal's own file refused lines: the next file beside it takes them from now on, once per
// journal object (a second refusal is the folder's, not the file's).
bool RecordJournal::followOn(int error) {
    if (m_followedOn || error == ENOSPC || error == EDQUOT)
        return false;
    m_followedOn = true;
    if (!takeNextFile([](const QString& next) { return openJournalFile(next, O_EXCL); }))
        return false;
    AppLog::warning(QStringLiteral("Records: the records journal refused lines (") + qt_error_string(error) +
                    QStringLiteral("); they go to ") + QFileInfo(m_current).fileName());
    return true;
}

// The first numbered name after the journal's files that `open` makes (-1 with EEXIST: taken, the
// next one is tried) takes the lines from now on.
bool RecordJournal::takeNextFile(const std::function<int(const QString& next)>& open) {
    qint64 n = files().size();
    for (int attempt = 0; attempt < 100; ++attempt, ++n) {
        const QString next = m_path + QLatin1Char('.') + QString::number(n);
        const int fd = open(next);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return false;
        if (m_fd >= 0) {
            ::fdatasync(m_fd);      // what the file before took stays as durable as what follows
            m_retired.append(m_fd); // a sync on another thread may still hold it
        }
        m_fd = fd;
        m_current = next;
        return true;
    }
    return false;
}

void RecordJournal::setWriteFaultForTesting(std::function<int()> fault) {
    if (!fault)
        return setFileWriteFaultForTesting({});
    setFileWriteFaultForTesting([fault = std::move(fault)](const QString&) { return fault(); });
}

void RecordJournal::setFileWriteFaultForTesting(std::function<int(const QString& file)> fault) {
    QMutexLocker lock(&m_mutex);
    m_fault = std::move(fault);
}

QString RecordJournal::lastError() const {
    QMutexLocker lock(&m_mutex);
    return m_lastError;
}

void RecordJournal::failed(const char* what, int error) {
    m_lastError = qt_error_string(error);
    if (!m_failureLogged)
        AppLog::error(QLatin1String(what) + m_lastError);
    m_failureLogged = true;
}

// 0 when written, else the errno.
int RecordJournal::writeAll(const QByteArray& lines) {
    qsizetype done = 0;
    while (done < lines.size()) {
        const ssize_t n = ::write(m_fd, lines.constData() + done, size_t(lines.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0) {
            done += n;
            continue;
        }
        const int error = n < 0 ? errno : ENOSPC;
        // Appending, the offset is the end: the part written goes back (truncating needs no space).
        const off_t end = ::lseek(m_fd, 0, SEEK_CUR);
        if (done > 0 && end >= done)
            (void)::ftruncate(m_fd, end - done);
        return error;
    }
    return 0;
}

// A file with room ahead of its end (the reserve handed over): lines other than a run's end leave
// the reserve's end part, unless the disk gives more room ahead. 0, or ENOSPC.
int RecordJournal::keepEndPart(qint64 bytes) {
    const qint64 room = RecordReserve::roomAhead(m_fd);
    if (room <= 0 || room - bytes >= RecordReserve::endPart)
        return 0;
    const off_t end = ::lseek(m_fd, 0, SEEK_END);
    if (end >= 0 && ::fallocate(m_fd, FALLOC_FL_KEEP_SIZE, end, off_t(bytes + RecordReserve::endPart)) == 0)
        return 0;
    return ENOSPC;
}

int RecordJournal::tryAppend(const QByteArray& lines, bool end) {
    if (m_current.isEmpty())
        m_current = files().constLast();
    if (const int fault = m_fault ? m_fault(m_current) : 0)
        return fault;
    if (!openForAppend())
        return errno ? errno : EIO;
    if (const int error = end ? 0 : keepEndPart(lines.size()))
        return error;
    return writeAll(lines);
}

// The blocks an append of `bytes` adds to the file: the last one may have room for its start.
qint64 RecordJournal::blocksNeeded(qint64 bytes) const {
    struct ::stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return bytes;
    const qint64 block = st.st_blksize > 0 ? qint64(st.st_blksize) : 4096;
    const auto whole = [block](qint64 n) { return (n + block - 1) / block * block; };
    return whole(qint64(st.st_size) + bytes) - whole(qint64(st.st_size));
}

// The disk is full: the records' reserve becomes the journal's next file, so the lines fill the
// room it holds ahead of its end and no other writer can take it. False when there is no such
// reserve.
bool RecordJournal::takeReserve() {
    const QString folder = QFileInfo(m_path).absolutePath();
    return takeNextFile([&folder](const QString& next) { return RecordReserve::handOver(folder, next); });
}

bool RecordJournal::append(const QByteArray& lines, bool end) {
    if (lines.isEmpty())
        return true;
    QMutexLocker lock(&m_mutex);
    for (;;) {
        const int error = tryAppend(lines, end);
        if (error == 0) {
            m_lastError.clear();
            return true;
        }
        // A full disk: the reserve kept for the records gives them its room (a reserve of zeros what
        // these lines need, again when another writer took it first), until it has no more to give.
        const QString folder = QFileInfo(m_path).absolutePath();
        if ((error == ENOSPC || error == EDQUOT) &&
            (takeReserve() || RecordReserve::releaseFor(folder, blocksNeeded(lines.size()), end)))
            continue;
        if (followOn(error))
            continue;
        failed("Could not write the records journal: ", error);
        return false;
    }
}

bool RecordJournal::sync() {
    int fd = -1;
    QString file;
    std::function<void(const QString&, qint64)> hook;
    qint64 size = 0;
    {
        QMutexLocker lock(&m_mutex);
        fd = m_fd;
        file = m_current;
        hook = m_syncHook;
        struct ::stat st {};
        if (hook && fd >= 0 && ::fstat(fd, &st) == 0)
            size = qint64(st.st_size);
        if (fd >= 0)
            ++m_syncing;
    }
    // Outside the lock, so appends go on meanwhile: the descriptor stays open while it is synced.
    if (fd < 0)
        return true;
    const bool synced = ::fdatasync(fd) == 0;
    {
        QMutexLocker lock(&m_mutex);
        --m_syncing;
    }
    if (synced && hook)
        hook(file, size);
    return synced;
}

void RecordJournal::runClosed() {
    if (--m_openRuns > 0)
        return;
    QMutexLocker lock(&m_mutex);
    if (m_fd >= 0)
        m_retired.append(m_fd);
    m_fd = -1;
    closeIdle();
}

// The descriptors no write holds now are closed, so that the room of a file removed meanwhile (a
// reserve handed over holds megabytes) comes back; those a sync still holds wait for the next
// time. Under m_mutex.
void RecordJournal::closeIdle() {
    if (m_syncing > 0)
        return;
    for (const int fd : std::as_const(m_retired))
        ::close(fd);
    m_retired.clear();
}

void RecordJournal::setSyncHookForTesting(std::function<void(const QString& file, qint64 bytes)> hook) {
    QMutexLocker lock(&m_mutex);
    m_syncHook = std::move(hook);
}

qint64 RecordJournal::size() const {
    QMutexLocker lock(&m_mutex);
    qint64 bytes = 0;
    for (const QString& file : files()) {
        struct ::stat st {};
        if (::stat(QFile::encodeName(file).constData(), &st) == 0 && S_ISREG(st.st_mode))
            bytes += qint64(st.st_size);
    }
    return bytes;
}

bool RecordJournal::clear() {
    if (m_openRuns.load() > 0)
        return false;
    QMutexLocker lock(&m_mutex);
    const QStringList all = files();
    bool cleared = false;
    // The first file is kept and emptied (a refusing one, immutable say, stays as it is).
    const int fd = m_fault && m_fault(m_path) ? -1 : openJournalFile(m_path, 0);
    if (fd >= 0) {
        cleared = ::ftruncate(fd, 0) == 0 && ::fdatasync(fd) == 0;
        ::close(fd);
    }
    for (qsizetype i = 1; i < all.size(); ++i)
        cleared = ::unlink(QFile::encodeName(all.at(i)).constData()) == 0 && cleared;
    // The first file takes the next lines again (or, refusing them, is followed anew). The files
    // removed give their room back once closed (a reserve handed over holds megabytes).
    if (m_fd >= 0)
        m_retired.append(m_fd);
    m_fd = -1;
    closeIdle();
    m_current.clear();
    m_followedOn = false;
    return cleared;
}

QList<QByteArray> RecordJournal::lines(const QByteArray& bytes) {
    QList<QByteArray> list = bytes.split('\n');
    // The piece after the last line feed is a line torn by a kill, or nothing.
    list.removeLast();
    return list;
}

JournalContents RecordJournal::read() const {
    QList<QByteArray> contents;
    {
        QMutexLocker lock(&m_mutex);
        for (const QString& path : files()) {
            if (!QFileInfo::exists(path))
                continue;
            RegularFile file(path);
            std::optional<QByteArray> bytes = file.readAll(maxJournalBytes);
            if (!bytes) {
                AppLog::error(QStringLiteral("Could not read the records journal: ") + file.errorString());
                continue;
            }
            contents.append(std::move(*bytes));
        }
    }
    // One builder over every file: a run that went on in a following file keeps its lines together.
    ContentsBuilder builder;
    qsizetype damaged = 0;
    for (const QByteArray& bytes : std::as_const(contents)) {
        qsizetype start = 0;
        while (start < bytes.size()) {
            const qsizetype end = bytes.indexOf('\n', start);
            if (end < 0)
                break; // torn by a kill
            if (end > start) {
                const auto doc =
                    json::decode(QByteArray::fromRawData(bytes.constData() + start, end - start));
                if (doc && doc->isObject())
                    builder.add(doc->object());
                else
                    ++damaged;
            }
            start = end + 1;
        }
    }
    JournalContents result = builder.take();
    result.damagedLines += damaged;
    return result;
}

// Keys go in sorted order: the order stored journals have them in.
QByteArray RecordJournal::runLine(const QString& run, RecordKind kind, bool traceFiles) {
    RecordLineWriter w;
    w.string("k", u"run").string("kind", kindText(kind)).string("r", run).boolean("trace", traceFiles);
    // Whose run it is: only a run whose writer is gone is merged by another process.
    w.string("w", QString::fromLatin1(leftover::encode({leftover::currentWriter(), {}})));
    return w.take();
}

RecordJournal::PreparedLine RecordJournal::prepareLine(const QString& run, const FileRecord& record,
                                                       bool intent) {
    RecordLineWriter w;
    PreparedLine line;
    if (record.tracedAt)
        w.date("at", *record.tracedAt);
    w.integer("b", record.bytes);
    if (record.destination)
        w.string("d", *record.destination);
    if (record.entry)
        w.entry("e", *record.entry);
    w.integer("f", record.files);
    line.head = w.cut();
    // The identity goes here; every key from here on follows another.
    w.string("k", intent ? u"intent" : u"record");
    if (record.member)
        w.string("m", *record.member);
    line.middle = w.cut();
    // The number goes here.
    if (!record.target.isEmpty())
        w.string("p", record.target);
    w.string("r", run);
    if (record.traced)
        w.boolean("t", true);
    line.tail = w.take();
    return line;
}

QByteArray RecordJournal::recordLine(const PreparedLine& line, const std::optional<FileIdentity>& identity,
                                     int seq) {
    QByteArray bytes;
    bytes.reserve(line.head.size() + line.middle.size() + line.tail.size() + 128);
    bytes += line.head;
    if (identity) {
        bytes.append(",\"i\":\"", 6);
        bytes += identityText(*identity);
        bytes.append('"');
    }
    bytes += line.middle;
    bytes.append(",\"n\":", 5);
    appendDecimal(bytes, seq);
    bytes += line.tail;
    return bytes;
}

QByteArray RecordJournal::recordLine(const QString& run, int seq, const FileRecord& record, bool intent) {
    return recordLine(prepareLine(run, record, intent), record.identity, seq);
}

QByteArray RecordJournal::doneLine(const QString& run, int seq, const std::optional<QDateTime>& at,
                                   const std::optional<QString>& destination) {
    RecordLineWriter w;
    if (at)
        w.date("at", *at);
    if (destination)
        w.string("d", *destination);
    return w.string("k", u"done").integer("n", seq).string("r", run).take();
}

QByteArray RecordJournal::failedLine(const QString& run, int seq) {
    return RecordLineWriter().string("k", u"failed").integer("n", seq).string("r", run).take();
}

QByteArray RecordJournal::traceFileLine(const QString& run, const QString& folder,
                                        const JournalRun::TraceFile& file) {
    RecordLineWriter w;
    w.date("at", file.generated).string("dir", folder).string("k", u"traceFile");
    return w.string("name", file.name).string("r", run).take();
}

QByteArray RecordJournal::statsLine(const QString& run, const AllTimeStats& before,
                                    const AllTimeStats& after) {
    RecordLineWriter w;
    w.stats("from", before).string("k", u"stats").string("r", run).stats("to", after);
    return w.take();
}

QByteArray RecordJournal::closedLine(const QString& run) {
    return RecordLineWriter().string("k", u"closed").string("r", run).take();
}

namespace {

// A text's bytes as a line writes it: "/" and quotes escaped, the rest of ASCII as is, anything
// else at most a \uXXXX escape per UTF-16 unit.
qint64 escapedBytes(const QString& text) {
    qint64 bytes = text.size();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '/' || u == '"' || u == '\\')
            bytes += 1;
        else if (u < 0x20 || u >= 0x80)
            bytes += 5;
    }
    return bytes;
}

} // namespace

qint64 RecordJournal::estimatedRecordBytes(const QString& filePath, const QString& target,
                                           const QStringList& projectNames,
                                           const std::optional<QString>& destination) {
    // The keys, the id, the times, the identity, the run's id and the outcome's line.
    constexpr qint64 fixed = 480;
    const qint64 path = escapedBytes(filePath);
    // The file's name is the end of its path.
    qint64 bytes = fixed + 2 * path + escapedBytes(target);
    for (const QString& project : projectNames)
        bytes += escapedBytes(project) + 3;
    if (destination)
        bytes += 2 * escapedBytes(*destination) + 24;
    return bytes;
}

QByteArray RecordJournal::entryLine(const AuditLogEntry& entry) {
    return RecordLineWriter().entry("e", entry).string("k", u"entry").take();
}

} // namespace tarnwick
