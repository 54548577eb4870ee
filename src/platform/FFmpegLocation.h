#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwick {

// Where the ffmpeg executable is found. One rule for the transcode engine and the preview engine.
struct FFmpegLocation {
    enum class Source { environment, helpers, system };
    QString path;
    Source source = Source::system;
};

// What the search looks at; defaults() reads the process.
struct FFmpegSearch {
    // TARNWICK_FFMPEG_DIR: when set, the only folder looked in (tests point it at fake scripts).
    std::optional<QString> overrideFolder;
    // The application's helpers folder: "helpers" beside the executable.
    QString helpersFolder;
    // A sandboxed process cannot run programs it did not bring along.
    bool sandboxed = false;
    // Tried in order after the helpers folder.
    QStringList systemPaths;

    static FFmpegSearch defaults();
};

inline constexpr const char* ffmpegFolderEnvironmentVariable = "TARNWICK_FFMPEG_DIR";

// The override folder (only), else helpers/ffmpeg, else (not sandboxed) the first system path at
// which a file exists and also exists with its links resolved (a dangling link is passed over).
// The path is given as found, not resolved. No caching and no logging here.
std::optional<FFmpegLocation> findFFmpeg(const FFmpegSearch& search = FFmpegSearch::defaults());

// ffprobe lives beside ffmpeg.
QString ffprobeBeside(const QString& ffmpegPath);

} // namespace tarnwick
