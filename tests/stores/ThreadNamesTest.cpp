// Every thread of ours says whose it is in `top -H`, a debugger or a stack dump: a pool's threads
// carry the pool's name, and the threads of their own theirs.
#include "platform/ThreadNames.h"
#include "model/MediaFile.h"
#include "platform/AppLog.h"
#include "platform/ChildProcess.h"
#include "platform/ThreadPools.h"
#include "platform/WatchdogPool.h"
#include "stores/AuditLogTail.h"
#include "stores/RecordJournal.h"
#include "support/ThreadNameSampler.h"

#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

TEST(ThreadNames, APoolsThreadsCarryItsName) {
    QThreadPool pool;
    nameThreads(pool, "NamedForTest");
    EXPECT_EQ(QtConcurrent::run(&pool, currentThreadName).result(), QStringLiteral("NamedForTest"));
    EXPECT_EQ(QtConcurrent::run(&walkPool(), currentThreadName).result(), QStringLiteral("FolderWalks"));

    WatchdogPool watched("WatchedForTest", 2, std::chrono::seconds(60));
    QStringList names;
    watched.map<QString>(
        2, [](int, WatchdogPool::Watch&) { return currentThreadName(); },
        [&](int, WatchdogPool::Outcome, const QString* name) { names.append(name ? *name : QString()); });
    EXPECT_EQ(names, QStringList(2, QStringLiteral("WatchedForTest")));
}

// The log's writer, the children's spawner, the journal's syncer and the audit tail's spiller;
// none of their work leaves a thread with an inherited name or Qt's default one.
TEST(ThreadNames, TheThreadsOfTheirOwnCarryTheirNames) {
    ThreadNameSampler sampler;
    AppLog::info(QStringLiteral("Threads are named"));
    AppLog::flush();
    ChildProcess child;
    EXPECT_EQ(child.run(QStringLiteral("/bin/true"), {}, {}, {}, 30000).kind, ChildExit::Kind::exited);

    QTemporaryDir dir;
    RecordJournal journal(dir.filePath(QStringLiteral("audit_log.journal")));
    QString syncer;
    journal.setSyncHookForTesting([&syncer](const QString&, qint64) { syncer = currentThreadName(); });
    ASSERT_TRUE(journal.append("{}\n"));
    EXPECT_TRUE(journal.awaitSync(journal.syncLater()));
    EXPECT_EQ(syncer, QStringLiteral("JournalSyncer"));

    AuditLogTail tail(dir.path());
    MediaFile file;
    file.path = dir.filePath(QStringLiteral("clip.mov"));
    QList<AuditLogEntry> entries;
    for (int i = 0; i < 200; ++i)
        entries.append(AuditLogEntry::make(AuditAction::deletedPermanently, file, std::nullopt));
    tail.add(entries);
    tail.waitUntilSpilled();
    EXPECT_EQ(tail.heldInMemory(), 0);

    // Both live as long as the process.
    const QList<QString> living = threadNames().values();
    EXPECT_TRUE(living.contains(QStringLiteral("AppLogWriter")));
    EXPECT_TRUE(living.contains(QStringLiteral("ChildSpawner")));
    sampler.stop();
    EXPECT_TRUE(sampler.unnamed().isEmpty()) << sampler.unnamed().join(", ").toStdString() << "; seen "
                                             << QStringList(sampler.seen().values()).join(", ").toStdString();
}
