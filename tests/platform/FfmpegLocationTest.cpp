#include "platform/FfmpegLocation.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace tarnwick;

namespace {

FfmpegSearch searchWith(QSet<QString> files) {
    FfmpegSearch search;
    search.helpersDir = QStringLiteral("/opt/Tarnwick/helpers");
    search.systemPaths = {QStringLiteral("/usr/local/bin/ffmpeg"), QStringLiteral("/usr/bin/ffmpeg")};
    search.fileExists = [files](const QString& path) { return files.contains(path); };
    return search;
}

} // namespace

TEST(FfmpegLocation, HelpersFolderComesBeforeTheSystemInOrder) {
    FfmpegSearch search = searchWith({"/opt/Tarnwick/helpers/ffmpeg", "/usr/bin/ffmpeg"});
    EXPECT_EQ(findFfmpeg(search), QStringLiteral("/opt/Tarnwick/helpers/ffmpeg"));
    search = searchWith({"/usr/local/bin/ffmpeg", "/usr/bin/ffmpeg"});
    EXPECT_EQ(findFfmpeg(search), QStringLiteral("/usr/local/bin/ffmpeg"));
    search = searchWith({"/usr/bin/ffmpeg"});
    EXPECT_EQ(findFfmpeg(search), QStringLiteral("/usr/bin/ffmpeg"));
    EXPECT_EQ(findFfmpeg(searchWith({})), std::nullopt);
}

TEST(FfmpegLocation, SandboxedProcessUsesOnlyTheHelpersFolder) {
    FfmpegSearch search = searchWith({"/usr/bin/ffmpeg"});
    search.sandboxed = true;
    EXPECT_EQ(findFfmpeg(search), std::nullopt);
    search = searchWith({"/opt/Tarnwick/helpers/ffmpeg", "/usr/bin/ffmpeg"});
    search.sandboxed = true;
    EXPECT_EQ(findFfmpeg(search), QStringLiteral("/opt/Tarnwick/helpers/ffmpeg"));
}

TEST(FfmpegLocation, OverrideFolderIsTheOnlyPlaceLookedAt) {
    FfmpegSearch search = searchWith({"/pinned/ffmpeg", "/opt/Tarnwick/helpers/ffmpeg", "/usr/bin/ffmpeg"});
    search.overrideDir = QStringLiteral("/pinned/");
    EXPECT_EQ(findFfmpeg(search), QStringLiteral("/pinned/ffmpeg"));
    search.overrideDir = QStringLiteral("/empty");
    EXPECT_EQ(findFfmpeg(search), std::nullopt);
}

TEST(FfmpegLocation, FfprobeIsLookedForBesideFfmpeg) {
    EXPECT_EQ(ffprobePathBeside(QStringLiteral("/usr/bin/ffmpeg")), QStringLiteral("/usr/bin/ffprobe"));
    EXPECT_EQ(ffprobePathBeside(QStringLiteral("/a b/helpers/ffmpeg")),
              QStringLiteral("/a b/helpers/ffprobe"));
}
