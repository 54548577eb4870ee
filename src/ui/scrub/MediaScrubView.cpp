#include "ui/scrub/MediaScrubView.h"

#include "ui/brand/BrandPalette.h"
#include "ui/common/ElidedLabel.h"
#include "ui/common/Labels.h"
#include "ui/preview/MediaPlayerView.h"
#include "ui/preview/ThumbnailGenerator.h"
#include "ui/scrub/ScrubStrips.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <qcoro/qcorotask.h>

namespace tarnwick {

namespace {

void fill(QWidget* widget, const QColor& color) {
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
}

QWidget* spinner(int width) {
    auto* holder = new QWidget;
    auto* layout = new QHBoxLayout(holder);
    auto* busy = new QProgressBar;
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setFixedWidth(width);
    layout->addStretch();
    layout->addWidget(busy);
    layout->addStretch();
    return holder;
}

QFrame* divider() {
    auto* line = new QFrame;
    line->setFixedHeight(1);
    fill(line, Color::brandSurfaceSunken());
    return line;
}

} // namespace

MediaScrubView::MediaScrubView(QString filePath, QString fileName, bool isAudio, ScrubSheetServices services,
                               QWidget* parent)
    : QWidget(parent), m_filePath(std::move(filePath)), m_fileName(std::move(fileName)), m_isAudio(isAudio),
      m_ctrl(new ScrubController(std::move(services), this)), m_done(new QPushButton(QStringLiteral("Done"))),
      m_playerArea(new QStackedWidget), m_playerView(new MediaPlayerView(nullptr)),
      m_stripArea(new QStackedWidget) {
    fill(this, Color::brandBackground());
    setMinimumSize(760, isAudio ? 320 : 540);

    auto* header = new QWidget;
    fill(header, Color::brandSurface());
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(12, 12, 12, 12);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    QFont headline = QApplication::font();
    headline.setPixelSize(13);
    headline.setBold(true);
    QFont caption = QApplication::font();
    caption.setPixelSize(11);
    auto* name = elidedLabel(m_fileName, Qt::ElideMiddle, caption, Color::brandTextTertiary());
    name->setMinimumWidth(40);
    titles->addWidget(brandLabel(kindText(), headline, Color::brandTextPrimary()));
    titles->addWidget(name);
    row->addLayout(titles, 1);
    row->addWidget(brandLabel(hintText(), caption, Color::brandTextTertiary()));

    m_done->setDefault(true);
    m_done->setAutoDefault(true);
    row->addWidget(m_done);

    fill(m_playerArea, Qt::black);
    m_playerArea->addWidget(spinner(120));
    m_playerArea->addWidget(m_playerView);
    if (isAudio)
        m_playerArea->setFixedHeight(80);
    else
        m_playerArea->setMinimumHeight(320);

    auto* stripHolder = new QWidget;
    fill(stripHolder, Color::brandSurface());
    auto* stripLayout = new QVBoxLayout(stripHolder);
    stripLayout->setContentsMargins(10, 10, 10, 10);
    // A sound has no picture: its waveform takes the sheet's spare height, not an empty black box.
    if (isAudio) {
        m_stripArea->setMinimumHeight(96);
        m_playerView->setShowsPicture(false);
    } else {
        m_stripArea->setFixedHeight(88);
    }
    m_stripArea->addWidget(spinner(80));
    ScrubStrip* strip = nullptr;
    if (isAudio)
        strip = m_waveform = new WaveformStrip;
    else
        strip = m_filmstrip = new FilmstripStrip;
    m_stripArea->addWidget(strip);
    stripLayout->addWidget(m_stripArea);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(header);
    column->addWidget(divider());
    column->addWidget(m_playerArea, isAudio ? 0 : 1);
    column->addWidget(divider());
    column->addWidget(stripHolder, isAudio ? 1 : 0);

    connect(m_done, &QPushButton::clicked, this, [this] { window()->close(); });
    connect(strip, &ScrubStrip::seekRequested, m_ctrl, &ScrubController::seek);
    connect(m_ctrl, &ScrubController::playerChanged, this, &MediaScrubView::refreshPlayer);
    connect(m_ctrl, &ScrubController::stripLoaded, this, &MediaScrubView::refreshStrip);
    connect(m_ctrl, &ScrubController::playheadChanged, strip,
            [this, strip] { strip->setPlayhead(m_ctrl->playheadFraction()); });
}

MediaScrubView::~MediaScrubView() {
    m_ctrl->teardown();
}

QString MediaScrubView::kindText() const {
    return m_isAudio ? QStringLiteral("Audio") : QStringLiteral("Video");
}

QString MediaScrubView::hintText() const {
    return QStringLiteral("click the ") +
           (m_isAudio ? QStringLiteral("waveform") : QStringLiteral("filmstrip")) +
           QStringLiteral(" to seek");
}

bool MediaScrubView::showsStripSpinner() const {
    return m_stripArea->currentIndex() == 0;
}

bool MediaScrubView::showsPlayerSpinner() const {
    return m_playerArea->currentIndex() == 0;
}

void MediaScrubView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    QCoro::connect(m_ctrl->load(m_filePath, m_isAudio), this, [] {});
}

void MediaScrubView::hideEvent(QHideEvent* event) {
    // Hidden with its sheet: playback stops and the player goes, whatever is still loading.
    if (!event->spontaneous())
        m_ctrl->teardown();
    QWidget::hideEvent(event);
}

void MediaScrubView::refreshPlayer() {
    QMediaPlayer* player = m_ctrl->player();
    m_playerView->setPlayer(player);
    // A video's pictures the player cannot show come from the previews' decoder.
    if (player && !m_isAudio && m_ctrl->picturePool())
        m_playerView->setPictureSource(m_ctrl->openPath(), *m_ctrl->picturePool());
    // The playhead and the strip's seeks go by the view's clock: the clip's time, whether the player
    // plays it (on a clock of the stream's own) or the decoder does.
    if (player)
        m_ctrl->followPlayback([view = m_playerView] { return view->position(); },
                               [view = m_playerView](qint64 ms) { view->seek(ms); });
    m_playerArea->setCurrentIndex(player ? 1 : 0);
}

void MediaScrubView::refreshStrip() {
    if (m_waveform)
        m_waveform->setSamples(m_ctrl->waveform());
    if (m_filmstrip)
        m_filmstrip->setFrames(m_ctrl->frames());
    m_stripArea->setCurrentIndex(m_ctrl->loadingStrip() ? 0 : 1);
}

QWidget* createMediaScrubView(const QString& filePath, const QString& fileName, bool isAudio) {
    return new MediaScrubView(filePath, fileName, isAudio,
                              ScrubSheetServices::system(ThumbnailGenerator::shared()));
}

} // namespace tarnwick
