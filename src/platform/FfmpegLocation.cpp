#include "platform/FfmpegLocation.h"

#include "platform/SandboxEnvironment.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace tarnwick {

namespace {

bool regularFileExists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

QString ffmpegIn(const QString& dir) {
    return dir.endsWith(QLatin1Char('/')) ? dir + QStringLiteral("ffmpeg") : dir + QStringLiteral("/ffmpeg");
}

} // namespace

FfmpegSearch defaultFfmpegSearch() {
    FfmpegSearch search;
    search.overrideDir = qEnvironmentVariable("TARNWICK_FFMPEG_DIR");
    if (QCoreApplication::instance())
        search.helpersDir = QCoreApplication::applicationDirPath() + QStringLiteral("/helpers");
    search.sandboxed = sandbox::isSandboxed();
    search.systemPaths = {QStringLiteral("/usr/local/bin/ffmpeg"), QStringLiteral("/usr/bin/ffmpeg")};
    return search;
}

std::optional<QString> findFfmpeg(const FfmpegSearch& search) {
    const auto exists = search.fileExists ? search.fileExists : regularFileExists;
    if (!search.overrideDir.isEmpty()) {
        const QString candidate = ffmpegIn(search.overrideDir);
        return exists(candidate) ? std::optional<QString>(candidate) : std::nullopt;
    }
    if (!search.helpersDir.isEmpty()) {
        const QString bundled = ffmpegIn(search.helpersDir);
        if (exists(bundled))
            return bundled;
    }
    if (search.sandboxed)
        return std::nullopt;
    for (const QString& candidate : search.systemPaths) {
        if (exists(candidate))
            return candidate;
    }
    return std::nullopt;
}

std::optional<QString> bundledFfmpegPath() {
    FfmpegSearch search = defaultFfmpegSearch();
    search.sandboxed = true; // the helpers folder (or the override) only
    return findFfmpeg(search);
}

QString ffprobePathBeside(const QString& ffmpegPath) {
    const int slash = ffmpegPath.lastIndexOf(QLatin1Char('/'));
    return (slash < 0 ? QString() : ffmpegPath.left(slash)) + QStringLiteral("/ffprobe");
}

} // namespace tarnwick
