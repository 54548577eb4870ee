#pragma once

#include "actions/ActionResult.h"
#include "model/RecycleBinItem.h"
#include "ui/bin/BinTexts.h"
#include "ui/cleanup/CleanupTexts.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace tarnwick {

class CleanupOperations;
class CleanupRunner;
class FilePanel;
class ProjectManagerFace;
class SecurityScopedAccess;

// What the bin's destructive sheets use of the window: its model and the runner their runs start
// in (it outlives the sheet and hands the result to the window's result sheet, also once the
// sheet closed).
struct BinSheetServices {
    ProjectManagerFace& manager;
    CleanupRunner& runner;
};

// One run of a destructive chain per sheet: the first trigger disables every control that could
// start another (and Escape) until the chain ends, so a double Return acts once.
class ChainGuard : public QObject {
    Q_OBJECT
public:
    explicit ChainGuard(QWidget* sheet);
    // False when a chain already runs; otherwise marks it running and disables `controls`.
    bool begin(QList<QWidget*> controls);
    void end();
    bool isRunning() const { return m_running; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_sheet;
    QList<QPointer<QWidget>> m_disabled;
    bool m_running = false;
};

// "Deletion Complete" / "Move Complete", or why the run did not start: the outcome of a clean-up
// run, closed by Done.
class ResultSheet : public QWidget {
    Q_OBJECT
public:
    explicit ResultSheet(const CleanupResult& result, QWidget* parent = nullptr);
    const CleanupTexts::ResultLook& look() const { return m_look; }
    QLabel* headline() const { return m_headline; }
    QLabel* counts() const { return m_counts; }
    QLabel* unrecorded() const { return m_unrecorded; }
    QScrollArea* errorScroll() const { return m_errorScroll; }
    QPushButton* doneButton() const { return m_done; }

private:
    CleanupTexts::ResultLook m_look;
    QLabel* m_headline = nullptr;
    QLabel* m_counts = nullptr;
    QLabel* m_unrecorded = nullptr;
    QScrollArea* m_errorScroll = nullptr;
    QPushButton* m_done = nullptr;
};

// Delete Permanently, guarded by typing the word delete.
class PermanentDeleteConfirmSheet : public QWidget {
    Q_OBJECT
public:
    explicit PermanentDeleteConfirmSheet(BinSheetServices services, QWidget* parent = nullptr);
    QLineEdit* field() const { return m_field; }
    QLabel* message() const { return m_message; }
    QPushButton* deleteButton() const { return m_delete; }
    QPushButton* cancelButton() const { return m_cancel; }
    bool isDeleting() const { return m_guard->isRunning(); }
    void startDeletion();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    BinSheetServices m_services;
    ChainGuard* m_guard;
    QLabel* m_message = nullptr;
    QLineEdit* m_field = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_cancel = nullptr;
};

// After a Trash run that left files: what was trashed, the errors, and three ways on.
class TrashFailureSheet : public QWidget {
    Q_OBJECT
public:
    TrashFailureSheet(BinSheetServices services, FilePanel& panel, SecurityScopedAccess& grants,
                      const ActionResult& failure, QWidget* parent = nullptr);
    QLabel* summary() const { return m_summary; }
    QLabel* unrecorded() const { return m_unrecorded; }
    QLabel* question() const { return m_question; }
    QScrollArea* errorScroll() const { return m_errorScroll; }
    QPushButton* moveButton() const { return m_move; }
    QPushButton* deleteButton() const { return m_delete; }
    QPushButton* keepButton() const { return m_keep; }
    bool isRunning() const { return m_guard->isRunning(); }
    const std::optional<QUrl>& pendingFolder() const { return m_pendingFolder; }

    void chooseFolder();
    void deleteNow();
    void moveToPendingFolder();

private:
    QVBoxLayout* buildChoices();
    void confirmMove(const QUrl& folder);

    BinSheetServices m_services;
    FilePanel& m_panel;
    SecurityScopedAccess& m_grants;
    ChainGuard* m_guard;
    QLabel* m_summary = nullptr;
    QLabel* m_unrecorded = nullptr;
    QLabel* m_question = nullptr;
    QScrollArea* m_errorScroll = nullptr;
    QPushButton* m_move = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_keep = nullptr;
    std::optional<QUrl> m_pendingFolder;
};

// Transcode & Replace: what will be transcoded, by which route (known once each file was read off
// the GUI thread), what is skipped or renamed, sizes, and the warning.
class TranscodeConfirmationSheet : public QWidget {
    Q_OBJECT
public:
    TranscodeConfirmationSheet(ProjectManagerFace& manager, CleanupOperations& operations,
                               CleanupRunner& runner, QWidget* parent = nullptr);
    ~TranscodeConfirmationSheet() override;

    const BinTexts::TranscodePlan& plan() const { return m_plan; }
    bool hasFFmpeg() const { return m_hasFFmpeg; }
    // The ffmpeg check and the files' routes are being found.
    bool isCheckingFFmpeg() const { return !m_ffmpegChecked || m_check.isRunning(); }
    QLabel* description() const { return m_description; }
    QLabel* sourceSize() const { return m_source; }
    QLabel* estimate() const { return m_estimate; }
    QWidget* ffmpegBox() const { return m_ffmpegBox; }
    QLabel* ffmpegLabel() const { return m_ffmpegLabel; }
    QLabel* installHint() const { return m_hint; }
    QLabel* ffmpegLines() const { return m_ffmpegLines; }
    QLabel* skippedLines() const { return m_skippedLines; }
    QLabel* renamedLabel() const { return m_renamedLabel; }
    QLabel* renamedLines() const { return m_renamedLines; }
    QLabel* warning() const { return m_warning; }
    QPushButton* confirmButton() const { return m_confirm; }
    QPushButton* cancelButton() const { return m_cancel; }
    void confirm();

private:
    struct RoutePlanning {
        bool hasFFmpeg = false;
        QHash<QString, TranscodeRoute> routes; // by source path
    };

    QHBoxLayout* buildSizes();
    QWidget* buildFFmpegBox();
    QWidget* buildSkippedBox();
    QWidget* buildRenamedBox();
    void addWarning(QVBoxLayout& layout);
    QHBoxLayout* buildButtons();
    void refresh();
    // Finds, on a worker, whether ffmpeg is there and the route of each of `sources`.
    void planRoutes(const QStringList& sources);

    ProjectManagerFace& m_manager;
    CleanupOperations& m_operations;
    CleanupRunner& m_runner;
    BinTexts::TranscodePlan m_plan;
    bool m_hasFFmpeg = false;
    bool m_ffmpegChecked = false;
    bool m_confirmed = false;
    QHash<QString, TranscodeRoute> m_routes;
    QFuture<RoutePlanning> m_check;
    std::shared_ptr<std::atomic_bool> m_stopPlanning = std::make_shared<std::atomic_bool>(false);
    QLabel* m_description = nullptr;
    QLabel* m_source = nullptr;
    QLabel* m_estimate = nullptr;
    QWidget* m_ffmpegBox = nullptr;
    QLabel* m_ffmpegIcon = nullptr;
    QLabel* m_ffmpegLabel = nullptr;
    QLabel* m_hint = nullptr;
    QLabel* m_ffmpegLines = nullptr;
    QWidget* m_skippedBox = nullptr;
    QLabel* m_skippedLabel = nullptr;
    QLabel* m_skippedLines = nullptr;
    QWidget* m_renamedBox = nullptr;
    QLabel* m_renamedLabel = nullptr;
    QLabel* m_renamedLines = nullptr;
    QLabel* m_warning = nullptr;
    QPushButton* m_confirm = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace tarnwick
