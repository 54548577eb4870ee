#include "model/SimilarFiles.h"
#include "model/MediaFile.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(SimilarFiles, GroupMemberReadsAsTheOtherPathsInOrder) {
    const auto group =
        SimilarFiles::Group::make({"/a/A001.mov", "/b/A001_proxy.mov", "/a/A001.mov", "/c/a001.mp4"});
    const SimilarFiles own(group, QStringLiteral("/a/A001.mov"));
    EXPECT_EQ(own.size(), 2);
    EXPECT_EQ(own.toList(), (QStringList{"/b/A001_proxy.mov", "/c/a001.mp4"}));
    EXPECT_FALSE(own.contains(QStringLiteral("/a/A001.mov")));
    EXPECT_TRUE(own == (QStringList{"/b/A001_proxy.mov", "/c/a001.mp4"}));
    EXPECT_FALSE(own == (QStringList{"/c/a001.mp4", "/b/A001_proxy.mov"}));

    const SimilarFiles other(group, QStringLiteral("/b/A001_proxy.mov"));
    EXPECT_EQ(other.size(), 3);
    EXPECT_TRUE(other.sharesStorageWith(own));
}

TEST(SimilarFiles, TakesPartInMediaFileEqualityByValue) {
    MediaFile a;
    a.path = QStringLiteral("/a/A001.mov");
    MediaFile b = a;
    b.id = QUuid::createUuid();
    a.similarFiles = SimilarFiles(SimilarFiles::Group::make({"/a/A001.mov", "/x/caf\u00e9.mov"}), a.path);
    b.similarFiles = QStringList{QStringLiteral("/x/cafe\u0301.mov")}; // decomposed accent
    EXPECT_EQ(a, b);
    b.similarFiles = QStringList{};
    EXPECT_NE(a, b);
    EXPECT_TRUE(b.similarFiles.isEmpty());
}
