#pragma once

#include "platform/FFmpegLocation.h"
#include "transcode/ProbeInfo.h"
#include "transcode/TranscodeTemporary.h"
#include "transcode/TranscodeTypes.h"

#include <QFuture>
#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace tarnwick {

class ChildProcess;
class FileOperations;
class InProcessRoute;

// What the engine reaches outside itself; the defaults are the real ones, tests inject their own.
struct TranscodeEngineServices {
    std::shared_ptr<FileOperations> fileOperations;                         // null: FileOperations::system()
    std::function<FFmpegSearch()> ffmpegSearch;                             // null: FFmpegSearch::defaults()
    std::function<std::optional<qint64>(const QString&)> availableCapacity; // null: statvfs
    std::shared_ptr<InProcessRoute> inProcessRoute;                         // null: LibraryHevcRoute
    std::optional<bool> sandboxed;                                          // null: the environment
    std::optional<bool> proVideoFormatsInstalled;                           // null: FFmpeg can read MXF
    int probeTimeoutMs = 120'000; // a dead network share must not hold the engine forever
};

// Turns one media file into an HEVC QuickTime file that takes the source's place.
//
// Threading: the engine's work runs on a thread of its own, one call after another (transcode()
// queues onto it). cancel(), isCancelled(), resetCancel() and locateFFmpeg() are safe from any
// thread and never wait for that thread: cancel sets an atomic flag and kills the running child
// (ffprobe or ffmpeg) through its pidfd.
// What a route keeps for one file: the source as it was when its transcode started, and the
// temporary output beside it (removed when the route fails, whatever the way).
struct RouteFrame {
    qint64 sourceSize = 0;
    FileIdentity sourceIdentity;
    TranscodeTemporary output;
};

class TranscodeEngine : public QObject {
    Q_OBJECT
public:
    explicit TranscodeEngine(TranscodeEngineServices services = {}, QObject* parent = nullptr);
    ~TranscodeEngine() override; // cancels what runs and joins the thread

    // Queued on the engine's thread; the future holds exactly one result or error.
    QFuture<TranscodeOutcome> transcode(TranscodeRequest request);

    void cancel();
    void resetCancel(); // at the start of a run
    bool isCancelled() const { return m_cancelled.load(); }
    const std::atomic_bool& cancelFlag() const { return m_cancelled; }

    // The ffmpeg path, cached once found (a failed search is retried next time).
    std::optional<QString> locateFFmpeg();
    bool isFFmpegAvailable() { return locateFFmpeg().has_value(); }

    // ---- The steps, synchronous on the calling thread (the engine's own, or a test's) ----
    TranscodeOutcome transcodeNow(const TranscodeRequest& request);
    // Throws TranscodeError.
    RouteResult transcodeOrThrow(const TranscodeRequest& request);
    std::optional<ProbeInfo> probe(const QString& path);
    // True for ffmpeg; logs why.
    bool decideRoute(const QString& lowerExtension, const ProbeInfo& probe);
    // Why a probed source goes to ffmpeg, or nothing for the in-process route: the rule decideRoute
    // logs, apart from the log.
    std::optional<QString> ffmpegReason(const QString& lowerExtension, const ProbeInfo& probe,
                                        bool ffmpegFound) const;
    // The route transcodeOrThrow takes first for `path`, by the same rule, from what the media
    // libraries read of the file in this process (no child runs; any thread; the file is opened);
    // `ffmpeg` is what locateFFmpeg() found, asked once for a list. A route that fails may still
    // fall back to ffmpeg while the run goes.
    TranscodeRoute plannedRoute(const QString& path, const std::optional<QString>& ffmpeg) const;
    RouteResult transcodeWithFFmpeg(const TranscodeRequest& request, const std::optional<ProbeInfo>& probe);
    std::optional<double> ffmpegDuration(const QString& ffmpegPath, const QString& mediaPath);
    void checkFreeSpace(qint64 sourceSize, const QString& outputFolder);
    // The frame every route writes in: the source's size and identity, our abandoned temporaries
    // in its folder swept, the free-space check, and a new temporary output. Throws TranscodeError.
    RouteFrame openFrame(const TranscodeRequest& request);
    void verifyOutput(const QString& outputPath, double sourceDuration, int sourceAudioStreams);
    RouteResult replaceOriginal(const TranscodeRequest& request, RouteFrame& frame, double sourceDuration);
    bool sandboxed() const;
    bool proVideoFormatsInstalled() const;

private:
    // Without a probe a professional format goes to ffmpeg where the libraries cannot read it.
    bool needsFFmpegWithoutProbe(const QString& lowerExtension) const;
    // The running child, so cancel() can reach it; true when it may start (not cancelled).
    bool setActive(std::shared_ptr<ChildProcess> child);
    void clearActive();
    void throwIfCancelled() const;
    RouteResult inProcessAttempt(const TranscodeRequest& request, const std::optional<ProbeInfo>& probe);
    RouteResult replaceMov(const TranscodeRequest& request, RouteFrame& frame);
    RouteResult replaceOther(const TranscodeRequest& request, RouteFrame& frame);
    void throwIfSourceChanged(const TranscodeRequest& request, const RouteFrame& frame);
    // The live checks, then the source's identity, then that `outputAt` is still our output.
    void checkBeforeDestructiveStep(const TranscodeRequest& request, const RouteFrame& frame,
                                    const QString& outputAt);

    TranscodeEngineServices m_services;
    std::shared_ptr<FileOperations> m_fileOps;
    std::shared_ptr<InProcessRoute> m_inProcess;
    std::atomic_bool m_cancelled{false};
    std::mutex m_activeLock;
    std::shared_ptr<ChildProcess> m_active;
    std::mutex m_locateLock;
    std::optional<QString> m_cachedFFmpegPath;
    QThread m_thread;
    std::unique_ptr<QObject> m_context; // lives on m_thread; the target of queued calls
};

} // namespace tarnwick
