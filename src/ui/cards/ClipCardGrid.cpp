#include "ui/cards/ClipCardGrid.h"

#include "platform/MemoryRelease.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRing.h"
#include "ui/common/ViewHelpers.h"
#include "ui/preview/ClipKind.h"
#include "ui/preview/ScrubEngine.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QRegion>
#include <QScrollBar>

#include <algorithm>
#include <vector>

namespace tarnwick {

ScrubEngine* makeCardScrubEngine(const MediaFile& file, QObject* parent) {
    const std::optional<QUrl> url = playableVideoURL(file);
    std::optional<QString> path;
    if (url)
        path = url->toLocalFile();
    return new ScrubEngine(path, parent);
}

ClipCardGrid::ClipCardGrid(CardStillLoader loadStill, ScrubEngineFactory makeEngine, QWidget* parent)
    : QAbstractScrollArea(parent), m_loadStill(std::move(loadStill)),
      m_makeEngine(makeEngine ? std::move(makeEngine) : ScrubEngineFactory(makeCardScrubEngine)) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(40);
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, Color::brandBackground());
    viewport()->setPalette(palette);
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleDelayMs);
    connect(&m_settle, &QTimer::timeout, this, &ClipCardGrid::settle);
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this,
                           [this](QWidget*, QWidget* now) { revealFocus(now); });
}

// The widget's own teardown moves the focus: by then this is no grid to reveal anything in.
ClipCardGrid::~ClipCardGrid() {
    disconnect(m_focusWatch);
}

void ClipCardGrid::revealFocus(QWidget* focus) {
    if (!focus || !viewport()->isAncestorOf(focus))
        return;
    for (auto it = m_live.cbegin(); it != m_live.cend(); ++it) {
        if (it.value()->isAncestorOf(focus)) {
            revealCard(it.key());
            return;
        }
    }
}

void ClipCardGrid::revealCard(int index) {
    const QRect card = m_layout.cardRect(index);
    QScrollBar* bar = verticalScrollBar();
    const int top = bar->value();
    const int height = viewport()->height();
    if (card.top() - CardGridLayout::spacing < top)
        bar->setValue(card.top() - CardGridLayout::spacing);
    else if (card.bottom() + 1 + CardGridLayout::spacing > top + height)
        bar->setValue(card.bottom() + 1 + CardGridLayout::spacing - height);
}

void ClipCardGrid::setCurrentIndex(int index) {
    setCurrent(index, true);
}

void ClipCardGrid::setCurrent(int index, bool reveal) {
    const int count = int(m_files.size());
    index = count == 0 ? -1 : std::clamp(index, 0, count - 1);
    const QRect before = currentRingRect();
    m_current = index;
    m_currentId = index >= 0 ? m_files[index].id : QUuid();
    if (index >= 0 && reveal)
        revealCard(index); // a scroll repaints the rings itself
    refreshTabStops();
    repaintRings(before);
}

// Only the bands of the rings, where it was and where it is: the cards inside keep their pictures.
void ClipCardGrid::repaintRings(const QRect& before) {
    const QRect after = currentRingRect();
    if (before == after)
        return;
    QRegion band;
    for (const QRect& ring : {before, after}) {
        if (!ring.isNull())
            band += QRegion(ring) -
                    QRegion(ring.marginsRemoved(QMargins(ringInset, ringInset, ringInset, ringInset)));
    }
    viewport()->update(band);
}

QRect ClipCardGrid::currentRingRect() const {
    if (m_current < 0 || m_current >= m_files.size())
        return {};
    return m_layout.cardRect(m_current)
        .translated(0, -verticalScrollBar()->value())
        .marginsAdded(QMargins(ringInset, ringInset, ringInset, ringInset));
}

// The card under the top of the screen that shows whole (else the first that shows at all): where
// the keyboard starts when its card is not on screen.
int ClipCardGrid::firstWholeCardOnScreen() const {
    const int top = verticalScrollBar()->value();
    const QRect screen(0, top, viewport()->width(), viewport()->height());
    const auto [first, end] = m_layout.visibleRange(top, screen.height(), int(m_files.size()));
    int partial = -1;
    for (int index = first; index < end; ++index) {
        const QRect card = m_layout.cardRect(index);
        if (screen.contains(card))
            return index;
        if (partial < 0 && screen.intersects(card))
            partial = index;
    }
    return partial >= 0 ? partial : first;
}

std::optional<int> ClipCardGrid::movedCurrent(int key) const {
    const int count = int(m_files.size());
    if (count == 0)
        return std::nullopt;
    const int columns = m_layout.columns;
    const int from = m_current >= 0 ? m_current : firstWholeCardOnScreen();
    const int pageRows =
        std::max(1, viewport()->height() / (CardGridLayout::cardHeight + CardGridLayout::spacing));
    // Down past the last full row lands on the last card; from the last row it stays.
    const auto down = [&](int rows) {
        if (from + rows * columns < count)
            return from + rows * columns;
        return from / columns < (count - 1) / columns ? count - 1 : from;
    };
    const auto up = [&](int rows) { return std::max(from - rows * columns, from % columns); };
    switch (key) {
    case Qt::Key_Left:
        return std::max(from - 1, 0);
    case Qt::Key_Right:
        return std::min(from + 1, count - 1);
    case Qt::Key_Up:
        return up(1);
    case Qt::Key_Down:
        return down(1);
    case Qt::Key_PageUp:
        return up(pageRows);
    case Qt::Key_PageDown:
        return down(pageRows);
    case Qt::Key_Home:
        return 0;
    case Qt::Key_End:
        return count - 1;
    default:
        return std::nullopt;
    }
}

void ClipCardGrid::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const std::optional<int> next = plain ? movedCurrent(event->key()) : std::nullopt;
    if (!next) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    // Handed on by a card's button: the keyboard comes back to the grid, whose card moves.
    if (!hasFocus())
        setFocus(Qt::OtherFocusReason);
    setCurrentIndex(*next);
    event->accept();
}

// The current card keeps its file when the list changes around it; gone, its place is kept.
void ClipCardGrid::followCurrent() {
    if (m_current < 0)
        return;
    const int count = int(m_files.size());
    if (m_current < count && m_files[m_current].id == m_currentId)
        return;
    const auto found = std::find_if(m_files.begin(), m_files.end(),
                                    [this](const MediaFile& file) { return file.id == m_currentId; });
    m_current = found != m_files.end() ? int(found - m_files.begin()) : std::min(m_current, count - 1);
    m_currentId = m_current >= 0 ? m_files[m_current].id : QUuid();
}

// Only the current card's buttons take the focus, chained right after the grid: Tab goes from the
// grid into that card and then out. (Qt chains no widget that takes no focus, so the others are
// left where they are.)
void ClipCardGrid::refreshTabStops() {
    for (auto it = m_live.cbegin(); it != m_live.cend(); ++it)
        it.value()->setTabStopsEnabled(it.key() == m_current);
    ClipCard* current = m_live.value(m_current);
    if (!current)
        return;
    QWidget* previous = this;
    for (QWidget* stop : current->tabStops()) {
        QWidget::setTabOrder(previous, stop);
        previous = stop;
    }
}

void ClipCardGrid::setFiles(MediaRows files) {
    // The rows may hold the last reference to a list of 100,000 records (after Clear All).
    memory::releaseLater(std::exchange(m_files, std::move(files)));
    followCurrent();
    relayout(Cause::content);
    refreshTabStops(); // the current card may stand at another place now
    pruneEngines();
}

void ClipCardGrid::setSelection(const QSet<QUuid>& selection) {
    m_selection = selection;
    for (auto it = m_live.cbegin(); it != m_live.cend(); ++it)
        it.value()->setSelected(m_selection.contains(it.value()->file().id));
}

ClipCard* ClipCardGrid::cardFor(const QUuid& id) const {
    for (ClipCard* card : m_live)
        if (card->file().id == id)
            return card;
    return nullptr;
}

void ClipCardGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    relayout(Cause::content);
}

void ClipCardGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    // The ring goes where the user looks: a current card scrolled out of sight gives way to one on
    // screen.
    const int top = verticalScrollBar()->value();
    const bool onScreen = m_current >= 0 && m_layout.cardRect(m_current).intersects(
                                                QRect(0, top, viewport()->width(), viewport()->height()));
    if (!onScreen && !m_files.isEmpty())
        setCurrentIndex(firstWholeCardOnScreen());
    viewport()->update();
}

void ClipCardGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void ClipCardGrid::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    settle();
}

void ClipCardGrid::scrollContentsBy(int, int dy) {
    m_settle.start();
    relayout(Cause::scroll);
    if (hasFocus())
        repaintRings(currentRingRect().translated(0, -dy));
}

void ClipCardGrid::settle() {
    m_settle.stop();
    if (!isVisible())
        return; // started when shown
    for (ClipCard* card : std::as_const(m_live))
        startEngineOf(card);
}

void ClipCardGrid::startEngineOf(ClipCard* card) {
    if (card->engineStarted() || card->kind() != ClipKind::video)
        return;
    card->startEngine(engineOf(card->file()));
}

bool ClipCardGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Paint) {
        QPainter painter(viewport());
        painter.fillRect(viewport()->rect(), Color::brandBackground());
        // The keyboard's card wears the ring in the margin round it.
        if (hasFocus() && m_current >= 0)
            paintFocusRing(painter, QRectF(currentRingRect()), ringInset + 4, Color::brandBackground());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void ClipCardGrid::relayout(Cause cause) {
    m_layout = CardGridLayout::forWidth(viewport()->width());
    const int count = int(m_files.size());
    const int height = viewport()->height();
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(height);
    bar->setRange(0, std::max(0, m_layout.contentHeight(count) - height));
    const int top = bar->value();
    const auto [first, end] = m_layout.visibleRange(top, height, count);
    // Mid-scroll, cards coming into view wait for the scrolling to rest before their engines start;
    // behind another view they wait to be shown.
    const bool deferEngines = cause == Cause::scroll || m_settle.isActive() || !isVisible();

    bool bound = false; // a card took another place: the Tab chain follows
    // Cards that left the range, or whose index now holds another file, disappear first.
    for (auto it = m_live.begin(); it != m_live.end();) {
        const int index = it.key();
        if (index < first || index >= end || m_files[index].id != it.value()->file().id) {
            it.value()->clear();
            it.value()->hide();
            m_spare.append(it.value());
            it = m_live.erase(it);
        } else {
            ++it;
        }
    }
    for (int index = first; index < end; ++index) {
        ClipCard* card = m_live.value(index);
        const MediaFile& file = m_files[index];
        const bool fresh = !card;
        bound = bound || fresh;
        if (fresh) {
            card = takeCard();
            m_live.insert(index, card);
        }
        const QRect rect = m_layout.cardRect(index).translated(0, -top);
        if (card->geometry() != rect)
            card->setGeometry(rect);
        // A scroll step changes no file: only the cards that came into view are bound.
        if (fresh || cause == Cause::content) {
            const bool video = mediaKind(file) == ClipKind::video;
            if (deferEngines) {
                // A card coming back finds its engine (and the poster it keeps) without starting it.
                ScrubEngine* kept = video ? m_engines.value(file.id) : nullptr;
                if (kept && m_engineSources.value(file.id) != previewSource(file))
                    kept = nullptr; // its file was replaced: engineOf() makes a new one
                if (kept)
                    m_engineUse[file.id] = ++m_useClock;
                card->showFile(file, kept, m_selection.contains(file.id), ClipCard::EngineStart::later);
            } else {
                card->showFile(file, video ? engineOf(file) : nullptr, m_selection.contains(file.id));
            }
        }
        if (fresh)
            card->show();
    }
    if (bound)
        refreshTabStops();
}

ClipCard* ClipCardGrid::takeCard() {
    if (!m_spare.isEmpty())
        return m_spare.takeLast();
    auto* card = new ClipCard(m_loadStill, viewport());
    connect(card, &ClipCard::toggleSelectRequested, this, &ClipCardGrid::toggleSelectRequested);
    connect(card, &ClipCard::trashRequested, this, &ClipCardGrid::trashRequested);
    connect(card, &ClipCard::engineWanted, this, &ClipCardGrid::startEngineOf);
    connect(card, &ClipCard::pressed, this, [this](ClipCard* pressed) {
        const int index = m_live.key(pressed, -1);
        if (index < 0)
            return;
        setFocus(Qt::MouseFocusReason);
        setCurrent(index, false); // a click never scrolls the card under the pointer
    });
    return card;
}

ScrubEngine* ClipCardGrid::engineOf(const MediaFile& file) {
    m_engineUse[file.id] = ++m_useClock;
    ScrubEngine*& engine = m_engines[file.id];
    const QString source = previewSource(file);
    if (engine && m_engineSources.value(file.id) == source)
        return engine;
    // A transcode or relink put another file in the entry's place; the card showing the old
    // engine lets go of it when it is shown the file afresh.
    if (engine)
        engine->deleteLater();
    engine = m_makeEngine(file, this);
    m_engineSources.insert(file.id, source);
    ScrubEngine* made = engine; // the bound below may rehash m_engines
    boundEngines();
    return made;
}

void ClipCardGrid::boundEngines() {
    // Past the bound by a quarter, drop down to it in one pass: amortised constant per engine made.
    const qsizetype live = m_live.size();
    if (m_engines.size() <= engineLimit + live + engineLimit / 4)
        return;
    QSet<QUuid> onScreen;
    for (const ClipCard* card : std::as_const(m_live))
        onScreen.insert(card->file().id);
    std::vector<std::pair<quint64, QUuid>> idle;
    idle.reserve(size_t(m_engines.size()));
    for (auto it = m_engines.cbegin(); it != m_engines.cend(); ++it) {
        if (!onScreen.contains(it.key()))
            idle.emplace_back(m_engineUse.value(it.key()), it.key());
    }
    const qsizetype excess = qsizetype(idle.size()) - engineLimit;
    if (excess <= 0)
        return;
    std::nth_element(idle.begin(), idle.begin() + excess, idle.end());
    for (qsizetype i = 0; i < excess; ++i) {
        const QUuid& id = idle[size_t(i)].second;
        delete m_engines.take(id);
        m_engineUse.remove(id);
        m_engineSources.remove(id);
    }
}

void ClipCardGrid::pruneEngines() {
    if (m_engines.isEmpty())
        return;
    // The engines are a handful, the files up to 400,000: compare each file with the few ids left
    // (no hashing per file), and stop once each is found.
    std::vector<QUuid> gone;
    for (auto it = m_engines.cbegin(); it != m_engines.cend(); ++it)
        gone.push_back(it.key());
    for (const MediaFile& file : m_files) {
        const auto found = std::find(gone.begin(), gone.end(), file.id);
        if (found == gone.end())
            continue;
        gone.erase(found);
        if (gone.empty())
            return;
    }
    for (const QUuid& id : gone) {
        delete m_engines.take(id);
        m_engineUse.remove(id);
        m_engineSources.remove(id);
    }
}

} // namespace tarnwick
