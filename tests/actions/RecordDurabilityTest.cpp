// The order of writes a power cut can undo: no file is trashed, deleted or moved before the journal
// line that names it was synced. The file operations and the journal's syncs are watched as they
// happen: each destructive call must find its target among the intents the last sync made durable.
#include "actions/RemovalRun.h"
#include "stores/RecordRun.h"
#include "support/CleanupHarness.h"
#include "support/MoveHarness.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

using Op = FaultInjectingFileOperations::Op;

// The intents each sync made durable, against the destructive calls in the order they come. A sync
// off the stepping thread is held until every file whose intent was durable before it has had its
// step: a run that went on without waiting for it would step a file of its batch now, unsynced.
class DurabilityWatch {
public:
    explicit DurabilityWatch(CleanupHarness& h) {
        h.audit.journal().setSyncHookForTesting([this](const QString& file, qint64 bytes) {
            QFile journal(file);
            if (!journal.open(QIODevice::ReadOnly))
                return;
            QSet<QString> intents;
            for (const QByteArray& line : journal.read(bytes).split('\n')) {
                const QJsonObject o = QJsonDocument::fromJson(line).object();
                if (o.value(QStringLiteral("k")).toString() == QLatin1String("intent"))
                    intents.insert(o.value(QStringLiteral("p")).toString());
            }
            std::unique_lock lock(m_mutex);
            if (std::this_thread::get_id() != m_stepThread) {
                const qsizetype before = m_durable.size();
                // The way out of a run that stopped early: the test then fails on its counts.
                m_stepped.wait_for(lock, std::chrono::seconds(30), [&] { return m_steps >= before; });
            }
            m_durable.unite(intents);
            ++m_syncs;
        });
        h.files->setBeforeEach([this](Op op, const QString& path) {
            if (op != Op::removeFile && op != Op::removeTree && op != Op::moveToTrash &&
                op != Op::moveNoReplace)
                return;
            const std::lock_guard lock(m_mutex);
            m_stepThread = std::this_thread::get_id();
            ++m_steps;
            if (!m_durable.contains(path))
                m_early.append(path);
            m_stepped.notify_all();
        });
    }

    QStringList early() const {
        const std::lock_guard lock(m_mutex);
        return m_early;
    }
    int steps() const {
        const std::lock_guard lock(m_mutex);
        return m_steps;
    }
    int syncs() const {
        const std::lock_guard lock(m_mutex);
        return m_syncs;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_stepped;
    std::thread::id m_stepThread;
    QSet<QString> m_durable;
    QStringList m_early;
    int m_steps = 0;
    int m_syncs = 0;
};

enum class Kind { trash, deletion, move };

// More files than one batch of intents, and a file with a second name, which takes a step of its own.
QList<MediaFile> stageFiles(CleanupHarness& h, int count) {
    QList<MediaFile> files;
    for (int i = 0; i < count; ++i)
        files.append(h.makeFile(QStringLiteral("Day %1/clip %2.mov").arg(i % 4).arg(i), 8));
    files.append(h.makeFile(QStringLiteral("linked/clip.mov"), 8));
    const QString other = h.mediaPath(QStringLiteral("elsewhere.mov"));
    EXPECT_EQ(::link(QFile::encodeName(files.last().path).constData(), QFile::encodeName(other).constData()),
              0);
    h.stage(files, files);
    return files;
}

} // namespace

TEST(RecordDurability, EveryStepComesAfterTheSyncOfTheLineThatNamesIt) {
    for (const Kind run : {Kind::trash, Kind::deletion, Kind::move}) {
        SCOPED_TRACE(int(run));
        MoveHarness h;
        // The first batch's intents are synced before its steps, the next ones' while the steps of
        // the batch before go.
        const int count = 2 * int(RecordRun::intentBatch) + 44;
        const QList<MediaFile> files = stageFiles(h, count);
        DurabilityWatch watch(h);
        const ActionResult result =
            run == Kind::move
                ? h.moveBin()
                : QCoro::waitFor(runRemoval(h.pm(), h.services(),
                                            run == Kind::trash ? RemovalMethod::trash
                                                               : RemovalMethod::deletePermanently));
        EXPECT_EQ(result.succeeded, files.size()) << result.errors.join('\n').toStdString();
        EXPECT_EQ(watch.steps(), files.size());
        const QStringList early = watch.early();
        EXPECT_TRUE(early.isEmpty()) << early.size() << " stepped before their line was synced, first "
                                     << early.value(0).toStdString();
        // One sync per batch of intents, not one per file.
        EXPECT_LT(watch.syncs(), 10);
    }
}
