#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarnwick {

// Where the ffmpeg executable is looked for, in order. Previews and transcoding share this one rule.
struct FfmpegSearch {
    // TARNWICK_FFMPEG_DIR: when set, the only place looked at (a test or a packager pins ffmpeg).
    QString overrideDir;
    // The helpers folder beside the application's executable.
    QString helpersDir;
    // A sandboxed process uses only the helpers folder.
    bool sandboxed = false;
    QStringList systemPaths;
    // Defaults to "a regular file exists there".
    std::function<bool(const QString&)> fileExists;
};

// The search of this process: environment, the "helpers" folder beside the executable, the sandbox
// flag, and the system locations "/usr/local/bin/ffmpeg" then "/usr/bin/ffmpeg".
FfmpegSearch defaultFfmpegSearch();

std::optional<QString> findFfmpeg(const FfmpegSearch& search);

// The ffmpeg in the helpers folder of this process (the override folder when it is set), when present.
std::optional<QString> bundledFfmpegPath();

// ffprobe is only looked for beside the ffmpeg found.
QString ffprobePathBeside(const QString& ffmpegPath);

} // namespace tarnwick
