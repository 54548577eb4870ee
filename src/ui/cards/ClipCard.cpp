#include "ui/cards/ClipCard.h"

#include "ui/BrandPalette.h"
#include "ui/SymbolIcons.h"
#include "ui/preview/MediaPlayerView.h"
#include "ui/preview/ScrubEngine.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVariantAnimation>

#include <qcoro/qcorotask.h>

namespace tarnwick {

namespace {

QToolButton* roundButton(QWidget* parent, int iconSize, int padding, const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setIconSize(QSize(iconSize, iconSize));
    button->setFixedSize(iconSize + 2 * padding, iconSize + 2 * padding);
    button->setToolTip(tip);
    button->setStyleSheet(QStringLiteral("QToolButton { background: rgba(0,0,0,128); border: none; "
                                         "border-radius: %1px; }")
                              .arg((iconSize + 2 * padding) / 2));
    return button;
}

QToolButton* plainButton(QWidget* parent, const QString& symbol, int iconSize) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setIcon(symbolIcon(symbol, QColor(255, 255, 255, 230)));
    button->setIconSize(QSize(iconSize, iconSize));
    button->setFixedSize(iconSize + 8, iconSize + 8);
    button->setStyleSheet(QStringLiteral("QToolButton { background: transparent; border: none; }"));
    return button;
}

} // namespace

CardBadges cardBadges(const MediaFile& file, ClipKind kind, bool hovering, bool hasVideoUrl, bool ready,
                      bool failed) {
    CardBadges badges;
    const UsageLabel usage = usageLabel(file);
    badges.leading.append({usage.text, usage.color, usage.solid});
    if (file.isProtected)
        badges.leading.append({QStringLiteral("🔒 Protected"), Color::brandCyan()});
    if (file.proxyPath)
        badges.leading.append({QStringLiteral("Proxy"), Color::brandCyan()});
    if (kind != ClipKind::video)
        return badges;
    if (!hovering && hasVideoUrl && ready)
        badges.leading.append({QStringLiteral("Poster"), Color::brandTextTertiary()});
    if (!hasVideoUrl)
        badges.trailing.append({QStringLiteral("No preview"), Color::brandTextTertiary()});
    else if (failed)
        badges.trailing.append({QStringLiteral("Decode failed"), Color::brandRed()});
    return badges;
}

ClipCard::ClipCard(CardStillLoader loadStill, QWidget* parent)
    : QWidget(parent), m_loadStill(std::move(loadStill)), m_shimmer(new QVariantAnimation(this)),
      m_select(roundButton(this, 16, 6, QStringLiteral("Select"))),
      m_trash(roundButton(this, 12, 6, QStringLiteral("Move to virtual recycle bin"))),
      m_play(plainButton(this, QStringLiteral("play.circle.fill"), 32)),
      m_stop(plainButton(this, QStringLiteral("xmark.circle.fill"), 20)) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_trash->setIcon(symbolIcon(QStringLiteral("trash"), QColor(255, 255, 255, 230)));
    m_shimmer->setStartValue(-1.0);
    m_shimmer->setEndValue(1.2);
    m_shimmer->setDuration(900);
    m_shimmer->setLoopCount(-1);
    connect(m_shimmer, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_shimmerPhase = value.toDouble();
        update(previewRect());
    });
    connect(m_select, &QToolButton::clicked, this, [this] { Q_EMIT toggleSelectRequested(m_file.id); });
    connect(m_trash, &QToolButton::clicked, this, [this] { Q_EMIT trashRequested(m_file); });
    connect(m_play, &QToolButton::clicked, this, &ClipCard::startAudioPlayback);
    connect(m_stop, &QToolButton::clicked, this, &ClipCard::stopPlayback);
    refreshButtons();
}

ClipCard::~ClipCard() {
    clear();
}

void ClipCard::showFile(const MediaFile& file, ScrubEngine* engine, bool selected) {
    if (m_shown && file.id == m_file.id && engine == m_engine) {
        m_file = file;
        setSelected(selected);
        update();
        return;
    }
    clear();
    m_file = file;
    m_kind = mediaKind(file);
    m_hasVideoUrl = playableVideoURL(file).has_value();
    m_hasAudioUrl = playableAudioURL(file).has_value();
    m_selected = selected;
    m_shown = true;
    m_engine = engine;
    if (m_engine) {
        m_engineConnection = connect(m_engine, &ScrubEngine::changed, this, &ClipCard::engineChanged);
        if (m_kind == ClipKind::video)
            m_engine->prepare();
    }
    if (m_kind == ClipKind::image && m_file.isOnDisk() && m_loadStill) {
        m_stillToken = RequestToken::make();
        loadImagePoster(m_file.matchedPath.value_or(m_file.path), m_stillToken);
    }
    refreshButtons();
    update();
}

void ClipCard::clear() {
    if (!m_shown)
        return;
    m_shown = false;
    m_stillToken.cancel();
    m_still.reset();
    m_hovering = false;
    m_scrubFraction = 0;
    disconnect(m_engineConnection);
    if (m_engine)
        m_engine->reset();
    m_engine = nullptr;
    stopPlayback();
    refreshShimmer();
}

void ClipCard::setSelected(bool selected) {
    if (selected == m_selected)
        return;
    m_selected = selected;
    refreshButtons();
    update();
}

std::optional<QImage> ClipCard::shownImage() const {
    if (m_kind == ClipKind::video)
        return m_engine ? m_engine->displayImage() : std::nullopt;
    if (m_kind == ClipKind::image)
        return m_still;
    return std::nullopt;
}

QString ClipCard::placeholderText() const {
    if (!m_hasVideoUrl)
        return QStringLiteral("No preview available");
    if (m_engine && m_engine->failed())
        return QStringLiteral("Frame unavailable");
    return QStringLiteral("Loading…");
}

CardBadges ClipCard::badges() const {
    return cardBadges(m_file, m_kind, m_hovering, m_hasVideoUrl, m_engine && m_engine->ready(),
                      m_engine && m_engine->failed());
}

bool ClipCard::shimmerRunning() const {
    return m_shimmer->state() == QAbstractAnimation::Running;
}

void ClipCard::handleHover(double x) {
    m_hovering = true;
    m_scrubFraction = cardTexts::hoverFraction(x, width());
    if (m_engine)
        m_engine->scrub(m_scrubFraction);
    refreshShimmer();
    update();
}

void ClipCard::handleHoverEnded() {
    if (!m_hovering)
        return;
    m_hovering = false;
    // Back to the poster; a frame still on its way will not replace it.
    if (m_engine)
        m_engine->endHover();
    refreshShimmer();
    update();
}

void ClipCard::startAudioPlayback() {
    const std::optional<QUrl> url = playableAudioURL(m_file);
    if (!url)
        return;
    stopPlayback();
    m_player = new QMediaPlayer(this);
    m_audio = new QAudioOutput(m_player);
    m_player->setAudioOutput(m_audio);
    m_player->setSource(*url);
    m_playerView = new MediaPlayerView(m_player, this);
    m_playerView->setGeometry(previewRect());
    m_playerView->show();
    m_playing = true;
    m_player->play();
    refreshButtons();
    update();
}

void ClipCard::stopPlayback() {
    if (m_player)
        m_player->pause();
    delete m_playerView;
    m_playerView = nullptr;
    delete m_player; // owns its audio output
    m_player = nullptr;
    m_audio = nullptr;
    m_playing = false;
    refreshButtons();
    update();
}

QCoro::Task<void> ClipCard::loadImagePoster(QString path, RequestToken token) {
    QPointer<ClipCard> self(this);
    auto loading =
        m_loadStill(path, QSize(CardGridLayout::maxColumnWidth, previewHeight) * devicePixelRatioF());
    std::optional<QImage> still = co_await std::move(loading);
    if (!self || token.isCancelled())
        co_return;
    m_still = std::move(still);
    update(previewRect());
}

void ClipCard::engineChanged() {
    refreshShimmer();
    update();
}

void ClipCard::refreshShimmer() {
    const bool wanted = m_hovering && m_engine && m_engine->ready() && m_engine->loadingFrame();
    if (wanted && m_shimmer->state() != QAbstractAnimation::Running)
        m_shimmer->start();
    else if (!wanted && m_shimmer->state() == QAbstractAnimation::Running)
        m_shimmer->stop();
}

void ClipCard::resizeEvent(QResizeEvent*) {
    placeButtons();
    if (m_playerView)
        m_playerView->setGeometry(previewRect());
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
    m_play->setVisible(!playing && m_hasAudioUrl);
    m_stop->setVisible(playing);
    if (playing)
        m_stop->raise();
    m_select->setIcon(m_selected ? symbolIcon(QStringLiteral("checkmark.circle.fill"), Color::brandAccent())
                                 : symbolIcon(QStringLiteral("circle"), QColor(255, 255, 255, 217)));
    m_select->setToolTip(m_selected ? QStringLiteral("Deselect") : QStringLiteral("Select"));
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

void ClipCard::leaveEvent(QEvent* event) {
    handleHoverEnded();
    QWidget::leaveEvent(event);
}

} // namespace tarnwick
