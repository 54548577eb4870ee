#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>

#include <chrono>
#include <optional>

// The ffmpeg and ffprobe executables as a frame and duration source. Blocking: callers run these
// on the one thread that runs preview children, one at a time.
namespace tarnwick::ffmpegRoute {

// ffprobe's JSON when ffprobe sits beside `ffmpeg` and answers, else ffmpeg's "Duration:" banner.
// Each child is killed after `limit`, which counts as no answer.
std::optional<double> probeDuration(const QString& ffmpeg, const QString& path,
                                    std::chrono::milliseconds limit);

struct FrameRequest {
    QString ffmpeg;
    QString path;
    QString seek; // already formatted
    QSizeF size;
    QString quality; // "-q:v"
    QString prefix;  // "thumb_" or "scrub_"
    QString temporaryFolder;
    std::chrono::milliseconds limit{0};
};
// One frame written to a temporary JPEG, read back and the file removed, whatever the outcome.
std::optional<QImage> frame(const FrameRequest& request);

} // namespace tarnwick::ffmpegRoute
