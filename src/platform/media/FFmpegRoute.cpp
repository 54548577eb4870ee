#include "platform/media/FFmpegRoute.h"

#include "platform/ChildProcess.h"
#include "platform/FFmpegLocation.h"
#include "platform/media/FFmpegCommands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace tarnwick::ffmpegRoute {

std::optional<double> probeDuration(const QString& ffmpeg, const QString& path,
                                    std::chrono::milliseconds limit) {
    const QString ffprobe = ffprobeBeside(ffmpeg);
    if (QFileInfo(ffprobe).isFile()) {
        const ChildResult probed = runChild(ffprobe, ffmpegCommands::ffprobeDurationArguments(path),
                                            ChildCapture::standardOutput, limit);
        if (probed.started && !probed.timedOut) {
            if (const auto seconds = ffmpegCommands::durationFromFFprobeJson(probed.output))
                return seconds;
        }
    }
    const ChildResult banner =
        runChild(ffmpeg, ffmpegCommands::ffmpegInfoArguments(path), ChildCapture::standardError, limit);
    if (!banner.started || banner.timedOut)
        return std::nullopt;
    return ffmpegCommands::durationFromFFmpegText(banner.output);
}

std::optional<QImage> frame(const FrameRequest& request) {
    // Our own scratch file in the temporary folder, never user media.
    const QString output =
        QDir(request.temporaryFolder)
            .filePath(request.prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                      QStringLiteral(".jpg"));
    const ChildResult run = runChild(
        request.ffmpeg,
        ffmpegCommands::frameArguments(request.path, request.seek, request.size, request.quality, output),
        ChildCapture::nothing, request.limit);
    std::optional<QImage> result;
    if (run.started && !run.timedOut && !run.crashed && run.exitCode == 0) {
        QImage image(output);
        if (!image.isNull())
            result = std::move(image);
    }
    QFile::remove(output);
    return result;
}

} // namespace tarnwick::ffmpegRoute
