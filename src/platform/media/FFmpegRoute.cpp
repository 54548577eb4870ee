#include "platform/media/FFmpegRoute.h"

#include "platform/ChildProcess.h"
#include "platform/FFmpegLocation.h"
#include "platform/media/FFmpegCommands.h"

#include <QDir>
#include <QElapsedTimer>
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

namespace {

struct FrameRun {
    bool clean = false; // ffmpeg ran and said it succeeded
    std::optional<QImage> image;
};

FrameRun runFrame(const FrameRequest& request, const QStringList& arguments, const QString& output,
                  std::chrono::milliseconds limit) {
    const ChildResult run = runChild(request.ffmpeg, arguments, ChildCapture::nothing, limit);
    FrameRun result;
    result.clean = run.started && !run.timedOut && !run.crashed && run.exitCode == 0;
    if (result.clean) {
        QImage image(output);
        if (!image.isNull())
            result.image = std::move(image);
    }
    QFile::remove(output);
    return result;
}

} // namespace

std::optional<QImage> frame(const FrameRequest& request) {
    // Our own scratch file in the temporary folder, never user media.
    const QString output =
        QDir(request.temporaryFolder)
            .filePath(request.prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                      QStringLiteral(".jpg"));
    QElapsedTimer clock;
    clock.start();
    FrameRun run = runFrame(
        request,
        ffmpegCommands::frameArguments(request.path, request.seek, request.size, request.quality, output),
        output, request.limit);
    // A seek that found no key frame writes nothing and succeeds: decoded from the start instead, in
    // the time left.
    const auto left = request.limit - std::chrono::milliseconds(clock.elapsed());
    if (!run.image && run.clean && left > std::chrono::milliseconds(0))
        run = runFrame(request,
                       ffmpegCommands::frameArgumentsDecodingFromStart(request.path, request.seek,
                                                                       request.size, request.quality, output),
                       output, left);
    return run.image;
}

} // namespace tarnwick::ffmpegRoute
