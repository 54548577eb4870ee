#include "ui/cards/ClipCard.h"

#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRing.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/ViewHelpers.h"
#include "ui/preview/AudioOutputs.h"
#include "ui/preview/MediaPlayerView.h"
#include "ui/preview/PlayerSource.h"
#include "ui/preview/ScrubEngine.h"
#include "ui/preview/ThumbnailGenerator.h"

#include <QAbstractSlider>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMediaPlayer>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QSlider>
#include <QToolButton>
#include <QToolTip>
#include <QVariantAnimation>

#include <cmath>

#include <qcoro/qcorotask.h>

namespace tarnwick {

namespace {

// A button drawn by hand: a style sheet per button made every card repaint go through the style
// sheet machinery, and the cards repaint on every scroll step.
class CardButton : public QToolButton {
public:
    CardButton(QWidget* parent, int iconSize, int padding, bool round) : QToolButton(parent), m_round(round) {
        setAutoRaise(true);
        setCursor(Qt::PointingHandCursor);
        setIconSize(QSize(iconSize, iconSize));
        setFixedSize(iconSize + 2 * padding, iconSize + 2 * padding);
    }

protected:
    // The grid moves between cards with these: a button hands them on instead of moving the focus.
    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            event->ignore();
            return;
        default:
            QToolButton::keyPressEvent(event);
        }
    }

    void paintEvent(QPaintEvent*) override {
        // Drawn once per look into the pixmap cache: even a small antialiased circle costs the
        // raster engine a round trip through its fill threads.
        const qreal ratio = devicePixelRatioF();
        const bool down = isDown();
        const QString key = QStringLiteral("card-button/%1/%2/%3/%4/%5")
                                .arg(icon().cacheKey())
                                .arg(width())
                                .arg(iconSize().width())
                                .arg(int(m_round) * 2 + int(down))
                                .arg(ratio);
        QPixmap look;
        if (!QPixmapCache::find(key, &look)) {
            look = QPixmap(size() * ratio);
            look.setDevicePixelRatio(ratio);
            look.fill(Qt::transparent);
            QPainter p(&look);
            if (m_round) {
                p.setRenderHint(QPainter::Antialiasing);
                p.setPen(Qt::NoPen);
                p.setBrush(down ? Color::pictureButtonPressedBacking() : Color::pictureButtonBacking());
                p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
            }
            const QSize size = iconSize();
            const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
            const QPixmap glyph = icon().pixmap(size, ratio);
            if (!m_round)
                drawShadow(p, target, glyph);
            p.drawPixmap(target, glyph);
            p.end();
            QPixmapCache::insert(key, look);
        }
        QPainter painter(this);
        painter.drawPixmap(0, 0, look);
        // Light outside, dark inside: one band reads over any frame of the clip.
        if (hasFocus())
            paintFocusRing(painter, QRectF(rect()), m_round ? width() / 2.0 : 4, Color::brandTextPrimary());
    }

private:
    // A soft dark halo around the glyph (black, about a third opaque, radius 3), so the white
    // play and stop symbols read over a bright frame too.
    static void drawShadow(QPainter& p, const QRect& target, const QPixmap& glyph) {
        QPixmap shadow = glyph;
        {
            QPainter tint(&shadow);
            tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
            tint.fillRect(shadow.rect(), Qt::black);
        }
        p.save();
        p.setOpacity(0.11);
        for (const qreal radius : {1.5, 3.0})
            for (int step = 0; step < 8; ++step) {
                const qreal angle = step * M_PI / 4;
                p.drawPixmap(QRectF(target).translated(radius * std::cos(angle), radius * std::sin(angle)),
                             shadow, shadow.rect());
            }
        p.restore();
    }

    bool m_round;
};

QToolButton* roundButton(QWidget* parent, int iconSize, int padding, const QString& tip) {
    auto* button = new CardButton(parent, iconSize, padding, true);
    button->setToolTip(tip);
    return button;
}

QToolButton* plainButton(QWidget* parent, const QString& symbol, int iconSize) {
    auto* button = new CardButton(parent, iconSize, 4, false);
    button->setIcon(symbolIcon(symbol, Color::pictureButtonIcon()));
    return button;
}

} // namespace

CardBadges cardBadges(const MediaFile& file, ClipKind kind, bool hovering, bool hasVideoURL, bool ready,
                      bool failed) {
    CardBadges badges;
    const UsageLabel usage = usageLabel(file);
    badges.leading.append({usage.text, usage.color, usage.solid});
    if (file.isProtected)
        badges.leading.append({QStringLiteral("🔒 Protected"), Color::brandCyan()});
    if (file.proxyPath)
        badges.leading.append({QStringLiteral("Proxy"), Color::brandCyan()});
    // A still that could not be decoded ends like a video that could not: flagged in red.
    if (kind == ClipKind::image && failed)
        badges.trailing.append({QStringLiteral("Decode failed"), Color::brandRed()});
    if (kind != ClipKind::video)
        return badges;
    if (!hovering && hasVideoURL && ready)
        badges.leading.append({QStringLiteral("Poster"), Color::brandTextTertiary()});
    if (!hasVideoURL)
        badges.trailing.append({QStringLiteral("No preview"), Color::brandTextTertiary()});
    else if (failed)
        badges.trailing.append({QStringLiteral("Decode failed"), Color::brandRed()});
    return badges;
}

ClipCard::ClipCard(CardStillLoader loadStill, QWidget* parent)
    : QWidget(parent), m_loadStill(std::move(loadStill)), m_shimmer(new QVariantAnimation(this)),
      m_stripAnimation(new QVariantAnimation(this)), m_fonts(CardFonts::make()),
      m_selectedIcon(symbolIcon(QStringLiteral("checkmark.circle.fill"), Color::brandAccent())),
      m_unselectedIcon(symbolIcon(QStringLiteral("circle"), Color::unselectedMark())),
      m_select(roundButton(this, 16, 6, QStringLiteral("Select"))),
      m_trash(roundButton(this, 12, 6, QStringLiteral("Move to virtual recycle bin"))),
      m_play(plainButton(this, QStringLiteral("play.circle.fill"), 32)),
      m_stop(plainButton(this, QStringLiteral("xmark.circle.fill"), 20)) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_trash->setIcon(symbolIcon(QStringLiteral("trash"), Color::pictureButtonIcon()));
    m_shimmer->setStartValue(-1.0);
    m_shimmer->setEndValue(1.2);
    m_shimmer->setDuration(900);
    m_shimmer->setLoopCount(-1);
    connect(m_shimmer, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_shimmerPhase = value.toDouble();
        update(previewRect());
    });
    m_stripAnimation->setDuration(stripAnimationMs);
    m_stripAnimation->setEasingCurve(QEasingCurve::Linear);
    connect(m_stripAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_stripFraction = value.toDouble();
        m_pictureValid = false;
        update(0, previewHeight, width(), stripHeight + 4);
    });
    m_select->setIcon(m_unselectedIcon);
    connect(m_select, &QToolButton::clicked, this, [this] { Q_EMIT toggleSelectRequested(m_file.id); });
    connect(m_trash, &QToolButton::clicked, this, [this] { Q_EMIT trashRequested(m_file); });
    connect(m_play, &QToolButton::clicked, this, &ClipCard::startAudioPlayback);
    connect(m_stop, &QToolButton::clicked, this, &ClipCard::stopPlayback);
    refreshButtons();
}

ClipCard::~ClipCard() {
    clear();
}

void ClipCard::showFile(const MediaFile& file, ScrubEngine* engine, bool selected, EngineStart start) {
    // The same file again (a card shown mid-scroll may get its engine only now); one whose file now
    // stands elsewhere (transcoded, relinked) or came back on the disk is shown afresh.
    if (m_shown && file.id == m_file.id && previewSource(file) == previewSource(m_file) &&
        (engine == m_engine || (engine && !m_engine))) {
        if (!(file == m_file)) {
            m_file = file;
            m_info.reset();
            refresh();
        }
        setSelected(selected);
        adoptEngine(engine);
        if (start == EngineStart::now)
            startEngine();
        return;
    }
    clear();
    m_file = file;
    m_kind = mediaKind(file);
    m_hasVideoURL = playableVideoURL(file).has_value();
    m_hasAudioURL = playableAudioURL(file).has_value();
    m_selected = selected;
    m_shown = true;
    m_info.reset();
    m_engine = engine;
    if (m_engine)
        m_engineConnection = connect(m_engine, &ScrubEngine::changed, this, &ClipCard::engineChanged);
    if (start == EngineStart::now)
        startEngine();
    if (m_kind == ClipKind::image && m_file.isOnDisk() && m_loadStill) {
        m_stillToken = RequestToken::make();
        loadImagePoster(standingPath(m_file), m_stillToken);
    }
    refreshButtons();
    refresh();
}

void ClipCard::startEngine(ScrubEngine* engine) {
    if (!m_shown)
        return;
    adoptEngine(engine);
    if (m_engineStarted || !m_engine || m_kind != ClipKind::video)
        return;
    m_engineStarted = true;
    m_engine->prepare();
}

void ClipCard::adoptEngine(ScrubEngine* engine) {
    if (!engine || engine == m_engine)
        return;
    disconnect(m_engineConnection);
    if (m_engine && m_engineStarted)
        m_engine->reset();
    m_engineStarted = false;
    m_engine = engine;
    m_engineConnection = connect(m_engine, &ScrubEngine::changed, this, &ClipCard::engineChanged);
    refresh();
}

void ClipCard::clear() {
    if (!m_shown)
        return;
    m_shown = false;
    m_stillToken.cancel();
    m_still.reset();
    m_stillFailed = false;
    m_noAudioOutput = false;
    m_hovering = false;
    m_scrubFraction = 0;
    m_stripAnimation->stop();
    m_stripFraction = 0;
    m_info.reset();
    disconnect(m_engineConnection);
    // A card that only scrolled past never started its engine, so it has nothing to stop.
    if (m_engine && m_engineStarted)
        m_engine->reset();
    m_engineStarted = false;
    m_engine = nullptr;
    stopPlayback();
    refreshShimmer();
    refresh();
    m_picture = QPixmap(); // a spare card holds no picture
}

const CardInfoLayout& ClipCard::infoLayout() {
    if (!m_info || m_info->width != width())
        m_info = CardInfoLayout::make(m_file, width(), m_fonts);
    return *m_info;
}

CardHelp ClipCard::helpAt(QPoint point) {
    if (!m_shown)
        return {};
    return infoLayout().helpAt(point);
}

bool ClipCard::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const CardHelp found = helpAt(help->pos());
        if (found.text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), found.text, this, found.area);
        }
        return true;
    }
    return QWidget::event(event);
}

void ClipCard::refresh() {
    m_pictureValid = false;
    update();
}

void ClipCard::moveStripTo(double fraction) {
    if (fraction == m_stripFraction && m_stripAnimation->state() != QAbstractAnimation::Running)
        return;
    m_stripAnimation->stop();
    m_stripAnimation->setStartValue(m_stripFraction);
    m_stripAnimation->setEndValue(fraction);
    m_stripAnimation->start();
}

void ClipCard::setSelected(bool selected) {
    if (selected == m_selected)
        return;
    m_selected = selected;
    refreshButtons();
    refresh();
}

std::optional<QImage> ClipCard::shownImage() const {
    if (m_kind == ClipKind::video)
        return m_engine ? m_engine->displayImage() : std::nullopt;
    if (m_kind == ClipKind::image)
        return m_still;
    return std::nullopt;
}

QString ClipCard::placeholderText() const {
    if (m_kind == ClipKind::audio)
        return m_noAudioOutput ? QStringLiteral("No audio output") : QStringLiteral("Audio · press play");
    if (m_kind == ClipKind::image) {
        if (!m_file.isOnDisk())
            return QStringLiteral("Offline");
        return m_stillFailed ? QStringLiteral("Frame unavailable") : QStringLiteral("Loading…");
    }
    if (!m_hasVideoURL)
        return QStringLiteral("No preview available");
    if (m_engine && m_engine->failed())
        return QStringLiteral("Frame unavailable");
    return QStringLiteral("Loading…");
}

CardBadges ClipCard::badges() const {
    const bool failed = m_kind == ClipKind::image ? m_stillFailed : (m_engine && m_engine->failed());
    return cardBadges(m_file, m_kind, m_hovering, m_hasVideoURL, m_engine && m_engine->ready(), failed);
}

bool ClipCard::shimmerRunning() const {
    return m_shimmer->state() == QAbstractAnimation::Running;
}

void ClipCard::handleHover(double x) {
    if (!m_engineStarted && m_kind == ClipKind::video) {
        // A card shown while the grid scrolled: the grid hands over the engine now.
        Q_EMIT engineWanted(this);
        startEngine();
    }
    m_hovering = true;
    const double fraction = cardTexts::hoverFraction(x, width());
    moveStripTo(fraction);
    m_scrubFraction = fraction;
    if (m_engine)
        m_engine->scrub(m_scrubFraction);
    refreshShimmer();
    refresh();
}

void ClipCard::handleHoverEnded() {
    if (!m_hovering)
        return;
    m_hovering = false;
    m_stripAnimation->stop();
    m_stripFraction = 0; // the strip's bar goes with the hover
    // Back to the poster; a frame still on its way will not replace it.
    if (m_engine)
        m_engine->endHover();
    refreshShimmer();
    refresh();
}

void ClipCard::startAudioPlayback() {
    const std::optional<QUrl> url = playableAudioURL(m_file);
    if (!url)
        return;
    stopPlayback();
    // Without a sound output a clip with pictures plays silently; one with sound only cannot play.
    const bool sound = audioOutputAvailable();
    m_noAudioOutput = !sound;
    if (!sound && m_kind != ClipKind::video) {
        refresh();
        return;
    }
    m_player = new QMediaPlayer(this);
    if (sound)
        attachAudioOutput(*m_player);
    setPlayerSource(*m_player, *url);
    m_playerView = new MediaPlayerView(m_player, this);
    // A clip's pictures the player cannot show come from the previews' decoder instead.
    if (m_kind == ClipKind::video && url->isLocalFile())
        m_playerView->setPictureSource(url->toLocalFile(), ThumbnailGenerator::shared().decodingPool());
    m_playerView->setGeometry(previewRect());
    m_playerView->show();
    // Its controls follow the card's own buttons in the Tab chain.
    QWidget* previous = m_stop;
    const QList<QWidget*> controls{m_playerView->playButton(), m_playerView->positionSlider(),
                                   m_playerView->fullScreenButton()};
    for (QWidget* stop : controls) {
        QWidget::setTabOrder(previous, stop);
        previous = stop;
    }
    m_playing = true;
    refreshTabStops();
    // A file neither the player nor the decoder can read says so in the card; nothing is started.
    if (!m_playerView->failed())
        m_player->play();
    refreshButtons();
    refresh();
}

void ClipCard::stopPlayback() {
    if (m_player)
        m_player->pause();
    delete m_playerView;
    m_playerView = nullptr;
    delete m_player; // owns its audio output
    m_player = nullptr;
    m_playing = false;
    refreshButtons();
    refresh();
}

QCoro::Task<void> ClipCard::loadImagePoster(QString path, RequestToken token) {
    QPointer<ClipCard> self(this);
    auto loading =
        m_loadStill(path, QSize(CardGridLayout::maxColumnWidth, previewHeight) * devicePixelRatioF());
    std::optional<QImage> still = co_await std::move(loading);
    if (!self || token.isCancelled())
        co_return;
    if (still && still->isNull())
        still.reset();
    m_stillFailed = !still;
    m_still = std::move(still);
    refresh();
}

void ClipCard::engineChanged() {
    refreshShimmer();
    refresh();
}

void ClipCard::refreshShimmer() {
    const bool wanted = m_hovering && m_engine && m_engine->ready() && m_engine->loadingFrame();
    if (wanted && m_shimmer->state() != QAbstractAnimation::Running)
        m_shimmer->start();
    else if (!wanted && m_shimmer->state() == QAbstractAnimation::Running)
        m_shimmer->stop();
}

void ClipCard::resizeEvent(QResizeEvent*) {
    m_pictureValid = false;
    placeButtons();
    if (m_playerView)
        m_playerView->setGeometry(previewRect());
}

void ClipCard::setTabStopsEnabled(bool enabled) {
    if (enabled == m_tabStopsEnabled)
        return;
    m_tabStopsEnabled = enabled;
    refreshTabStops();
}

void ClipCard::refreshTabStops() {
    for (QWidget* stop : tabStops()) {
        // A slider also takes the focus by a click, as everywhere else.
        const Qt::FocusPolicy reached = qobject_cast<QAbstractSlider*>(stop) ? Qt::StrongFocus : Qt::TabFocus;
        stop->setFocusPolicy(m_tabStopsEnabled ? reached : Qt::NoFocus);
    }
}

QList<QWidget*> ClipCard::tabStops() const {
    QList<QWidget*> stops{m_select, m_trash, m_play, m_stop};
    if (m_playerView)
        stops << m_playerView->playButton() << m_playerView->positionSlider()
              << m_playerView->fullScreenButton();
    return stops;
}

void ClipCard::placeButtons() {
    m_select->move(8, 8);
    m_trash->move(width() - 8 - m_trash->width(), 8);
    m_play->move(width() - 10 - m_play->width(), previewHeight - 10 - m_play->height());
    m_stop->move(8, 8);
}

void ClipCard::refreshButtons() {
    const bool playing = this->playing();
    m_select->setVisible(!playing);
    m_trash->setVisible(!playing);
    m_play->setVisible(!playing && m_hasAudioURL);
    m_stop->setVisible(playing);
    if (playing)
        m_stop->raise();
    const QString tip = m_selected ? QStringLiteral("Deselect") : QStringLiteral("Select");
    if (m_select->toolTip() != tip) {
        m_select->setIcon(m_selected ? m_selectedIcon : m_unselectedIcon);
        m_select->setToolTip(tip);
    }
    placeButtons();
}

void ClipCard::mouseMoveEvent(QMouseEvent* event) {
    const bool over = previewRect().contains(event->position().toPoint());
    if (m_kind == ClipKind::video && !playing() && over)
        handleHover(event->position().x());
    else
        handleHoverEnded();
    QWidget::mouseMoveEvent(event);
}

void ClipCard::mousePressEvent(QMouseEvent* event) {
    Q_EMIT pressed(this);
    QWidget::mousePressEvent(event);
}

void ClipCard::leaveEvent(QEvent* event) {
    handleHoverEnded();
    QWidget::leaveEvent(event);
}

} // namespace tarnwick
