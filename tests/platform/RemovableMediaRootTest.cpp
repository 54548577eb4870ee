#include "platform/RemovableMediaRoot.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;

TEST(RemovableMediaRoot, TakesTheFirstFolderThatExistsElseTheFallback) {
    QTemporaryDir dir;
    const QString media = dir.filePath(QStringLiteral("media/editor"));
    const QString run = dir.filePath(QStringLiteral("run/media/editor"));
    const QString mnt = dir.filePath(QStringLiteral("mnt"));
    QDir().mkpath(run);
    QDir().mkpath(mnt);
    EXPECT_EQ(firstExistingFolder({media, run, mnt}, QStringLiteral("/home/editor")), run);
    QDir().mkpath(media);
    EXPECT_EQ(firstExistingFolder({media, run, mnt}, QStringLiteral("/home/editor")), media);
    EXPECT_EQ(firstExistingFolder({dir.filePath(QStringLiteral("none"))}, QStringLiteral("/home/editor")),
              QStringLiteral("/home/editor"));
    // A file of that name is not a mount folder.
    QFile file(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(firstExistingFolder({file.fileName(), mnt}, QString()), mnt);
    EXPECT_EQ(removableMediaRoot(), removableMediaRoot()); // decided once
    EXPECT_FALSE(removableMediaRoot().isEmpty());
}
