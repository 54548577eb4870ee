#include "transcode/TranscodeEngine.h"

#include "platform/AppLog.h"
#include "platform/ByteCountText.h"
#include "platform/ChildProcess.h"
#include "platform/FileOperations.h"
#include "platform/MediaExtensions.h"
#include "platform/ProVideoFormats.h"
#include "platform/SandboxEnvironment.h"
#include "platform/ThreadNames.h"
#include "transcode/FFprobeOutput.h"
#include "transcode/LibraryHevcRoute.h"
#include "transcode/MediaInspection.h"
#include "transcode/TranscodeExtensions.h"

#include <QDir>
#include <QFileInfo>
#include <QPromise>

#include <csignal>

namespace tarnwick {

namespace {

const QSet<QString>& nativeVideoCodecs() {
    static const QSet<QString> set{
        QStringLiteral("h264"),       QStringLiteral("hevc"),  QStringLiteral("prores"),
        QStringLiteral("mjpeg"),      QStringLiteral("mpeg4"), QStringLiteral("mpeg2video"),
        QStringLiteral("mpeg1video"), QStringLiteral("ap4h"),  QStringLiteral("ap4x"),
        QStringLiteral("apch"),       QStringLiteral("apcn"),  QStringLiteral("apcs"),
        QStringLiteral("apco"),       QStringLiteral("aprh")};
    return set;
}

const QSet<QString>& inProcessAudioCodecs() {
    static const QSet<QString> set{
        QStringLiteral("aac"),       QStringLiteral("mp3"),       QStringLiteral("alac"),
        QStringLiteral("pcm_s16le"), QStringLiteral("pcm_s16be"), QStringLiteral("pcm_s24le"),
        QStringLiteral("pcm_s24be"), QStringLiteral("pcm_s32le"), QStringLiteral("pcm_s32be"),
        QStringLiteral("pcm_f32le"), QStringLiteral("pcm_f32be"), QStringLiteral("pcm_f64le"),
        QStringLiteral("pcm_f64be"), QStringLiteral("pcm_alaw"),  QStringLiteral("pcm_mulaw"),
        QStringLiteral("ac3"),       QStringLiteral("eac3")};
    return set;
}

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// The protection test of the engine: links resolved first, so a link into a protected folder counts.
bool inProtectedFolder(const QString& path, const QStringList& folders) {
    if (folders.isEmpty())
        return false;
    QString resolved = QFileInfo(path).canonicalFilePath();
    if (resolved.isEmpty())
        resolved = path;
    resolved = QDir::cleanPath(resolved);
    for (const QString& folder : folders) {
        if (resolved.compare(folder, Qt::CaseInsensitive) == 0)
            return true;
        const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
        if (resolved.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace

TranscodeEngine::TranscodeEngine(TranscodeEngineServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)) {
    m_fileOps = m_services.fileOperations ? m_services.fileOperations : FileOperations::system();
    m_inProcess =
        m_services.inProcessRoute ? m_services.inProcessRoute : std::make_shared<LibraryHevcRoute>();
    nameThread(m_thread, "TranscodeEngine");
    m_context = std::make_unique<QObject>();
    m_context->moveToThread(&m_thread);
    m_thread.start();
}

TranscodeEngine::~TranscodeEngine() {
    cancel();
    m_thread.quit();
    m_thread.wait();
    m_context.reset(); // its thread has ended: nothing else can touch it now
}

QFuture<TranscodeOutcome> TranscodeEngine::transcode(TranscodeRequest request) {
    auto promise = std::make_shared<QPromise<TranscodeOutcome>>();
    QFuture<TranscodeOutcome> future = promise->future();
    promise->start();
    QMetaObject::invokeMethod(
        m_context.get(),
        [this, promise, request = std::move(request)] {
            promise->addResult(transcodeNow(request));
            promise->finish();
        },
        Qt::QueuedConnection);
    return future;
}

void TranscodeEngine::cancel() {
    m_cancelled.store(true);
    std::lock_guard guard(m_activeLock);
    // SIGKILL: the output is discarded anyway, and a terminated encoder would first flush its
    // look-ahead, which can take seconds.
    if (m_active)
        m_active->terminate(SIGKILL);
}

void TranscodeEngine::resetCancel() {
    m_cancelled.store(false);
}

bool TranscodeEngine::setActive(std::shared_ptr<ChildProcess> child) {
    std::lock_guard guard(m_activeLock);
    m_active = std::move(child);
    return !m_cancelled.load();
}

void TranscodeEngine::clearActive() {
    std::lock_guard guard(m_activeLock);
    m_active.reset();
}

void TranscodeEngine::throwIfCancelled() const {
    if (m_cancelled.load())
        throw TranscodeError::cancelled();
}

bool TranscodeEngine::sandboxed() const {
    return m_services.sandboxed ? *m_services.sandboxed : sandbox::isSandboxed();
}

bool TranscodeEngine::proVideoFormatsInstalled() const {
    return m_services.proVideoFormatsInstalled ? *m_services.proVideoFormatsInstalled
                                               : mediaLibrariesCanReadMxf();
}

std::optional<QString> TranscodeEngine::locateFFmpeg() {
    std::lock_guard guard(m_locateLock);
    if (m_cachedFFmpegPath && !m_cachedFFmpegPath->isEmpty())
        return m_cachedFFmpegPath;
    const FFmpegSearch search =
        m_services.ffmpegSearch ? m_services.ffmpegSearch() : FFmpegSearch::defaults();
    const auto found = findFFmpeg(search);
    if (!found) {
        if (search.sandboxed && !search.overrideFolder)
            AppLog::info(QStringLiteral(
                "Sandboxed: no bundled ffmpeg, skipping system paths (cannot exec external binaries)"));
        else
            AppLog::error(QStringLiteral("ffmpeg not found. Checked the helpers folder and system paths."));
        m_cachedFFmpegPath.reset();
        return std::nullopt;
    }
    switch (found->source) {
    case FFmpegLocation::Source::environment:
        AppLog::info(QStringLiteral("Found ffmpeg from ") + QLatin1String(ffmpegFolderEnvironmentVariable) +
                     QStringLiteral(" at: ") + found->path);
        break;
    case FFmpegLocation::Source::helpers:
        AppLog::info(QStringLiteral("Found bundled ffmpeg at: ") + found->path);
        break;
    case FFmpegLocation::Source::system:
        AppLog::info(QStringLiteral("Found system ffmpeg at: ") + found->path);
        break;
    }
    m_cachedFFmpegPath = found->path;
    return m_cachedFFmpegPath;
}

std::optional<ProbeInfo> TranscodeEngine::probe(const QString& path) {
    const auto ffmpeg = locateFFmpeg();
    if (!ffmpeg)
        return std::nullopt;
    const QString ffprobe = ffprobeBeside(*ffmpeg);
    if (!QFileInfo::exists(ffprobe)) {
        AppLog::info(QStringLiteral("  ffprobe not found, skipping pre-analysis"));
        return std::nullopt;
    }
    auto child = std::make_shared<ChildProcess>();
    if (!setActive(child)) {
        clearActive();
        return std::nullopt;
    }
    QByteArray out;
    constexpr qsizetype outLimit = 16 * 1024 * 1024;
    const ChildExit exit = child->run(
        ffprobe,
        {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-print_format"),
         QStringLiteral("json"), QStringLiteral("-show_format"), QStringLiteral("-show_streams"),
         QStringLiteral("file:") + path},
        [&](const char* d, qsizetype n) {
            if (out.size() < outLimit)
                out.append(d, n);
        },
        {}, m_services.probeTimeoutMs);
    clearActive();
    switch (exit.kind) {
    case ChildExit::Kind::failedToStart:
        AppLog::error(QStringLiteral("  ffprobe failed to launch: ") + exit.startError);
        return std::nullopt;
    case ChildExit::Kind::timedOut:
        AppLog::warning(QStringLiteral("  ffprobe gave no answer within %1 s, skipping pre-analysis")
                            .arg(m_services.probeTimeoutMs / 1000));
        return std::nullopt;
    case ChildExit::Kind::signalled: // its output is cut short
        return std::nullopt;
    case ChildExit::Kind::exited:
        break;
    }
    const auto info = ffprobe::parse(out);
    if (info)
        AppLog::info(ffprobe::probeLine(*info));
    return info;
}

std::optional<QString> TranscodeEngine::ffmpegReason(const QString& x, const ProbeInfo& p,
                                                     bool ffmpegFound) const {
    if (mediaExtensions::proVideo().contains(x) && !sandboxed() && !proVideoFormatsInstalled())
        return QStringLiteral("Pro Video Formats not installed for ") + x.toUpper();
    if (!nativeVideoCodecs().contains(p.videoCodec.toLower()) && ffmpegFound)
        return QStringLiteral("video codec '") + p.videoCodec +
               QStringLiteral("' not natively supported — Pro Video Formats doesn't guarantee decode");
    if (!p.hasAudio)
        return std::nullopt;
    if (inProcessAudioCodecs().contains(p.audioCodec.toLower())) {
        if (!ffmpegFound)
            return std::nullopt;
        return QStringLiteral("audio present — in-process audio not preferred");
    }
    return QStringLiteral("audio codec '") + p.audioCodec + QStringLiteral("' not supported in-process");
}

bool TranscodeEngine::decideRoute(const QString& x, const ProbeInfo& p) {
    const auto reason = ffmpegReason(x, p, locateFFmpeg().has_value());
    if (reason)
        AppLog::info(QStringLiteral("  Decision: ffmpeg (") + *reason + QStringLiteral(")"));
    return reason.has_value();
}

bool TranscodeEngine::needsFFmpegWithoutProbe(const QString& x) const {
    return mediaExtensions::proVideo().contains(x) && !sandboxed() && !proVideoFormatsInstalled();
}

TranscodeRoute TranscodeEngine::plannedRoute(const QString& path,
                                             const std::optional<QString>& ffmpeg) const {
    const QString x = transcodeExtensions::lowerExtension(path);
    const bool probes = ffmpeg && QFileInfo::exists(ffprobeBeside(*ffmpeg));
    // ffprobe reads with the same libraries: what they find here is what the probe would say.
    const MediaFacts facts = inspectMedia(path, false);
    if (probes && facts.opened) {
        if (facts.videoStreams == 0 || facts.isStillImage)
            return TranscodeRoute::none;
        ProbeInfo p;
        p.hasVideo = true;
        p.videoCodec = facts.videoCodec;
        p.hasAudio = facts.audioStreams > 0;
        p.audioCodec = facts.audioCodec;
        return ffmpegReason(x, p, true) ? TranscodeRoute::ffmpeg : TranscodeRoute::inProcess;
    }
    // No probe: a professional format the libraries cannot read, or a file they cannot open, is
    // the ffmpeg program's.
    if (needsFFmpegWithoutProbe(x) || !facts.opened)
        return TranscodeRoute::ffmpeg;
    if (facts.videoStreams == 0 || facts.isStillImage)
        return TranscodeRoute::none;
    return TranscodeRoute::inProcess;
}

TranscodeOutcome TranscodeEngine::transcodeNow(const TranscodeRequest& request) {
    try {
        return {transcodeOrThrow(request), std::nullopt};
    } catch (const TranscodeError& e) {
        return {std::nullopt, e};
    } catch (const std::exception& e) {
        return {std::nullopt, TranscodeError::encodingFailed(QString::fromLocal8Bit(e.what()))};
    }
}

RouteResult TranscodeEngine::transcodeOrThrow(const TranscodeRequest& given) {
    TranscodeRequest request = given;
    const QString& s = request.sourcePath;
    const QString name = QFileInfo(s).fileName();
    AppLog::info(QStringLiteral("🎬 Transcode starting: ") + name);
    AppLog::info(QStringLiteral("  Source: ") + s);
    // Before anything reads it: what is replaced at the end must still be this file.
    const FileOpInfo source = m_fileOps->status(s, false);
    if (!request.sourceIdentity)
        request.sourceIdentity = source.identity();
    if (source.kind == FileKind::missing || !QFileInfo::exists(s)) {
        AppLog::error(QStringLiteral("  ❌ File does not exist at path"));
        throw TranscodeError::fileNotFound(s);
    }
    if (inProtectedFolder(s, request.protectedFolders)) {
        AppLog::warning(QStringLiteral("  🛡️ Skipped — source is in a protected folder"));
        throw TranscodeError::protectedSource(name);
    }
    // Protected or in use since it was staged: refused before the encode, not after it.
    if (request.destructiveStepCheck) {
        if (auto refusal = request.destructiveStepCheck(s)) {
            AppLog::warning(QStringLiteral("  Transcode: skipped: ") + refusal->description());
            throw *refusal;
        }
    }
    const QFileInfo info(s);
    AppLog::info(QStringLiteral("  File size: ") + formatFileByteCount(info.size()) +
                 QStringLiteral(", readable: ") + boolText(info.isReadable()));
    const QString x = transcodeExtensions::lowerExtension(s);

    throwIfCancelled();
    const std::optional<ProbeInfo> p = probe(s);
    throwIfCancelled();
    if (p) {
        // Cover art, a photo or a one-frame clip is not a movie to re-encode.
        if (!p->hasVideo || p->isStillImage())
            throw TranscodeError::noVideoTrack(name);
        if (decideRoute(x, *p)) {
            AppLog::info(QStringLiteral("  Route: ffmpeg (probe determined best path)"));
            return transcodeWithFFmpeg(request, p);
        }
    } else if (needsFFmpegWithoutProbe(x)) {
        AppLog::info(QStringLiteral("  Route: ffmpeg (required for ") + x.toUpper() +
                     QStringLiteral(" — no probe, no Pro Video Formats)"));
        return transcodeWithFFmpeg(request, p);
    }
    return inProcessAttempt(request, p);
}

RouteResult TranscodeEngine::inProcessAttempt(const TranscodeRequest& request,
                                              const std::optional<ProbeInfo>& p) {
    const QString name = QFileInfo(request.sourcePath).fileName();
    AppLog::info(QStringLiteral("  Route: trying in-process..."));
    const MediaFacts facts = inspectMedia(request.sourcePath, false);
    AppLog::info(QStringLiteral("  In-process isReadable: ") + boolText(facts.opened));
    if (!facts.opened) {
        AppLog::info(QStringLiteral("  In-process cannot read. Falling back to ffmpeg..."));
        return transcodeWithFFmpeg(request, p);
    }
    AppLog::info(QStringLiteral("  In-process video tracks: ") + QString::number(facts.videoStreams));
    if (facts.videoStreams == 0 || facts.isStillImage)
        throw TranscodeError::noVideoTrack(name);
    try {
        return m_inProcess->transcode(*this, request, m_cancelled);
    } catch (const TranscodeError& e) {
        // A cancel ends the file here: falling back would run the whole encode again.
        if (e.kind() == TranscodeError::Kind::cancelled || m_cancelled.load())
            throw TranscodeError::cancelled();
        AppLog::info(QStringLiteral("  In-process failed: ") + e.description() +
                     QStringLiteral(". Trying ffmpeg fallback..."));
        if (!locateFFmpeg())
            throw;
        return transcodeWithFFmpeg(request, p);
    }
}

} // namespace tarnwick
