#include "platform/FfmpegLocation.h"

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

TEST(FfmpegLocation, HelpersFolderWinsOverSystemPaths) {
    QTemporaryDir dir;
    FfmpegSearch search;
    search.helpersFolder = dir.filePath(QStringLiteral("helpers"));
    search.systemPaths = {touch(dir.filePath(QStringLiteral("usr/bin/ffmpeg")))};
    EXPECT_EQ(findFfmpeg(search)->path, search.systemPaths.first());
    const QString bundled = touch(dir.filePath(QStringLiteral("helpers/ffmpeg")));
    const auto found = findFfmpeg(search);
    EXPECT_EQ(found->path, bundled);
    EXPECT_EQ(found->source, FfmpegLocation::Source::helpers);
    EXPECT_EQ(ffprobeBeside(bundled), dir.filePath(QStringLiteral("helpers/ffprobe")));
}

TEST(FfmpegLocation, SandboxStopsBeforeSystemPaths) {
    QTemporaryDir dir;
    FfmpegSearch search;
    search.sandboxed = true;
    search.systemPaths = {touch(dir.filePath(QStringLiteral("ffmpeg")))};
    EXPECT_FALSE(findFfmpeg(search));
}

TEST(FfmpegLocation, DanglingLinkIsPassedOverAndWorkingLinkKeptAsListed) {
    QTemporaryDir dir;
    const QString dangling = dir.filePath(QStringLiteral("a/ffmpeg"));
    QDir().mkpath(dir.filePath(QStringLiteral("a")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("missing")), dangling));
    const QString real = touch(dir.filePath(QStringLiteral("real/ffmpeg")));
    const QString link = dir.filePath(QStringLiteral("b/ffmpeg"));
    QDir().mkpath(dir.filePath(QStringLiteral("b")));
    ASSERT_TRUE(QFile::link(real, link));
    FfmpegSearch search;
    search.systemPaths = {dangling, link};
    EXPECT_EQ(findFfmpeg(search)->path, link);
}

TEST(FfmpegLocation, OverrideFolderIsTheOnlyPlaceLooked) {
    QTemporaryDir dir;
    FfmpegSearch search;
    search.overrideFolder = dir.filePath(QStringLiteral("empty"));
    search.helpersFolder = QFileInfo(touch(dir.filePath(QStringLiteral("helpers/ffmpeg")))).path();
    EXPECT_FALSE(findFfmpeg(search));
    touch(dir.filePath(QStringLiteral("empty/ffmpeg")));
    EXPECT_EQ(findFfmpeg(search)->source, FfmpegLocation::Source::environment);
}
