#include "ui/preview/MediaPlayerView.h"

#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRing.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/preview/DecodedPictures.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QSpacerItem>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>

namespace tarnwick {

namespace {

// The bar's buttons in light ink on a faint round backing, so they read on the black picture in
// every state: normal, hovered, pressed and disabled.
// A round bar button that wears the focus ring while it has the focus: its style sheet draws none.
class BarButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent* event) override {
        QToolButton::paintEvent(event);
        if (hasFocus()) {
            QPainter painter(this);
            paintFocusRing(painter, QRectF(rect()), width() / 2.0, barButtonFill);
        }
    }

private:
    static inline const QColor barButtonFill{255, 255, 255, 41}; // the style sheet's 16 % white
};

void styleBarButton(QToolButton* button, int size) {
    button->setFixedSize(size, size);
    button->setIconSize(QSize(size / 2, size / 2));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QToolButton { background: rgba(255,255,255,0.16); border: none;"
                                         " border-radius: %1px; }"
                                         "QToolButton:hover { background: rgba(255,255,255,0.26); }"
                                         "QToolButton:pressed { background: rgba(255,255,255,0.36); }"
                                         "QToolButton:disabled { background: rgba(255,255,255,0.08); }")
                              .arg(size / 2));
}

// Room between the bar's pieces, so the note and the time never touch a button.
constexpr int barSpacing = 8;

QIcon barIcon(const QString& symbol) {
    return symbolIcon(symbol, Color::brandTextPrimary());
}

// A picture a playing clip asks the decoder for, at most this often.
constexpr int pictureIntervalMs = 40;

} // namespace

QString playerTimeText(qint64 milliseconds) {
    const qint64 total = std::max<qint64>(milliseconds, 0) / 1000;
    const qint64 hours = total / 3600;
    const qint64 minutes = (total / 60) % 60;
    const qint64 seconds = total % 60;
    if (hours > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(seconds, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(minutes).arg(seconds, 2, 10, QLatin1Char('0'));
}

MediaPlayerView::MediaPlayerView(QMediaPlayer* player, QWidget* parent)
    : QWidget(parent), m_video(new QVideoWidget(this)), m_play(new BarButton(this)),
      m_position(new QSlider(Qt::Horizontal, this)), m_time(new QLabel(this)),
      m_fullScreen(new BarButton(this)), m_noAudio(new QLabel(this)), m_failure(new QLabel(this)),
      m_sink(new QVideoSink(this)), m_pictureTimer(new QTimer(this)), m_clickTimer(new QTimer(this)) {
    setAutoFillBackground(true);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Color::brandTextSecondary());
    setPalette(dark);
    m_video->setAspectRatioMode(Qt::KeepAspectRatio);
    styleBarButton(m_play, 28);
    m_play->setToolTip(tr("Play"));
    styleBarButton(m_fullScreen, 24);
    m_fullScreen->setIcon(barIcon(QStringLiteral("arrow.up.left.and.arrow.down.right")));
    m_fullScreen->setToolTip(tr("Full Screen"));
    m_time->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0:00:00 / 0:00:00")));
    m_noAudio->setAccessibleName(QStringLiteral("No audio output"));
    m_noAudio->setToolTip(QStringLiteral("No audio output: this computer has no sound device, pictures play "
                                         "silently"));
    m_noAudio->hide();
    refreshNoAudioLook();
    m_failure->setObjectName(QStringLiteral("playerFailure"));
    m_failure->setText(QStringLiteral("Can’t play this file"));
    m_failure->setAlignment(Qt::AlignCenter);
    m_failure->setWordWrap(true);
    m_failure->setStyleSheet(QStringLiteral("color: %1;").arg(Color::brandTextSecondary().name()));
    m_failure->hide();
    m_clickTimer->setSingleShot(true);
    m_clickTimer->setInterval(QApplication::doubleClickInterval());
    connect(m_clickTimer, &QTimer::timeout, this, &MediaPlayerView::togglePlayback);
    m_pictureTimer->setInterval(pictureIntervalMs);
    connect(m_pictureTimer, &QTimer::timeout, this, &MediaPlayerView::tick);
    // Frames may come from the player's own thread: shown on this one.
    connect(m_sink, &QVideoSink::videoFrameChanged, this, &MediaPlayerView::playerFrame,
            Qt::QueuedConnection);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(6, 2, 6, 2);
    bar->setSpacing(barSpacing);
    bar->addWidget(m_play);
    bar->addWidget(m_position, 1);
    bar->addWidget(m_time);
    bar->addWidget(m_noAudio);
    bar->addWidget(m_fullScreen);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_video, 1);
    layout->addWidget(m_failure, 1);
    m_barAbove = new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
    layout->addItem(m_barAbove);
    layout->addLayout(bar);
    m_barBelow = new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
    layout->addItem(m_barBelow);

    connect(m_play, &QToolButton::clicked, this, &MediaPlayerView::togglePlayback);
    connect(m_position, &QSlider::sliderPressed, this, [this] { m_sliderHeld = true; });
    connect(m_position, &QSlider::sliderReleased, this, [this] {
        m_sliderHeld = false;
        seek(m_position->value());
    });
    connect(m_position, &QSlider::actionTriggered, this, [this](int) {
        if (!m_sliderHeld)
            seek(m_position->sliderPosition());
    });
    // The full-screen picture may have gone behind the window: the button brings it back.
    connect(m_fullScreen, &QToolButton::clicked, this, [this] {
        if (isFullScreen())
            bringFullScreenForward();
        else
            enterFullScreen();
    });

    m_player = player;
    attach();
}

MediaPlayerView::~MediaPlayerView() {
    if (m_home)
        m_home->removeEventFilter(this);
    // The player outlives the view: it must not keep drawing into the view's sink.
    if (m_player && m_player->videoOutput() == m_sink)
        m_player->setVideoOutput(static_cast<QVideoSink*>(nullptr));
}

void MediaPlayerView::setPlayer(QMediaPlayer* player) {
    if (player == m_player)
        return;
    leaveFullScreen();
    if (m_player && m_player->videoOutput() == m_sink)
        m_player->setVideoOutput(static_cast<QVideoSink*>(nullptr));
    m_player = player;
    attach();
}

void MediaPlayerView::setShowsPicture(bool shows) {
    m_showsPicture = shows;
    refreshLayout();
}

void MediaPlayerView::refreshLayout() {
    // A failure's note takes the picture's place, also where a sound has no picture.
    m_video->setVisible(m_showsPicture && !m_failed);
    m_failure->setVisible(m_failed);
    const bool barAlone = !m_showsPicture && !m_failed;
    for (QSpacerItem* space : {m_barAbove, m_barBelow})
        space->changeSize(0, 0, QSizePolicy::Minimum, barAlone ? QSizePolicy::Expanding : QSizePolicy::Fixed);
    layout()->invalidate();
}

void MediaPlayerView::attach() {
    ++m_playerChanges;
    for (const auto& connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    resetPictures();
    if (m_player) {
        m_player->setVideoOutput(m_sink);
        m_connections
            << connect(m_player, &QMediaPlayer::positionChanged, this, &MediaPlayerView::refreshPosition)
            << connect(m_player, &QMediaPlayer::durationChanged, this, &MediaPlayerView::refreshPosition)
            << connect(m_player, &QMediaPlayer::playbackStateChanged, this,
                       &MediaPlayerView::refreshPlayButton)
            << connect(m_player, &QMediaPlayer::audioOutputChanged, this, &MediaPlayerView::refreshPlayButton)
            << connect(m_player, &QMediaPlayer::hasVideoChanged, this, &MediaPlayerView::refreshPlayButton)
            << connect(m_player, &QMediaPlayer::errorOccurred, this, &MediaPlayerView::refreshFailure)
            << connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &MediaPlayerView::refreshFailure)
            // At its end the player reports its duration, not a time of its clock.
            << connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &MediaPlayerView::refreshPosition)
            << connect(m_player, &QMediaPlayer::playbackStateChanged, this, &MediaPlayerView::refreshFailure)
            << connect(m_player, &QMediaPlayer::positionChanged, this,
                       [this] {
                           // Paused and moved (a seek): the decoder's picture follows.
                           if (m_pictures == Pictures::decoded && !m_standalone && !playing())
                               askPicture();
                       })
            << connect(m_player, &QMediaPlayer::sourceChanged, this, [this] {
                   // Qt 6.4 reports a source it cannot open before it reports the source itself.
                   resetPictures();
                   setFailed(false);
                   refreshFailure();
               });
    }
    setFailed(false);
    refreshFailure();
    refreshPosition();
    refreshPlayButton();
}

void MediaPlayerView::togglePlayback() {
    if (m_standalone) {
        // From the end, play starts again at the beginning, as the player does.
        if (!m_clockRunning && position() >= duration())
            m_clockBase = 0;
        setClockRunning(!m_clockRunning);
        return;
    }
    if (!m_player || m_failed)
        return;
    if (m_player->playbackState() == QMediaPlayer::PlayingState)
        m_player->pause();
    else
        m_player->play();
}

// A source that failed stays failed until another one is set: a later play() clears the player's
// error and reports it playing, with nothing to play.
void MediaPlayerView::refreshFailure() {
    if (!m_player)
        return;
    // Play asked of a player that cannot read the file: the decoder plays instead.
    if (m_playerBroken && m_player->playbackState() == QMediaPlayer::PlayingState) {
        if (m_standalone)
            setClockRunning(true);
        else
            m_playRequested = true;
    }
    if (m_standalone)
        return;
    const bool broken =
        m_player->error() != QMediaPlayer::NoError || m_player->mediaStatus() == QMediaPlayer::InvalidMedia;
    if (broken && !m_playerBroken) {
        m_playerBroken = true;
        m_playRequested = m_player->playbackState() == QMediaPlayer::PlayingState;
        m_failure->setToolTip(m_player->errorString());
        // The decoder may read what the player cannot: it plays the file once it has opened it.
        if (!m_decoded)
            setFailed(true);
        else if (m_decoded->isOpen())
            startStandalone();
    }
    // Nothing plays: the bar shows no position and no pause.
    if (m_playerBroken && m_player->playbackState() != QMediaPlayer::StoppedState)
        QMetaObject::invokeMethod(
            this,
            [player = m_player] {
                if (player)
                    player->stop();
            },
            Qt::QueuedConnection);
}

void MediaPlayerView::setFailed(bool failed) {
    if (failed == m_failed)
        return;
    m_failed = failed;
    if (failed)
        leaveFullScreen();
    else
        m_failure->setToolTip({});
    refreshLayout();
    refreshPosition();
    refreshPlayButton();
}

void MediaPlayerView::refreshPosition() {
    const qint64 duration = this->duration();
    const qint64 position = this->position();
    m_position->setRange(0, int(std::min<qint64>(duration, std::numeric_limits<int>::max())));
    if (!m_sliderHeld)
        m_position->setValue(int(std::min<qint64>(position, std::numeric_limits<int>::max())));
    m_time->setText(playerTimeText(position) + QStringLiteral(" / ") + playerTimeText(duration));
    m_time->setVisible(!m_failed);
    m_position->setEnabled(duration > 0 && !m_failed);
}

void MediaPlayerView::refreshPlayButton() {
    const bool playing = this->playing();
    const bool silent = m_standalone || (m_player && !m_player->audioOutput());
    m_play->setIcon(barIcon(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill")));
    m_play->setToolTip(playing ? tr("Pause") : tr("Play"));
    // Without sound a clip with no picture has nothing to play.
    m_play->setEnabled(m_standalone ||
                       (m_player && !m_failed && (!silent || m_player->hasVideo() || playing)));
    m_noAudio->setVisible(silent && !m_failed);
    m_fullScreen->setEnabled(!m_failed);
    refreshNoAudioLook();
    // Pictures of the decoder are asked for while the clip plays.
    const bool asking = m_pictures == Pictures::decoded && playing;
    if (asking && !m_pictureTimer->isActive())
        m_pictureTimer->start();
    else if (!asking)
        m_pictureTimer->stop();
}

void MediaPlayerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    refreshNoAudioLook();
}

// The words where the bar has room for them (the sheet), the crossed-out speaker where it has not
// (a card), so the position slider keeps its length.
void MediaPlayerView::refreshNoAudioLook() {
    // Played by the decoder, the file's sound is not played at all, whatever the system has.
    const QString words = m_standalone ? QStringLiteral("Pictures only") : QStringLiteral("No audio output");
    m_noAudio->setAccessibleName(words);
    m_noAudio->setToolTip(m_standalone
                              ? QStringLiteral("Pictures only: this file's sound can’t be played here")
                              : QStringLiteral("No audio output: this computer has no sound device, "
                                               "pictures play silently"));
    const bool roomy = width() >= 480;
    if (roomy && m_noAudio->text() != words) {
        m_noAudio->setText(words);
    } else if (!roomy && m_noAudio->pixmap().isNull()) {
        const qreal ratio = devicePixelRatioF();
        m_noAudio->setPixmap(symbolIcon(QStringLiteral("speaker.slash.fill"), Color::brandTextSecondary())
                                 .pixmap(QSize(14, 14), ratio));
    }
}

void MediaPlayerView::enterFullScreen() {
    if (m_fullScreenWindow || !m_player)
        return;
    auto* window = new QWidget(this, Qt::Window);
    window->setObjectName(QStringLiteral("fullScreenPlayer"));
    window->setWindowTitle(QStringLiteral("Full Screen"));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setFocusPolicy(Qt::StrongFocus);
    QPalette black = window->palette();
    black.setColor(QPalette::Window, Qt::black);
    window->setPalette(black);
    window->setAutoFillBackground(true);
    m_fullScreenVideo = new QVideoWidget(window);
    m_fullScreenVideo->setAspectRatioMode(Qt::KeepAspectRatio);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_fullScreenVideo);
    window->installEventFilter(this);
    m_fullScreenVideo->installEventFilter(this);
    m_fullScreenWindow = window;
    // The player keeps drawing into the view's sink, which feeds this picture too: Qt 6.4's player
    // never moves to another output while it plays, which left the full screen on one frame.
    m_fullScreenVideo->videoSink()->setVideoFrame(m_video->videoSink()->videoFrame());
    window->showFullScreen();
    if (m_pictures == Pictures::decoded)
        askPicture(); // at the full screen's size
    window->activateWindow();
    window->setFocus(Qt::OtherFocusReason);
    // The application's window activated again (Alt+Tab back to it) brings the picture forward.
    m_home = this->window();
    if (m_home)
        m_home->installEventFilter(this);
}

void MediaPlayerView::bringFullScreenForward() {
    if (QWidget* window = m_fullScreenWindow.data(); window && window->isVisible()) {
        window->raise();
        window->activateWindow();
        window->setFocus(Qt::OtherFocusReason);
    }
}

void MediaPlayerView::leaveFullScreen() {
    QWidget* window = m_fullScreenWindow.data();
    if (!window)
        return;
    m_fullScreenWindow.clear();
    m_fullScreenVideo = nullptr;
    m_clickTimer->stop();
    if (m_home)
        m_home->removeEventFilter(this);
    m_home.clear();
    window->removeEventFilter(this);
    window->hide();
    // Not now: this may run inside one of the window's own events.
    window->deleteLater();
    if (QWidget* home = this->window(); home && home->isVisible())
        home->activateWindow();
}

bool MediaPlayerView::eventFilter(QObject* watched, QEvent* event) {
    if (m_fullScreenWindow && (watched == m_fullScreenWindow || watched == m_fullScreenVideo))
        return fullScreenEvent(event) || QWidget::eventFilter(watched, event);
    if (m_fullScreenWindow && watched == m_home && event->type() == QEvent::WindowActivate)
        QTimer::singleShot(0, this, &MediaPlayerView::bringFullScreenForward);
    return QWidget::eventFilter(watched, event);
}

// The picture has no controls of its own full screen: a click or Space plays and pauses; Escape,
// a double click or closing the window leaves.
bool MediaPlayerView::fullScreenEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        m_clickTimer->start();
        return true;
    case QEvent::MouseButtonDblClick:
        m_clickTimer->stop();
        leaveFullScreen();
        return true;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            leaveFullScreen();
            return true;
        }
        if (key->key() == Qt::Key_Space) {
            if (!key->isAutoRepeat())
                togglePlayback();
            return true;
        }
        return false;
    }
    case QEvent::Close:
        event->ignore();
        leaveFullScreen();
        return true;
    default:
        return false;
    }
}

} // namespace tarnwick
