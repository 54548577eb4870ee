#pragma once

#include "actions/ActionResult.h"
#include "model/RecycleBinItem.h"
#include "model/TranscodeCompleteResult.h"
#include "ui/common/Presentation.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <map>

class QWidget;

namespace tarnwick {

class CleanupOperations;
class CleanupRunner;
class CommandCenter;
class FilePanel;
struct CleanupResult;
class ProjectManagerFace;
class SecurityScopedAccess;
class WindowFacts;
class WindowRequests;

// What the window lends the views it makes; each view takes only the pieces it uses. Everything
// here lives as long as the window.
struct WindowContext {
    ProjectManagerFace& manager;
    CleanupOperations& operations;
    CleanupRunner& runner;         // where every clean-up run starts
    WindowFacts& facts;            // the window's precomputed facts over the media list
    WindowRequests& presentations; // the window's alerts and sheets, raised as requests
    CommandCenter& commands;       // where the window hears its commands
    FilePanel& panel;
    SecurityScopedAccess& grants;
    QSet<QUuid>& selectedFiles;           // shared by the table and the cards
    QSet<QUuid>& selectedRecycleBinItems; // the bin pane's selection
    QWidget* view;                        // the root view: sheets go over its window
    std::function<void(const QUuid& projectID)> isolateProject;
    std::function<void(const QList<QUrl>& urls)> importProjects; // as if dropped on the window
    std::function<void()> exportUnusedCSV;                       // as the menu runs it
};

// The sidebar as the window sees it: its widget and what the window asks of it.
struct SidebarPane {
    QWidget* widget = nullptr;
    std::function<void(bool dragging)> setDragging; // projects dragged over the window
    std::function<void()> chooseUnusedMoveFolder;   // the menu's "Move Unused to Folder…"
};

// How the window makes the views that live in other folders. Each hook gets the window's context
// and returns a new widget; the application sets every hook (an unset one, in a test window, leaves
// its place blank and its sheet unshown). Sheet contents are shown in a window-modal sheet and
// close it with window()->close().
struct ViewFactories {
    using Pane = std::function<QWidget*(const WindowContext&)>;

    std::function<SidebarPane(const WindowContext&)> sidebar; // posts "Manage…" through `commands`
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

    // The sheets that carry nothing of their own, under the presentation that shows them.
    std::map<Presentation, Pane> sheets;
    std::function<QWidget*(const WindowContext&, const ActionResult&)> trashFailureSheet;
    // Every clean-up run's result but a Trash failure and a finished transcode.
    std::function<QWidget*(const WindowContext&, const CleanupResult&)> resultSheet;
};

} // namespace tarnwick
