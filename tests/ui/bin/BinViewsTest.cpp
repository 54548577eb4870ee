#include "ui/bin/BinViews.h"
#include "platform/ByteCountText.h"
#include "ui/bin/BinOverlays.h"
#include "ui/bin/BinSheets.h"
#include "ui/bin/RecycleBinView.h"
#include "ui/common/AlertDialog.h"
#include "ui/sidebar/SidebarViews.h"
#include "ui/window/WindowTestFixture.h"

#include "support/ReleaseGate.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

ViewFactories binViews() {
    ViewFactories f;
    installSidebarView(f);
    installBinViews(f);
    return f;
}

struct BinFixture : WindowFixture {
    BinFixture() : WindowFixture(true, false, binViews()) {}

    RecycleBinView* pane() { return view->findChild<RecycleBinView*>(); }

    QList<RecycleBinItem> stage(std::initializer_list<std::pair<const char*, qint64>> files) {
        QList<RecycleBinItem> items;
        QList<MediaFile> media;
        for (const auto& [path, size] : files) {
            MediaFile m =
                tarnwick::testing::media(QString::fromUtf8(path), 0, MediaFileStatus::inRecycleBin, size);
            media.append(m);
            items.append(binItem(m));
        }
        pm().edit(ProjectManager::ListChange::entries).setMediaFiles(media).setRecycleBin(items);
        settle();
        return items;
    }

    template <typename T> T* sheet() {
        QDialog* d = view->presentations().current();
        return d ? d->findChild<T*>() : nullptr;
    }
};

QStringList rowNames(RecycleBinView* pane) {
    QStringList out;
    for (int r = 0; r < pane->model()->rowCount(); ++r)
        out.append(pane->model()->index(r).data().toString());
    return out;
}

} // namespace

TEST(RecycleBinPane, HeaderRowsFooterAndRestores) {
    BinFixture f;
    RecycleBinView* pane = f.pane();
    ASSERT_NE(pane, nullptr);
    EXPECT_TRUE(pane->showsEmptyState());
    ASSERT_EQ(pane->footerButtons().size(), 5);
    for (QPushButton* b : pane->footerButtons())
        EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();
    EXPECT_EQ(pane->totalLabel()->text(), formatFileByteCount(0));

    const auto items = f.stage({{"/m/a.mov", 1'500'000}, {"/m/b.mov", 0}, {"/m/c.mxf", 2'500'000}});
    EXPECT_FALSE(pane->showsEmptyState());
    EXPECT_EQ(pane->totalLabel()->text(), formatFileByteCount(4'000'000));
    EXPECT_EQ(rowNames(pane),
              (QStringList{QStringLiteral("a.mov"), QStringLiteral("b.mov"), QStringLiteral("c.mxf")}));
    EXPECT_EQ(pane->model()->index(1).data(RecycleBinModel::sizeTextRole).toString(), QStringLiteral("—"));
    for (QPushButton* b : pane->footerButtons())
        EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
    QStringList titles;
    for (QPushButton* b : pane->footerButtons())
        titles.append(b->accessibleName());
    EXPECT_EQ(pane->footerButtons().last()->text(), QStringLiteral("Transcode && Replace"));
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Restore All"), QStringLiteral("Move to Trash"),
                                   QStringLiteral("Move to Folder..."), QStringLiteral("Delete Permanently"),
                                   QStringLiteral("Transcode & Replace")}));

    // Selecting rows fills the window's selection; Restore restores only those, then clears it.
    pane->list()->selectionModel()->select(pane->model()->index(0), QItemSelectionModel::Select);
    pane->list()->selectionModel()->select(pane->model()->index(2), QItemSelectionModel::Select);
    EXPECT_EQ(f.view->selectedRecycleBinItems(), (QSet<QUuid>{items[0].id, items[2].id}));
    // The row menu: on an unselected row only that row; on a selected row the whole selection.
    const QPoint onSecond = pane->list()->visualRect(pane->model()->index(1)).center();
    const QPoint onThird = pane->list()->visualRect(pane->model()->index(2)).center();
    EXPECT_EQ(pane->menuItemsAt(onSecond), (QSet<QUuid>{items[1].id}));
    EXPECT_EQ(pane->menuItemsAt(onThird), (QSet<QUuid>{items[0].id, items[2].id}));
    EXPECT_TRUE(pane->menuItemsAt(QPoint(5, 5000)).isEmpty());
    pane->restoreItems({items[0].id});
    f.settle();
    EXPECT_TRUE(f.view->selectedRecycleBinItems().isEmpty());
    EXPECT_EQ(rowNames(pane), (QStringList{QStringLiteral("b.mov"), QStringLiteral("c.mxf")}));

    QTest::mouseClick(pane->footerButtons().at(0), Qt::LeftButton);
    f.settle();
    EXPECT_TRUE(f.pm().recycleBin().isEmpty());
    EXPECT_TRUE(pane->showsEmptyState());
    for (QPushButton* b : pane->footerButtons())
        EXPECT_FALSE(b->isEnabled());
}

// A bin emptied in place (every item restored) keeps the block of all it held: it is let go of on
// the release thread too, not in the window's turn.
TEST(RecycleBinModel, LetsGoOfAnEmptiedBinsBlockOnTheReleaseThread) {
    QList<RecycleBinItem> emptied;
    emptied.reserve(20'000);
    RecycleBinModel model;
    model.setItems(emptied);
    {
        tarnwick::test::ReleaseGate gate;
        model.setItems({});
        EXPECT_FALSE(emptied.isDetached()); // the release thread holds the model's share
    }
    memory::waitForReleases();
    EXPECT_TRUE(emptied.isDetached());
}

TEST(RecycleBinPane, FooterButtonsRaiseTheWindowsPresentations) {
    BinFixture f;
    f.stage({{"/m/a.mov", 10}});
    QTest::mouseClick(f.pane()->footerButtons().at(3), Qt::LeftButton);
    f.settle();
    EXPECT_EQ(f.presented(), QStringLiteral("PermanentDeleteConfirmSheet"));
    EXPECT_EQ(f.pm().recycleBin().size(), 1); // only the sheet opened
    f.dismissPresented();
    QTest::mouseClick(f.pane()->footerButtons().at(1), Qt::LeftButton);
    f.settle();
    EXPECT_EQ(f.presented(), QStringLiteral("Delete Files"));
}

TEST(PermanentDeleteSheet, TheFocusedFieldShowsItsHintAtFullWidth) {
    BinFixture f;
    f.stage({{"/m/a.mov", 1000}});
    f.presentations().showSheet(Presentation::permanentDelete);
    f.settle();
    auto* sheet = f.sheet<PermanentDeleteConfirmSheet>();
    ASSERT_NE(sheet, nullptr);
    QLineEdit* field = sheet->field();
    sheet->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet->window()));
    ASSERT_TRUE(QTest::qWaitFor([field] { return field->hasFocus(); }));
    EXPECT_EQ(field->width(), 250);
    // The hint is painted while the empty field has focus: without it the field looks different.
    const QImage hinted = field->grab().toImage();
    const QString hint = field->placeholderText();
    EXPECT_EQ(hint, QStringLiteral("Type \"delete\" here"));
    field->setPlaceholderText(QString());
    EXPECT_NE(field->grab().toImage(), hinted);
    field->setPlaceholderText(hint);
    QTest::keyClicks(field, QStringLiteral("d"));
    field->setPlaceholderText(QString());
    const QImage typed = field->grab().toImage();
    field->setPlaceholderText(hint);
    EXPECT_EQ(field->grab().toImage(), typed); // typing replaces the hint
    f.dismissPresented();
}

TEST(PermanentDeleteSheet, TypedWordEscapeAndReturnTwiceDeletesOnce) {
    BinFixture f;
    f.stage({{"/m/a.mov", 1000}, {"/m/b.mov", 2000}});
    f.ops->deleteResult = {2, 0, {}, {}};
    f.presentations().showSheet(Presentation::permanentDelete);
    f.settle();
    auto* sheet = f.sheet<PermanentDeleteConfirmSheet>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->message()->text(), QStringLiteral("This will permanently delete 2 file(s) (") +
                                            formatFileByteCount(3000) +
                                            QStringLiteral("). This action cannot be undone."));
    EXPECT_TRUE(sheet->field()->text().isEmpty());
    EXPECT_FALSE(sheet->deleteButton()->isEnabled());
    QTest::keyClicks(sheet->field(), QStringLiteral("delete."));
    EXPECT_FALSE(sheet->deleteButton()->isEnabled());
    QTest::keyClick(sheet->field(), Qt::Key_Return);
    f.settle();
    EXPECT_EQ(f.ops->deleteCalls, 0);

    // Escape cancels: nothing deleted, no result.
    QTest::keyClick(sheet->field(), Qt::Key_Escape);
    f.settle();
    EXPECT_TRUE(f.presented().isEmpty());
    EXPECT_EQ(f.ops->deleteCalls, 0);
    EXPECT_FALSE(f.presentations().chain().isRequested(Presentation::deletionResult));

    // A new presentation starts empty; the typed word with blanks round it confirms.
    f.presentations().showSheet(Presentation::permanentDelete);
    f.settle();
    sheet = f.sheet<PermanentDeleteConfirmSheet>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->field()->text().isEmpty());
    sheet->field()->setText(QStringLiteral("  DeLeTe\t"));
    EXPECT_TRUE(sheet->deleteButton()->isEnabled());
    f.ops->gate.closed = true;
    // Return reaches both the field's submit and the default button; a second Return follows.
    QTest::keyClick(sheet->field(), Qt::Key_Return);
    QTest::keyClick(sheet->field(), Qt::Key_Return);
    QTest::keyClick(sheet->window(), Qt::Key_Return);
    f.settle();
    EXPECT_EQ(f.ops->deleteCalls, 1);
    EXPECT_TRUE(sheet->isDeleting());
    EXPECT_FALSE(sheet->deleteButton()->isEnabled());
    EXPECT_FALSE(sheet->field()->isEnabled());
    // Escape does not drop the sheet while the deletion runs.
    QTest::keyClick(sheet->window(), Qt::Key_Escape);
    f.settle();
    EXPECT_EQ(f.presented(), QStringLiteral("PermanentDeleteConfirmSheet"));
    f.ops->gate.open();
    f.settle();
    EXPECT_EQ(f.ops->deleteCalls, 1);
    EXPECT_EQ(f.presented(), QStringLiteral("DeletionResultView"));
    auto* result = f.sheet<ResultSheet>();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->headline()->text(), QStringLiteral("Deletion Complete"));
    EXPECT_EQ(result->counts()->text(), QStringLiteral("2 file(s) processed successfully"));
    QTest::keyClick(result->window(), Qt::Key_Return);
    f.settle();
    EXPECT_TRUE(f.presented().isEmpty());
    EXPECT_FALSE(f.presentations().chain().isRequested(Presentation::deletionResult));
}

// A run that stopped because its records could not be kept: the sheet says why under the counts.
TEST(ResultSheets, SayWhenTheRunStoppedForItsRecords) {
    BinFixture f;
    ActionResult result = ActionResult::counted(3);
    result.unrecorded =
        QStringLiteral("The run stopped because its records could not be kept (No space left on "
                       "device): 2 file(s) were left untouched.");
    f.presentations().showResult(CleanupResult::of(CleanupRunKind::deletion, result));
    f.settle();
    auto* sheet = f.sheet<ResultSheet>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->counts()->text(), QStringLiteral("3 file(s) processed successfully"));
    ASSERT_NE(sheet->unrecorded(), nullptr);
    EXPECT_EQ(sheet->unrecorded()->text(), result.unrecorded);
    EXPECT_EQ(sheet->look().symbol, QStringLiteral("exclamationmark.triangle.fill"));
}

TEST(ResultSheets, ErrorFormScrollsInsideItsBox) {
    BinFixture f;
    QStringList errors;
    for (int i = 0; i < 60; ++i)
        errors.append(QStringLiteral("Could not move clip%1.mov: Permission denied").arg(i));
    f.presentations().showResult(
        CleanupResult::of(CleanupRunKind::binMove, ActionResult::counted(12, 60, errors)));
    f.settle();
    EXPECT_EQ(f.presented(), QStringLiteral("OperationResultView"));
    auto* sheet = f.sheet<ResultSheet>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->headline()->text(), QStringLiteral("Move Complete with Errors"));
    EXPECT_EQ(sheet->counts()->text(), QStringLiteral("12 succeeded, 60 failed"));
    ASSERT_NE(sheet->errorScroll(), nullptr);
    EXPECT_LE(sheet->errorScroll()->height(), 100);
    const auto lines = sheet->errorScroll()->widget()->findChildren<QLabel*>();
    ASSERT_EQ(lines.size(), 60);
    EXPECT_EQ(lines.last()->text(), errors.last());
    QTest::mouseClick(sheet->doneButton(), Qt::LeftButton);
    f.settle();
    EXPECT_TRUE(f.presented().isEmpty());
    EXPECT_FALSE(f.presentations().chain().isRequested(Presentation::moveResult));
}

TEST(MoveProgressCard, CountersPercentAndCancel) {
    BinFixture f;
    ProjectManager& pm = f.pm();
    pm.updateMoveProgress([](MoveProgress& move) {
        move.moveTotalFiles = 12;
        move.moveTotalBytes = 4'800'000'000;
        move.moveCurrentFile = QStringLiteral("A001.mov");
        move.isMoveInProgress = true;
    });
    f.settle();
    auto* card = f.view->findChild<MoveProgressOverlay*>();
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->geometry(), f.view->rect()); // dims and blocks the whole window
    EXPECT_EQ(QApplication::focusWidget(), card->cancelButton());
    EXPECT_EQ(card->files()->text(), QStringLiteral("0 / 12"));
    EXPECT_EQ(card->speed()->text(), QStringLiteral("0.0 MB/s"));
    EXPECT_EQ(card->percent()->text(), QStringLiteral("0%"));
    pm.updateMoveProgress([](MoveProgress& move) {
        move.moveFilesCompleted = 3;
        move.moveBytesCompleted = 1'200'000'000;
        move.moveProgressFraction = 0.42;
        move.moveMBps = 35.24;
    });
    f.settle();
    EXPECT_EQ(card->files()->text(), QStringLiteral("3 / 12"));
    EXPECT_EQ(card->bytes()->text(), formatFileByteCount(1'200'000'000) + QStringLiteral(" / ") +
                                         formatFileByteCount(4'800'000'000));
    EXPECT_EQ(card->speed()->text(), QStringLiteral("35.2 MB/s"));
    EXPECT_EQ(card->percent()->text(), QStringLiteral("42%"));
    EXPECT_EQ(card->bar()->value(), 420);
    f.ops->gate.closed = true;
    f.view->runner().request(CleanupRunKind::binMove, QUrl::fromLocalFile(QStringLiteral("/archive")));
    f.settle();
    QTest::mouseClick(card->cancelButton(), Qt::LeftButton);
    f.settle();
    EXPECT_TRUE(pm.moveProgress().cancelMoveRequested);
    EXPECT_EQ(card->cancelButton()->text(), QStringLiteral("Cancelling…"));
    EXPECT_FALSE(card->cancelButton()->isEnabled());
    pm.updateMoveProgress([](MoveProgress& move) { move.isMoveInProgress = false; });
    f.ops->gate.open();
    f.settle();
    EXPECT_EQ(f.view->findChild<MoveProgressOverlay*>(), nullptr);
}

TEST(TrashFailureSheet, SummaryFormsAndItsThreeChoices) {
    BinFixture f;
    f.stage({{"/net/a.mov", 1000}, {"/net/b.mov", 1000}});
    ActionResult trash{3, 2, {QStringLiteral("a.mov: no Trash on this volume")}, f.pm().recycleBin()};
    f.ops->trashResult = trash;
    f.presentations().startTrashRun();
    f.settle();
    ASSERT_EQ(f.presented(), QStringLiteral("TrashFailureSheet"));
    auto* sheet = f.sheet<TrashFailureSheet>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->summary()->text(),
              QStringLiteral("3 file(s) trashed successfully, but 2 file(s) could not be moved to Trash."));
    EXPECT_EQ(sheet->question()->text(), QStringLiteral("What would you like to do with these 2 file(s) (") +
                                             formatFileByteCount(2000) + QStringLiteral(")?"));
    ASSERT_NE(sheet->errorScroll(), nullptr);
    EXPECT_LE(sheet->errorScroll()->height(), 80);

    // Keep: closes, the bin is as it was.
    QTest::mouseClick(sheet->keepButton(), Qt::LeftButton);
    f.settle();
    EXPECT_TRUE(f.presented().isEmpty());
    EXPECT_EQ(f.pm().recycleBin().size(), 2);

    // Nothing trashed: the one-sentence summary, no error box; Delete runs at once, and once.
    f.ops->trashResult = {0, 2, {}, f.pm().recycleBin()};
    f.presentations().startTrashRun();
    f.settle();
    sheet = f.sheet<TrashFailureSheet>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->summary()->text(), QStringLiteral("2 file(s) could not be moved to Trash."));
    EXPECT_EQ(sheet->errorScroll(), nullptr);
    f.ops->gate.closed = true;
    f.ops->deleteResult = {2, 0, {}, {}};
    QTest::mouseClick(sheet->deleteButton(), Qt::LeftButton);
    QTest::mouseClick(sheet->deleteButton(), Qt::LeftButton);
    QTest::mouseClick(sheet->keepButton(), Qt::LeftButton);
    f.settle();
    EXPECT_EQ(f.ops->deleteCalls, 1);
    EXPECT_FALSE(sheet->moveButton()->isEnabled());
    EXPECT_FALSE(sheet->keepButton()->isEnabled());
    EXPECT_EQ(f.presented(), QStringLiteral("TrashFailureSheet"));
    f.ops->gate.open();
    f.settle();
    EXPECT_EQ(f.presented(), QStringLiteral("DeletionResultView"));
    f.dismissPresented();

    // Move: folder, confirmation (Cancel keeps the sheet; Move runs and shows the move result).
    f.ops->trashResult = {0, 2, {}, f.pm().recycleBin()};
    f.presentations().startTrashRun();
    f.settle();
    sheet = f.sheet<TrashFailureSheet>();
    ASSERT_NE(sheet, nullptr);
    f.panel.choice = {QUrl::fromLocalFile(QStringLiteral("/mnt/Archive"))};
    QTest::mouseClick(sheet->moveButton(), Qt::LeftButton);
    f.settle();
    auto* alert = sheet->window()->findChild<AlertDialog*>();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->title(), QStringLiteral("Move Files to Folder?"));
    EXPECT_EQ(alert->message(), QStringLiteral("Move 2 file(s) to “Archive”?"));
    QTest::mouseClick(alert->buttons().at(0), Qt::LeftButton);
    f.settle();
    EXPECT_FALSE(sheet->pendingFolder().has_value());
    EXPECT_EQ(f.presented(), QStringLiteral("TrashFailureSheet"));
    EXPECT_EQ(f.ops->binMoveCalls, 0);
    QTest::mouseClick(sheet->moveButton(), Qt::LeftButton);
    f.settle();
    alert = sheet->window()->findChild<AlertDialog*>();
    ASSERT_NE(alert, nullptr);
    QTest::mouseClick(alert->buttons().at(1), Qt::LeftButton);
    f.settle();
    EXPECT_EQ(f.ops->binMoveCalls, 1);
    EXPECT_EQ(f.ops->binMoveFolders.head(), QUrl::fromLocalFile(QStringLiteral("/mnt/Archive")));
    EXPECT_EQ(f.presented(), QStringLiteral("OperationResultView"));
}

// A rescan starts as the Trash failure sheet appears: its move waits for the rescan, then runs and
// reports; it is never shown as done while the files stay in the bin.
TEST(TrashFailureSheet, AMoveAskedWhileTheManagerIsBusyWaitsThenReports) {
    BinFixture f;
    f.stage({{"/net/a.mov", 1000}, {"/net/b.mov", 1000}});
    f.ops->trashResult = {0, 2, {}, f.pm().recycleBin()};
    f.presentations().startTrashRun();
    f.settle();
    auto* sheet = f.sheet<TrashFailureSheet>();
    ASSERT_NE(sheet, nullptr);
    auto scope = f.pm().tryBeginOperation(QStringLiteral("Refreshing file status…"));
    ASSERT_TRUE(scope.has_value());
    f.panel.choice = {QUrl::fromLocalFile(QStringLiteral("/mnt/Archive"))};
    QTest::mouseClick(sheet->moveButton(), Qt::LeftButton);
    f.settle();
    auto* alert = sheet->window()->findChild<AlertDialog*>();
    ASSERT_NE(alert, nullptr);
    QTest::mouseClick(alert->buttons().at(1), Qt::LeftButton);
    f.settle();
    EXPECT_EQ(f.ops->binMoveCalls, 0);
    EXPECT_EQ(f.presented(), QStringLiteral("TrashFailureSheet"));
    EXPECT_FALSE(sheet->keepButton()->isEnabled());
    EXPECT_TRUE(f.view->busyStatusLabel()->text().contains(QStringLiteral("“Archive”")));
    scope->release();
    f.settle();
    EXPECT_EQ(f.ops->binMoveCalls, 1);
    ASSERT_EQ(f.presented(), QStringLiteral("OperationResultView"));
    auto* result = f.sheet<ResultSheet>();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->headline()->text(), QStringLiteral("Move Complete"));
    EXPECT_EQ(result->counts()->text(), QStringLiteral("2 file(s) processed successfully"));
}

// A run the operation refused shows as a failure with the reason, never as complete.
TEST(ResultSheets, ARefusedRunShowsItsReasonAsAFailure) {
    BinFixture f;
    f.stage({{"/m/a.mov", 1000}});
    const QString reason = QStringLiteral("Another operation is running: Refreshing file status…");
    f.ops->binMoveResult = {0, 0, {reason}, {}, true};
    f.presentations().startBinMoveRun(QUrl::fromLocalFile(QStringLiteral("/mnt/Archive")));
    f.settle();
    ASSERT_EQ(f.presented(), QStringLiteral("OperationResultView"));
    auto* result = f.sheet<ResultSheet>();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->objectName(), QStringLiteral("resultErrors"));
    EXPECT_EQ(result->headline()->text(), QStringLiteral("Move Not Started"));
    EXPECT_EQ(result->counts()->text(), reason + QStringLiteral("\nNo file was changed."));
    EXPECT_EQ(result->errorScroll(), nullptr);
    EXPECT_EQ(f.pm().recycleBin().size(), 1);
}

TEST(TranscodeConfirmation, ClassifiesChecksFFmpegOffThreadAndConfirmsOnce) {
    BinFixture f;
    f.stage({{"/m/1.mxf", 100},
             {"/m/2.mxf", 100},
             {"/m/3.mxf", 100},
             {"/m/4.mxf", 100},
             {"/m/5.mxf", 100},
             {"/m/6.mxf", 100},
             {"/m/7.MXF", 100},
             {"/m/A001.braw", 5000}});
    f.ops->ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");
    f.presentations().showSheet(Presentation::transcodeConfirmation);
    f.settle();
    auto* sheet = f.sheet<TranscodeConfirmationSheet>();
    ASSERT_NE(sheet, nullptr);
    // The files' routes are found off the GUI thread; the box counts them once all are known.
    ASSERT_TRUE(QTest::qWaitFor([sheet] { return !sheet->isCheckingFFmpeg(); }));
    EXPECT_TRUE(
        sheet->description()->text().startsWith(QStringLiteral("7 file(s) will be transcoded to HEVC")));
    EXPECT_EQ(sheet->ffmpegLines()->text().split(QLatin1Char('\n')).last(),
              QStringLiteral("  ... and 2 more"));
    EXPECT_EQ(sheet->skippedLines()->text(), QStringLiteral("  A001.braw (BRAW)"));
    EXPECT_EQ(sheet->estimate()->text(), QStringLiteral("~") + formatFileByteCount(700 / 8));
    EXPECT_TRUE(QTest::qWaitFor([sheet] { return sheet->hasFFmpeg(); }));
    EXPECT_TRUE(sheet->installHint()->isHidden());
    EXPECT_EQ(sheet->ffmpegLabel()->text(),
              QStringLiteral("7 file(s) will use ffmpeg for transcoding (MXF/MTS)"));
    EXPECT_TRUE(sheet->confirmButton()->isEnabled());
    sheet->confirmButton()->setFocus();
    QTest::keyClick(sheet->window(), Qt::Key_Return);
    QTest::keyClick(sheet->window(), Qt::Key_Return);
    f.settle();
    EXPECT_EQ(f.ops->transcodeCalls, 1);
    EXPECT_TRUE(f.presented().isEmpty());

    // Missing ffmpeg: orange form with the Debian install hint. Only raw files: nothing to confirm.
    f.ops->ffmpegPath.reset();
    f.presentations().showSheet(Presentation::transcodeConfirmation);
    f.settle();
    sheet = f.sheet<TranscodeConfirmationSheet>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([sheet] { return !sheet->isCheckingFFmpeg(); }));
    f.settle();
    EXPECT_FALSE(sheet->hasFFmpeg());
    EXPECT_FALSE(sheet->installHint()->isHidden());
    EXPECT_EQ(sheet->installHint()->text(), QStringLiteral("Install via: sudo apt install ffmpeg"));
    QTest::keyClick(sheet->window(), Qt::Key_Escape);
    f.settle();
    EXPECT_EQ(f.ops->transcodeCalls, 1);
    f.stage({{"/m/CLIP.R3D", 10}, {"/m/x.ari", 10}});
    f.presentations().showSheet(Presentation::transcodeConfirmation);
    f.settle();
    sheet = f.sheet<TranscodeConfirmationSheet>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_FALSE(sheet->confirmButton()->isEnabled());
    EXPECT_TRUE(sheet->ffmpegBox()->isHidden());
    EXPECT_EQ(sheet->skippedLines()->text(), QStringLiteral("  CLIP.R3D (R3D)\n  x.ari (ARI)"));
}

// The ffmpeg box says what the run will do, file by file: without the program an MXF the libraries
// read is transcoded in-process and is not said to need it; with it, whatever the run hands to it is
// counted, an MP4 with audio too, and the box no longer calls them all MXF/MTS.
TEST(TranscodeConfirmation, TheFFmpegBoxCountsTheFilesTheRunHandsToFFmpeg) {
    BinFixture f;
    f.stage({{"/m/Street.mxf", 100}, {"/m/A001.mp4", 100}, {"/m/B002.mp4", 100}});
    const auto open = [&f]() -> TranscodeConfirmationSheet* {
        f.presentations().showSheet(Presentation::transcodeConfirmation);
        f.settle();
        auto* sheet = f.sheet<TranscodeConfirmationSheet>();
        if (sheet && !QTest::qWaitFor([sheet] { return !sheet->isCheckingFFmpeg(); }))
            return nullptr;
        f.settle();
        return sheet;
    };
    const auto close = [&f] {
        f.dismissPresented();
        f.settle();
    };
    using R = TranscodeRoute;
    f.ops->routes = {
        {"/m/Street.mxf", R::inProcess}, {"/m/A001.mp4", R::inProcess}, {"/m/B002.mp4", R::inProcess}};
    TranscodeConfirmationSheet* sheet = open();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->description()->text().startsWith(QStringLiteral("3 file(s) will be transcoded")));
    EXPECT_FALSE(sheet->ffmpegBox()->isVisibleTo(sheet)) << sheet->ffmpegLabel()->text().toStdString();
    close();

    f.ops->ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");
    f.ops->routes[QStringLiteral("/m/B002.mp4")] = R::ffmpeg; // its audio
    sheet = open();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->ffmpegBox()->isVisibleTo(sheet));
    EXPECT_EQ(sheet->ffmpegLabel()->text(), QStringLiteral("1 file(s) will use ffmpeg for transcoding"));
    EXPECT_EQ(sheet->ffmpegLines()->text(), QStringLiteral("  B002.mp4"));
    close();

    f.ops->ffmpegPath.reset();
    f.ops->routes = {{"/m/Street.mxf", R::ffmpeg}}; // libraries that cannot read MXF
    sheet = open();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->ffmpegLabel()->text(), QStringLiteral("1 file(s) require ffmpeg (not installed)"));
    EXPECT_EQ(sheet->ffmpegLines()->text(), QStringLiteral("  Street.mxf"));
    EXPECT_TRUE(sheet->installHint()->isVisibleTo(sheet));
    close();
}

// The originals are replaced: the sheet opens with the keyboard on Cancel, the default; "Transcode &
// Replace" is drawn as the main action but never the default.
TEST(TranscodeConfirmation, OpensWithTheFocusOnCancel) {
    BinFixture f;
    f.stage({{"/m/1.mxf", 100}});
    f.presentations().showSheet(Presentation::transcodeConfirmation);
    f.settle();
    auto* sheet = f.sheet<TranscodeConfirmationSheet>();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet->window()));
    EXPECT_EQ(QApplication::focusWidget(), sheet->cancelButton());
    EXPECT_TRUE(sheet->cancelButton()->isDefault());
    EXPECT_FALSE(sheet->confirmButton()->isDefault());
}

// Return presses the focused button: Cancel, reached with Tab once the word is typed, deletes
// nothing; the transcode sheet's Return, where its focus starts, cancels.
TEST(DestructiveSheets, ReturnOnTheFocusedCancelCancels) {
    BinFixture f;
    f.stage({{"/m/a.mxf", 1000}});
    f.presentations().showSheet(Presentation::permanentDelete);
    f.settle();
    auto* sheet = f.sheet<PermanentDeleteConfirmSheet>();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet->window()));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("delete"));
    EXPECT_TRUE(sheet->deleteButton()->isEnabled());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), sheet->cancelButton());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    f.settle();
    EXPECT_EQ(f.ops->deleteCalls, 0);
    EXPECT_TRUE(f.presented().isEmpty());

    f.presentations().showSheet(Presentation::transcodeConfirmation);
    f.settle();
    auto* transcode = f.sheet<TranscodeConfirmationSheet>();
    ASSERT_NE(transcode, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(transcode->window()));
    ASSERT_TRUE(transcode->confirmButton()->isEnabled());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    f.settle();
    EXPECT_EQ(f.ops->transcodeCalls, 0);
    EXPECT_TRUE(f.presented().isEmpty());
}

// Due during a transcode that failed on one file, the prompt never hides the result card's figures
// and errors: it asks once Done closed the card.
TEST(TranscodeCards, TheReviewPromptAsksOnlyOnceTheResultCardIsClosed) {
    BinFixture f;
    DueReviewPrompt review(f.dir.filePath(QStringLiteral("review.ini")));
    f.presentations().attachReviewPrompt(review.prompt);
    f.ops->gate.closed = true;
    f.ops->transcodeResult =
        TranscodeCompleteResult{5, 0, 1, 1'000'000, {"Logo_Card.png: No video track"}, false};
    f.view->runner().request(CleanupRunKind::transcode);
    f.pm().updateTranscodeProgress(
        [](TranscodeRunProgress& transcode) { transcode.isTranscodeInProgress = true; });
    ASSERT_TRUE(review.count());
    f.settle();
    EXPECT_EQ(f.presentations().reviewSheet(), nullptr) << "not over the progress overlay";
    f.pm().updateTranscodeProgress(
        [](TranscodeRunProgress& transcode) { transcode.isTranscodeInProgress = false; });
    f.ops->gate.open();
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.view->findChild<TranscodeCompleteOverlay*>() != nullptr; }));
    f.settle();
    auto* done = f.view->findChild<TranscodeCompleteOverlay*>();
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(f.presentations().reviewSheet(), nullptr) << "not over the result card";
    QTest::mouseClick(done->doneButton(), Qt::LeftButton);
    f.settle();
    EXPECT_EQ(f.presented(), QStringLiteral("ReviewPromptSheet"));
}

TEST(TranscodeCards, ProgressCancelAndResultCardKeepsDoneOnScreen) {
    BinFixture f;
    ProjectManager& pm = f.pm();
    pm.updateTranscodeProgress([](TranscodeRunProgress& transcode) {
        transcode.transcodeTotalFiles = 12;
        transcode.transcodeFilesCompleted = 3;
        transcode.transcodeProgressFraction = 0.4567;
        transcode.transcodeCurrentFile = QStringLiteral("A001.mov");
        transcode.isTranscodeInProgress = true;
    });
    f.settle();
    auto* progress = f.view->findChild<TranscodeProgressOverlay*>();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->files()->text(), QStringLiteral("3 / 12"));
    EXPECT_EQ(progress->percent()->text(), QStringLiteral("46%"));
    f.ops->gate.closed = true;
    f.view->runner().request(CleanupRunKind::transcode); // the run Cancel asks the runner to stop
    f.settle();
    QTest::mouseClick(progress->cancelButton(), Qt::LeftButton);
    QTest::mouseClick(progress->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(f.ops->cancelTranscodeCalls, 2);
    EXPECT_TRUE(pm.transcodeProgress().transcodeShouldCancel);
    EXPECT_EQ(progress->cancelButton()->text(), QStringLiteral("Cancel"));

    // Hundreds of failures: every line kept, scrolling inside the card, Done inside the window.
    QStringList errors;
    for (int i = 0; i < 300; ++i)
        errors.append(QStringLiteral("clip%1.mxf: the encoder stopped").arg(i));
    // The card comes with the run's result, through the runner.
    pm.updateTranscodeProgress(
        [&](TranscodeRunProgress& transcode) { transcode.isTranscodeInProgress = false; });
    f.ops->transcodeResult = TranscodeCompleteResult{4, 1, 300, 1'000'000, errors, false};
    f.ops->gate.open();
    f.settle();
    EXPECT_EQ(f.view->findChild<TranscodeProgressOverlay*>(), nullptr);
    auto* done = f.view->findChild<TranscodeCompleteOverlay*>();
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->title()->text(), QStringLiteral("Transcode Complete"));
    EXPECT_EQ(done->look().symbol, QStringLiteral("exclamationmark.triangle"));
    QStringList captions;
    for (QLabel* c : done->columnCaptions())
        captions.append(c->text());
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Transcoded"), QStringLiteral("Space Saved"),
                                     QStringLiteral("Skipped"), QStringLiteral("Failed")}));
    ASSERT_EQ(done->errorLines().size(), 300);
    EXPECT_EQ(done->errorLines().last()->text(), errors.last());
    ASSERT_NE(done->errorScroll(), nullptr);
    EXPECT_GT(done->errorScroll()->verticalScrollBar()->maximum(), 0);
    const QRect doneRect(done->doneButton()->mapTo(f.view.get(), QPoint(0, 0)), done->doneButton()->size());
    EXPECT_TRUE(f.view->rect().contains(doneRect));
    EXPECT_NE(done->note(), nullptr);
    QTest::keyClick(done->doneButton(), Qt::Key_Return);
    QTest::mouseClick(done->doneButton(), Qt::LeftButton);
    f.settle();
    EXPECT_FALSE(pm.transcodeProgress().showTranscodeComplete);
    EXPECT_FALSE(pm.transcodeProgress().transcodeCompleteResult.has_value());
    EXPECT_EQ(f.view->findChild<TranscodeCompleteOverlay*>(), nullptr);

    f.ops->transcodeResult = TranscodeCompleteResult{0, 0, 2, 0, {}, true};
    f.view->runner().request(CleanupRunKind::transcode);
    f.settle();
    done = f.view->findChild<TranscodeCompleteOverlay*>();
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->title()->text(), QStringLiteral("Transcode Cancelled"));
    EXPECT_EQ(done->look().symbol, QStringLiteral("stop.circle"));
    EXPECT_EQ(done->errorScroll(), nullptr);
    EXPECT_EQ(done->note(), nullptr);
}

// The transcode card says the same in one line, and does not show a plain success.
TEST(TranscodeCard, SaysWhyTheRunStopped) {
    TranscodeCompleteResult result{1, 0, 0, 1'000, {}, false};
    result.unrecorded =
        QStringLiteral("The run stopped because its records could not be kept (No space left on "
                       "device): 2 file(s) were left untouched.");
    QWidget host;
    TranscodeCompleteOverlay card(result, {}, &host);
    ASSERT_NE(card.unrecorded(), nullptr);
    EXPECT_EQ(card.unrecorded()->text(), result.unrecorded);
    EXPECT_EQ(card.look().symbol, QStringLiteral("exclamationmark.triangle"));
    result.unrecorded.clear();
    TranscodeCompleteOverlay plain(result, {}, &host);
    EXPECT_EQ(plain.unrecorded(), nullptr);
    EXPECT_EQ(plain.look().symbol, QStringLiteral("checkmark.circle"));
}
