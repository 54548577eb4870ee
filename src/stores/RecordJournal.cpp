#include "stores/RecordJournal.h"

#include "model/EnumText.h"
#include "platform/AppLog.h"
#include "platform/JsonForm.h"
#include "platform/RegularFile.h"
#include "stores/RecordLineWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <cerrno>
#include <charconv>
#include <fcntl.h>
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
        if (k == QLatin1String("stats"))
            return addStats(run, o);
        if (k != QLatin1String("closed"))
            return false;
        if (!run.closed)
            m_contents.entries += run.countedEntries();
        run.closed = true;
        return true;
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
}

void RecordJournal::syncSoon() {
    {
        std::lock_guard lock(m_syncMutex);
        m_syncPending = true;
        if (!m_syncer.joinable())
            m_syncer = std::thread([this] { syncLoop(); });
    }
    m_syncWanted.notify_one();
}

void RecordJournal::syncLoop() {
    std::unique_lock lock(m_syncMutex);
    for (;;) {
        m_syncWanted.wait(lock, [this] { return m_syncPending || m_stopping; });
        if (m_stopping)
            return;
        m_syncPending = false;
        lock.unlock();
        sync();
        lock.lock();
    }
}

bool RecordJournal::openForAppend() {
    if (m_fd >= 0)
        return true;
    const QByteArray native = QFile::encodeName(m_path);
    m_fd = ::open(native.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return false;
    struct ::stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        errno = EINVAL;
        return false;
    }
    // A line torn by a kill stays a line of its own: what follows starts on a new one.
    char last = '\n';
    if (st.st_size > 0 && ::pread(m_fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
        return ::write(m_fd, "\n", 1) == 1;
    return true;
}

void RecordJournal::setWriteFaultForTesting(std::function<int()> fault) {
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

bool RecordJournal::writeAll(const QByteArray& lines) {
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
        failed("Could not write the records journal: ", error);
        return false;
    }
    m_lastError.clear();
    return true;
}

bool RecordJournal::append(const QByteArray& lines) {
    if (lines.isEmpty())
        return true;
    QMutexLocker lock(&m_mutex);
    if (const int fault = m_fault ? m_fault() : 0) {
        failed("Could not write the records journal: ", fault);
        return false;
    }
    if (!openForAppend()) {
        failed("Could not open the records journal: ", errno);
        return false;
    }
    return writeAll(lines);
}

bool RecordJournal::sync() {
    int fd = -1;
    {
        QMutexLocker lock(&m_mutex);
        fd = m_fd;
    }
    // Outside the lock, so appends go on meanwhile: the descriptor stays open until destruction.
    return fd < 0 || ::fdatasync(fd) == 0;
}

qint64 RecordJournal::size() const {
    QMutexLocker lock(&m_mutex);
    struct ::stat st {};
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0)
        return 0;
    return qint64(st.st_size);
}

bool RecordJournal::clear() {
    if (m_openRuns.load() > 0)
        return false;
    QMutexLocker lock(&m_mutex);
    if (!openForAppend())
        return false;
    return ::ftruncate(m_fd, 0) == 0 && ::fdatasync(m_fd) == 0;
}

QList<QByteArray> RecordJournal::lines(const QByteArray& bytes) {
    QList<QByteArray> list = bytes.split('\n');
    // The piece after the last line feed is a line torn by a kill, or nothing.
    list.removeLast();
    return list;
}

JournalContents RecordJournal::read() const {
    std::optional<QByteArray> bytes;
    {
        QMutexLocker lock(&m_mutex);
        if (!QFileInfo::exists(m_path))
            return {};
        RegularFile file(m_path);
        bytes = file.readAll(maxJournalBytes);
        if (!bytes) {
            AppLog::error(QStringLiteral("Could not read the records journal: ") + file.errorString());
            return {};
        }
    }
    ContentsBuilder builder;
    qsizetype start = 0;
    qsizetype damaged = 0;
    while (start < bytes->size()) {
        const qsizetype end = bytes->indexOf('\n', start);
        if (end < 0)
            break; // torn by a kill
        if (end > start) {
            const auto doc = json::decode(QByteArray::fromRawData(bytes->constData() + start, end - start));
            if (doc && doc->isObject())
                builder.add(doc->object());
            else
                ++damaged;
        }
        start = end + 1;
    }
    JournalContents contents = builder.take();
    contents.damagedLines += damaged;
    return contents;
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

QByteArray RecordJournal::entryLine(const AuditLogEntry& entry) {
    return RecordLineWriter().entry("e", entry).string("k", u"entry").take();
}

} // namespace tarnwick
