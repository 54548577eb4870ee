#include "platform/TrashInfoAhead.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

using namespace tarnwick;

namespace {

// Infos the helper made for items never claimed go with their owner, also the one it was making as
// the owner went. The helper's progress is awaited through a gate, not a clock.
TEST(TrashInfoAhead, InfosNeverClaimedGoWithTheirOwner) {
    QTemporaryDir dir;
    std::promise<void> madeLast;
    const QByteArray last = "e.mov";
    {
        TrashInfoAhead ahead([&](const QByteArray& path) -> std::optional<TrashInfoAhead::Prepared> {
            const QByteArray info = QFile::encodeName(dir.filePath(QString::fromUtf8(path) + ".trashinfo"));
            QFile file(QFile::decodeName(info));
            if (!file.open(QIODevice::WriteOnly))
                return std::nullopt;
            if (path == last)
                madeLast.set_value();
            return TrashInfoAhead::Prepared{info, {}, {}, {}, 0, 1};
        });
        ahead.expect({"b.mov", last});
        madeLast.get_future().wait();
        EXPECT_TRUE(QFile::exists(dir.filePath("b.mov.trashinfo")));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("b.mov.trashinfo")));
    EXPECT_FALSE(QFile::exists(dir.filePath("e.mov.trashinfo")));
}

} // namespace
