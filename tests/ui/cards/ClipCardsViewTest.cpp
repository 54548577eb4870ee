#include "ui/cards/ClipCardsView.h"

#include "ui/cleanup/CleanupOperations.h"

#include "support/FakeScrubFrameSource.h"
#include "support/ProjectManagerHarness.h"
#include "support/TranscodedClip.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

struct CardsFixture : ::testing::Test {
    QList<MediaFile> files(int count, const QString& extension = QStringLiteral("mov")) {
        QList<MediaFile> out;
        for (int i = 0; i < count; ++i)
            out.append(media(QStringLiteral("/media/clip %1.%2").arg(i).arg(extension), 0,
                             MediaFileStatus::online, 1000 + i));
        return out;
    }

    std::unique_ptr<ClipCardsView> makeView() {
        ClipCardsActions actions;
        actions.deleteSafetyConflicts = [this](const QList<MediaFile>& list) {
            checked.append(list);
            return conflicts;
        };
        actions.addToRecycleBin = [this](const QList<MediaFile>& list, std::function<void()> done) {
            staged.append(list);
            if (done)
                done();
        };
        auto factory = [this](const MediaFile& file, QObject* parent) {
            auto source = std::make_shared<FakeScrubFrameSource>();
            sources.insert(file.id, source);
            return new ScrubEngine(file.path, source, ScrubEnginePolicy{}, nullptr, parent);
        };
        auto view =
            std::make_unique<ClipCardsView>(harness.pm(), std::move(actions), CardStillLoader{}, factory);
        view->resize(1000, 800);
        view->show();
        drainEvents();
        return view;
    }

    // Cards that check and stage through the window's own operations.
    std::unique_ptr<ClipCardsView> makeViewThrough(CleanupOperations& operations) {
        ProjectManager& pm = harness.pm();
        ClipCardsActions actions;
        actions.deleteSafetyConflicts = [&](const QList<MediaFile>& staging) {
            return operations.conflictReasons(staging, pm.mediaFiles());
        };
        actions.addToRecycleBin = [&](const QList<MediaFile>& staging, std::function<void()> staged) {
            operations.addToRecycleBin(pm, staging, std::move(staged));
        };
        auto view = std::make_unique<ClipCardsView>(
            pm, std::move(actions), CardStillLoader{}, [](const MediaFile& file, QObject* parent) {
                return new ScrubEngine(file.path, std::make_shared<FakeScrubFrameSource>(),
                                       ScrubEnginePolicy{}, nullptr, parent);
            });
        view->resize(1000, 800);
        view->show();
        drainEvents();
        return view;
    }

    void setFiles(const QList<MediaFile>& list) {
        harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles(list);
        drainEvents();
    }

    ProjectManagerHarness harness;
    QStringList conflicts;
    QList<QList<MediaFile>> checked;
    QList<QList<MediaFile>> staged;
    QHash<QUuid, std::shared_ptr<FakeScrubFrameSource>> sources;
};

} // namespace

TEST_F(CardsFixture, HeaderCountsAndEmptyState) {
    auto view = makeView();
    EXPECT_EQ(view->clipCountLabel()->text(), "0 clips");
    EXPECT_TRUE(view->showsEmptyState());
    EXPECT_FALSE(view->selectAllButton()->isEnabled());

    setFiles(files(1));
    EXPECT_EQ(view->clipCountLabel()->text(), "1 clip");
    EXPECT_FALSE(view->showsEmptyState());
    EXPECT_TRUE(view->selectAllButton()->isEnabled());

    setFiles(files(12));
    EXPECT_EQ(view->clipCountLabel()->text(), "12 clips");
}

TEST_F(CardsFixture, SelectAllAndClear) {
    auto view = makeView();
    const QList<MediaFile> list = files(5);
    setFiles(list);
    QSet<QUuid> published;
    QObject::connect(view.get(), &ClipCardsView::selectionChanged,
                     [&](const QSet<QUuid>& ids) { published = ids; });
    view->setSelection({QUuid::createUuid()}); // a file the filter no longer shows
    view->selectAllButton()->click();
    EXPECT_EQ(view->selection().size(), 5);
    EXPECT_EQ(published, view->selection());
    EXPECT_EQ(view->selectionLabel()->text(), "5 selected");
    EXPECT_TRUE(view->selectAllButton()->isHidden());
    EXPECT_FALSE(view->clearButton()->isHidden());
    EXPECT_FALSE(view->addToBinButton()->isHidden());
    ClipCard* first = view->grid()->cardFor(list[0].id);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isSelected());

    view->clearButton()->click();
    EXPECT_TRUE(view->selection().isEmpty());
    EXPECT_TRUE(published.isEmpty());
    EXPECT_FALSE(view->selectAllButton()->isHidden());
    EXPECT_FALSE(first->isSelected());
}

TEST_F(CardsFixture, StagingOneCardWithoutConflictsClearsTheSelection) {
    auto view = makeView();
    const QList<MediaFile> list = files(4);
    setFiles(list);
    view->toggleSelection(list[0].id);
    view->toggleSelection(list[1].id);
    EXPECT_EQ(view->selectionLabel()->text(), "2 selected");
    view->grid()->cardFor(list[3].id)->trashButton()->click();
    ASSERT_EQ(staged.size(), 1);
    EXPECT_EQ(staged[0].size(), 1);
    EXPECT_EQ(staged[0][0].id, list[3].id);
    EXPECT_TRUE(view->selection().isEmpty());
}

TEST_F(CardsFixture, ConflictsAskFirst) {
    auto view = makeView();
    const QList<MediaFile> list = files(3);
    setFiles(list);
    conflicts = {QStringLiteral("clip 0 shares its media with a used clip")};
    view->toggleSelection(list[2].id);
    view->toggleSelection(list[0].id);
    view->addToBinButton()->click();
    ASSERT_EQ(checked.size(), 1);
    EXPECT_EQ(checked[0][0].id, list[0].id); // shown order
    EXPECT_EQ(checked[0][1].id, list[2].id);
    ASSERT_TRUE(view->deleteSafetyAlert());
    EXPECT_EQ(view->deleteSafetyAlert()->title(), QStringLiteral("⚠️ Potentially Used Media"));
    EXPECT_EQ(view->deleteSafetyAlert()->message(),
              "clip 0 shares its media with a used clip\n\nDeleting this file may break that project.");
    EXPECT_TRUE(staged.isEmpty());

    view->deleteSafetyAlert()->buttons().at(0)->click(); // Cancel
    EXPECT_TRUE(staged.isEmpty());
    EXPECT_EQ(view->selection().size(), 2);
    EXPECT_TRUE(view->pendingDeleteFiles().isEmpty());

    view->addToBinButton()->click();
    ASSERT_TRUE(view->deleteSafetyAlert());
    EXPECT_EQ(view->deleteSafetyAlert()->buttons().at(1)->accessibleName(), "Move to Recycle Anyway");
    view->deleteSafetyAlert()->buttons().at(1)->click();
    ASSERT_EQ(staged.size(), 1);
    EXPECT_EQ(staged[0].size(), 2);
    EXPECT_TRUE(view->selection().isEmpty());
}

TEST_F(CardsFixture, StagingThroughTheWindowsDeleteSafetyCheck) {
    const QList<MediaFile> list = files(3);
    setFiles(list);
    std::unique_ptr<CleanupOperations> operations = makeCleanupOperations();
    ProjectManager& pm = harness.pm();
    auto cards = makeViewThrough(*operations);
    ClipCardsView& view = *cards;
    view.toggleSelection(list[1].id);
    view.addSelectedToBin();
    drainEvents();
    EXPECT_FALSE(view.deleteSafetyAlert());
    ASSERT_EQ(pm.recycleBin().size(), 1);
    EXPECT_EQ(pm.recycleBin()[0].mediaFile.path, list[1].path);
    EXPECT_TRUE(view.selection().isEmpty());

    // While another operation runs the staging waits for it; the selection stays until it happens.
    auto scope = pm.tryBeginOperation(QStringLiteral("Refreshing file status…"));
    ASSERT_TRUE(scope);
    view.toggleSelection(list[2].id);
    view.addSelectedToBin();
    drainEvents();
    EXPECT_EQ(pm.recycleBin().size(), 1);
    EXPECT_EQ(view.selection(), QSet<QUuid>{list[2].id});
    scope->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pm.recycleBin().size() == 2; }));
    EXPECT_TRUE(view.selection().isEmpty());
}

// A selection the filter hides is neither counted nor staged by the cards; a used clip goes into the
// bin only through the warning.
TEST_F(CardsFixture, AUsedClipAsksFirstAndTheHeaderCountsOnlyTheCardsItShows) {
    QList<MediaFile> list = files(2);
    list[0].usageCount = 2;
    list[0].projectNames = {QStringLiteral("Edit")};
    setFiles(list);
    std::unique_ptr<CleanupOperations> operations = makeCleanupOperations();
    ProjectManager& pm = harness.pm();
    auto cards = makeViewThrough(*operations);
    ClipCardsView& view = *cards;
    view.setSelection({list[0].id, list[1].id}); // made in the table
    pm.updateFilters([](FilterSettings& filters) { filters.filterText = QStringLiteral("clip 1"); });
    drainEvents();
    EXPECT_EQ(view.selectionLabel()->text(), "1 selected");
    view.addToBinButton()->click();
    drainEvents();
    ASSERT_EQ(pm.recycleBin().size(), 1);
    EXPECT_EQ(pm.recycleBin()[0].mediaFile.path, list[1].path);

    view.setSelection({list[0].id});
    EXPECT_FALSE(view.selectAllButton()->isHidden()); // nothing shown is selected
    EXPECT_TRUE(view.addToBinButton()->isHidden());
    pm.updateFilters([](FilterSettings& filters) { filters.filterText.clear(); });
    drainEvents();
    view.addToBinButton()->click();
    ASSERT_TRUE(view.deleteSafetyAlert());
    EXPECT_EQ(view.deleteSafetyAlert()->message(),
              QString::fromUtf8("clip 0.mov is used 2\u00D7 in \"Edit\"\n\nDeleting this file may break "
                                "that project."));
    EXPECT_EQ(pm.recycleBin().size(), 1);
    view.deleteSafetyAlert()->buttons().at(1)->click(); // Move to Recycle Anyway
    drainEvents();
    EXPECT_EQ(pm.recycleBin().size(), 2);
}

TEST_F(CardsFixture, OnlyVisibleRowsHaveCardsAndEnginesFollowThem) {
    auto view = makeView();
    const QList<MediaFile> list = files(10'000);
    setFiles(list);
    ClipCardGrid* grid = view->grid();
    const int pitch = CardGridLayout::cardHeight + CardGridLayout::spacing;
    const int rowsOnScreen = grid->viewport()->height() / pitch + 1;
    const int bound = grid->layout().columns * (rowsOnScreen + 3);
    EXPECT_LE(grid->liveCards().size(), bound);
    EXPECT_EQ(grid->engineCount(), grid->liveCards().size());

    ClipCard* first = grid->cardFor(list[0].id);
    ASSERT_TRUE(first);
    ScrubEngine* engine = first->scrubEngine();
    sources.value(list[0].id)->answerLoad(4, taggedFrame(7));
    EXPECT_TRUE(engine->ready());

    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    EXPECT_LE(grid->liveCards().size(), bound);
    EXPECT_LE(grid->cardWidgetCount(), 2 * bound);
    EXPECT_FALSE(grid->cardFor(list[0].id));
    EXPECT_TRUE(grid->cardFor(list.last().id));
    EXPECT_FALSE(engine->ready()); // reset when its card left
    EXPECT_TRUE(engine->posterImage());

    grid->verticalScrollBar()->setValue(0);
    ASSERT_TRUE(grid->cardFor(list[0].id));
    EXPECT_EQ(grid->engineFor(list[0].id), engine);
    ASSERT_TRUE(grid->cardFor(list[0].id)->shownImage()); // its poster, while still scrolling
    EXPECT_EQ(frameTag(*grid->cardFor(list[0].id)->shownImage()), 7);
    grid->settle();
    EXPECT_TRUE(engine->ready()); // prepared again, at once, from its poster

    setFiles(list.mid(0, 2)); // the engines of files no longer shown go
    EXPECT_EQ(grid->engineCount(), 2);
}

// Behind another view the grid decodes no poster.
TEST_F(CardsFixture, AHiddenGridStartsItsEnginesWhenShown) {
    auto view = makeView();
    view->hide();
    setFiles(files(100));
    ClipCardGrid* grid = view->grid();
    ASSERT_FALSE(grid->liveCards().isEmpty());
    EXPECT_EQ(grid->engineCount(), 0);
    grid->settle();
    EXPECT_EQ(grid->engineCount(), 0);

    view->show();
    drainEvents();
    EXPECT_EQ(grid->engineCount(), grid->liveCards().size());
    for (ClipCard* card : grid->liveCards())
        EXPECT_TRUE(card->engineStarted());
}

TEST_F(CardsFixture, CardsScrolledPastNeverStartTheirEngines) {
    auto view = makeView();
    const QList<MediaFile> list = files(3'000);
    setFiles(list);
    ClipCardGrid* grid = view->grid();
    const qsizetype atTop = grid->engineCount();
    ASSERT_EQ(atTop, grid->liveCards().size());
    const QSet<QUuid> topEngines(sources.keyBegin(), sources.keyEnd());

    // Scroll a third of a screen at a time to the middle; no events run between the steps, so
    // scrolling never rests.
    QScrollBar* bar = grid->verticalScrollBar();
    const int middle = bar->maximum() / 2;
    QSet<QUuid> passed;
    const int step = std::max(1, grid->viewport()->height() / 3);
    for (int value = step; value <= middle; value += step) {
        bar->setValue(value);
        EXPECT_TRUE(grid->scrolling());
        for (ClipCard* card : grid->liveCards()) {
            passed.insert(card->file().id);
            EXPECT_EQ(card->file().id, list[grid->liveCards().key(card)].id);
        }
    }
    EXPECT_GT(passed.size(), 10 * atTop);
    EXPECT_EQ(grid->engineCount(), atTop); // no engine made for a card that went by
    for (const auto& source : std::as_const(sources))
        EXPECT_LE(source->loads.size(), 1); // the top cards loaded once, when first shown
    for (const QUuid& id : passed)
        EXPECT_TRUE(topEngines.contains(id) || !sources.contains(id));

    // Hovering a card mid-scroll starts its engine at once.
    ClipCard* hovered = grid->liveCards().value(grid->liveCards().keys().first());
    QMouseEvent move(QEvent::MouseMove, QPointF(40, 40), QPointF(40, 40), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(hovered, &move);
    EXPECT_TRUE(hovered->engineStarted());
    ASSERT_TRUE(sources.contains(hovered->file().id));
    EXPECT_EQ(sources.value(hovered->file().id)->loads.size(), 1);
    EXPECT_EQ(grid->engineFor(hovered->file().id), hovered->scrubEngine());

    // At rest, every card on screen has its engine, started.
    grid->settle();
    EXPECT_FALSE(grid->scrolling());
    for (ClipCard* card : grid->liveCards()) {
        EXPECT_TRUE(card->engineStarted());
        ASSERT_TRUE(sources.contains(card->file().id));
        EXPECT_EQ(sources.value(card->file().id)->loads.size(), 1);
    }
    EXPECT_EQ(grid->engineCount(), atTop + grid->liveCards().size());
}

TEST_F(CardsFixture, ALongBrowseKeepsABoundedNumberOfEngines) {
    auto view = makeView();
    const QList<MediaFile> list = files(3'000);
    setFiles(list);
    ClipCardGrid* grid = view->grid();
    QScrollBar* bar = grid->verticalScrollBar();
    // A screen at a time, resting on each: every card on the way gets its engine and poster.
    const int step = grid->viewport()->height();
    qsizetype most = 0;
    for (int value = 0; value <= bar->maximum(); value += step) {
        bar->setValue(value);
        grid->settle();
        most = std::max(most, grid->engineCount());
        for (ClipCard* card : grid->liveCards())
            EXPECT_EQ(grid->engineFor(card->file().id), card->scrubEngine());
    }
    EXPECT_LE(most, ClipCardGrid::engineLimit + ClipCardGrid::engineLimit / 4 + 2 * grid->liveCards().size());
    EXPECT_GE(most, ClipCardGrid::engineLimit); // the bound is not the only thing kept

    // Back at the top the first cards' engines were dropped; they are made again and start.
    bar->setValue(0);
    grid->settle();
    for (ClipCard* card : grid->liveCards()) {
        EXPECT_TRUE(card->engineStarted());
        EXPECT_EQ(grid->engineFor(card->file().id), card->scrubEngine());
    }
}

// A card that showed a clip before Transcode & Replace decodes the .mov that took its place, with
// the grid's own engines: the source is gone.
TEST_F(CardsFixture, ATranscodedClipsCardDecodesItsNewFile) {
    TranscodedClip clip;
    if (!clip.made())
        GTEST_SKIP() << "needs the ffmpeg program";
    ClipCardsView view(harness.pm(), ClipCardsActions{}, CardStillLoader{}, {});
    view.resize(1000, 800);
    view.show();
    setFiles({clip.before});
    ClipCard* card = view.grid()->cardFor(clip.before.id);
    ASSERT_TRUE(card && card->scrubEngine());
    ScrubEngine* old = card->scrubEngine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return old->ready() || old->failed(); }, 60'000));

    ASSERT_TRUE(clip.transcode());
    setFiles({clip.after});
    card = view.grid()->cardFor(clip.after.id);
    ASSERT_TRUE(card && card->scrubEngine());
    EXPECT_NE(card->scrubEngine(), old);
    ScrubEngine* engine = card->scrubEngine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->ready() || engine->failed(); }, 60'000));
    EXPECT_TRUE(engine->ready());
    EXPECT_FALSE(engine->failed());
    EXPECT_TRUE(engine->posterImage());
}

namespace {

// The stops Tab visits from `from` until it leaves `inside` (at most `limit`), in order.
QList<QWidget*> tabThrough(QWidget* from, QWidget* inside, int limit, Qt::Key key = Qt::Key_Tab) {
    QList<QWidget*> visited;
    QTest::keyClick(from, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
    while (visited.size() < limit) {
        QWidget* focus = QApplication::focusWidget();
        if (!focus || (focus != inside && !inside->isAncestorOf(focus)))
            break;
        visited.append(focus);
        QTest::keyClick(focus, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
    }
    return visited;
}

} // namespace

// 2,000 clips are one Tab stop: the keys move the grid's card (which comes into view), Tab goes
// through that card's own buttons and out, and a card's button hands the arrows back to the grid.
TEST_F(CardsFixture, TheGridIsOneTabStopWhoseKeysMoveItsCard) {
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    auto* after = new QPushButton(QStringLiteral("After"));
    auto view = makeView();
    column->addWidget(view.get());
    column->addWidget(after);
    window.resize(1000, 800);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QList<MediaFile> list = files(2'000);
    setFiles(list);
    ClipCardGrid* grid = view->grid();
    const int columns = grid->layout().columns;
    ASSERT_GT(columns, 1);

    QPushButton* before = view->selectAllButton(); // the header's last control
    before->setFocus(Qt::TabFocusReason);
    QTest::keyClick(before, Qt::Key_Tab);
    ASSERT_TRUE(grid->hasFocus());
    EXPECT_EQ(grid->currentIndex(), 0) << "starts on the first card on screen";
    const auto shownWhole = [&](int index) {
        const QRect card = grid->layout().cardRect(index).translated(0, -grid->verticalScrollBar()->value());
        return grid->viewport()->rect().contains(card) && grid->liveCards().contains(index);
    };
    const std::pair<Qt::Key, int> moves[] = {
        {Qt::Key_Right, 1},  {Qt::Key_Down, 1 + columns}, {Qt::Key_Left, columns}, {Qt::Key_Up, 0},
        {Qt::Key_End, 1999}, {Qt::Key_Right, 1999},       {Qt::Key_Home, 0},       {Qt::Key_Left, 0},
        {Qt::Key_PageUp, 0}, {Qt::Key_PageDown, -1}, // a page of rows on
    };
    for (const auto& [key, expected] : moves) {
        SCOPED_TRACE(QKeySequence(key).toString().toStdString());
        QTest::keyClick(grid, key);
        EXPECT_TRUE(grid->hasFocus());
        if (expected >= 0) {
            EXPECT_EQ(grid->currentIndex(), expected);
        }
        EXPECT_TRUE(shownWhole(grid->currentIndex()));
    }
    const int paged = grid->currentIndex();
    EXPECT_GT(paged, columns);
    EXPECT_EQ(paged % columns, 0);
    QTest::keyClick(grid, Qt::Key_PageUp);
    EXPECT_EQ(grid->currentIndex(), 0);

    // Tab: the current card's buttons (select, bin, play), then out of the grid.
    QTest::keyClick(grid, Qt::Key_End);
    ClipCard* last = grid->liveCards().value(1999);
    ASSERT_TRUE(last);
    const QList<QWidget*> forward = tabThrough(grid, grid, 10);
    EXPECT_EQ(forward, (QList<QWidget*>{last->selectButton(), last->trashButton(), last->playButton()}));
    EXPECT_EQ(QApplication::focusWidget(), after);
    const QList<QWidget*> back = tabThrough(after, grid, 10, Qt::Key_Backtab);
    EXPECT_EQ(back, (QList<QWidget*>{last->playButton(), last->trashButton(), last->selectButton(), grid}));
    EXPECT_EQ(QApplication::focusWidget(), before);

    // A button of the current card acts on its file; an arrow from it moves the grid's card.
    last->selectButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(last->selectButton(), Qt::Key_Space);
    EXPECT_TRUE(view->selection().contains(list[1999].id));
    QTest::keyClick(last->selectButton(), Qt::Key_Left);
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(grid->currentIndex(), 1998);
    EXPECT_FALSE(last->selectButton()->focusPolicy() & Qt::TabFocus) << "no longer the current card's";

    // A click on a card makes it the current one, without scrolling it.
    const int top = grid->verticalScrollBar()->value();
    const auto [first, end] = grid->layout().visibleRange(top, grid->viewport()->height(), 2000);
    ClipCard* clicked = nullptr;
    for (int index = first; index < end && !clicked; ++index)
        if (index != 1998 && shownWhole(index))
            clicked = grid->liveCards().value(index);
    ASSERT_TRUE(clicked);
    after->setFocus();
    QTest::mouseClick(clicked, Qt::LeftButton, {},
                      QPoint(clicked->width() / 2, ClipCard::previewHeight + 30));
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(grid->currentIndex(), grid->liveCards().key(clicked));
    EXPECT_EQ(grid->verticalScrollBar()->value(), top);

    // The current card keeps its file when the list changes round it.
    const QUuid currentFile = clicked->file().id;
    QList<MediaFile> fewer = list;
    fewer.remove(0, columns * 3);
    setFiles(fewer);
    ASSERT_GE(grid->currentIndex(), 0);
    EXPECT_EQ(grid->files()[grid->currentIndex()].id, currentFile);
}
