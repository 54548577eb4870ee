#pragma once

#include "model/MediaFile.h"
#include "ui/cards/CardInfoLayout.h"
#include "ui/cards/CardTexts.h"
#include "ui/preview/ClipKind.h"
#include "ui/preview/RequestToken.h"
#include "ui/preview/ScrubEngine.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

class QMediaPlayer;
class QToolButton;
class QVariantAnimation;

namespace tarnwick {

class MediaPlayerView;

// Reads an image card's still at the size it is shown; absent when unreadable.
using CardStillLoader = std::function<QCoro::Task<std::optional<QImage>>(QString path, QSize bound)>;

// A badge of the preview area.
struct CardBadge {
    QString text;
    QColor color;
    bool solid = false;
};

// The badges of a preview, left to right; `trailing` ones sit after the row's spacer.
struct CardBadges {
    QList<CardBadge> leading;
    QList<CardBadge> trailing;
};
CardBadges cardBadges(const MediaFile& file, ClipKind kind, bool hovering, bool hasVideoURL, bool ready,
                      bool failed);

// One cell of the card grid: the preview (hover scrubbing for video, the still for images, inline
// playback for audio), the scrub strip and two lines of details, with select and bin buttons.
// The grid hands it a file and that file's engine as the card scrolls into view, and takes them
// back (`clear`) as it scrolls away: that is the card's appear and disappear. While the grid is
// scrolling it shows files without starting their engines (`EngineStart::later`); the engine
// starts when scrolling settles (`startEngine`) or when the pointer first moves over the preview.
class ClipCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int previewHeight = 190;
    static constexpr int stripHeight = 3;
    static constexpr int stripAnimationMs = 50;

    enum class EngineStart { now, later };

    ClipCard(CardStillLoader loadStill, QWidget* parent = nullptr);
    ~ClipCard() override;

    // Appear: the engine is prepared when the file is a video (at once, or when started later).
    // A different file first clears. The same file with the same fields changes nothing.
    void showFile(const MediaFile& file, ScrubEngine* engine, bool selected,
                  EngineStart start = EngineStart::now);
    // Takes `engine` (when given) in place of the one it has, and prepares it for a video.
    void startEngine(ScrubEngine* engine = nullptr);
    // Disappear: an engine this card started is reset, and inline playback stops.
    void clear();
    void setSelected(bool selected);

    const MediaFile& file() const { return m_file; }
    ClipKind kind() const { return m_kind; }
    ScrubEngine* scrubEngine() const { return m_engine; }
    bool engineStarted() const { return m_engineStarted; }
    const CardInfoLayout& infoLayout();
    // The help text of a point of the card (the details row's timeline summary and shield).
    CardHelp helpAt(QPoint point);
    // The scrub strip's bar as drawn now, a fraction of the width; follows scrubFraction.
    double stripFraction() const { return m_stripFraction; }
    QVariantAnimation* stripAnimation() const { return m_stripAnimation; }
    bool isSelected() const { return m_selected; }
    bool hovering() const { return m_hovering; }
    double scrubFraction() const { return m_scrubFraction; }
    bool playing() const { return m_playing && m_player; }
    QMediaPlayer* player() const { return m_player; }
    // Play was pressed and the system has no sound output: an audio card says so.
    bool noAudioOutput() const { return m_noAudioOutput; }
    // The picture the preview draws now (a video's engine frame or an image's still).
    std::optional<QImage> shownImage() const;
    // The placeholder's text when no picture is shown (a video's, an image's or an audio clip's).
    QString placeholderText() const;
    CardBadges badges() const;
    // Each badge with the rectangle it is drawn in, leading ones first.
    QList<std::pair<CardBadge, QRect>> placedBadges() const;
    bool shimmerRunning() const;

    QToolButton* selectButton() const { return m_select; }
    QToolButton* trashButton() const { return m_trash; }
    QToolButton* playButton() const { return m_play; }
    // The card's Tab stops in their order: its buttons, then the inline player's controls.
    QList<QWidget*> tabStops() const;
    // Whether Tab reaches them (the grid's current card only); a click still works either way.
    void setTabStopsEnabled(bool enabled);

    // The pointer over the preview at x (local), or gone from it.
    void handleHover(double x);
    void handleHoverEnded();

    void startAudioPlayback();
    void stopPlayback();

Q_SIGNALS:
    void toggleSelectRequested(const QUuid& id);
    void trashRequested(const MediaFile& file);
    // The pointer reached the preview of a card whose engine has not started.
    void engineWanted(tarnwick::ClipCard* card);
    // A mouse button went down on the card (not on one of its buttons).
    void pressed(tarnwick::ClipCard* card);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QCoro::Task<void> loadImagePoster(QString path, RequestToken token);
    void engineChanged();
    void adoptEngine(ScrubEngine* engine);
    void refresh();
    void moveStripTo(double fraction);
    void paintCard(QPainter& p);
    void refreshShimmer();
    void placeButtons();
    void refreshButtons();
    void refreshTabStops();
    QRect previewRect() const { return {0, 0, width(), previewHeight}; }
    void paintPreview(QPainter& p);
    void paintVideo(QPainter& p, const QRect& area);
    void paintTimecodeBar(QPainter& p, const QRect& area);
    void paintStill(QPainter& p, const QRect& area);
    void paintIconPreview(QPainter& p, const QRect& area);
    void paintBadgeRow(QPainter& p);
    void paintScrubStrip(QPainter& p);
    void paintInfo(QPainter& p);

    CardStillLoader m_loadStill;
    MediaFile m_file;
    ClipKind m_kind = ClipKind::other;
    bool m_hasVideoURL = false;
    bool m_hasAudioURL = false;
    QPointer<ScrubEngine> m_engine;
    QMetaObject::Connection m_engineConnection;
    bool m_engineStarted = false; // prepare() was called by this card since it appeared
    bool m_shown = false;
    bool m_selected = false;
    bool m_tabStopsEnabled = true;
    bool m_hovering = false;
    double m_scrubFraction = 0;
    bool m_playing = false;
    QMediaPlayer* m_player = nullptr;
    bool m_noAudioOutput = false; // play was pressed on a system without a sound output
    MediaPlayerView* m_playerView = nullptr;
    std::optional<QImage> m_still;
    bool m_stillFailed = false; // the still was read and could not be decoded
    RequestToken m_stillToken;
    QVariantAnimation* m_shimmer;
    double m_shimmerPhase = -1.0;
    QVariantAnimation* m_stripAnimation;
    double m_stripFraction = 0;
    CardFonts m_fonts;
    std::optional<CardInfoLayout> m_info;
    // The card as last drawn while nothing on it moves; any change drops it.
    QPixmap m_picture;
    bool m_pictureValid = false;
    QIcon m_selectedIcon;
    QIcon m_unselectedIcon;
    QToolButton* m_select;
    QToolButton* m_trash;
    QToolButton* m_play;
    QToolButton* m_stop;
};

} // namespace tarnwick
