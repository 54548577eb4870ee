#include "platform/FFmpegLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tarnwick {

namespace {

bool existsResolved(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) // follows links: false for a dangling one
        return false;
    return !info.isDir();
}

} // namespace

FFmpegSearch FFmpegSearch::defaults() {
    FFmpegSearch search;
    if (qEnvironmentVariableIsSet(ffmpegFolderEnvironmentVariable))
        search.overrideFolder = qEnvironmentVariable(ffmpegFolderEnvironmentVariable);
    if (QCoreApplication::instance())
        search.helpersFolder =
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("helpers"));
    search.sandboxed = qEnvironmentVariableIsSet("APP_SANDBOX_CONTAINER_ID");
    // Debian installs ffmpeg in /usr/bin; a locally built one lands in /usr/local/bin.
    search.systemPaths = {QStringLiteral("/usr/local/bin/ffmpeg"), QStringLiteral("/usr/bin/ffmpeg")};
    return search;
}

std::optional<FFmpegLocation> findFFmpeg(const FFmpegSearch& search) {
    if (search.overrideFolder) {
        const QString path = QDir(*search.overrideFolder).filePath(QStringLiteral("ffmpeg"));
        if (existsResolved(path))
            return FFmpegLocation{path, FFmpegLocation::Source::environment};
        return std::nullopt;
    }
    if (!search.helpersFolder.isEmpty()) {
        const QString path = QDir(search.helpersFolder).filePath(QStringLiteral("ffmpeg"));
        if (existsResolved(path))
            return FFmpegLocation{path, FFmpegLocation::Source::helpers};
    }
    if (search.sandboxed)
        return std::nullopt;
    for (const QString& path : search.systemPaths) {
        if (QFileInfo(path).isSymLink() || QFileInfo::exists(path)) {
            if (existsResolved(path))
                return FFmpegLocation{path, FFmpegLocation::Source::system};
        }
    }
    return std::nullopt;
}

QString ffprobeBeside(const QString& ffmpegPath) {
    return QFileInfo(ffmpegPath).path() + QStringLiteral("/ffprobe");
}

} // namespace tarnwick
