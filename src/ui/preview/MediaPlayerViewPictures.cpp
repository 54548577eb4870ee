// Where the player view's pictures come from: the player, or the previews' decoder where the
// player cannot show them.
#include "ui/preview/DecodedPictures.h"
#include "ui/preview/MediaPlayerView.h"
#include "ui/preview/PlayerClock.h"

#include <QTimer>
#include <QVideoSink>
#include <QVideoWidget>

#include <cstring>

namespace tarnwick {

namespace {

// The decoder's picture at `ms` as a frame the video widgets show.
QVideoFrame videoFrameOf(const QImage& picture, qint64 ms) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    QVideoFrame frame(
        QVideoFrameFormat(image.size(), QVideoFrameFormat::pixelFormatFromImageFormat(image.format())));
    if (!frame.map(QVideoFrame::WriteOnly))
        return {};
    const int rowBytes = std::min<int>(int(image.bytesPerLine()), frame.bytesPerLine(0));
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(frame.bits(0) + qsizetype(y) * frame.bytesPerLine(0), image.constScanLine(y),
                    size_t(rowBytes));
    frame.unmap();
    frame.setStartTime(ms * 1000);
    return frame;
}

} // namespace

// Tried one by one on the player, drawing with the GPU and without: only 8-bit 4:2:0 it shows truly
// both ways. Others it converts into false colours (4:4:4, the 10-bit 4:2:2 of ProRes and DNxHR
// HQX), or draws without the GPU not at all (10-bit 4:2:0) or not without crashing (8-bit 4:2:2, as
// MPEG-2 in MXF stores it).
bool MediaPlayerView::playerShowsPixelFormat(const QString& name) {
    return name == QStringLiteral("yuv420p") || name == QStringLiteral("yuvj420p");
}

void MediaPlayerView::setPictureSource(const QString& path, QThreadPool& pool) {
    // The player may have failed on its source already: the decoder may read the file yet.
    const bool broken = m_playerBroken;
    const bool playRequested = m_playRequested;
    resetPictures();
    m_playerBroken = broken;
    m_playRequested = playRequested;
    setFailed(false);
    m_decoded = new DecodedPictures(path, pool, this);
    connect(m_decoded, &DecodedPictures::opened, this, &MediaPlayerView::pictureSourceOpened);
    connect(m_decoded, &DecodedPictures::picture, this, [this](const QImage& picture, qint64 ms) {
        if (m_pictures == Pictures::decoded)
            showFrame(videoFrameOf(picture, ms));
    });
    // The player's pictures wait until the decoder has said what the file holds.
    m_pictures = Pictures::waiting;
    m_decoded->open();
}

void MediaPlayerView::resetPictures() {
    delete std::exchange(m_decoded, nullptr);
    m_pictures = Pictures::player;
    m_heldFrame = {};
    m_playerBroken = false;
    m_playRequested = false;
    const bool wasStandalone = std::exchange(m_standalone, false);
    m_clockRunning = false;
    m_clockBase = 0;
    m_pictureTimer->stop();
    if (wasStandalone) {
        refreshPosition();
        refreshPlayButton();
    }
}

void MediaPlayerView::playerFrame(const QVideoFrame& frame) {
    switch (m_pictures) {
    case Pictures::player:
        showFrame(frame);
        break;
    case Pictures::waiting:
        m_heldFrame = frame;
        break;
    case Pictures::decoded:
        break;
    }
}

// One picture for every place that shows it: the card's, and the full screen's while it is open.
void MediaPlayerView::showFrame(const QVideoFrame& frame) {
    m_video->videoSink()->setVideoFrame(frame);
    if (m_fullScreenVideo)
        m_fullScreenVideo->videoSink()->setVideoFrame(frame);
}

void MediaPlayerView::pictureSourceOpened(bool readable) {
    refreshPosition(); // on the clip's clock from now on
    if (!readable) {
        m_pictures = Pictures::player;
        if (m_heldFrame.isValid())
            showFrame(std::exchange(m_heldFrame, {}));
        if (m_playerBroken)
            setFailed(true);
        return;
    }
    if (m_playerBroken) {
        startStandalone();
        return;
    }
    if (playerShowsPixelFormat(m_decoded->pixelFormat())) {
        m_pictures = Pictures::player;
        if (m_heldFrame.isValid())
            showFrame(std::exchange(m_heldFrame, {}));
        return;
    }
    m_pictures = Pictures::decoded;
    m_heldFrame = {};
    askPicture();
    refreshPlayButton();
}

// The player cannot read the file and the decoder can: the decoder plays it, silently, on a clock
// of its own, from the start (playing if play had been asked for).
void MediaPlayerView::startStandalone() {
    m_standalone = true;
    m_pictures = Pictures::decoded;
    m_heldFrame = {};
    m_clockBase = 0;
    setFailed(false);
    setClockRunning(m_playRequested);
    askPicture();
    refreshPosition();
    refreshPlayButton();
    Q_EMIT playingWithoutPlayer();
}

QSize MediaPlayerView::pictureBox() const {
    const QWidget* shown =
        m_fullScreenWindow ? m_fullScreenWindow.data() : static_cast<const QWidget*>(m_video);
    const QSize box = shown->size() * shown->devicePixelRatioF();
    return box.isEmpty() ? QSize(1280, 720) : box;
}

void MediaPlayerView::askPicture() {
    if (!m_decoded)
        return;
    m_decoded->setBox(pictureBox());
    m_decoded->showAt(position());
}

bool MediaPlayerView::playing() const {
    if (m_standalone)
        return m_clockRunning;
    return m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
}

PlayerClock MediaPlayerView::playerClock() const {
    return {m_decoded && m_decoded->isOpen() ? m_decoded->startMs() : 0};
}

qint64 MediaPlayerView::position() const {
    if (!m_standalone)
        return m_player ? playerClock().clipTime(m_player->position(), duration(),
                                                 m_player->mediaStatus() == QMediaPlayer::EndOfMedia)
                        : 0;
    const qint64 at = m_clockBase + (m_clockRunning ? m_clock.elapsed() : 0);
    return std::clamp<qint64>(at, 0, duration());
}

qint64 MediaPlayerView::duration() const {
    if (m_standalone)
        return m_decoded ? m_decoded->durationMs() : 0;
    return m_player ? m_player->duration() : 0;
}

void MediaPlayerView::seek(qint64 ms) {
    if (!m_standalone) {
        if (m_player)
            m_player->setPosition(playerClock().playerPosition(ms));
        return;
    }
    m_clockBase = std::clamp<qint64>(ms, 0, duration());
    if (m_clockRunning)
        m_clock.restart();
    askPicture();
    refreshPosition();
}

void MediaPlayerView::setClockRunning(bool running) {
    if (running == m_clockRunning)
        return;
    if (running) {
        m_clock.restart();
    } else {
        m_clockBase = position();
    }
    m_clockRunning = running;
    refreshPlayButton();
}

void MediaPlayerView::tick() {
    if (m_standalone) {
        // At the end the clock stops there, as the player does.
        if (m_clockRunning && position() >= duration())
            setClockRunning(false);
        refreshPosition();
    }
    askPicture();
}

} // namespace tarnwick
