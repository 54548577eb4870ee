#pragma once

#include "ui/preview/RequestToken.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QSizeF>
#include <QString>
#include <QThreadPool>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <optional>

namespace tarnwick {

class ThumbnailProgressTracker;

// What the generator needs from the rest of the system; tests pass their own.
struct ThumbnailGeneratorServices {
    // Looked up once, at the first need; the answer holds for the generator's life.
    std::function<std::optional<QString>()> findFFmpeg;
    bool sandboxed = false;
    // Whether the media libraries read the professional-video containers (MXF) themselves.
    bool proVideoInstalled = true;
    // The path to open a file through (its saved grant), given the path the caller knows.
    std::function<QString(const QString&)> openPath;
    // Whether a saved grant covers the path (sandboxed processes only recommend for those).
    std::function<bool(const QString&)> coveredByGrant;
    // Posts "proVideoFormatsRecommended".
    std::function<void()> recommendProVideoFormats;
    std::chrono::milliseconds frameLimit{30'000};
    std::chrono::milliseconds probeLimit{15'000};
    QString temporaryFolder;

    static ThumbnailGeneratorServices system();
};

// Turns media files into pictures: small thumbnails for the media table, whole images, single
// frames for scrubbing and filmstrips, durations. All operations are coroutines started and resumed
// on the GUI thread; the work runs elsewhere:
// - in-process decoding on a pool of four threads (the four operation slots: a fifth request waits
//   in the pool's queue until a thread is free);
// - ffmpeg and ffprobe children on one thread, strictly one at a time, each with a time limit.
// A request whose token was cancelled before its turn is dropped without decoding.
class ThumbnailGenerator : public QObject {
    Q_OBJECT
public:
    static constexpr int maxCacheSize = 100;
    static constexpr int maxConcurrentOperations = 4;

    static ThumbnailGenerator& shared();
    explicit ThumbnailGenerator(ThumbnailGeneratorServices services,
                                ThumbnailProgressTracker* tracker = nullptr, QObject* parent = nullptr);
    ~ThumbnailGenerator() override;

    static QString videoKey(const QString& path, QSizeF size); // path "_small_" WxH
    static QString imageKey(const QString& path, QSizeF size); // path "_img_small_" WxH

    // A frame a tenth into the clip, stretched to `size`; cached. Absent for a missing file or one
    // without video (pro-video and camera-raw files get an ffmpeg frame or a placeholder instead).
    QCoro::Task<std::optional<QImage>> generateSmallThumbnail(QString path, QSizeF size,
                                                              RequestToken token = {});
    // The image fitted and centred in `size` on a transparent canvas; cached.
    QCoro::Task<std::optional<QImage>> imageThumbnail(QString path, QSizeF size, RequestToken token = {});
    // The whole image, upright; not cached.
    QCoro::Task<std::optional<QImage>> loadImage(QString path);
    std::optional<QString> locateFFmpeg();
    // ffmpeg's frame at `position` × duration (or `position` seconds when the duration is unknown).
    QCoro::Task<std::optional<QImage>> ffmpegThumbnail(QString path, QSizeF size, double position,
                                                       RequestToken token = {});
    // ffmpeg's frame at `seconds`, fitted into `size`.
    QCoro::Task<std::optional<QImage>> scrubFrame(QString path, double seconds, QSizeF size,
                                                  RequestToken token = {});
    QCoro::Task<std::optional<double>> probeDuration(QString path);

    static QImage placeholderThumbnail(const QString& extension, QSizeF size);
    static QImage waveformPlaceholder(QSizeF size);
    void recommendProVideoFormatsIfNeeded(const QString& extension, const QString& path);

    std::optional<QImage> cachedImage(const QString& key) const;
    qsizetype cacheCount() const { return m_cache.size(); }
    // Decodes that reached a slot (tests: a dropped request never gets here).
    int decodesStarted() const { return m_decodesStarted.load(); }

    const ThumbnailGeneratorServices& services() const { return m_services; }
    // The four slots, shared with the scrub engines and the strip loaders.
    QThreadPool& decodingPool() { return m_decoding; }

Q_SIGNALS:
    void proVideoFormatsRecommended();

private:
    // What one job on a decoding slot came to.
    struct SlotResult {
        enum class Outcome { dropped, noFile, unreadable, noFrame, done };
        Outcome outcome = Outcome::dropped;
        QImage image;
    };
    SlotResult decodeInSlot(const QString& openPath, const RequestToken& token,
                            const std::function<SlotResult::Outcome(QImage&)>& decode);
    void storeInCache(const QString& key, const QImage& image);
    QCoro::Task<std::optional<QImage>> ffmpegOrPlaceholder(QString path, QString extension, QSizeF size);

    ThumbnailGeneratorServices m_services;
    ThumbnailProgressTracker* m_tracker;
    QHash<QString, QImage> m_cache;
    std::optional<std::optional<QString>> m_ffmpeg;
    QThreadPool m_decoding;
    QThreadPool m_children;
    std::atomic_int m_decodesStarted{0};
};

} // namespace tarnwick
