#include "platform/DirectoryWalker.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace tarnwick;

namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

struct Seen {
    QStringList relative;
    QList<int> levels;
    QList<DirectoryWalker::EntryType> types;
};

Seen walk(const QString& root, const DirectoryWalker::Options& options,
          DirectoryWalker::Result* result = nullptr) {
    Seen seen;
    const auto walked = DirectoryWalker::walk(root, options, [&](const DirectoryWalker::Entry& e) {
        seen.relative.append(e.path().mid(root.size() + 1));
        seen.levels.append(e.level);
        seen.types.append(e.type);
        return DirectoryWalker::Action::proceed;
    });
    if (result)
        *result = walked;
    return seen;
}

class DirectoryWalkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path();
        touch(root + "/b.mov");
        touch(root + "/a/one.mov");
        touch(root + "/a/deep/two.mov");
        touch(root + "/a/deep/deeper/three.mov");
        touch(root + "/.hidden/secret.mov");
        touch(root + "/.dot.mov");
        touch(root + "/Show.app/Contents/inside.mov");
    }
    QTemporaryDir dir;
    QString root;
};

TEST_F(DirectoryWalkerTest, DeepWalkIsDepthFirstInNameOrderAndSkipsHiddenEntriesAndPackageContents) {
    const Seen seen = walk(root, {});
    EXPECT_EQ(seen.relative,
              (QStringList{"Show.app", "a", "a/deep", "a/deep/deeper", "a/deep/deeper/three.mov",
                           "a/deep/two.mov", "a/one.mov", "b.mov"}));
    EXPECT_EQ(seen.levels, (QList<int>{1, 1, 2, 3, 4, 3, 2, 1}));
    EXPECT_EQ(seen.types.first(), DirectoryWalker::EntryType::directory);
    EXPECT_EQ(seen.types.last(), DirectoryWalker::EntryType::regularFile);
    // The same folder gives the same order on every run.
    EXPECT_EQ(walk(root, {}).relative, seen.relative);
}

TEST_F(DirectoryWalkerTest, ShallowListingAndHiddenEntriesWhenAsked) {
    DirectoryWalker::Options options;
    options.recursive = false;
    options.skipHidden = false;
    EXPECT_EQ(walk(root, options).relative, (QStringList{".dot.mov", ".hidden", "Show.app", "a", "b.mov"}));
    options.recursive = true;
    options.skipPackages = false;
    const Seen all = walk(root, options);
    EXPECT_TRUE(all.relative.contains(".hidden/secret.mov"));
    EXPECT_TRUE(all.relative.contains("Show.app/Contents/inside.mov"));
}

TEST_F(DirectoryWalkerTest, DepthLimitListsNothingBelowIt) {
    DirectoryWalker::Options options;
    options.maxDepth = 2;
    const Seen seen = walk(root, options);
    EXPECT_EQ(seen.relative, (QStringList{"Show.app", "a", "a/deep", "a/one.mov", "b.mov"}));
    EXPECT_EQ(*std::max_element(seen.levels.cbegin(), seen.levels.cend()), 2);
}

TEST_F(DirectoryWalkerTest, EntryCapStopsOnTheEntryPastTheCap) {
    DirectoryWalker::Options options;
    options.entryCap = 3;
    DirectoryWalker::Result result;
    EXPECT_EQ(walk(root, options, &result).relative, (QStringList{"Show.app", "a", "a/deep"}));
    EXPECT_TRUE(result.capReached);
    EXPECT_EQ(result.entriesListed, 3);
    options.entryCap = 8; // exactly the tree: no cap reached
    walk(root, options, &result);
    EXPECT_FALSE(result.capReached);
    EXPECT_EQ(result.entriesListed, 8);
    options.entryCap = 0;
    EXPECT_TRUE(walk(root, options, &result).relative.isEmpty());
    EXPECT_TRUE(result.capReached);
}

TEST_F(DirectoryWalkerTest, VisitorSkipsDescendantsOrStopsAndCancelStopsTheWalk) {
    QStringList seen;
    DirectoryWalker::walk(root, {}, [&](const DirectoryWalker::Entry& e) {
        seen.append(e.name());
        if (e.name() == QLatin1String("a"))
            return DirectoryWalker::Action::skipDescendants;
        return e.name() == QLatin1String("b.mov") ? DirectoryWalker::Action::stop
                                                  : DirectoryWalker::Action::proceed;
    });
    EXPECT_EQ(seen, (QStringList{"Show.app", "a", "b.mov"}));

    std::atomic_bool cancel{false};
    DirectoryWalker::Options options;
    options.cancel = &cancel;
    int visited = 0;
    const auto result = DirectoryWalker::walk(root, options, [&](const DirectoryWalker::Entry&) {
        if (++visited == 2)
            cancel = true;
        return DirectoryWalker::Action::proceed;
    });
    EXPECT_EQ(visited, 2);
    EXPECT_TRUE(result.cancelled);
}

TEST_F(DirectoryWalkerTest, LinksAreReportedNotFollowedSoALoopCannotTrapTheWalk) {
    ASSERT_EQ(::symlink(QFile::encodeName(root).constData(), QFile::encodeName(root + "/a/loop").constData()),
              0);
    ASSERT_EQ(::symlink("one.mov", QFile::encodeName(root + "/a/alias.mov").constData()), 0);
    const Seen seen = walk(root, {});
    const qsizetype loop = seen.relative.indexOf("a/loop");
    ASSERT_GE(loop, 0);
    EXPECT_EQ(seen.types[loop], DirectoryWalker::EntryType::symbolicLink);
    EXPECT_EQ(seen.types[seen.relative.indexOf("a/alias.mov")], DirectoryWalker::EntryType::symbolicLink);
    EXPECT_FALSE(std::any_of(seen.relative.cbegin(), seen.relative.cend(),
                             [](const QString& p) { return p.startsWith("a/loop/"); }));
}

TEST_F(DirectoryWalkerTest, RegularFilesOnlyStillWalksFoldersAndTakesLinksToFiles) {
    ASSERT_EQ(::symlink("one.mov", QFile::encodeName(root + "/a/alias.mov").constData()), 0);
    ASSERT_EQ(::symlink("deep", QFile::encodeName(root + "/a/folder-link").constData()), 0);
    ASSERT_EQ(::symlink("gone.mov", QFile::encodeName(root + "/a/dangling.mov").constData()), 0);
    DirectoryWalker::Options options;
    options.regularFilesOnly = true;
    DirectoryWalker::Result result;
    EXPECT_EQ(walk(root, options, &result).relative, (QStringList{"a/alias.mov", "a/deep/deeper/three.mov",
                                                                  "a/deep/two.mov", "a/one.mov", "b.mov"}));
    EXPECT_EQ(result.entriesListed, 11); // every entry listed counts, delivered or not
}

TEST_F(DirectoryWalkerTest, UnreadableFoldersArePassedOverAndAMissingRootIsReported) {
    DirectoryWalker::Result result;
    walk(root + "/missing", {}, &result);
    EXPECT_FALSE(result.rootReadable);
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    QFile::setPermissions(root + "/a/deep", QFileDevice::Permissions());
    const Seen seen = walk(root, {}, &result);
    QFile::setPermissions(root + "/a/deep",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_TRUE(seen.relative.contains("a/deep"));
    EXPECT_TRUE(seen.relative.contains("b.mov"));
    EXPECT_FALSE(seen.relative.contains("a/deep/two.mov"));
    EXPECT_EQ(result.unreadableFolders, 1);
}

TEST(PackageExtensions, BundlesAreRecognisedByExtensionInAnyCase) {
    EXPECT_TRUE(isPackageName("Editor.APP"));
    EXPECT_TRUE(isPackageName("Show.fcpbundle"));
    EXPECT_FALSE(isPackageName("A001.RDC")); // camera folders hold media and are walked
    EXPECT_FALSE(isPackageName("Footage"));
    EXPECT_TRUE(packageExtensions().contains("photoslibrary"));
}

} // namespace
