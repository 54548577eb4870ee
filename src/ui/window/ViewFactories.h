#pragma once

#include "model/TranscodeCompleteResult.h"

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace tarnwick {

class ContentView;

// Results that come back to the window from the Trash, delete and move runs.
struct DeletionResult {
    int deleted = 0;
    int failed = 0;
    QStringList errors;
};
// Named apart from the move action's own MoveResult: one program cannot hold two classes of one name.
struct BinMoveResult {
    int moved = 0;
    int failed = 0;
    QStringList errors;
};

// How the window makes the views that live in other folders. Each hook gets the window (its
// manager, selections and presentation state: see ContentView) and returns a new widget; the
// application sets every hook (an unset one, in a test window, leaves its place blank and its sheet
// unshown). Sheet contents are shown in a window-modal sheet and close it with window()->close().
struct ViewFactories {
    using Pane = std::function<QWidget*(ContentView&)>;

    Pane filterBar;
    Pane clipCards;
    Pane mediaTable; // shares ContentView::selectedFiles()
    Pane storageMap; // isolates through ContentView::isolateProject()
    Pane recycleBin; // raises the bin's presentations through ContentView's setters
    Pane moveProgressOverlay;
    Pane transcodeProgressOverlay;
    std::function<QWidget*(ContentView&, const TranscodeCompleteResult&, std::function<void()> dismiss)>
        transcodeCompleteOverlay;

    Pane trashFailureSheet; // reads ContentView::trashSuccessCount() / trashFailedItems() /
                            // trashFailureErrors()
    Pane permanentDeleteSheet;
    std::function<QWidget*(ContentView&, const DeletionResult&, const QString& title)> deletionResultSheet;
    std::function<QWidget*(ContentView&, const BinMoveResult&, const QString& title)> operationResultSheet;
    Pane auditLogSheet;
    Pane searchOfflineSheet;
    Pane statsSheet;
    Pane protectedFoldersSheet;
    Pane sequenceUsageSheet;
    Pane transcodeConfirmationSheet;
    Pane easyImportSheet;
};

} // namespace tarnwick
