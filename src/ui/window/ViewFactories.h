#pragma once

#include "actions/ActionResult.h"
#include "model/RecycleBinItem.h"
#include "model/TranscodeCompleteResult.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <functional>

class QWidget;

namespace tarnwick {

class CleanupOperations;
class CleanupRunner;
class FilePanel;
struct CleanupResult;
class ProjectManager;
class SecurityScopedAccess;
class WindowPresentations;

// What the window lends the views it makes; each view takes only the pieces it uses. Everything
// here lives as long as the window.
struct WindowContext {
    ProjectManager& manager;
    CleanupOperations& operations;
    CleanupRunner& runner;              // where every clean-up run starts
    WindowPresentations& presentations; // the window's alerts and sheets, raised as requests
    FilePanel& panel;
    SecurityScopedAccess& grants;
    QSet<QUuid>& selectedFiles;           // shared by the table and the cards
    QSet<QUuid>& selectedRecycleBinItems; // the bin pane's selection
    QWidget* view;                        // the root view: sheets go over its window
    std::function<void(const QUuid& projectID)> isolateProject;
    std::function<void(const QList<QUrl>& urls)> importProjects; // as if dropped on the window
};

// How the window makes the views that live in other folders. Each hook gets the window's context
// and returns a new widget; the application sets every hook (an unset one, in a test window, leaves
// its place blank and its sheet unshown). Sheet contents are shown in a window-modal sheet and
// close it with window()->close().
struct ViewFactories {
    using Pane = std::function<QWidget*(const WindowContext&)>;

    Pane filterBar;
    Pane clipCards;
    Pane mediaTable; // shares WindowContext::selectedFiles
    Pane storageMap; // isolates through WindowContext::isolateProject
    Pane recycleBin; // raises the bin's presentations through WindowContext::presentations
    Pane moveProgressOverlay;
    Pane transcodeProgressOverlay;
    std::function<QWidget*(const WindowContext&, const TranscodeCompleteResult&,
                           std::function<void()> dismiss)>
        transcodeCompleteOverlay;

    std::function<QWidget*(const WindowContext&, const ActionResult&)> trashFailureSheet;
    Pane permanentDeleteSheet;
    // Every clean-up run's result but a Trash failure and a finished transcode.
    std::function<QWidget*(const WindowContext&, const CleanupResult&)> resultSheet;
    Pane auditLogSheet;
    Pane searchOfflineSheet;
    Pane statsSheet;
    Pane protectedFoldersSheet;
    Pane sequenceUsageSheet;
    Pane transcodeConfirmationSheet;
    Pane easyImportSheet;
};

} // namespace tarnwick
