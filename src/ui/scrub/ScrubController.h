#pragma once

#include "ui/preview/RequestToken.h"
#include "ui/preview/StripLoaders.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

class QMediaPlayer;
class QThreadPool;
class QTimer;

namespace tarnwick {

class ThumbnailGenerator;

// What the scrub sheet loads through; tests pass their own.
struct ScrubSheetServices {
    std::function<QUrl(const QString& path)> openURL; // the saved grant's URL, else the plain one
    // The container's duration, read on a worker; absent when unknown.
    std::function<QCoro::Task<std::optional<double>>(QString path)> loadDuration;
    std::function<QCoro::Task<std::optional<double>>(QString path)> probeDuration; // ffprobe
    std::function<QCoro::Task<QList<float>>(QString path, int bucketCount, RequestToken token)>
        extractWaveform;
    using FrameLoader = std::function<QCoro::Task<QList<FilmFrame>>(QString path, int count, double duration,
                                                                    RequestToken token)>;
    FrameLoader generateFrames;
    FrameLoader generateFramesWithFFmpeg;
    // A player owned by `parent`, with a sound output when the system has one.
    std::function<QMediaPlayer*(QObject* parent)> makePlayer;
    // Where the pictures the player cannot show are decoded (none: the player's alone).
    QThreadPool* picturePool = nullptr;

    static ScrubSheetServices system(ThumbnailGenerator& generator);
};

// The scrub sheet's state: the player, the duration, the playhead and the strip's data. Loading
// publishes the player first, then the duration, starts the 100 ms playhead observer and fills the
// strip last. GUI thread only. A torn-down controller stops its loading at the next step.
class ScrubController : public QObject {
    Q_OBJECT
public:
    static constexpr int observerIntervalMs = 100;

    explicit ScrubController(ScrubSheetServices services, QObject* parent = nullptr);
    ~ScrubController() override;

    QCoro::Task<void> load(QString filePath, bool isAudio);
    void seek(double fraction);
    void teardown();
    void updatePlayhead(double seconds);
    // The playhead follows `position` and seeks go to `seek`, both in milliseconds of the clip (the
    // player view's clock), instead of the player's own.
    void followPlayback(std::function<qint64()> position, std::function<void(qint64)> seek);

    QMediaPlayer* player() const { return m_player; }
    // The file the player was given (through its saved grant).
    const QString& openPath() const { return m_openPath; }
    QThreadPool* picturePool() const { return m_services.picturePool; }
    double duration() const { return m_duration; }
    double playheadFraction() const { return m_playheadFraction; }
    const QList<FilmFrame>& frames() const { return m_frames; }
    const QList<float>& waveform() const { return m_waveform; }
    bool loadingStrip() const { return m_loadingStrip; }
    bool observing() const { return m_observer != nullptr; }
    bool tornDown() const { return m_tornDown; }

Q_SIGNALS:
    void playerChanged();
    void durationChanged();
    void playheadChanged();
    void stripLoaded();

private:
    bool stopped() const { return m_tornDown; }
    void startObserver();
    static void showFrameWhenLoaded(QMediaPlayer* player);

    ScrubSheetServices m_services;
    QMediaPlayer* m_player = nullptr;
    QString m_openPath;
    std::function<qint64()> m_position;
    std::function<void(qint64)> m_seek;
    QTimer* m_observer = nullptr;
    double m_duration = 0;
    double m_playheadFraction = 0;
    QList<FilmFrame> m_frames;
    QList<float> m_waveform;
    bool m_loadingStrip = true;
    bool m_tornDown = false;
    RequestToken m_token = RequestToken::make();
};

} // namespace tarnwick
