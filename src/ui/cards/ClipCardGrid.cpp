#include "ui/cards/ClipCardGrid.h"

#include "platform/MemoryRelease.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRing.h"
#include "ui/common/ViewHelpers.h"
#include "ui/preview/ClipKind.h"
#include "ui/preview/ScrubEngine.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
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

// The cards are reused as they scroll: their buttons follow the grid's order in the Tab chain, so
// Tab goes on to the next card, whose row comes into view and brings the row after it.
void ClipCardGrid::orderTabStops() {
    QList<int> indices = m_live.keys();
    std::sort(indices.begin(), indices.end());
    QWidget* previous = this;
    for (const int index : std::as_const(indices)) {
        for (QWidget* stop : m_live.value(index)->tabStops()) {
            QWidget::setTabOrder(previous, stop);
            previous = stop;
        }
    }
}

void ClipCardGrid::setFiles(MediaRows files) {
    // The rows may hold the last reference to a list of 100,000 records (after Clear All).
    memory::releaseLater(std::exchange(m_files, std::move(files)));
    relayout(Cause::content);
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

void ClipCardGrid::scrollContentsBy(int, int) {
    m_settle.start();
    relayout(Cause::scroll);
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
        // A Tab stop of its own (the arrows and Page keys scroll it): its ring lies in the margin
        // the cards leave round the edge.
        if (hasFocus())
            paintFocusRing(painter, QRectF(viewport()->rect()), 6, Color::brandBackground());
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
        orderTabStops();
}

ClipCard* ClipCardGrid::takeCard() {
    if (!m_spare.isEmpty())
        return m_spare.takeLast();
    auto* card = new ClipCard(m_loadStill, viewport());
    connect(card, &ClipCard::toggleSelectRequested, this, &ClipCardGrid::toggleSelectRequested);
    connect(card, &ClipCard::trashRequested, this, &ClipCardGrid::trashRequested);
    connect(card, &ClipCard::engineWanted, this, &ClipCardGrid::startEngineOf);
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
