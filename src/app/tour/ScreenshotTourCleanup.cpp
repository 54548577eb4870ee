// The tour's clean-up states: the delete alert, the bin, and its sheets and overlays raised with
// made-up outcomes (nothing on disk changes).
#include "app/tour/ScreenshotTour.h"

#include "analysis/ProjectManager.h"
#include "ui/bin/BinOverlays.h"
#include "ui/cleanup/CleanupResult.h"
#include "ui/cleanup/CleanupTexts.h"
#include "ui/common/Command.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

#include <QPushButton>

namespace tarnwick {

namespace {

// Forty failures on a share, for the sheets and cards that list errors.
QStringList madeUpErrors() {
    QStringList errors;
    for (int i = 1; i <= 40; ++i)
        errors.append(QStringLiteral("/Volumes/Share/Day%1/A%2.mxf: the encoder stopped")
                          .arg(i % 3 + 1)
                          .arg(i, 3, 10, QLatin1Char('0')));
    return errors;
}

} // namespace

void ScreenshotTour::deleteAlert() {
    m_steps << act(
                   [this] {
                       view().handleCommand(Command::addAllUnused);
                       view().presentations().confirmMoveToTrash();
                   },
                   500)
            << shotAndClose(QStringLiteral("alert-delete-files"));
}

void ScreenshotTour::binPane() {
    m_steps << shot(QStringLiteral("bin-pane"));
}

void ScreenshotTour::raisedSheet(const QString& name, Step raise) {
    m_steps << act(std::move(raise), 900) << shotAndClose(name);
}

void ScreenshotTour::permanentDeleteSheet() {
    raisedSheet(QStringLiteral("sheet-permanent-delete"),
                [this] { view().presentations().showSheet(Presentation::permanentDelete); });
}

void ScreenshotTour::transcodeConfirmationSheet() {
    raisedSheet(QStringLiteral("sheet-transcode-confirmation"),
                [this] { view().presentations().showSheet(Presentation::transcodeConfirmation); });
}

void ScreenshotTour::deletionResultSheet() {
    raisedSheet(QStringLiteral("sheet-deletion-result"), [this] {
        view().presentations().showResult(
            CleanupResult::of(CleanupRunKind::trash, ActionResult::counted(12)));
    });
}

void ScreenshotTour::moveResultWithErrors() {
    raisedSheet(QStringLiteral("sheet-move-result-errors"), [this] {
        view().presentations().showResult(CleanupResult::of(
            CleanupRunKind::binMove, ActionResult::counted(12, 3, madeUpErrors().mid(0, 3))));
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
    raisedSheet(QStringLiteral("sheet-trash-failure"), [this] {
        view().presentations().showResult(CleanupResult::of(
            CleanupRunKind::trash, {4, 3, madeUpErrors().mid(0, 3), manager().recycleBin().mid(0, 3)}));
    });
}

void ScreenshotTour::moveProgress() {
    m_steps << act(
                   [this] {
                       manager().updateMoveProgress([](MoveProgress& move) {
                           move.moveTotalFiles = 12;
                           move.moveTotalBytes = 4'800'000'000;
                           move.moveFilesCompleted = 5;
                           move.moveBytesCompleted = 2'016'000'000;
                           move.moveProgressFraction = 0.42;
                           move.moveMBps = 183.4;
                           move.moveCurrentFile = QStringLiteral("/Volumes/Share/Day2/A014_C003_0519.mov");
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
                       manager().updateTranscodeProgress([](TranscodeRunProgress& transcode) {
                           transcode.transcodeTotalFiles = 12;
                           transcode.transcodeFilesCompleted = 3;
                           transcode.transcodeProgressFraction = 0.31;
                           transcode.transcodeSpaceSaved = 1'240'000'000;
                           transcode.transcodeCurrentFile = QStringLiteral("A004_C012_0519.mov");
                           transcode.isTranscodeInProgress = true;
                       });
                   },
                   400)
            << shot(QStringLiteral("overlay-transcode-progress"));
}

void ScreenshotTour::transcodeResult() {
    m_steps << act(
                   [this] {
                       const QStringList errors = madeUpErrors();
                       const TranscodeCompleteResult result{8,      2,    int(errors.size()), 3'400'000'000,
                                                            errors, false};
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
                       const TranscodeCompleteResult result{5, 0, 0, 2'100'000'000, {}, false};
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
