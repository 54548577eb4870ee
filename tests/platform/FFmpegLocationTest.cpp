#include "platform/FFmpegLocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

QString touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    return path;
}

} // namespace

TEST(FFmpegLocation, HelpersFolderWinsOverSystemPaths) {
    QTemporaryDir dir;
    FFmpegSearch search;
    search.helpersFolder = dir.filePath(QStringLiteral("helpers"));
    search.systemPaths = {touch(dir.filePath(QStringLiteral("usr/bin/ffmpeg")))};
    EXPECT_EQ(findFFmpeg(search)->path, search.systemPaths.first());
    const QString bundled = touch(dir.filePath(QStringLiteral("helpers/ffmpeg")));
    const auto found = findFFmpeg(search);
    EXPECT_EQ(found->path, bundled);
    EXPECT_EQ(found->source, FFmpegLocation::Source::helpers);
    EXPECT_EQ(ffprobeBeside(bundled), dir.filePath(QStringLiteral("helpers/ffprobe")));
}

TEST(FFmpegLocation, SandboxStopsBeforeSystemPaths) {
    QTemporaryDir dir;
    FFmpegSearch search;
    search.sandboxed = true;
    search.systemPaths = {touch(dir.filePath(QStringLiteral("ffmpeg")))};
    EXPECT_FALSE(findFFmpeg(search));
}

TEST(FFmpegLocation, DanglingLinkIsPassedOverAndWorkingLinkKeptAsListed) {
    QTemporaryDir dir;
    const QString dangling = dir.filePath(QStringLiteral("a/ffmpeg"));
    QDir().mkpath(dir.filePath(QStringLiteral("a")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("missing")), dangling));
    const QString real = touch(dir.filePath(QStringLiteral("real/ffmpeg")));
    const QString link = dir.filePath(QStringLiteral("b/ffmpeg"));
    QDir().mkpath(dir.filePath(QStringLiteral("b")));
    ASSERT_TRUE(QFile::link(real, link));
    FFmpegSearch search;
    search.systemPaths = {dangling, link};
    EXPECT_EQ(findFFmpeg(search)->path, link);
}

TEST(FFmpegLocation, OverrideFolderIsTheOnlyPlaceLooked) {
    QTemporaryDir dir;
    FFmpegSearch search;
    search.overrideFolder = dir.filePath(QStringLiteral("empty"));
    search.helpersFolder = QFileInfo(touch(dir.filePath(QStringLiteral("helpers/ffmpeg")))).path();
    EXPECT_FALSE(findFFmpeg(search));
    touch(dir.filePath(QStringLiteral("empty/ffmpeg")));
    EXPECT_EQ(findFFmpeg(search)->source, FFmpegLocation::Source::environment);
}
