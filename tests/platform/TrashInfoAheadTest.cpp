#include "platform/TrashInfoAhead.h"

#include "support/HangWatchdog.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>

using namespace tarnwick;
using tarnwick::testing::HangWatchdog;

namespace {

// An empty info for `path` in `dir`, as the helper's writer makes one.
std::optional<TrashInfoAhead::Prepared> emptyInfoIn(const QTemporaryDir& dir, const QByteArray& path) {
    const QByteArray info = QFile::encodeName(dir.filePath(QString::fromUtf8(path) + ".trashinfo"));
    QFile file(QFile::decodeName(info));
    if (!file.open(QIODevice::WriteOnly))
        return std::nullopt;
    return TrashInfoAhead::Prepared{info, {}, {}, {}, 0, 1, {}};
}

// Infos the helper made for items never claimed go with their owner, also the one it was making as
// the owner went. The helper's progress is awaited through a gate, not a clock.
TEST(TrashInfoAhead, InfosNeverClaimedGoWithTheirOwner) {
    QTemporaryDir dir;
    std::promise<void> madeLast;
    const QByteArray last = "e.mov";
    {
        TrashInfoAhead ahead(
            [&](const QByteArray& path) {
                std::optional<TrashInfoAhead::Prepared> made = emptyInfoIn(dir, path);
                if (path == last)
                    madeLast.set_value();
                return made;
            },
            [](const QList<QByteArray>&) { return true; });
        ahead.expect({"b.mov", last});
        madeLast.get_future().wait();
        EXPECT_TRUE(QFile::exists(dir.filePath("b.mov.trashinfo")));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("b.mov.trashinfo")));
    EXPECT_FALSE(QFile::exists(dir.filePath("e.mov.trashinfo")));
}

// An info is handed out only once a sync took it; a sync that fails withdraws its infos, and the
// caller then makes its own.
TEST(TrashInfoAhead, AnInfoIsClaimedOnlyOnceItsSyncTookIt) {
    for (const bool syncWorks : {true, false}) {
        SCOPED_TRACE(syncWorks ? "sync works" : "sync fails");
        QTemporaryDir dir;
        std::mutex mutex;
        QSet<QByteArray> synced;
        int syncs = 0;
        TrashInfoAhead ahead([&](const QByteArray& path) { return emptyInfoIn(dir, path); },
                             [&](const QList<QByteArray>& infos) {
                                 const std::lock_guard lock(mutex);
                                 ++syncs;
                                 if (syncWorks)
                                     synced.unite(QSet<QByteArray>(infos.cbegin(), infos.cend()));
                                 return syncWorks;
                             });
        QList<QByteArray> paths;
        for (int i = 0; i < 300; ++i)
            paths.append("clip " + QByteArray::number(i) + ".mov");
        ahead.expect(paths);
        int claimed = 0;
        for (const QByteArray& path : std::as_const(paths)) {
            const std::optional<TrashInfoAhead::Prepared> prepared = ahead.claim(path);
            const std::lock_guard lock(mutex);
            if (prepared) {
                ++claimed;
                EXPECT_TRUE(synced.contains(prepared->infoPath)) << path.constData();
            }
        }
        const std::lock_guard lock(mutex);
        EXPECT_EQ(claimed, syncWorks ? 300 : 0);
        EXPECT_GE(syncs, 300 / TrashInfoAhead::syncGroup);
        EXPECT_LE(syncs, 300 / TrashInfoAhead::syncGroup + 2); // in groups, not one by one
        if (!syncWorks) {
            EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
        }
    }
}

// Items the helper cannot do ahead (a name taken, a folder, a file gone) at random places among
// the others: each is handed back to the caller, every other one is claimed once durable, and the
// run ends, with the helper's room smaller than a sync group too. No info outlives the run.
TEST(TrashInfoAhead, ItemsTheHelperSkipsAnywhereAreHandedBackAndTheRunEnds) {
    const HangWatchdog watchdog("a run with skipped items");
    QRandomGenerator random(20261208);
    for (const int depth : {TrashInfoAhead::defaultDepth, TrashInfoAhead::syncGroup + 1, 7}) {
        SCOPED_TRACE(depth);
        QTemporaryDir dir;
        QSet<QByteArray> skipped;
        QList<QByteArray> paths;
        for (int i = 0; i < 3000; ++i) {
            paths.append("clip " + QByteArray::number(i) + ".mov");
            // The 5th, a few in a row, and one in twenty besides.
            if (i == 4 || (i >= 700 && i < 704) || random.bounded(20) == 0)
                skipped.insert(paths.last());
        }
        std::mutex mutex;
        QSet<QByteArray> synced;
        TrashInfoAhead ahead(
            [&](const QByteArray& path) {
                return skipped.contains(path) ? std::nullopt : emptyInfoIn(dir, path);
            },
            [&](const QList<QByteArray>& infos) {
                const std::lock_guard lock(mutex);
                synced.unite(QSet<QByteArray>(infos.cbegin(), infos.cend()));
                return true;
            },
            depth);
        ahead.expect(paths);
        qsizetype claimed = 0;
        for (const QByteArray& path : std::as_const(paths)) {
            const std::optional<TrashInfoAhead::Prepared> prepared = ahead.claim(path);
            EXPECT_EQ(prepared.has_value(), !skipped.contains(path)) << path.constData();
            if (!prepared)
                continue;
            ++claimed;
            const std::lock_guard lock(mutex);
            EXPECT_TRUE(synced.contains(prepared->infoPath)) << path.constData();
            QFile::remove(QFile::decodeName(prepared->infoPath)); // its item "went" with it
        }
        EXPECT_EQ(claimed, paths.size() - skipped.size());
        ahead.expect({});
        EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    }
}

// A caller that stops claiming leaves the helper waiting for room: a new list, or none, lets it go,
// and what it made for nothing goes with it.
TEST(TrashInfoAhead, AHelperWaitingForRoomIsReleasedWhenTheRunEnds) {
    const HangWatchdog watchdog("a run that stopped claiming");
    QTemporaryDir dir;
    std::promise<void> full;
    std::atomic_int made = 0;
    TrashInfoAhead ahead(
        [&](const QByteArray& path) {
            if (++made == 8)
                full.set_value();
            return emptyInfoIn(dir, path);
        },
        [](const QList<QByteArray>&) { return true; }, 8);
    QList<QByteArray> paths;
    for (int i = 0; i < 100; ++i)
        paths.append("clip " + QByteArray::number(i) + ".mov");
    ahead.expect(paths);
    full.get_future().wait();
    ahead.expect({});
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    // A run after it is served as the first was.
    ahead.expect({"next.mov"});
    EXPECT_TRUE(ahead.claim("next.mov").has_value());
}

// A caller that passes over items whose group is being synced (files the run kept) leaves their
// infos to that sync until it is done: a sync finds every info it was given, so no group is
// withdrawn for the items passed over, and those infos go once it is done.
TEST(TrashInfoAhead, ItemsPassedOverWhileTheirGroupSyncsKeepTheirInfosUntilTheSyncIsDone) {
    const HangWatchdog watchdog("a claim past a group being synced");
    QTemporaryDir dir;
    const QByteArray firstInfo = QFile::encodeName(dir.filePath("clip 0.mov.trashinfo"));
    std::promise<void> firstSyncEntered;
    std::promise<void> firstSyncMayGo;
    std::shared_future<void> go = firstSyncMayGo.get_future().share();
    std::atomic_bool firstFoundEveryInfo = false;
    TrashInfoAhead ahead([&](const QByteArray& path) { return emptyInfoIn(dir, path); },
                         [&](const QList<QByteArray>& infos) {
                             const bool first = infos.contains(firstInfo);
                             if (first) {
                                 firstSyncEntered.set_value();
                                 go.wait();
                             }
                             // As the system's sync does: each info opened by its name.
                             const bool all =
                                 std::all_of(infos.cbegin(), infos.cend(), [](const QByteArray& info) {
                                     return QFile::exists(QFile::decodeName(info));
                                 });
                             if (first)
                                 firstFoundEveryInfo = all;
                             return all;
                         });
    QList<QByteArray> paths;
    for (int i = 0; i < TrashInfoAhead::syncGroup + 6; ++i)
        paths.append("clip " + QByteArray::number(i) + ".mov");
    ahead.expect(paths);
    firstSyncEntered.get_future().wait();
    // The first group is being synced; the caller passes over all of it to the last item, which the
    // next group's sync hands out.
    EXPECT_TRUE(ahead.claim(paths.last()).has_value());
    firstSyncMayGo.set_value();
    ahead.expect({});
    EXPECT_TRUE(firstFoundEveryInfo) << "an info passed over was removed while its sync ran";
    QStringList left = QDir(dir.path()).entryList(QDir::Files);
    left.removeOne(QString::fromUtf8(paths.last()) + ".trashinfo"); // claimed: the caller's
    EXPECT_TRUE(left.isEmpty()) << left.join(", ").toStdString();
}

} // namespace
