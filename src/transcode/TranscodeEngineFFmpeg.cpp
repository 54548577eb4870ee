// The ffmpeg route: one child process per file, progress from its "-progress" stream.
#include "platform/AppLog.h"
#include "platform/ChildProcess.h"
#include "platform/StrictTextDecoding.h"
#include "transcode/FFmpegArguments.h"
#include "transcode/FFmpegOutput.h"
#include "transcode/FFprobeOutput.h"
#include "transcode/TranscodeEngine.h"

#include <QFileInfo>

namespace tarnwick {

namespace {

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

std::optional<double> TranscodeEngine::ffmpegDuration(const QString& ffmpegPath, const QString& mediaPath) {
    const QString ffprobe = ffprobeBeside(ffmpegPath);
    QString program = ffmpegPath;
    QStringList arguments{QStringLiteral("-i"), QStringLiteral("file:") + mediaPath,
                          QStringLiteral("-hide_banner")};
    if (QFileInfo::exists(ffprobe)) {
        program = ffprobe;
        arguments = {
            QStringLiteral("-v"),   QStringLiteral("quiet"),        QStringLiteral("-print_format"),
            QStringLiteral("json"), QStringLiteral("-show_format"), QStringLiteral("file:") + mediaPath};
    }
    auto child = std::make_shared<ChildProcess>();
    if (!setActive(child)) {
        clearActive();
        return std::nullopt;
    }
    QByteArray text;
    const auto collect = [&](const char* d, qsizetype n) {
        if (text.size() < 4 * 1024 * 1024)
            text.append(d, n);
    };
    const ChildExit exit = child->run(program, arguments, collect, collect, m_services.probeTimeoutMs);
    clearActive();
    if (exit.kind == ChildExit::Kind::failedToStart || exit.kind == ChildExit::Kind::timedOut)
        return std::nullopt;
    const auto decoded = strict::decodeUtf8(text);
    return decoded ? ffmpegText::durationFromText(*decoded) : std::nullopt;
}

RouteResult TranscodeEngine::transcodeWithFFmpeg(const TranscodeRequest& request,
                                                 const std::optional<ProbeInfo>& p) {
    const auto ffmpeg = locateFFmpeg();
    if (!ffmpeg)
        throw TranscodeError::ffmpegNotFound();
    const QString& source = request.sourcePath;
    AppLog::info(QStringLiteral("  🔧 ffmpeg transcode: ") + *ffmpeg);
    AppLog::info(QStringLiteral("  Input: ") + source);
    // Sweeps our leftovers, checks free space, creates the marked output; removes it on any failure.
    RouteFrame frame = openFrame(request);
    const QString& output = frame.output.path();
    AppLog::info(QStringLiteral("  Output: ") + output);
    AppLog::info(QStringLiteral("  Output dir writable: ") +
                 boolText(QFileInfo(QFileInfo(output).path()).isWritable()));
    AppLog::info(QStringLiteral("  Input readable: ") + boolText(QFileInfo(source).isReadable()));

    double duration = 0;
    if (p && p->duration > 0) {
        duration = p->duration;
        AppLog::info(QStringLiteral("  Using pre-probed duration: ") + QString::asprintf("%.2f", duration) +
                     QLatin1Char('s'));
    } else {
        duration = ffmpegDuration(*ffmpeg, source).value_or(0); // unknown: no progress until the end
    }
    if (p) {
        AppLog::info(QStringLiteral("  Probe info — video: ") + p->videoCodec + QLatin1Char(' ') +
                     QString::number(p->videoWidth) + QLatin1Char('x') + QString::number(p->videoHeight) +
                     QStringLiteral(", audio: ") + p->audioCodec + QLatin1Char(' ') +
                     QString::number(p->audioChannels) + QStringLiteral("ch ") +
                     QString::number(p->audioSampleRate) + QStringLiteral("Hz, container: ") +
                     p->containerFormat);
        if (p->hasAudio && !p->audioChannelLayout.isEmpty() &&
            p->audioChannelLayout != QLatin1String("unknown"))
            AppLog::info(QStringLiteral("  Preserving audio channel layout: ") + p->audioChannelLayout);
    }
    // ffmpeg writes into the file we created and marked, handed over as descriptor 3: it never
    // opens a file by the temporary's name, which another program could have taken meanwhile.
    constexpr int outputDescriptor = 3;
    const QStringList arguments =
        ffmpegArguments::transcode(source, TranscodeTemporary::descriptorPath(outputDescriptor), p);

    auto child = std::make_shared<ChildProcess>();
    child->inheritDescriptor(frame.output.descriptor(), outputDescriptor);
    // Checked after the child is reachable by cancel() and again once it runs: a cancel at any
    // moment either prevents the start or kills it.
    if (!setActive(child)) {
        clearActive();
        throw TranscodeError::cancelled();
    }
    QString startError;
    if (!child->start(*ffmpeg, arguments, &startError)) {
        clearActive();
        throw TranscodeError::ffmpegFailed(QStringLiteral("Failed to launch ffmpeg: ") + startError);
    }
    if (m_cancelled.load())
        child->terminate(9);

    FFmpegProgressReader progress(duration, request.onProgress);
    BoundedTail errors;
    const ChildExit exit = child->waitForExit([&](const char* d, qsizetype n) { progress.feed(d, n); },
                                              [&](const char* d, qsizetype n) { errors.feed(d, n); });
    clearActive();

    if (m_cancelled.load())
        throw TranscodeError::cancelled();
    if (exit.kind == ChildExit::Kind::signalled) {
        AppLog::info(QStringLiteral("  ffmpeg terminated by signal ") + QString::number(exit.code));
        throw TranscodeError::ffmpegFailed(QStringLiteral("ffmpeg terminated by signal ") +
                                           QString::number(exit.code));
    }
    AppLog::info(QStringLiteral("  ffmpeg exit code: ") + QString::number(exit.code));
    if (exit.succeeded()) {
        if (request.onProgress)
            request.onProgress(1.0);
        return replaceOriginal(request, frame, duration);
    }
    const QString text = ffmpegText::decodeStderr(errors.data());
    frame.output.remove();
    AppLog::error(QStringLiteral("  ffmpeg stderr:\n") + text.left(1000));
    throw TranscodeError::ffmpegFailed(ffmpegText::errorMessage(text));
}

} // namespace tarnwick
