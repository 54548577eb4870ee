#include "platform/StoreFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(StoreFolder, IsTarnwickInsideTheDataFolderAndIsCreated) {
    tarnwick::setStoreFolderOverride({});
    const QString folder = tarnwick::storeFolder();
    EXPECT_EQ(folder, QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Tarnwick");
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST(StoreFolder, OverrideIsCreatedWithItsParentsAndCanBeCleared) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString nested = dir.path() + "/a/b/Tarnwick";
    tarnwick::setStoreFolderOverride(nested);
    EXPECT_EQ(tarnwick::storeFolder(), nested);
    EXPECT_TRUE(QFileInfo(nested).isDir());
    tarnwick::setStoreFolderOverride({});
    EXPECT_NE(tarnwick::storeFolder(), nested);
}
