// The tour's clean-up states: the delete alert, the bin, and its sheets and overlays raised with
// made-up outcomes (nothing on disk changes).
#include "app/tour/ScreenshotTour.h"

#include "actions/CleanupResult.h"
#include "analysis/ProjectManager.h"
#include "app/tour/TourOutcomes.h"
#include "model/FreshId.h"
#include "ui/bin/BinOverlays.h"
#include "ui/bin/RecycleBinView.h"
#include "ui/cleanup/CleanupTexts.h"
#include "ui/common/Command.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QPushButton>
#include <QSet>

#include <algorithm>

namespace tarnwick {

using namespace tourOutcomes;

void ScreenshotTour::deleteAlert() {
    m_steps << act(
                   [this] {
                       view().handleCommand(Command::addAllUnused);
                       view().presentations().confirmMoveToTrash();
                   },
                   500)
            << shotAndClose(QStringLiteral("alert-delete-files"));
}

// The pane with a selection of its own (its first rows), which the cards and the table do not show.
void ScreenshotTour::binPane() {
    const auto select = [this](int rows) {
        auto* bin = view().findChild<RecycleBinView*>();
        if (!bin)
            return;
        QItemSelection selection;
        if (rows > 0 && bin->model()->rowCount() > 0)
            selection.select(bin->model()->index(0),
                             bin->model()->index(std::min(rows, bin->model()->rowCount()) - 1));
        bin->list()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    };
    m_steps << act([select] { select(3); }, 300) << shot(QStringLiteral("bin-pane"))
            << act([select] { select(0); }, 300);
}

void ScreenshotTour::raisedSheet(const QString& name, Step raise) {
    m_steps << act(std::move(raise), 900) << shotAndClose(name);
}

// A run's result is shot over the library as the run leaves it: the files it handled out of the
// bin with their new status, only the ones it kept still in it. All is put back after the shot.
void ScreenshotTour::runResultSheet(const QString& name, Outcome outcome, MediaFileStatus handled,
                                    ShowResult show) {
    raisedSheet(name, [this, outcome, handled, show] {
        m_binBeforeRun = manager().recycleBin();
        m_mediaBeforeRun = manager().mediaFiles();
        const ActionResult result = outcome(m_binBeforeRun);
        const QList<RecycleBinItem> kept = lastItems(m_binBeforeRun, result.failed);
        QSet<QString> done;
        for (const RecycleBinItem& item : m_binBeforeRun.mid(0, m_binBeforeRun.size() - kept.size()))
            done.insert(item.mediaFile.path);
        QList<MediaFile> files = m_mediaBeforeRun;
        for (MediaFile& file : files)
            if (done.contains(file.path))
                file.status = handled;
        manager().edit(ProjectManager::ListChange::entries).setMediaFiles(files).setRecycleBin(kept);
        show(result);
    });
    putBackLibrary();
}

void ScreenshotTour::putBackLibrary() {
    m_steps << act(
        [this] {
            manager()
                .edit(ProjectManager::ListChange::entries)
                .setMediaFiles(m_mediaBeforeRun)
                .setRecycleBin(m_binBeforeRun);
        },
        300);
}

// Then as the keyboard leaves it: the word typed and a Tab put the ring on Cancel, which Return
// presses.
void ScreenshotTour::permanentDeleteSheet() {
    m_steps << act([this] { view().presentations().showSheet(Presentation::permanentDelete); }, 900)
            << shot(QStringLiteral("sheet-permanent-delete"))
            << act(
                   [] {
                       QWidget* field = QApplication::focusWidget();
                       if (!field)
                           return;
                       for (const QChar letter : QStringLiteral("delete")) {
                           const auto key = Qt::Key(Qt::Key_A + (letter.unicode() - u'a'));
                           QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(letter));
                           QApplication::sendEvent(field, &press);
                       }
                       QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
                       QApplication::sendEvent(field, &tab);
                   },
                   300)
            << shotAndClose(QStringLiteral("sheet-permanent-delete-cancel-focus"));
}

void ScreenshotTour::transcodeConfirmationSheet() {
    raisedSheet(QStringLiteral("sheet-transcode-confirmation"),
                [this] { view().presentations().showSheet(Presentation::transcodeConfirmation); });
}

// The sheet as the keyboard finds it: the ring on Cancel as it opens (the originals are replaced),
// then on "Transcode & Replace" after a Tab.
void ScreenshotTour::transcodeSheetFocus() {
    m_steps << act([this] { view().presentations().showSheet(Presentation::transcodeConfirmation); }, 900)
            << shot(QStringLiteral("sheet-transcode-focus"))
            << act(
                   [] {
                       if (QWidget* focus = QApplication::focusWidget()) {
                           QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
                           QApplication::sendEvent(focus, &tab);
                       }
                   },
                   300)
            << shotAndClose(QStringLiteral("sheet-transcode-focus-tab"));
}

// A long bin of every kind the sheet sorts (files for ffmpeg, raw files it skips, files that take a
// .mov name): on a short screen its body scrolls, by Page Down too, and the warning and buttons stay.
void ScreenshotTour::transcodeSheetLongBin() {
    m_steps << act(
                   [this] {
                       m_mediaBeforeRun = manager().mediaFiles();
                       m_binBeforeRun = manager().recycleBin();
                       QList<MediaFile> files = m_mediaBeforeRun;
                       QList<RecycleBinItem> bin = m_binBeforeRun;
                       for (const char* pattern : {"Camera A %1.mxf", "A%1_Raw.braw", "Phone %1.mp4"}) {
                           for (int i = 1; i <= 8; ++i) {
                               MediaFile file;
                               file.path = QStringLiteral("/media/editor/Shoot Day 2/") +
                                           QString::fromUtf8(pattern).arg(i, 3, 10, QLatin1Char('0'));
                               file.size = 2'000'000'000;
                               file.status = MediaFileStatus::inRecycleBin;
                               files.append(file);
                               bin.append(RecycleBinItem{freshId(), file, QDateTime::currentDateTimeUtc()});
                           }
                       }
                       manager()
                           .edit(ProjectManager::ListChange::entries)
                           .setMediaFiles(files)
                           .setRecycleBin(bin);
                       view().presentations().showSheet(Presentation::transcodeConfirmation);
                   },
                   1200)
            << shot(QStringLiteral("sheet-transcode-long-bin"))
            << act(
                   [] {
                       if (QWidget* focus = QApplication::focusWidget()) {
                           QKeyEvent page(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
                           for (int i = 0; i < 3; ++i)
                               QApplication::sendEvent(focus, &page);
                       }
                   },
                   300)
            << shotAndClose(QStringLiteral("sheet-transcode-long-bin-scrolled"));
    putBackLibrary();
}

void ScreenshotTour::deletionResultSheet() {
    runResultSheet(QStringLiteral("sheet-deletion-result"), deletion, MediaFileStatus::deleted,
                   [this](const ActionResult& result) {
                       view().presentations().showResult(CleanupResult::of(CleanupRunKind::deletion, result));
                   });
}

void ScreenshotTour::moveResultWithErrors() {
    runResultSheet(QStringLiteral("sheet-move-result-errors"), moveWithErrors, MediaFileStatus::moved,
                   [this](const ActionResult& result) {
                       view().presentations().showResult(CleanupResult::of(CleanupRunKind::binMove, result));
                   });
}

// A move asked for again while the first one is under way: refused, and the sheet says why.
void ScreenshotTour::moveRefused() {
    raisedSheet(QStringLiteral("sheet-move-refused"), [this] {
        view().presentations().showResult(CleanupResult::refused(
            CleanupRunKind::binMove, CleanupTexts::alreadyAskedReason(CleanupRunKind::binMove)));
    });
}

void ScreenshotTour::trashFailureSheet() {
    runResultSheet(QStringLiteral("sheet-trash-failure"), trashWithFailures, MediaFileStatus::deleted,
                   [this](const ActionResult& result) {
                       view().presentations().showResult(CleanupResult::of(CleanupRunKind::trash, result));
                   });
}

void ScreenshotTour::moveProgress() {
    m_steps << act(
                   [this] {
                       const QList<RecycleBinItem>& bin = manager().recycleBin();
                       const qsizetype done = bin.size() / 2;
                       manager().updateMoveProgress([&](MoveProgress& move) {
                           move.moveTotalFiles = bin.size();
                           move.moveTotalBytes = bytesOf(bin);
                           move.moveFilesCompleted = done;
                           move.moveBytesCompleted = bytesOf(bin.mid(0, done));
                           move.moveProgressFraction =
                               move.moveTotalBytes > 0 ? double(move.moveBytesCompleted) / move.moveTotalBytes
                                                       : 0;
                           move.moveMBps = 183.4;
                           move.moveCurrentFile = done < bin.size() ? bin[done].mediaFile.path : QString();
                           move.isMoveInProgress = true;
                       });
                   },
                   400)
            << shot(QStringLiteral("overlay-move-progress"));
}

void ScreenshotTour::transcodeProgress() {
    m_steps << act(
                   [this] {
                       manager().updateMoveProgress(
                           [](MoveProgress& move) { move.isMoveInProgress = false; });
                       const QList<RecycleBinItem> taken = transcodable(manager().recycleBin());
                       const qsizetype done = taken.size() / 2;
                       manager().updateTranscodeProgress([&](TranscodeRunProgress& transcode) {
                           transcode.transcodeTotalFiles = taken.size();
                           transcode.transcodeFilesCompleted = done;
                           transcode.transcodeProgressFraction =
                               taken.isEmpty() ? 0 : (done + 0.4) / double(taken.size());
                           transcode.transcodeSpaceSaved = bytesOf(taken.mid(0, done)) * 4 / 10;
                           transcode.transcodeCurrentFile =
                               done < taken.size() ? taken[done].mediaFile.fileName() : QString();
                           transcode.isTranscodeInProgress = true;
                       });
                   },
                   400)
            << shot(QStringLiteral("overlay-transcode-progress"));
}

void ScreenshotTour::transcodeResult() {
    m_steps << act(
                   [this] {
                       const TranscodeCompleteResult result = transcodeWithErrors(manager().recycleBin());
                       manager().updateTranscodeProgress([&](TranscodeRunProgress& transcode) {
                           transcode.isTranscodeInProgress = false;
                           transcode.transcodeCompleteResult = result;
                           transcode.showTranscodeComplete = true;
                       });
                       view().presentations().showResult(CleanupResult::of(result));
                   },
                   400)
            << shot(QStringLiteral("overlay-transcode-result"));
}

void ScreenshotTour::transcodeDone() {
    m_steps << act(
                   [this] {
                       const TranscodeCompleteResult result =
                           tourOutcomes::transcodeDone(manager().recycleBin());
                       manager().updateTranscodeProgress([&](TranscodeRunProgress& transcode) {
                           transcode.transcodeCompleteResult = result;
                           transcode.showTranscodeComplete = true;
                       });
                       view().presentations().showResult(CleanupResult::of(result));
                   },
                   400)
            << shot(QStringLiteral("overlay-transcode-done"));
}

// As Done does, so the next result gets a card of its own.
void ScreenshotTour::dismissTranscodeResult() {
    m_steps << act(
        [this] {
            if (auto* card = view().findChild<TranscodeCompleteOverlay*>())
                card->doneButton()->click();
        },
        300);
}

} // namespace tarnwick
