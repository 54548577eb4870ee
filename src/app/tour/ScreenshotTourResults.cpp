// The tour's states of what follows a result: the review prompt that waits for it, and the CSV
// export's alerts with made-up outcomes.
#include "app/tour/ScreenshotTour.h"

#include "model/AuditAction.h"
#include "ui/bin/BinOverlays.h"
#include "ui/common/ReviewPrompt.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

#include <QDir>
#include <QPushButton>

namespace tarnwick {

// Made due while the transcode's result card is up, the prompt asks only once Done closed the card.
void ScreenshotTour::reviewPromptAfterResult() {
    m_steps << act(
                   [] {
                       ReviewPrompt& prompt = *ReviewPrompt::shared();
                       prompt.recordSuccess(AuditAction::transcoded);
                       prompt.recordSuccess(AuditAction::transcoded);
                   },
                   ReviewPrompt::presentationDelayMs + 600)
            << act(
                   [this] {
                       if (auto* card = view().findChild<TranscodeCompleteOverlay*>())
                           card->doneButton()->click();
                   },
                   900)
            << shotAndClose(QStringLiteral("sheet-review-prompt-after-result"));
}

void ScreenshotTour::csvExportAlerts() {
    const QString written = QDir::temp().filePath(QStringLiteral("Tarnwick_Unused_1765180800.25.csv"));
    raisedSheet(QStringLiteral("alert-csv-exported-not-shown"),
                [this, written] { view().presentations().showCSVExported(written, false, false); });
    raisedSheet(QStringLiteral("alert-csv-export-failed"),
                [this] { view().presentations().showCSVExportFailed(QStringLiteral("Not a directory")); });
}

} // namespace tarnwick
