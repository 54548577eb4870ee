// The tour's clean-up states: the delete alert, the bin, and its sheets and overlays raised with
// made-up outcomes (nothing on disk changes).
#include "app/tour/ScreenshotTour.h"

#include "analysis/ProjectManager.h"
#include "ui/common/Command.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

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
                [this] { view().presentations().showSheet(WindowSheet::permanentDelete); });
}

void ScreenshotTour::transcodeConfirmationSheet() {
    raisedSheet(QStringLiteral("sheet-transcode-confirmation"),
                [this] { view().presentations().showSheet(WindowSheet::transcodeConfirmation); });
}

void ScreenshotTour::deletionResultSheet() {
    raisedSheet(QStringLiteral("sheet-deletion-result"), [this] {
        view().presentations().showDeletionResult(DeletionResult{12, 0, {}});
    });
}

void ScreenshotTour::moveResultWithErrors() {
    raisedSheet(QStringLiteral("sheet-move-result-errors"), [this] {
        view().presentations().showMoveResult(BinMoveResult{12, 3, madeUpErrors().mid(0, 3)});
    });
}

void ScreenshotTour::trashFailureSheet() {
    raisedSheet(QStringLiteral("sheet-trash-failure"), [this] {
        view().presentations().showTrashFailure(
            {4, manager().recycleBin().mid(0, 3), madeUpErrors().mid(0, 3)});
    });
}

void ScreenshotTour::moveProgress() {
    m_steps << act(
                   [this] {
                       ProjectManager& pm = manager();
                       pm.setMoveTotalFiles(12);
                       pm.setMoveTotalBytes(4'800'000'000);
                       pm.setMoveFilesCompleted(5);
                       pm.setMoveBytesCompleted(2'016'000'000);
                       pm.setMoveProgressFraction(0.42);
                       pm.setMoveMBps(183.4);
                       pm.setMoveCurrentFile(QStringLiteral("/Volumes/Share/Day2/A014_C003_0519.mov"));
                       pm.setIsMoveInProgress(true);
                   },
                   400)
            << shot(QStringLiteral("overlay-move-progress"));
}

void ScreenshotTour::transcodeProgress() {
    m_steps << act(
                   [this] {
                       ProjectManager& pm = manager();
                       pm.setIsMoveInProgress(false);
                       pm.setTranscodeTotalFiles(12);
                       pm.setTranscodeFilesCompleted(3);
                       pm.setTranscodeProgressFraction(0.31);
                       pm.setTranscodeSpaceSaved(1'240'000'000);
                       pm.setTranscodeCurrentFile(QStringLiteral("A004_C012_0519.mov"));
                       pm.setIsTranscodeInProgress(true);
                   },
                   400)
            << shot(QStringLiteral("overlay-transcode-progress"));
}

void ScreenshotTour::transcodeResult() {
    m_steps << act(
                   [this] {
                       const QStringList errors = madeUpErrors();
                       manager().setIsTranscodeInProgress(false);
                       manager().setTranscodeCompleteResult(
                           TranscodeCompleteResult{8, 2, int(errors.size()), 3'400'000'000, errors, false});
                       manager().setShowTranscodeComplete(true);
                   },
                   400)
            << shot(QStringLiteral("overlay-transcode-result"));
}

void ScreenshotTour::transcodeDone() {
    m_steps << act(
                   [this] {
                       manager().setTranscodeCompleteResult(
                           TranscodeCompleteResult{5, 0, 0, 2'100'000'000, {}, false});
                       manager().setShowTranscodeComplete(true);
                   },
                   400)
            << shot(QStringLiteral("overlay-transcode-done"));
}

// As Done does, so the next result gets a card of its own.
void ScreenshotTour::dismissTranscodeResult() {
    m_steps << act(
        [this] {
            manager().setShowTranscodeComplete(false);
            manager().setTranscodeCompleteResult(std::nullopt);
        },
        300);
}

} // namespace tarnwick
