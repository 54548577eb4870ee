#pragma once

#include <QByteArray>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace tarnwick::ffmpegCommands {

// Time limits of one preview child: a frame, and a duration probe.
inline constexpr std::chrono::milliseconds frameLimit{30'000};
inline constexpr std::chrono::milliseconds probeLimit{15'000};

// "scale=W:H:force_original_aspect_ratio=decrease", W and H truncated toward zero.
QString scaleFilter(QSizeF size);
// max(seconds, 0) with two decimals (thumbnails) or three (scrub frames); 0 when not finite.
QString seekText(double seconds, int decimals);

// One JPEG frame: the thumbnail route ("-q:v" "2") and the scrub route ("-q:v" "3").
QStringList frameArguments(const QString& path, const QString& seek, QSizeF size, const QString& quality,
                           const QString& outputPath);
// The same frame decoded from the file's start, the frames before `seek` dropped: slower, but it needs
// no key frame to seek to (a transport stream's seek lands anywhere, and a long group of pictures
// may have none near the time).
QStringList frameArgumentsDecodingFromStart(const QString& path, const QString& seek, QSizeF size,
                                            const QString& quality, const QString& outputPath);
QStringList ffprobeDurationArguments(const QString& path);
QStringList ffmpegInfoArguments(const QString& path);

// "format"."duration" of ffprobe's JSON when it is a string that is wholly a duration
// (ffmpegNumbers::duration).
std::optional<double> durationFromFFprobeJson(const QByteArray& json);
// The first usable "Duration: HH:MM:SS.ss," line of ffmpeg's banner; absent for text that is not UTF-8.
std::optional<double> durationFromFFmpegText(const QByteArray& text);

} // namespace tarnwick::ffmpegCommands
