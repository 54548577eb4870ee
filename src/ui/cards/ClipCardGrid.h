#pragma once

#include "analysis/MediaRows.h"
#include "model/MediaFile.h"
#include "ui/cards/CardTexts.h"
#include "ui/cards/ClipCard.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QList>
#include <QSet>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <optional>

namespace tarnwick {

class ScrubEngine;

// Makes the scrub engine of a video card (the app's: for the file's playable video).
using ScrubEngineFactory = std::function<ScrubEngine*(const MediaFile& file, QObject* parent)>;
ScrubEngine* makeCardScrubEngine(const MediaFile& file, QObject* parent);

// The scrolling grid of clip cards. Only the rows on screen (and one either side) have card
// widgets; cards scrolled away are cleared and reused. Engines are kept by the file's id while the
// file is shown, up to `engineLimit` beyond the cards on screen (the least recently shown go
// first), so a card that comes back soon finds its poster and frames.
// While the user scrolls, cards that come into view show their file but start no engine work:
// engines are made and prepared for the cards on screen once scrolling has rested for
// `settleDelayMs`, or for one card as soon as the pointer moves over its preview. A hidden grid (another
// view in front) starts none: its cards' posters are decoded when it is shown.
// For the keyboard the grid is one Tab stop with a current card, which wears the focus ring while
// the grid has the focus: the arrows, Home and End, Page Up and Page Down move it (and scroll it into
// view); Tab goes on into the current card's own buttons, then out of the grid.
class ClipCardGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int settleDelayMs = 120;
    // Engines kept for cards off screen, each with its poster: enough for several screens of
    // scrolling back, not one per clip of a long browse through a large library.
    static constexpr int engineLimit = 240;
    // The current card's ring lies this far outside it, in the gap between the cards.
    static constexpr int ringInset = 5;

    ClipCardGrid(CardStillLoader loadStill, ScrubEngineFactory makeEngine, QWidget* parent = nullptr);
    ~ClipCardGrid() override;

    // The manager's filtered rows: no record is copied.
    void setFiles(MediaRows files);
    void setFiles(QList<MediaFile> files) { setFiles(MediaRows::all(std::move(files))); }
    void setSelection(const QSet<QUuid>& selection);
    const MediaRows& files() const { return m_files; }
    CardGridLayout layout() const { return m_layout; }

    // The cards on screen now, by index into files().
    const QHash<int, ClipCard*>& liveCards() const { return m_live; }
    int cardWidgetCount() const { return int(m_live.size() + m_spare.size()); }
    ClipCard* cardFor(const QUuid& id) const;
    ScrubEngine* engineFor(const QUuid& id) const { return m_engines.value(id); }
    qsizetype engineCount() const { return m_engines.size(); }
    // Scrolled since the cards on screen last had their engines started.
    bool scrolling() const { return m_settle.isActive(); }
    // Scrolling came to rest: the cards on screen start their engines.
    void settle();
    // Scrolls the card at `index` into view, whole, with the grid's padding round it.
    void revealCard(int index);
    // The keyboard's card (-1: none yet); setting it scrolls it into view.
    int currentIndex() const { return m_current; }
    void setCurrentIndex(int index);
    // Where the current card's ring is drawn, in the viewport.
    QRect currentRingRect() const;

Q_SIGNALS:
    void toggleSelectRequested(const QUuid& id);
    void trashRequested(const MediaFile& file);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class Cause { content, scroll };
    void relayout(Cause cause);
    void revealFocus(QWidget* focus);
    void refreshTabStops();
    void setCurrent(int index, bool reveal);
    void repaintRings(const QRect& before);
    void followCurrent();
    std::optional<int> movedCurrent(int key) const;
    int firstWholeCardOnScreen() const;
    void startEngineOf(ClipCard* card);
    ClipCard* takeCard();
    ScrubEngine* engineOf(const MediaFile& file);
    void pruneEngines();
    void boundEngines();

    CardStillLoader m_loadStill;
    ScrubEngineFactory m_makeEngine;
    MediaRows m_files;
    QSet<QUuid> m_selection;
    CardGridLayout m_layout;
    QHash<int, ClipCard*> m_live;
    int m_current = -1;
    QUuid m_currentId; // the file the current card shows, followed when the list changes
    QList<ClipCard*> m_spare;
    QHash<QUuid, ScrubEngine*> m_engines;
    QHash<QUuid, quint64> m_engineUse;     // when each engine was last bound to a card
    QHash<QUuid, QString> m_engineSources; // the file each engine decodes
    quint64 m_useClock = 0;
    QTimer m_settle;
    QMetaObject::Connection m_focusWatch; // the application's focus changes, until this grid goes
};

} // namespace tarnwick
