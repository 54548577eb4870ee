#include "ui/scrub/ScrubController.h"

#include "platform/media/VideoDecoder.h"
#include "ui/preview/AudioOutputs.h"
#include "ui/preview/ClipKind.h"
#include "ui/preview/PlayerSource.h"
#include "ui/preview/ThumbnailGenerator.h"

#include <QMediaPlayer>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <cmath>

namespace tarnwick {

namespace {

double clamped(double x) {
    if (x <= 0)
        return 0;
    if (x > 1)
        return 1;
    return x;
}

bool usable(const std::optional<double>& seconds) {
    return seconds && std::isfinite(*seconds) && *seconds > 0;
}

} // namespace

ScrubSheetServices ScrubSheetServices::system(ThumbnailGenerator& generator) {
    QPointer<ThumbnailGenerator> target(&generator);
    ScrubSheetServices services;
    services.openURL = grantedFileURL;
    services.loadDuration = [target](QString path) -> QCoro::Task<std::optional<double>> {
        if (!target)
            co_return std::nullopt;
        QFuture<std::optional<double>> reading =
            QtConcurrent::run(&target->decodingPool(), [path] { return containerDuration(path); });
        co_return co_await reading;
    };
    services.probeDuration = [target](QString path) -> QCoro::Task<std::optional<double>> {
        if (!target)
            co_return std::nullopt;
        auto probing = target->probeDuration(path);
        co_return co_await std::move(probing);
    };
    services.extractWaveform = [target](QString path, int n,
                                        RequestToken token) -> QCoro::Task<QList<float>> {
        if (!target)
            co_return QList<float>{};
        auto extracting = stripLoaders::extractWaveform(*target, path, n, token);
        co_return co_await std::move(extracting);
    };
    services.generateFrames = [target](QString path, int count, double duration,
                                       RequestToken token) -> QCoro::Task<QList<FilmFrame>> {
        if (!target)
            co_return QList<FilmFrame>{};
        auto generating = stripLoaders::generateFrames(*target, path, count, duration, token);
        co_return co_await std::move(generating);
    };
    services.generateFramesWithFFmpeg = [target](QString path, int count, double duration,
                                                 RequestToken token) -> QCoro::Task<QList<FilmFrame>> {
        if (!target)
            co_return QList<FilmFrame>{};
        auto generating = stripLoaders::generateFramesWithFFmpeg(*target, path, count, duration, token);
        co_return co_await std::move(generating);
    };
    services.picturePool = &generator.decodingPool();
    services.makePlayer = [](QObject* parent) {
        auto* player = new QMediaPlayer(parent);
        attachAudioOutput(*player); // none without a sound device: the player view says so
        return player;
    };
    return services;
}

ScrubController::ScrubController(ScrubSheetServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)) {}

ScrubController::~ScrubController() {
    m_token.cancel();
}

QCoro::Task<void> ScrubController::load(QString filePath, bool isAudio) {
    QPointer<ScrubController> self(this);
    if (stopped())
        co_return;
    const QUrl url = m_services.openURL ? m_services.openURL(filePath) : QUrl::fromLocalFile(filePath);
    const QString openPath = url.isLocalFile() ? url.toLocalFile() : filePath;
    m_openPath = openPath;
    m_player = m_services.makePlayer(this);
    showFrameWhenLoaded(m_player);
    setPlayerSource(*m_player, url);
    Q_EMIT playerChanged();

    // After every wait: the sheet may have been closed meanwhile, and then nothing more is done.
    auto durationLoad = m_services.loadDuration(openPath);
    std::optional<double> seconds = co_await std::move(durationLoad);
    if (!self || stopped())
        co_return;
    if (!usable(seconds)) {
        auto probing = m_services.probeDuration(filePath);
        seconds = co_await std::move(probing);
        if (!self || stopped())
            co_return;
    }
    m_duration = usable(seconds) ? *seconds : 0;
    Q_EMIT durationChanged();
    startObserver();

    if (isAudio) {
        auto extracting = m_services.extractWaveform(openPath, stripLoaders::waveformBarCount, m_token);
        QList<float> levels = co_await std::move(extracting);
        if (!self || stopped())
            co_return;
        m_waveform = std::move(levels);
    } else {
        auto generating =
            m_services.generateFrames(openPath, stripLoaders::filmstripFrameCount, m_duration, m_token);
        QList<FilmFrame> frames = co_await std::move(generating);
        if (!self || stopped())
            co_return;
        if (frames.isEmpty()) {
            auto fallback = m_services.generateFramesWithFFmpeg(filePath, stripLoaders::filmstripFrameCount,
                                                                m_duration, m_token);
            frames = co_await std::move(fallback);
            if (!self || stopped())
                co_return;
        }
        m_frames = std::move(frames);
    }
    m_loadingStrip = false;
    Q_EMIT stripLoaded();
}

// A stopped player draws nothing until Play; paused, it decodes and shows the frame at its position
// (and again after each seek), so the picture is there as soon as the clip is read.
void ScrubController::showFrameWhenLoaded(QMediaPlayer* player) {
    connect(player, &QMediaPlayer::mediaStatusChanged, player, [player](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::LoadedMedia && player->playbackState() == QMediaPlayer::StoppedState &&
            player->hasVideo())
            player->pause();
    });
}

void ScrubController::startObserver() {
    m_observer = new QTimer(this);
    m_observer->setInterval(observerIntervalMs);
    connect(m_observer, &QTimer::timeout, this, [this] {
        if (m_position)
            updatePlayhead(double(m_position()) / 1000.0);
        else if (m_player)
            updatePlayhead(double(m_player->position()) / 1000.0);
    });
    m_observer->start();
}

void ScrubController::updatePlayhead(double seconds) {
    if (m_duration <= 0 || !std::isfinite(seconds))
        return;
    const double fraction = clamped(seconds / m_duration);
    if (fraction == m_playheadFraction)
        return;
    m_playheadFraction = fraction;
    Q_EMIT playheadChanged();
}

void ScrubController::followPlayback(std::function<qint64()> position, std::function<void(qint64)> seek) {
    m_position = std::move(position);
    m_seek = std::move(seek);
}

void ScrubController::seek(double fraction) {
    if (!m_player || m_duration <= 0)
        return;
    const double f = clamped(fraction);
    const qint64 ms = std::llround(f * m_duration * 1000.0);
    if (m_seek)
        m_seek(ms);
    else
        m_player->setPosition(ms);
    m_playheadFraction = f;
    Q_EMIT playheadChanged();
}

void ScrubController::teardown() {
    m_tornDown = true;
    m_token.cancel();
    if (m_player)
        m_player->pause();
    delete m_observer;
    m_observer = nullptr;
    m_position = {};
    m_seek = {};
    if (m_player) {
        QMediaPlayer* player = std::exchange(m_player, nullptr);
        Q_EMIT playerChanged();
        player->stop();
        player->deleteLater();
    }
}

} // namespace tarnwick
