#include "platform/PathText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace path = tarnwick::path;

namespace {

struct Row {
    const char* input;
    const char* expected;
};

template <typename F> void expectRows(F f, std::initializer_list<Row> rows) {
    for (const Row& row : rows)
        EXPECT_EQ(f(QString::fromUtf8(row.input)), QString::fromUtf8(row.expected)) << "input: " << row.input;
}

} // namespace

TEST(PathText, LastComponentIgnoresTrailingSlashes) {
    expectRows(path::lastPathComponent, {{"/tmp/scratch.tiff", "scratch.tiff"},
                                         {"/tmp/scratch", "scratch"},
                                         {"/tmp/", "tmp"},
                                         {"scratch///", "scratch"},
                                         {"/", "/"},
                                         {"///", "/"},
                                         {"", ""},
                                         {"clip.mov", "clip.mov"}});
}

TEST(PathText, ExtensionNeedsANameBeforeAndTextAfterTheDot) {
    expectRows(path::pathExtension, {{"/tmp/scratch.tiff", "tiff"},
                                     {".scratch.tiff", "tiff"},
                                     {"/tmp/scratch", ""},
                                     {"/tmp/", ""},
                                     {"/tmp/.hidden", ""},
                                     {"/tmp/name.", ""},
                                     {"/tmp/scratch..tiff", "tiff"},
                                     {"/a.b/clip", ""},
                                     {"/a/A001.RDC/", "RDC"},
                                     {"/a/..", ""}});
}

TEST(PathText, DeletingLastComponentKeepsTheRoot) {
    expectRows(path::deletingLastPathComponent, {{"/tmp/scratch.tiff", "/tmp"},
                                                 {"/tmp/lock/", "/tmp"},
                                                 {"/tmp/", "/"},
                                                 {"/tmp", "/"},
                                                 {"/", "/"},
                                                 {"scratch.tiff", ""},
                                                 {"a/b", "a"},
                                                 {"/x/y//clip.mov", "/x/y"}});
}

TEST(PathText, DeletingExtensionLeavesDotFilesAlone) {
    expectRows(path::deletingPathExtension, {{"/tmp/scratch.tiff", "/tmp/scratch"},
                                             {"/tmp/", "/tmp"},
                                             {"scratch.bundle/", "scratch"},
                                             {"scratch..tiff", "scratch."},
                                             {".tiff", ".tiff"},
                                             {"/", "/"},
                                             {"/a.b/clip", "/a.b/clip"}});
}

TEST(PathText, AppendingJoinsWithOneSlash) {
    EXPECT_EQ(path::appendingPathComponent("/tmp", "scratch.tiff"), "/tmp/scratch.tiff");
    EXPECT_EQ(path::appendingPathComponent("/tmp/", "scratch.tiff"), "/tmp/scratch.tiff");
    EXPECT_EQ(path::appendingPathComponent("/", "scratch.tiff"), "/scratch.tiff");
    EXPECT_EQ(path::appendingPathComponent("", "scratch.tiff"), "scratch.tiff");
    EXPECT_EQ(path::appendingPathComponent("/tmp", "/sub/"), "/tmp/sub");
}

TEST(PathText, StandardizingRemovesDotsAndDoubledSlashes) {
    expectRows(path::standardizingPath, {{"/a//b/./c/", "/a/b/c"},
                                         {"/a/b/../c", "/a/c"},
                                         {"/../a", "/a"},
                                         {"/", "/"},
                                         {"a/../b", "a/../b"},
                                         {"", ""}});
    EXPECT_EQ(path::standardizingPath("~/Movies"), QDir::homePath() + "/Movies");
    EXPECT_EQ(path::standardizingPath("~"), QDir::homePath());
}

TEST(PathText, ResolvesLinksOfTheLongestExistingPrefix) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString real = dir.path() + "/real folder";
    ASSERT_TRUE(QDir().mkpath(real));
    ASSERT_TRUE(QFile::link(real, dir.path() + "/link"));
    const QString base = path::resolvingSymlinksInPath(dir.path());

    // The file itself need not exist: the existing prefix is resolved, the rest appended.
    EXPECT_EQ(path::resolvingSymlinksInPath(dir.path() + "/link/missing/clip.mov"),
              base + "/real folder/missing/clip.mov");
    EXPECT_EQ(path::resolvingSymlinksInPath(dir.path() + "//link/./"), base + "/real folder");
    EXPECT_EQ(path::resolvingSymlinksInPath("relative/clip.mov"), "relative/clip.mov");
    EXPECT_EQ(path::resolvingSymlinksInPath("/no-such-root-folder/a"), "/no-such-root-folder/a");
}

TEST(PathText, ResolvesLinksBeforeGoingUp) {
    // "deep/link" points at "elsewhere/inner": ".." after the link is the target's parent, as the
    // system opens it, not "deep".
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/elsewhere/inner"));
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/deep"));
    ASSERT_TRUE(QFile::link(dir.path() + "/elsewhere/inner", dir.path() + "/deep/link"));
    const QString base = path::resolvingSymlinksInPath(dir.path());
    EXPECT_EQ(path::resolvingSymlinksInPath(dir.path() + "/deep/link/../clip.mov"),
              base + "/elsewhere/clip.mov");
    EXPECT_EQ(path::resolvingSymlinksInPath(dir.path() + "/deep/link/.."), base + "/elsewhere");
    EXPECT_EQ(path::resolvingSymlinksInPath(dir.path() + "/deep/link/missing/../a/./b.mov"),
              base + "/elsewhere/inner/a/b.mov");
    EXPECT_EQ(path::resolvingSymlinksInPath(dir.path() + "/deep/./../deep/link"), base + "/elsewhere/inner");
}
