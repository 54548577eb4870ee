#include "ui/preview/MediaPlayerView.h"

#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRing.h"
#include "ui/brand/SymbolIcons.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QPainter>
#include <QSlider>
#include <QSpacerItem>
#include <QStyle>
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
      m_fullScreen(new BarButton(this)), m_noAudio(new QLabel(this)) {
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
    m_barAbove = new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
    layout->addItem(m_barAbove);
    layout->addLayout(bar);
    m_barBelow = new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
    layout->addItem(m_barBelow);

    connect(m_play, &QToolButton::clicked, this, [this] {
        if (!m_player)
            return;
        if (m_player->playbackState() == QMediaPlayer::PlayingState)
            m_player->pause();
        else
            m_player->play();
    });
    connect(m_position, &QSlider::sliderPressed, this, [this] { m_sliderHeld = true; });
    connect(m_position, &QSlider::sliderReleased, this, [this] {
        m_sliderHeld = false;
        if (m_player)
            m_player->setPosition(m_position->value());
    });
    connect(m_position, &QSlider::actionTriggered, this, [this](int) {
        if (m_player && !m_sliderHeld)
            m_player->setPosition(m_position->sliderPosition());
    });
    connect(m_fullScreen, &QToolButton::clicked, this, [this] { setFullScreen(!isFullScreen()); });

    m_player = player;
    attach();
}

MediaPlayerView::~MediaPlayerView() {
    // The full-screen picture goes with this view; the player must not keep drawing into it.
    if (m_fullScreenWindow && m_player && m_player->videoOutput() == m_fullScreenVideo)
        m_player->setVideoOutput(m_video);
}

void MediaPlayerView::setPlayer(QMediaPlayer* player) {
    if (player == m_player)
        return;
    leaveFullScreen();
    if (m_player && m_player->videoOutput() == m_video)
        m_player->setVideoOutput(nullptr);
    m_player = player;
    attach();
}

void MediaPlayerView::setShowsPicture(bool shows) {
    m_video->setVisible(shows);
    for (QSpacerItem* space : {m_barAbove, m_barBelow})
        space->changeSize(0, 0, QSizePolicy::Minimum, shows ? QSizePolicy::Fixed : QSizePolicy::Expanding);
    layout()->invalidate();
}

void MediaPlayerView::attach() {
    ++m_playerChanges;
    for (const auto& connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    if (m_player) {
        m_player->setVideoOutput(m_video);
        m_connections
            << connect(m_player, &QMediaPlayer::positionChanged, this, &MediaPlayerView::refreshPosition)
            << connect(m_player, &QMediaPlayer::durationChanged, this, &MediaPlayerView::refreshPosition)
            << connect(m_player, &QMediaPlayer::playbackStateChanged, this,
                       &MediaPlayerView::refreshPlayButton)
            << connect(m_player, &QMediaPlayer::audioOutputChanged, this, &MediaPlayerView::refreshPlayButton)
            << connect(m_player, &QMediaPlayer::hasVideoChanged, this, &MediaPlayerView::refreshPlayButton);
    }
    refreshPosition();
    refreshPlayButton();
}

void MediaPlayerView::refreshPosition() {
    const qint64 duration = m_player ? m_player->duration() : 0;
    const qint64 position = m_player ? m_player->position() : 0;
    m_position->setRange(0, int(std::min<qint64>(duration, std::numeric_limits<int>::max())));
    if (!m_sliderHeld)
        m_position->setValue(int(std::min<qint64>(position, std::numeric_limits<int>::max())));
    m_time->setText(playerTimeText(position) + QStringLiteral(" / ") + playerTimeText(duration));
    m_position->setEnabled(duration > 0);
}

void MediaPlayerView::refreshPlayButton() {
    const bool playing = m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
    const bool silent = m_player && !m_player->audioOutput();
    m_play->setIcon(barIcon(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill")));
    m_play->setToolTip(playing ? tr("Pause") : tr("Play"));
    // Without sound a clip with no picture has nothing to play.
    m_play->setEnabled(m_player && (!silent || m_player->hasVideo() || playing));
    m_noAudio->setVisible(silent);
}

void MediaPlayerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    refreshNoAudioLook();
}

// The words where the bar has room for them (the sheet), the crossed-out speaker where it has not
// (a card), so the position slider keeps its length.
void MediaPlayerView::refreshNoAudioLook() {
    const bool roomy = width() >= 480;
    if (roomy && m_noAudio->text().isEmpty()) {
        m_noAudio->setText(QStringLiteral("No audio output"));
    } else if (!roomy && m_noAudio->pixmap().isNull()) {
        const qreal ratio = devicePixelRatioF();
        m_noAudio->setPixmap(symbolIcon(QStringLiteral("speaker.slash.fill"), Color::brandTextSecondary())
                                 .pixmap(QSize(14, 14), ratio));
    }
}

void MediaPlayerView::setFullScreen(bool fullScreen) {
    if (fullScreen)
        enterFullScreen();
    else
        leaveFullScreen();
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
    // A paused clip keeps its picture on the way over.
    m_fullScreenVideo->videoSink()->setVideoFrame(m_video->videoSink()->videoFrame());
    m_player->setVideoOutput(m_fullScreenVideo);
    window->showFullScreen();
    window->activateWindow();
    window->setFocus(Qt::OtherFocusReason);
}

void MediaPlayerView::leaveFullScreen() {
    QWidget* window = m_fullScreenWindow.data();
    if (!window)
        return;
    m_fullScreenWindow.clear();
    if (m_player && m_player->videoOutput() == m_fullScreenVideo) {
        m_video->videoSink()->setVideoFrame(m_fullScreenVideo->videoSink()->videoFrame());
        m_player->setVideoOutput(m_video);
    }
    m_fullScreenVideo = nullptr;
    window->removeEventFilter(this);
    window->hide();
    // Not now: this may run inside one of the window's own events.
    window->deleteLater();
    if (QWidget* home = this->window(); home && home->isVisible())
        home->activateWindow();
}

bool MediaPlayerView::eventFilter(QObject* watched, QEvent* event) {
    // Escape, a double click or closing the window leaves full screen; the picture has no controls
    // of its own there.
    if (m_fullScreenWindow && (watched == m_fullScreenWindow || watched == m_fullScreenVideo)) {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonDblClick || type == QEvent::Close ||
            (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)) {
            if (type == QEvent::Close)
                event->ignore();
            leaveFullScreen();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tarnwick
