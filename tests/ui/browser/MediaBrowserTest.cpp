#include "analysis/ProjectManager.h"
#include "support/ColourContrast.h"
#include "support/FakeDesktopServices.h"
#include "support/ProjectManagerHarness.h"
#include "support/TranscodedClip.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandTheme.h"
#include "ui/browser/BrowserViews.h"
#include "ui/browser/FilterBar.h"
#include "ui/browser/MediaBadges.h"
#include "ui/browser/MediaFileListView.h"
#include "ui/browser/MediaTableDelegate.h"
#include "ui/browser/MediaTableModel.h"
#include "ui/browser/MediaThumbnailStore.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/FilterChipToggle.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEngine>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStyle>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <cmath>

namespace tarnwick {
namespace {

using testing::drainEvents;
using testing::media;
using testing::ProjectManagerHarness;

QStringList actionTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("---")
                                        : action->text() + (action->isEnabled() ? "" : " (off)"));
    return texts;
}

// Shows the view as an active window with the keyboard in its table; nullptr when it never activated.
QTableView* focusedTable(MediaFileListView& view) {
    view.resize(900, 400);
    view.show();
    view.activateWindow();
    if (!QTest::qWaitForWindowActive(&view))
        return nullptr;
    view.table()->setFocus(Qt::TabFocusReason);
    return view.table();
}

class MediaBrowserTest : public ::testing::Test {
protected:
    MediaBrowserTest() {
        actions.deleteSafetyConflicts = [this](const QList<MediaFile>& files) {
            checked.append(files);
            return conflicts;
        };
        actions.addToRecycleBin = [this](const QList<MediaFile>& files, std::function<void()> done) {
            staged.append(files);
            if (done)
                done();
        };
        actions.reveal = [this](const MediaFile& file) { revealed.append(file.path); };
        actions.copyPaths = [this](const QList<MediaFile>& files) { copied = files.size(); };
        actions.combine = [this](const QList<MediaFile>& files, std::function<void()> done) {
            combined = files.size();
            combineDone = std::move(done);
        };
    }
    void load(QList<MediaFile> files) {
        harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles(std::move(files));
        drainEvents();
    }

    ProjectManagerHarness harness;
    MediaBrowserActions actions;
    QStringList conflicts;
    QList<MediaFile> checked;
    QList<MediaFile> staged;
    QStringList revealed;
    int copied = -1;
    int combined = -1;
    std::function<void()> combineDone; // called by the test: the merge happened
};

TEST_F(MediaBrowserTest, TableListsTheFilteredFilesLargestFirstAndSortsByHeader) {
    load({media("/v/b.mov", 0, MediaFileStatus::online, 0),
          media("/v/a10.mov", 1, MediaFileStatus::online, 300),
          media("/v/a9.mov", 0, MediaFileStatus::online, 100'000'000)});
    MediaFileListView view(harness.pm(), actions, nullptr);
    MediaTableModel* model = view.model();
    QStringList headers;
    for (int c = 0; c < model->columnCount(); ++c)
        headers << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(headers,
              QStringList({"Status", "File Name", "Size", "Usage", "Storage", "Sequence", "Projects"}));
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->file(0).path, "/v/a9.mov");
    EXPECT_EQ(model->data(model->index(2, MediaTableModel::size), Qt::DisplayRole).toString(),
              QStringLiteral("—"));

    view.table()->horizontalHeader()->setSortIndicator(MediaTableModel::fileName, Qt::AscendingOrder);
    EXPECT_EQ(model->file(0).path, "/v/a9.mov"); // digits by value: a9 before a10
    EXPECT_EQ(model->file(1).path, "/v/a10.mov");
    view.table()->horizontalHeader()->setSortIndicator(MediaTableModel::fileName, Qt::DescendingOrder);
    EXPECT_EQ(model->file(0).path, "/v/b.mov");

    harness.pm().updateFilters([](FilterSettings& filters) { filters.showOnlyUnused = true; });
    drainEvents();
    EXPECT_EQ(model->rowCount(), int(harness.pm().filteredMediaFiles().size()));
    EXPECT_EQ(model->rowCount(), 2);
}

TEST_F(MediaBrowserTest, EmptyStatesTellWhyNothingIsListed) {
    MediaFileListView view(harness.pm(), actions, nullptr);
    EXPECT_TRUE(view.showsEmptyState());
    EXPECT_EQ(view.emptyTitle(), "No Files");
    EXPECT_EQ(view.emptyDescription(), "Add projects to see media files");
    load({media("/v/a.mov", 1, MediaFileStatus::online, 5)});
    EXPECT_FALSE(view.showsEmptyState());
    harness.pm().updateFilters([](FilterSettings& filters) { filters.showOnlyUnused = true; });
    drainEvents();
    EXPECT_TRUE(view.showsEmptyState());
    EXPECT_EQ(view.emptyDescription(), "No files match current filters");
}

TEST_F(MediaBrowserTest, ContextMenuActsOnTheSelectionOrTheClickedRow) {
    load({media("/v/on.mov", 0, MediaFileStatus::online, 30),
          media("/v/off.mov", 0, MediaFileStatus::offline, 20),
          media("/v/third.mov", 0, MediaFileStatus::online, 10)});
    MediaFileListView view(harness.pm(), actions, nullptr);
    MediaTableModel* model = view.model();

    // A single offline file: no staging, no reveal, copy works, no combine.
    std::unique_ptr<QMenu> menu(view.buildContextMenu(view.contextRows(1), nullptr));
    EXPECT_EQ(actionTexts(menu.get()), QStringList({"Add to Virtual Recycle Bin (off)", "---",
                                                    "Show in File Manager (off)", "Copy Path(s)"}));

    // Two selected files, the click on one of them: both, combine counts 2.
    view.setSelectedFiles({model->file(0).id, model->file(1).id});
    const QList<MediaFile> rows = view.contextRows(1);
    ASSERT_EQ(rows.size(), 2);
    menu.reset(view.buildContextMenu(rows, nullptr));
    EXPECT_EQ(actionTexts(menu.get()),
              QStringList({"Add to Virtual Recycle Bin", "---", "Copy Path(s)", "---", "Combine 2 Files"}));
    menu->actions().first()->trigger();
    EXPECT_EQ(checked.size(), 2);
    EXPECT_EQ(staged.size(), 2);
    EXPECT_TRUE(view.selectedFiles().isEmpty());

    // A click on an unselected row acts on that row alone; empty space on nothing.
    view.setSelectedFiles({model->file(0).id});
    EXPECT_EQ(view.contextRows(2).size(), 1);
    menu.reset(view.buildContextMenu(view.contextRows(-1), nullptr));
    EXPECT_EQ(actionTexts(menu.get()),
              QStringList({"Add to Virtual Recycle Bin (off)", "---", "Copy Path(s)"}));
    menu->actions().last()->trigger();
    EXPECT_EQ(copied, 0);

    // Combine keeps the selection while the merge waits for the manager, and clears it once done.
    view.setSelectedFiles({model->file(0).id, model->file(2).id});
    menu.reset(view.buildContextMenu(view.contextRows(0), nullptr));
    menu->actions().last()->trigger();
    EXPECT_EQ(combined, 2);
    EXPECT_EQ(view.selectedFiles().size(), 2);
    ASSERT_TRUE(combineDone);
    combineDone();
    EXPECT_TRUE(view.selectedFiles().isEmpty());
}

TEST_F(MediaBrowserTest, ConflictsAskBeforeStagingAndCancelKeepsTheSelection) {
    load({media("/v/a.mov", 0, MediaFileStatus::online, 30),
          media("/v/b.mov", 0, MediaFileStatus::online, 20)});
    QWidget window;
    MediaFileListView view(harness.pm(), actions, nullptr, &window);
    window.show();
    const QSet<QUuid> both{view.model()->file(0).id, view.model()->file(1).id};
    view.setSelectedFiles(both);
    EXPECT_EQ(view.selectionText(), "2 selected");
    EXPECT_TRUE(view.addButton()->isEnabled());

    conflicts = {"first reason", "second", "third"};
    view.addButton()->click();
    auto* alert = window.findChild<AlertDialog*>();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->title(), "⚠️ Potentially Used Media");
    EXPECT_EQ(alert->message(),
              "first reason\n\n…and 2 more conflict(s)\n\nDeleting this file may break that project.");
    EXPECT_TRUE(staged.isEmpty());
    alert->buttons().first()->click(); // Cancel
    EXPECT_TRUE(staged.isEmpty());
    EXPECT_EQ(view.selectedFiles(), both);

    conflicts = {"only reason"};
    view.addButton()->click();
    drainEvents();
    alert = nullptr;
    for (auto* candidate : window.findChildren<AlertDialog*>())
        if (candidate->isVisible())
            alert = candidate;
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->message(), "only reason\n\nDeleting this file may break that project.");
    alert->buttons().last()->click(); // Move to Recycle Anyway
    EXPECT_EQ(staged.size(), 2);
    EXPECT_TRUE(view.selectedFiles().isEmpty());
    EXPECT_FALSE(view.addButton()->isEnabled());
}

TEST_F(MediaBrowserTest, HeaderButtonStagesOnlyRowsStillListed) {
    load({media("/v/keep.mov", 0, MediaFileStatus::online, 30),
          media("/v/gone.mov", 0, MediaFileStatus::online, 20)});
    MediaFileListView view(harness.pm(), actions, nullptr);
    view.setSelectedFiles({view.model()->file(0).id, view.model()->file(1).id});
    harness.pm().updateFilters([](FilterSettings& filters) { filters.filterText = "keep"; });
    drainEvents();
    EXPECT_EQ(view.selectionText(), "1 selected"); // what the button stages, not what the filter hides
    view.addButton()->click();
    ASSERT_EQ(staged.size(), 1);
    EXPECT_EQ(staged[0].path, "/v/keep.mov");
}

TEST_F(MediaBrowserTest, DoubleClickRevealsOnlyFilesOnDisk) {
    load({media("/v/on.mov", 0, MediaFileStatus::online, 30),
          media("/v/off.mov", 0, MediaFileStatus::offline, 20)});
    MediaFileListView view(harness.pm(), actions, nullptr);
    view.activateRow(1);
    EXPECT_TRUE(revealed.isEmpty());
    view.activateRow(0);
    EXPECT_EQ(revealed, QStringList({"/v/on.mov"}));
}

// Space previews the keyboard's row, as a click on its thumbnail does; a row not on disk has no
// preview, and Space keeps selecting it.
TEST_F(MediaBrowserTest, SpacePreviewsTheKeyboardsRowOnDisk) {
    load({media("/v/on.mov", 0, MediaFileStatus::online, 30),
          media("/v/off.mov", 0, MediaFileStatus::offline, 20)});
    QStringList previewed;
    actions.preview = [&previewed](const MediaFile& file) { previewed.append(file.path); };
    MediaFileListView view(harness.pm(), actions, nullptr);
    QTableView* table = focusedTable(view);
    ASSERT_NE(table, nullptr);
    table->setCurrentIndex(view.model()->index(0, MediaTableModel::fileName));
    QTest::keyClick(table, Qt::Key_Space);
    EXPECT_EQ(previewed, QStringList({"/v/on.mov"}));
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Space);
    EXPECT_EQ(previewed.size(), 1);
    EXPECT_TRUE(table->selectionModel()->isRowSelected(1));
}

// The table is one stop in the window's Tab chain: Tab leaves it for the next control and
// Shift+Tab comes back, whichever cell is current; the arrows move the row inside it.
TEST_F(MediaBrowserTest, TheTableIsOneTabStopAndTheArrowsMoveInside) {
    load({media("/v/a.mov", 0, MediaFileStatus::online, 30),
          media("/v/b.mov", 0, MediaFileStatus::online, 20),
          media("/v/c.mov", 0, MediaFileStatus::online, 10)});
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    auto* view = new MediaFileListView(harness.pm(), actions, nullptr);
    auto* after = new QPushButton(QStringLiteral("After"));
    column->addWidget(view);
    column->addWidget(after);
    window.resize(900, 500);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTableView* table = view->table();
    table->setFocus(Qt::TabFocusReason);
    table->setCurrentIndex(view->model()->index(0, MediaTableModel::status));
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(table->currentIndex().row(), 1);
    EXPECT_TRUE(table->hasFocus());
    for (int column = MediaTableModel::status; column < MediaTableModel::columnCount_; ++column) {
        SCOPED_TRACE(column);
        table->setFocus(Qt::TabFocusReason);
        table->setCurrentIndex(view->model()->index(1, column));
        QTest::keyClick(table, Qt::Key_Tab);
        EXPECT_TRUE(after->hasFocus());
        QTest::keyClick(after, Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_TRUE(table->hasFocus());
        EXPECT_EQ(table->currentIndex().row(), 1) << "Tab moves no selection";
    }
    // Back out of the table: the header's button, enabled by the current row's selection.
    QTest::keyClick(table, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), view->addButton());
}

// The Menu key and Shift+F10 open the row menu at the keyboard's row, wherever the mouse pointer is:
// for that row alone, or for the selection when the row is in it, as a click there would.
TEST_F(MediaBrowserTest, MenuKeyAndShiftF10OpenTheRowMenuAtTheCurrentRow) {
    QList<MediaFile> files;
    for (int i = 0; i < 40; ++i)
        files.append(media(QStringLiteral("/v/clip%1.mov").arg(i), 0, MediaFileStatus::online, 1000 - i));
    load(files);
    MediaFileListView view(harness.pm(), actions, nullptr);
    QTableView* table = focusedTable(view);
    ASSERT_NE(table, nullptr);
    const auto openWith = [table](Qt::Key key, Qt::KeyboardModifiers modifiers) -> QMenu* {
        QTest::keyClick(table, key, modifiers);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    };
    const auto close = [](QMenu* menu) {
        menu->close();
        drainEvents();
    };

    // Far down the list: the table scrolls to the row, and the menu opens on it.
    const QModelIndex far = view.model()->index(30, MediaTableModel::fileName);
    table->setCurrentIndex(far);
    table->scrollToTop();
    QMenu* menu = openWith(Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_NE(menu, nullptr) << "Shift+F10 opened nothing";
    const QRect row(table->viewport()->mapToGlobal(table->visualRect(far).topLeft()),
                    table->visualRect(far).size());
    EXPECT_TRUE(table->viewport()->rect().intersects(table->visualRect(far)));
    EXPECT_NEAR(menu->geometry().top(), row.bottom(), row.height());
    EXPECT_EQ(actionTexts(menu),
              QStringList({"Add to Virtual Recycle Bin", "---", "Show in File Manager", "Copy Path(s)"}));
    close(menu);

    // A selection that holds the row: the menu is the selection's.
    view.setSelectedFiles({view.model()->file(30).id, view.model()->file(2).id});
    table->selectionModel()->setCurrentIndex(far, QItemSelectionModel::NoUpdate);
    menu = openWith(Qt::Key_Menu, Qt::NoModifier);
    ASSERT_NE(menu, nullptr) << "the Menu key opened nothing";
    EXPECT_EQ(actionTexts(menu).last(), QStringLiteral("Combine 2 Files"));
    // The platform's own context menu event from that key opens no second menu.
    QContextMenuEvent fromKey(QContextMenuEvent::Keyboard, QPoint(0, 0), table->mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(table, &fromKey);
    EXPECT_EQ(QApplication::activePopupWidget(), menu);
    close(menu);
}

TEST_F(MediaBrowserTest, SelectionOfManyRowsSurvivesResorting) {
    QList<MediaFile> files;
    for (int i = 0; i < 4000; ++i)
        files.append(media(QStringLiteral("/v/f%1.mov").arg(i), 0, MediaFileStatus::online, i));
    load(files);
    MediaFileListView view(harness.pm(), actions, nullptr);
    QSet<QUuid> even;
    for (int i = 0; i < 4000; i += 2)
        even.insert(harness.pm().mediaFiles()[i].id);
    view.setSelectedFiles(even);
    view.table()->horizontalHeader()->setSortIndicator(MediaTableModel::fileName, Qt::AscendingOrder);
    EXPECT_EQ(view.selectedFiles(), even);
    EXPECT_EQ(view.table()->selectionModel()->selectedRows().size(), 2000);
}

TEST_F(MediaBrowserTest, TableShowsItsLastReadUntilTheChangeSignalThenTheNewList) {
    load({media("/v/a.mov", 0, MediaFileStatus::online, 30),
          media("/v/b.mov", 0, MediaFileStatus::online, 20),
          media("/v/c.mov", 0, MediaFileStatus::online, 10)});
    MediaFileListView view(harness.pm(), actions, nullptr);
    MediaTableModel* model = view.model();
    ASSERT_EQ(model->rowCount(), 3);
    // Shrinking the list and re-sizing an entry before the signals arrive: the table still
    // answers from the rows it read, whole and unchanged (a paint may come first).
    harness.pm().edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& files) {
        files.removeFirst();
        files[1].size = 50;
    });
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->file(2).path, "/v/c.mov");
    EXPECT_EQ(model->data(model->index(0, MediaTableModel::fileName), Qt::DisplayRole).toString(), "a.mov");
    drainEvents();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->file(0).path, "/v/c.mov") << "largest first after the change";
    EXPECT_EQ(model->rowOf(harness.pm().mediaFiles()[0].id), 1);

    harness.pm()
        .edit(ProjectManager::ListChange::none)
        .setRecycleBin({testing::binItem(harness.pm().mediaFiles()[1])});
    drainEvents();
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->file(0).path, "/v/b.mov") << "a file put in the bin leaves the table";
}

// Another page of a shown window hides the table: changes meanwhile let its rows go rather than
// sort them, and it sorts once when shown again, at the default order.
TEST_F(MediaBrowserTest, ATableOutOfSightSortsNothingUntilItIsShownAgain) {
    load({media("/v/a.mov", 0, MediaFileStatus::online, 30),
          media("/v/b.mov", 0, MediaFileStatus::online, 20)});
    QWidget window;
    auto* pages = new QStackedWidget(&window);
    auto* view = new MediaFileListView(harness.pm(), actions, nullptr);
    auto* other = new QWidget;
    pages->addWidget(view);
    pages->addWidget(other);
    window.show();
    drainEvents();
    MediaTableModel* model = view->model();
    view->table()->horizontalHeader()->setSortIndicator(MediaTableModel::fileName, Qt::AscendingOrder);
    ASSERT_EQ(model->file(0).path, "/v/a.mov");

    pages->setCurrentWidget(other);
    harness.pm().edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& files) {
        files.append(media("/v/c.mov", 0, MediaFileStatus::online, 40));
    });
    drainEvents();
    EXPECT_EQ(model->rowCount(), 0);

    pages->setCurrentWidget(view);
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->file(0).path, "/v/c.mov") << "largest first";
    EXPECT_EQ(model->sortOrder().front().key, MediaSortKey::size);
}

TEST_F(MediaBrowserTest, FilterChipsWriteTheManagerAndFollowIt) {
    load({media("/v/used.mov", 2, MediaFileStatus::online, 5),
          media("/v/clips/unused.mov", 0, MediaFileStatus::online, 5)});
    FilterBar bar(harness.pm());
    EXPECT_EQ(bar.countText(), "2 files");
    bar.chip("Unused")->click();
    drainEvents();
    EXPECT_TRUE(harness.pm().filters().showOnlyUnused);
    EXPECT_EQ(bar.countText(), "1 files");
    bar.chip("Used")->click();
    drainEvents();
    EXPECT_EQ(bar.countText(), "0 files");

    // A change made elsewhere.
    harness.pm().updateFilters([](FilterSettings& filters) { filters.showOnlyUsed = false; });
    drainEvents();
    EXPECT_FALSE(bar.chip("Used")->isChecked());
    EXPECT_EQ(bar.chip("> 100MB")->toolTip(), "Show only files larger than 100MB");

    QTest::keyClicks(bar.searchField(), "CLIPS");
    drainEvents();
    EXPECT_EQ(harness.pm().filters().filterText, "CLIPS");
    EXPECT_EQ(bar.countText(), "1 files");
}

TEST(MediaBadges, StatusUsageAndStorageCases) {
    MediaFile file = media("/v/a.mov", 0, MediaFileStatus::online, 1);
    file.matchedPath = "/w/a.mov";
    EXPECT_EQ(MediaBadges::statusText(file), "Found");
    EXPECT_EQ(MediaBadges::relocationColor(file), QColor("#5CC8DA"));
    file.status = MediaFileStatus::offline;
    EXPECT_EQ(MediaBadges::statusText(file), "Offline");
    EXPECT_EQ(MediaBadges::relocationColor(file), QColor("#787570"));
    file.status = MediaFileStatus::inRecycleBin;
    EXPECT_EQ(MediaBadges::statusText(file), "In Virtual Bin");

    MediaFile used = media("/v/u.mov", 3);
    used.isAEFootage = true;
    used.usageType = MediaUsageType::audioOnly;
    auto mark = MediaBadges::usageMark(used);
    EXPECT_EQ(mark.pillText, "3× used");
    EXPECT_EQ(mark.symbol, "speaker.wave.2.fill");

    MediaFile csv = media("/v/c.mov");
    csv.isFromDaVinciCSV = true;
    csv.hasUnresolvedAELink = true;
    mark = MediaBadges::usageMark(csv);
    EXPECT_EQ(mark.pillText, "DaVinci CSV");
    EXPECT_TRUE(mark.symbol.isEmpty());
    csv.isFromDaVinciCSV = false;
    mark = MediaBadges::usageMark(csv);
    EXPECT_EQ(mark.pillText, "Unused");
    EXPECT_EQ(mark.symbol, "exclamationmark.triangle.fill");
    MediaFile take = media("/s/Puppet/Ch Media/take.wav");
    take.characterAnimatorProject = "/s/Puppet/Puppet.chproj";
    mark = MediaBadges::usageMark(take);
    EXPECT_EQ(mark.pillText, "Unused");
    EXPECT_EQ(mark.symbolTooltip,
              "Needs review: part of the Character Animator project “Puppet”, which a timeline uses");

    MediaFile local = media("/Volumes/Drive/a.mov");
    EXPECT_EQ(MediaBadges::storageIcon(local), "externaldrive");
    local.path = "D:\\clips\\a.mov";
    EXPECT_EQ(MediaBadges::storageIcon(local), "externaldrive");
    local.path = "/home/me/a.mov";
    EXPECT_EQ(MediaBadges::storageIcon(local), "internaldrive");
    local.path = "a";
    EXPECT_EQ(MediaBadges::storageIcon(local), "internaldrive");

    EXPECT_TRUE(MediaBadges::isLargeSize(100'000'000));
    EXPECT_FALSE(MediaBadges::isLargeSize(99'999'999));
}

TEST(MediaTableDelegate, TooltipsComeFromThePaintedMarks) {
    MediaTableDelegate delegate(nullptr);
    MediaFile file = media("/v/dup.mov", 0, MediaFileStatus::online, 10);
    file.duplicateOfPath = "/v/original.mov";
    file.isProtected = true;
    file.alternativePaths = {"/w/dup.mov"};
    file.sequenceNames = {"B", "A"};
    const QRect cell(0, 0, 300, MediaTableDelegate::rowHeight);
    bool foundDuplicate = false;
    for (const auto& mark : delegate.marks(file, MediaTableModel::fileName, cell))
        foundDuplicate |= mark.tooltip == "Duplicate of: /v/original.mov";
    EXPECT_TRUE(foundDuplicate);
    const auto usage = delegate.marks(file, MediaTableModel::usage, cell);
    ASSERT_FALSE(usage.isEmpty());
    EXPECT_EQ(delegate.tooltipAt(file, MediaTableModel::usage, cell, usage[0].rect.center().toPoint()),
              "In a protected folder — never deleted, moved, or transcoded");
    const auto projects = delegate.marks(file, MediaTableModel::projects, cell);
    ASSERT_EQ(projects.size(), 1);
    EXPECT_EQ(projects[0].tooltip, "Consolidated from 2 paths:\n• /v/dup.mov\n• /w/dup.mov");
    // Outside every mark the cell's own tooltip answers.
    EXPECT_EQ(delegate.tooltipAt(file, MediaTableModel::storage, cell, QPoint(299, 1)), "/v");
    EXPECT_EQ(delegate.tooltipAt(file, MediaTableModel::sequence, cell, QPoint(299, 1)), "A, B");
}

namespace {

// The name cell of one file as the table paints it, white on black.
// The name cell of one file painted on `device`.
void paintNameCell(const MediaTableDelegate& delegate, const MediaFile& file, QPaintDevice& device) {
    QStandardItemModel model(1, MediaTableModel::columnCount_);
    const QModelIndex index = model.index(0, MediaTableModel::fileName);
    model.setData(index, QVariant::fromValue<const void*>(&file), MediaTableModel::fileRole);
    QPainter painter(&device);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, device.width(), device.height());
    delegate.paint(&painter, option, index);
}

// The name cell of one file as the table paints it, white on black.
QImage paintedNameCell(const MediaTableDelegate& delegate, const MediaFile& file) {
    QImage image(360, MediaTableDelegate::rowHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    paintNameCell(delegate, file, image);
    return image;
}

// The lowest row with ink in the name line (above the folder line) and its inked pixels.
std::pair<int, int> lowestInkOfTheNameLine(const QImage& image) {
    const int nameLineBottom = 3 + int(QFontMetricsF(Font::brand(12, Font::Weight::medium)).height()) + 4;
    for (int y = nameLineBottom; y >= 0; --y) {
        int inked = 0;
        for (int x = 0; x < image.width(); ++x)
            inked += qGray(image.pixel(x, y)) > 100 ? 1 : 0;
        if (inked > 0)
            return {y, inked};
    }
    return {-1, 0};
}

// Records every run of text painted on it: where its baseline is, how far it reaches below it, and
// the clip it was drawn under. A run is drawn in one font, so a name that falls back to another
// font for some of its characters comes as several runs.
class TextRunRecorder : public QPaintDevice {
public:
    struct Run {
        QString text;
        QPointF baseline;
        qreal ascent = 0;
        qreal descent = 0;
        QRectF clip;
    };

    explicit TextRunRecorder(QSize size) : m_size(size), m_engine(*this) {}
    ~TextRunRecorder() override = default;
    QPaintEngine* paintEngine() const override { return &m_engine; }
    QList<Run> runs;

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        case PdmWidthMM:
        case PdmHeightMM:
            return int((metric == PdmWidthMM ? m_size.width() : m_size.height()) * 25.4 /
                       dpi().logicalDpiY());
        case PdmNumColors:
            return 0;
        case PdmDpiX:
        case PdmPhysicalDpiX:
            return dpi().logicalDpiX();
        default: // the vertical dots per inch
            return dpi().logicalDpiY();
        }
    }

private:
    // Text is laid out for the same dots per inch as on the image the table paints.
    static const QImage& dpi() {
        static const QImage image(1, 1, QImage::Format_RGB32);
        return image;
    }

    class Engine : public QPaintEngine {
    public:
        explicit Engine(TextRunRecorder& device) : QPaintEngine(AllFeatures), m_device(device) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawTextItem(const QPointF& p, const QTextItem& item) override {
            m_device.runs.append({item.text(), p, item.ascent(), item.descent(),
                                  painter()->hasClipping() ? painter()->clipBoundingRect() : QRectF()});
        }
        Type type() const override { return User; }

    private:
        TextRunRecorder& m_device;
    };

    QSize m_size;
    mutable Engine m_engine;
};

// The runs of `name` among what the cell painted.
QList<TextRunRecorder::Run> nameRuns(const MediaTableDelegate& delegate, const QString& name) {
    TextRunRecorder device(QSize(360, MediaTableDelegate::rowHeight));
    paintNameCell(delegate, media("/v/" + name), device);
    QList<TextRunRecorder::Run> runs;
    for (const TextRunRecorder::Run& run : device.runs) {
        if (!run.text.trimmed().isEmpty() && name.contains(run.text))
            runs.append(run);
    }
    return runs;
}

} // namespace

// A name in Japanese falls back to a CJK font, whose line is taller than the name's own font (by a
// fraction of a pixel on some systems, by several on others). The name keeps its font's baseline,
// and what hangs below it (the underscores) is never clipped.
TEST(MediaTableDelegate, NamesKeepTheirBaselineAndUnderscoresWhateverFontsTheyFallBackTo) {
    const QString cjk = QString::fromUtf8("東京_Street_Wide.mxf");
    MediaTableDelegate delegate(nullptr);
    const QList<TextRunRecorder::Run> latin = nameRuns(delegate, QStringLiteral("Tokyo_Street_Wide.mxf"));
    const QList<TextRunRecorder::Run> mixed = nameRuns(delegate, cjk);
    ASSERT_EQ(latin.size(), 1);
    ASSERT_FALSE(mixed.isEmpty());
    QString drawn;
    for (const TextRunRecorder::Run& run : mixed) {
        drawn += run.text;
        // Exactly on the baseline of the name in the name's own font, whatever the run's font.
        EXPECT_DOUBLE_EQ(run.baseline.y(), latin[0].baseline.y()) << run.text.toStdString();
        EXPECT_TRUE(run.clip.isNull() || (run.clip.top() <= run.baseline.y() - run.ascent &&
                                          run.clip.bottom() >= run.baseline.y() + run.descent))
            << run.text.toStdString() << ": clipped";
    }
    EXPECT_EQ(drawn, cjk) << "the whole name, not elided";

    // And as painted: the underscores are the lowest ink of both names, on the same rows (a CJK font
    // may draw its own underscore a pixel or two higher), both of them whole (give or take the pixel
    // that their different horizontal offsets round to).
    const auto latinInk =
        lowestInkOfTheNameLine(paintedNameCell(delegate, media("/v/Tokyo_Street_Wide.mxf")));
    const auto mixedInk = lowestInkOfTheNameLine(paintedNameCell(delegate, media("/v/" + cjk)));
    ASSERT_GE(latinInk.first, 0);
    EXPECT_NEAR(mixedInk.first, latinInk.first, 2);
    EXPECT_GE(mixedInk.second * 4, latinInk.second * 3);
}

TEST(MediaThumbnailStore, AsksOnceKeepsABoundAndDropsHiddenRequests) {
    QList<std::function<void(const QImage&)>> pending;
    QList<RequestToken> tokens;
    int asked = 0;
    MediaThumbnailStore store(
        [&](const MediaFile&, RequestToken token, std::function<void(const QImage&)> done) {
            ++asked;
            tokens.append(token);
            pending.append(std::move(done));
            return true;
        },
        2);
    const MediaFile a = media("/v/a.mov"), b = media("/v/b.mov"), c = media("/v/c.mov");
    EXPECT_TRUE(store.thumbnail(a).isNull());
    EXPECT_TRUE(store.thumbnail(a).isNull());
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(store.isLoading(a.id));
    QImage image(4, 4, QImage::Format_RGB32);
    pending[0](image);
    EXPECT_FALSE(store.thumbnail(a).isNull());

    store.thumbnail(b);
    store.keepPendingOnly({a.id});        // b scrolled away before its answer
    EXPECT_TRUE(tokens[1].isCancelled()); // the generator may drop it before its turn
    pending[1](image);
    EXPECT_TRUE(store.thumbnail(b).isNull()); // asks again: the dropped answer was not kept
    EXPECT_EQ(asked, 3);
    pending[2](image);
    store.thumbnail(c);
    pending[3](image);
    EXPECT_EQ(store.size(), 2); // the oldest (a) went first
    EXPECT_TRUE(store.thumbnail(a).isNull());
}

} // namespace
} // namespace tarnwick

namespace tarnwick {
namespace {

// The runs painted in the name cell of `file` at `height`, top to bottom.
QList<TextRunRecorder::Run> nameCellRuns(const QTableView& table, const MediaFile& file, int height) {
    TextRunRecorder device(QSize(360, height));
    paintNameCell(*static_cast<MediaTableDelegate*>(table.itemDelegate()), file, device);
    return device.runs;
}

// How far below the lowest line painted in a cell of `height` the row ends.
qreal roomBelow(const QList<TextRunRecorder::Run>& runs, int height) {
    qreal bottom = 0;
    for (const TextRunRecorder::Run& run : runs)
        bottom = std::max(bottom, run.baseline.y() + run.descent);
    return height - bottom;
}

// A transcoded row carries a third line (the new file) between its name and its folder: the row
// grows by that line, so its folder line keeps the room below it that a row of two lines has and is
// not cut by the next row. Also after a re-sort.
TEST(MediaTableDelegate, ARowWithAThirdLineGetsItsHeight) {
    MediaFile transcoded = media("/v/Harbour/Harbour_Flyover.mp4", 0, MediaFileStatus::transcoded, 900);
    transcoded.transcodedPath = QStringLiteral("/v/Harbour/Harbour_Flyover.mov");
    transcoded.transcodedSize = 300;
    const MediaFile plain = media("/v/Plain/a.mov", 0, MediaFileStatus::online, 1000);
    ProjectManagerHarness harness;
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles({plain, transcoded});
    drainEvents();
    MediaFileListView view(harness.pm(), {}, nullptr);
    const QTableView& table = *view.table();
    for (const Qt::SortOrder order : {Qt::DescendingOrder, Qt::AscendingOrder}) {
        SCOPED_TRACE(int(order));
        view.table()->horizontalHeader()->setSortIndicator(MediaTableModel::size, order);
        const int row = view.model()->rowOf(transcoded.id);
        ASSERT_GE(row, 0);
        const int twoLines = table.rowHeight(1 - row);
        EXPECT_EQ(twoLines, MediaTableDelegate::rowHeight);
        const int threeLines = table.rowHeight(row);
        const auto runs = nameCellRuns(table, transcoded, threeLines);
        EXPECT_EQ(runs.size(), 4); // name, new file, its size, folder
        EXPECT_GE(roomBelow(runs, threeLines) + 1, roomBelow(nameCellRuns(table, plain, twoLines), twoLines));
    }
}

// A reset sets the rows that have a third line and puts back those that lost it; with none, no row
// is touched at all.
TEST(MediaTableDelegate, AResetTouchesOnlyTheRowsWithAThirdLine) {
    MediaFile transcoded = media("/v/T/t.mp4", 0, MediaFileStatus::transcoded, 900);
    transcoded.transcodedPath = QStringLiteral("/v/T/t.mov");
    ProjectManagerHarness harness;
    harness.pm()
        .edit(ProjectManager::ListChange::none)
        .setMediaFiles({media("/v/a.mov", 0, MediaFileStatus::online, 1000), transcoded,
                        media("/v/b.mov", 0, MediaFileStatus::online, 10)});
    drainEvents();
    MediaFileListView view(harness.pm(), {}, nullptr);
    const QTableView& table = *view.table();
    EXPECT_EQ(view.model()->tallRows(), QList<int>{view.model()->rowOf(transcoded.id)});
    EXPECT_EQ(table.rowHeight(view.model()->rowOf(transcoded.id)), MediaTableDelegate::threeLineHeight());

    transcoded.transcodedPath.reset();
    QList<MediaFile> files = harness.pm().mediaFiles();
    files[1] = transcoded;
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles(files);
    drainEvents();
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(table.rowHeight(row), MediaTableDelegate::rowHeight) << row;

    QSignalSpy resized(table.verticalHeader(), &QHeaderView::sectionResized);
    view.table()->horizontalHeader()->setSortIndicator(MediaTableModel::size, Qt::AscendingOrder);
    drainEvents();
    EXPECT_EQ(view.model()->rowOf(transcoded.id), 1);
    EXPECT_TRUE(view.model()->tallRows().isEmpty());
    EXPECT_EQ(resized.count(), 0);
}

// A manager holding one file, for the tables whose columns are measured.
class OneFileHarness : public testing::ProjectManagerHarness {
public:
    OneFileHarness() {
        pm().edit(ProjectManager::ListChange::none)
            .setMediaFiles({testing::media("/v/a.mov", 0, MediaFileStatus::online, 5)});
        testing::drainEvents();
    }
};

TEST(MediaTableColumns, OtherColumnsShrinkBeforeTheNameInANarrowPane) {
    OneFileHarness harness;
    MediaFileListView view(harness.pm(), {}, nullptr);
    view.resize(700, 400);
    view.show();
    testing::drainEvents();
    QHeaderView* header = view.table()->horizontalHeader();
    EXPECT_GE(header->sectionSize(MediaTableModel::fileName), 150);
    EXPECT_LE(header->length(), view.table()->viewport()->width() + 1);
    EXPECT_GE(header->sectionSize(MediaTableModel::usage), 92);
    // Between the sidebar and the bin of a 1280-point window: the name before the status, and
    // every size whole ("999 bytes" is the widest).
    EXPECT_GT(header->sectionSize(MediaTableModel::fileName),
              header->sectionSize(MediaTableModel::status) + 60);
    const int sizeWidth = header->sectionSize(MediaTableModel::size);
    QStandardItemModel model(1, MediaTableModel::columnCount_);
    const QModelIndex index = model.index(0, MediaTableModel::size);
    for (const qint64 size : {qint64(126), qint64(999), qint64(99'950'000), qint64(999'990'000'000)}) {
        const MediaFile file = testing::media("/v/a.mov", 0, MediaFileStatus::online, size);
        model.setData(index, QVariant::fromValue<const void*>(&file), MediaTableModel::fileRole);
        TextRunRecorder device(QSize(sizeWidth, MediaTableDelegate::rowHeight));
        QPainter painter(&device);
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, sizeWidth, MediaTableDelegate::rowHeight);
        view.table()->itemDelegate()->paint(&painter, option, index);
        painter.end();
        QString painted;
        for (const TextRunRecorder::Run& run : device.runs)
            painted += run.text;
        EXPECT_EQ(painted, MediaBadges::sizeText(size));
    }
}

// The name column is the flexible one: the other columns keep their minimums until the name has
// room for a name, its third line and its folder, and all width beyond their ideals is the name's.
TEST(MediaTableColumns, WidthGoesToTheFileNameFirst) {
    OneFileHarness harness;
    MediaFileListView view(harness.pm(), {}, nullptr);
    QHeaderView* header = view.table()->horizontalHeader();
    view.resize(880, 400);
    view.show();
    testing::drainEvents();
    EXPECT_EQ(header->sectionSize(MediaTableModel::sequence), 90);
    EXPECT_EQ(header->sectionSize(MediaTableModel::projects), 100);
    EXPECT_GE(header->sectionSize(MediaTableModel::fileName), 300);

    view.resize(1600, 400);
    testing::drainEvents();
    QList<int> wide;
    for (int column = 0; column < MediaTableModel::columnCount_; ++column)
        wide.append(header->sectionSize(column));
    EXPECT_EQ(wide[MediaTableModel::sequence], 160);
    EXPECT_EQ(wide[MediaTableModel::projects], 150);
    view.resize(2000, 400);
    testing::drainEvents();
    for (int column = 0; column < MediaTableModel::columnCount_; ++column)
        EXPECT_EQ(header->sectionSize(column), wide[column] + (column == MediaTableModel::fileName ? 400 : 0))
            << column;
    EXPECT_EQ(header->length(), view.table()->viewport()->width());
}

// Between the sidebar and the bin of the window at its default width the table has about 780
// points (700 when the panes are widened): every status shows whole there, thumbnail, dot and text.
TEST(MediaTableColumns, TheStatusColumnHoldsItsLongestStatusAtTheDefaultSize) {
    OneFileHarness harness;
    const QFontMetricsF metrics(Font::brandMono(10, Font::Weight::medium));
    for (const int width : {780, 700}) {
        MediaFileListView view(harness.pm(), {}, nullptr);
        view.resize(width, 400);
        view.show();
        testing::drainEvents();
        const int column = view.table()->horizontalHeader()->sectionSize(MediaTableModel::status);
        for (int status = 0; status <= int(MediaFileStatus::error); ++status) {
            MediaFile file = testing::media("/v/a.mov", 0, MediaFileStatus(status));
            for (const bool relocated : {false, true}) {
                file.matchedPath = relocated ? std::optional<QString>("/w/a.mov") : std::nullopt;
                // Padding, thumbnail (on disk only), dot, text, padding.
                const qreal needed = 4 + (file.isOnDisk() ? 28 : 0) + 11 +
                                     metrics.horizontalAdvance(MediaBadges::statusText(file)) + 4;
                EXPECT_GE(column, needed) << width << " " << MediaBadges::statusText(file).toStdString();
            }
        }
        EXPECT_GE(view.table()->horizontalHeader()->sectionSize(MediaTableModel::fileName), 150);
        EXPECT_LE(view.table()->horizontalHeader()->length(), view.table()->viewport()->width() + 1);
    }
}

// How far `c` lies from every blend of `from` and `to` (0: it is one), in 8-bit steps.
double offBlend(QColor c, QColor from, QColor to) {
    const double d[] = {double(to.red() - from.red()), double(to.green() - from.green()),
                        double(to.blue() - from.blue())};
    const double p[] = {double(c.red() - from.red()), double(c.green() - from.green()),
                        double(c.blue() - from.blue())};
    const double t = std::clamp((p[0] * d[0] + p[1] * d[1] + p[2] * d[2]) /
                                    std::max(1.0, d[0] * d[0] + d[1] * d[1] + d[2] * d[2]),
                                0.0, 1.0);
    return std::max({std::abs(p[0] - t * d[0]), std::abs(p[1] - t * d[1]), std::abs(p[2] - t * d[2])});
}

// On a selected row every text (the grey folder, the green size and usage pill included) takes the
// selection's text colour, and the current cell has no block of its own: the row reads as one.
TEST(MediaTableDelegate, ASelectedRowPaintsEveryTextInTheSelectionsTextColour) {
    const QPalette testColors = QApplication::palette();
    QApplication::setPalette(brandWidgetPalette());
    const auto restore = qScopeGuard([&testColors] { QApplication::setPalette(testColors); });
    MediaFile file =
        media("/media/editor/Shoot Day 2/Interviews/A001.mp4", 5, MediaFileStatus::transcoded, 9000);
    file.transcodedPath = QStringLiteral("/media/editor/Shoot Day 2/Interviews/A001.mov");
    file.transcodedSize = 3000;
    file.projectNames = {QStringLiteral("Harbour Cut")};
    ProjectManagerHarness harness;
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles({file, media("/v/b.mov")});
    drainEvents();
    MediaFileListView view(harness.pm(), {}, nullptr);
    view.resize(1100, 300);
    view.show();
    drainEvents();
    QTableView& table = *view.table();
    const int row = view.model()->rowOf(file.id);
    view.setSelectedFiles({file.id});
    table.setCurrentIndex(view.model()->index(row, MediaTableModel::fileName));
    table.setFocus();
    const QImage image = table.viewport()->grab().toImage();
    const QRect name = table.visualRect(view.model()->index(row, MediaTableModel::fileName));
    const QRect last = table.visualRect(view.model()->index(row, MediaTableModel::projects));
    const QColor selection = image.pixelColor(name.right() - 2, name.top() + 1);
    EXPECT_EQ(image.pixelColor(last.right() - 2, last.top() + 1), selection); // no block of its own
    const QColor ink = table.palette().color(QPalette::HighlightedText);
    EXPECT_GE(contrastRatio(ink, selection), 4.5);
    int inked = 0;
    double worst = 0;
    for (int y = name.top(); y <= name.bottom(); ++y) {
        for (int x = name.left(); x <= last.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            worst = std::max(worst, offBlend(c, selection, ink));
            inked += contrastRatio(c, selection) >= 4.5 ? 1 : 0;
        }
    }
    EXPECT_LE(worst, 12);
    EXPECT_GE(inked, 200); // the texts are there
}

// Collects the regions a widget repaints.
class PaintRegionSpy : public QObject {
public:
    PaintRegionSpy(QWidget* widget, QRegion& into) : m_into(into) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            m_into += static_cast<QPaintEvent*>(event)->region();
        return false;
    }

private:
    QRegion& m_into;
};

// Tab into the table with nothing selected: the keyboard's row shows, a ring round the whole row.
TEST(MediaTableDelegate, TheKeyboardsRowWearsAFocusRingWhereNoSelectionShowsIt) {
    const QPalette testColors = QApplication::palette();
    QApplication::setPalette(brandWidgetPalette());
    const auto restore = qScopeGuard([&testColors] { QApplication::setPalette(testColors); });
    ProjectManagerHarness harness;
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles({media("/v/a.mov"), media("/v/b.mov")});
    drainEvents();
    MediaFileListView view(harness.pm(), {}, nullptr);
    view.resize(1100, 300);
    view.show();
    drainEvents();
    QTableView& table = *view.table();
    table.selectionModel()->setCurrentIndex(view.model()->index(0, MediaTableModel::fileName),
                                            QItemSelectionModel::NoUpdate);
    ASSERT_TRUE(view.selectedFiles().isEmpty());
    const auto bandAt = [&table](int row, int column) {
        const QRect cell = table.visualRect(table.model()->index(row, column));
        return qGray(table.viewport()->grab().toImage().pixel(cell.center().x(), cell.top() + 1));
    };
    table.clearFocus();
    drainEvents();
    const int rest = bandAt(0, MediaTableModel::size);
    table.setFocus(Qt::TabFocusReason);
    drainEvents();
    ASSERT_TRUE(table.hasFocus());
    for (const int column :
         {int(MediaTableModel::status), int(MediaTableModel::size), int(MediaTableModel::projects)})
        EXPECT_GE(bandAt(0, column) - rest, 128) << "along the row's top, column " << column;
    EXPECT_LT(bandAt(1, MediaTableModel::size) - rest, 64) << "the other row";

    // Down a row: the row left and the row reached repaint whole, not only their current cells.
    QRegion repainted;
    PaintRegionSpy spy(table.viewport(), repainted);
    drainEvents();
    repainted = QRegion();
    table.selectionModel()->setCurrentIndex(view.model()->index(1, MediaTableModel::fileName),
                                            QItemSelectionModel::NoUpdate);
    drainEvents();
    for (const int row : {0, 1}) {
        const QRect whole(0, table.rowViewportPosition(row), table.viewport()->width(), table.rowHeight(row));
        EXPECT_TRUE((QRegion(whole) - repainted).isEmpty()) << "row " << row;
    }
}

} // namespace
} // namespace tarnwick

namespace tarnwick {
namespace {

TEST(MediaTableThumbnails, PaintedRowsAskForTheirPictures) {
    testing::ProjectManagerHarness harness;
    harness.pm()
        .edit(ProjectManager::ListChange::none)
        .setMediaFiles({testing::media("/v/song.mp3", 0, MediaFileStatus::online, 5),
                        testing::media("/v/notes.txt", 0, MediaFileStatus::online, 4)});
    testing::drainEvents();
    int asked = 0;
    MediaThumbnailStore store(
        [&](const MediaFile& file, RequestToken, std::function<void(const QImage&)> done) {
            ++asked;
            if (!file.path.endsWith(".mp3"))
                return false;
            QImage picture(32, 32, QImage::Format_ARGB32);
            picture.fill(Qt::magenta);
            done(picture);
            return true;
        });
    MediaFileListView view(harness.pm(), {}, &store);
    view.resize(900, 400);
    view.show();
    view.grab();
    testing::drainEvents();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(store.size(), 1);
    view.grab();
    EXPECT_EQ(asked, 2); // painted again from the store, nothing asked twice
}

// After Transcode & Replace the row's picture comes from the .mov that took the source's place.
TEST(MediaTableThumbnails, ATranscodedRowShowsThePictureOfItsNewFile) {
    testing::TranscodedClip clip;
    if (!clip.made())
        GTEST_SKIP() << "needs the ffmpeg program";
    ASSERT_TRUE(clip.transcode());
    testing::ProjectManagerHarness harness;
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles({clip.after});
    testing::drainEvents();
    MediaThumbnailStore store(
        systemBrowserServices(std::make_shared<testing::FakeDesktopServices>()).thumbnails);
    MediaFileListView view(harness.pm(), {}, &store);
    view.resize(900, 400);
    view.show();
    view.grab();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !store.isLoading(clip.after.id); }, 60'000));
    EXPECT_FALSE(store.thumbnail(clip.after).isNull());
}

} // namespace
} // namespace tarnwick

namespace tarnwick {
namespace {

// A click on a text column of a large list while its keys are still being made: the table keeps
// the rows it shows, and changes once, to the sorted rows, when the keys are back.
TEST(MediaTableSortKeys, TextSortWaitsForTheWorkerAndChangesInOneStep) {
    QSemaphore gate;
    testing::ProjectManagerHarness harness([&](ProjectManagerServices& services) {
        services.backgroundSortRows = 20;
        services.beforeSortKeys = [&] { gate.acquire(); };
    });
    QList<MediaFile> files;
    for (int i = 0; i < 30; ++i)
        files.append(media(QStringLiteral("/v/clip%1.mov").arg(29 - i), 0, MediaFileStatus::online, 100 + i));
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles(files);
    gate.release(); // the first list's keys
    QSignalSpy ready(&harness.pm(), &ProjectManager::sortKeysReady);
    ASSERT_TRUE(ready.wait(10000));
    MediaTableModel model(harness.pm());
    ASSERT_EQ(model.rowCount(), 30);
    EXPECT_EQ(model.file(0).size, 129) << "largest first";

    files.removeLast();
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles(files); // the next keys are held
    drainEvents();
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    model.sort(MediaTableModel::fileName, Qt::AscendingOrder);
    EXPECT_TRUE(model.isWaitingForSortKeys());
    EXPECT_EQ(model.rowCount(), 30) << "the rows shown stay";
    EXPECT_EQ(resets.count(), 0);

    gate.release();
    ASSERT_TRUE(ready.wait(10000));
    EXPECT_FALSE(model.isWaitingForSortKeys());
    EXPECT_EQ(resets.count(), 1);
    ASSERT_EQ(model.rowCount(), 29);
    EXPECT_EQ(model.file(0).path, QStringLiteral("/v/clip1.mov"));
    EXPECT_EQ(model.file(28).path, QStringLiteral("/v/clip29.mov")) << "digits by value";
}

} // namespace
} // namespace tarnwick
