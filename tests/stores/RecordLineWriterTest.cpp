#include "stores/RecordLineWriter.h"

#include "platform/JsonForm.h"
#include "platform/LeftoverMark.h"
#include "stores/RecordJournal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <limits>

namespace tarnwick {
namespace {

// The document-based form the journal was first written in: stored journals hold exactly these bytes.
namespace reference {

QByteArray line(const QJsonObject& object) {
    return json::encode(object) + '\n';
}

QJsonObject head(const char* kind, const QString& run) {
    QJsonObject o;
    o.insert(QStringLiteral("k"), QLatin1String(kind));
    o.insert(QStringLiteral("r"), run);
    return o;
}

QByteArray recordLine(const QString& run, int seq, const FileRecord& record, bool intent) {
    QJsonObject o = head(intent ? "intent" : "record", run);
    o.insert(QStringLiteral("n"), seq);
    if (record.entry)
        o.insert(QStringLiteral("e"), record.entry->toJson());
    if (!record.target.isEmpty())
        o.insert(QStringLiteral("p"), record.target);
    if (record.destination)
        o.insert(QStringLiteral("d"), *record.destination);
    if (record.identity) {
        const FileIdentity& id = *record.identity;
        o.insert(QStringLiteral("i"),
                 QStringLiteral("%1:%2:%3:%4").arg(id.device).arg(id.inode).arg(id.size).arg(id.modifiedNs));
    }
    o.insert(QStringLiteral("f"), record.files);
    o.insert(QStringLiteral("b"), record.bytes);
    if (record.traced)
        o.insert(QStringLiteral("t"), true);
    if (record.tracedAt)
        o.insert(QStringLiteral("at"), json::fromDate(*record.tracedAt));
    if (record.member)
        o.insert(QStringLiteral("m"), *record.member);
    return line(o);
}

QByteArray doneLine(const QString& run, int seq, const std::optional<QDateTime>& at,
                    const std::optional<QString>& destination) {
    QJsonObject o = head("done", run);
    o.insert(QStringLiteral("n"), seq);
    if (at)
        o.insert(QStringLiteral("at"), json::fromDate(*at));
    if (destination)
        o.insert(QStringLiteral("d"), *destination);
    return line(o);
}

QByteArray runLine(const QString& run, const char* kind, bool traceFiles) {
    QJsonObject o = head("run", run);
    o.insert(QStringLiteral("kind"), QLatin1String(kind));
    o.insert(QStringLiteral("trace"), traceFiles);
    o.insert(QStringLiteral("w"), QString::fromLatin1(leftover::encode({leftover::currentWriter(), {}})));
    return line(o);
}

QByteArray traceFileLine(const QString& run, const QString& folder, const JournalRun::TraceFile& file) {
    QJsonObject o = head("traceFile", run);
    o.insert(QStringLiteral("dir"), folder);
    o.insert(QStringLiteral("name"), file.name);
    o.insert(QStringLiteral("at"), json::fromDate(file.generated));
    return line(o);
}

QByteArray statsLine(const QString& run, const AllTimeStats& before, const AllTimeStats& after) {
    QJsonObject o = head("stats", run);
    o.insert(QStringLiteral("from"), before.toJson());
    o.insert(QStringLiteral("to"), after.toJson());
    return line(o);
}

QByteArray failedLine(const QString& run, int seq) {
    QJsonObject o = head("failed", run);
    o.insert(QStringLiteral("n"), seq);
    return line(o);
}

QByteArray entryLine(const AuditLogEntry& entry) {
    QJsonObject o;
    o.insert(QStringLiteral("k"), QStringLiteral("entry"));
    o.insert(QStringLiteral("e"), entry.toJson());
    return line(o);
}

} // namespace reference

// Names built from the pieces that need care: escapes, control characters, non-ASCII of every
// UTF-8 length, surrogate pairs and lone surrogates.
class Names {
public:
    explicit Names(quint32 seed) : m_random(seed) {}

    QString name() {
        static const QStringList pieces = {QStringLiteral("clip"),
                                           QStringLiteral("\""),
                                           QStringLiteral("\\"),
                                           QStringLiteral("/"),
                                           QStringLiteral("\n\r\t\b\f"),
                                           QString(QChar(0x01)) + QChar(0x1f) + QChar(0x7f),
                                           QString(QChar(0)),
                                           QStringLiteral("é"),
                                           QStringLiteral("素材 フォルダ"),
                                           QStringLiteral("😀🎬"),
                                           QStringLiteral("\u2028\u00a0\ufeff\uffff"),
                                           QString(QChar(0xd800)),
                                           QString(QChar(0xdc00)) + "x",
                                           QStringLiteral(" "),
                                           QStringLiteral(".mov")};
        QString out;
        const int count = int(m_random.bounded(6));
        for (int i = 0; i < count; ++i)
            out += pieces[int(m_random.bounded(pieces.size()))];
        return out;
    }
    std::optional<QString> maybe() { return coin() ? std::optional(name()) : std::nullopt; }
    bool coin() { return m_random.bounded(2) == 1; }

    qint64 size() {
        static const qint64 edges[] = {0,
                                       1,
                                       -1,
                                       4096,
                                       qint64(1) << 53,
                                       (qint64(1) << 53) + 1,
                                       std::numeric_limits<qint64>::max(),
                                       std::numeric_limits<qint64>::min()};
        return coin() ? edges[m_random.bounded(int(std::size(edges)))] : qint64(m_random.generate64() >> 20);
    }

    QDateTime date() {
        static const qint64 edges[] = {0,
                                       978307200000,
                                       978307200001,
                                       978307199999,
                                       -62135596800000,
                                       253402300799999,
                                       1765000000000,
                                       1765000000123};
        const qint64 ms = coin() ? edges[m_random.bounded(int(std::size(edges)))]
                                 : 1000000000000 + qint64(m_random.bounded(1000000000)) * 1000 +
                                       (coin() ? 0 : m_random.bounded(1000));
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    }

    AuditLogEntry entry() {
        AuditLogEntry e;
        e.timestamp = date();
        e.action = coin() ? AuditAction::movedToTrash : AuditAction::deletedPermanently;
        e.filePath = name();
        e.fileName = name();
        e.fileSize = size();
        for (int i = int(m_random.bounded(3)); i > 0; --i)
            e.projectNames.append(name());
        e.destinationPath = maybe();
        return e;
    }

    FileRecord record() {
        FileRecord r;
        if (coin())
            r.entry = entry();
        r.target = coin() ? name() : QString();
        r.destination = maybe();
        if (coin())
            r.identity = FileIdentity{m_random.generate64(), m_random.generate64(), size(), size()};
        r.files = size();
        r.bytes = size();
        r.traced = coin();
        if (coin())
            r.tracedAt = date();
        r.member = maybe();
        return r;
    }

    AllTimeStats stats() {
        AllTimeStats s{size(), size(), size(), size(), size(), size(), std::nullopt};
        if (coin())
            s.firstUsedDate = date();
        return s;
    }

    QRandomGenerator m_random;
};

TEST(RecordLineWriter, EveryLineHasTheBytesOfTheDocumentForm) {
    Names gen(20261207);
    for (int i = 0; i < 3000; ++i) {
        const QString run = gen.name();
        const FileRecord record = gen.record();
        const int seq = int(gen.m_random.generate());
        const bool intent = gen.coin();
        ASSERT_EQ(RecordJournal::recordLine(run, seq, record, intent),
                  reference::recordLine(run, seq, record, intent));
        const auto at = gen.coin() ? std::optional(gen.date()) : std::nullopt;
        const auto destination = gen.maybe();
        ASSERT_EQ(RecordJournal::doneLine(run, seq, at, destination),
                  reference::doneLine(run, seq, at, destination));
        const AuditLogEntry entry = gen.entry();
        ASSERT_EQ(RecordJournal::entryLine(entry), reference::entryLine(entry));
        const AllTimeStats before = gen.stats();
        const AllTimeStats after = gen.stats();
        ASSERT_EQ(RecordJournal::statsLine(run, before, after), reference::statsLine(run, before, after));
        const JournalRun::TraceFile file{gen.name(), gen.date()};
        const QString folder = gen.name();
        ASSERT_EQ(RecordJournal::traceFileLine(run, folder, file),
                  reference::traceFileLine(run, folder, file));
    }
    EXPECT_EQ(RecordJournal::runLine(QStringLiteral("a\"b"), RecordKind::transcode, true),
              reference::runLine(QStringLiteral("a\"b"), "transcode", true));
    EXPECT_EQ(RecordJournal::runLine({}, RecordKind::trash, false), reference::runLine({}, "trash", false));
    EXPECT_EQ(RecordJournal::failedLine(QStringLiteral("é"), -7),
              reference::failedLine(QStringLiteral("é"), -7));
    EXPECT_EQ(RecordJournal::closedLine(QStringLiteral("r/1")),
              reference::line(reference::head("closed", "r/1")));
}

TEST(RecordLineWriter, NumbersAndEscapesMatchTheDocumentForm) {
    const double values[] = {0.0,
                             -0.0,
                             0.5,
                             -0.001,
                             1e-7,
                             123456.789,
                             9007199254740992.0,
                             9007199254740994.0,
                             1e16,
                             -1e21,
                             1e300,
                             5e-324,
                             std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             786000000.123,
                             -978307200.0,
                             1.0000001,
                             -8589934591.75,
                             8589934592.5,
                             0.999};
    for (const double v : values) {
        QByteArray direct;
        RecordLineWriter::appendNumber(direct, v);
        const QByteArray viaDocument = json::encode(QJsonArray{v});
        EXPECT_EQ("[" + direct + "]", viaDocument) << v;
    }
    QString every;
    for (char16_t u = 0; u < 0x3000; ++u)
        every.append(QChar(u));
    every += QStringLiteral("🎬") + QChar(0xdbff) + QChar(0xdfff) + QChar(0xdfff) + QChar(0xd800);
    QByteArray direct = "[\"";
    RecordLineWriter::appendEscaped(direct, every);
    EXPECT_EQ(direct + "\"]", json::encode(QJsonArray{every}));
}

} // namespace
} // namespace tarnwick
