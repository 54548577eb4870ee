#include "platform/TrashInfoAhead.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>
#include <mutex>

using namespace tarnwick;

namespace {

// An empty info for `path` in `dir`, as the helper's writer makes one.
std::optional<TrashInfoAhead::Prepared> emptyInfoIn(const QTemporaryDir& dir, const QByteArray& path) {
    const QByteArray info = QFile::encodeName(dir.filePath(QString::fromUtf8(path) + ".trashinfo"));
    QFile file(QFile::decodeName(info));
    if (!file.open(QIODevice::WriteOnly))
        return std::nullopt;
    return TrashInfoAhead::Prepared{info, {}, {}, {}, 0, 1};
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

} // namespace
