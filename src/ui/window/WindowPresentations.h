#pragma once

#include "ui/common/AlertDialog.h"
#include "ui/common/PresentationChain.h"
#include "ui/common/URLOpener.h"
#include "ui/shell/ViewFactories.h"
#include "ui/shell/WindowRequests.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QDialog;
class QWidget;

namespace tarnwick {

class CleanupOperations;
class CleanupRunner;
class FilePanel;
struct CleanupResult;
struct TranscodeCompleteResult;
class ProjectManagerFace;
class ReviewPrompt;
class SecurityScopedAccess;
class Sheet;

// The window's alerts and sheets. Each is raised as a request to the window's presentation chain
// (shown once, in the chain's order, one at a time); the manager's prompt flags are watched by the
// chain. The Trash and bin-move runs that the alerts start live here too, and their results come
// back here as result sheets.
class WindowPresentations : public QObject, public WindowRequests {
    Q_OBJECT
public:
    struct Services {
        ProjectManagerFace& manager;
        CleanupOperations& operations;
        CleanupRunner& runner;
        FilePanel& panel;
        SecurityScopedAccess& grants;
        const ViewFactories& factories;
        URLOpener openURL;
        std::function<void()> showVolumeAccessPanel; // "Grant Access…" and "Try Again"
        QWidget* view;                               // alerts and sheets go over its window
        // The transcode's result card, which lies over the window rather than in a sheet.
        std::function<void(const TranscodeCompleteResult&)> showTranscodeResult;
        // A progress overlay or a result card lies over the window.
        std::function<bool()> isCovered;
    };

    WindowPresentations(Services services, QObject* parent = nullptr);

    // The context the sheets are made with; the window sets it once it is complete.
    void setContext(const WindowContext* context) { m_context = context; }

    PresentationChain& chain() const override { return *m_chain; }
    QDialog* current() const { return m_chain->current(); }
    QString currentName() const { return m_chain->currentName(); }

    // Tells the user why an operation cannot start now.
    void showBusyAlert(const QString& reason);
    void confirmMoveToTrash() override;
    // A clean-up run's result: the Trash failure sheet for a Trash run that left files, the
    // transcode's card, else the result sheet (a refused run included, with its reason).
    void showResult(const CleanupResult& result);
    void chooseBinMoveFolder() override;
    // Where the exported list of unused files was written, and whether an application opened it
    // or the file manager showed it.
    void showCSVExported(const QString& path, bool opened, bool revealed);
    // Why the list of unused files could not be written.
    void showCSVExportFailed(const QString& reason);
    // No mail program took the support request: the address, and a button that copies it with `copy`.
    void showNoMailProgram(const QString& address, std::function<void(const QString& text)> copy);
    // "Import DaVinci CSV as Unused?" for the chosen file.
    void confirmDaVinciImport(const QUrl& csv);
    void showSheet(Presentation sheet) override;

    // The review prompt's sheet, when the prompt asks for it and the window is quiet: nothing else
    // due or shown, no overlay, no clean-up run going or waiting. So it never hides a result.
    void attachReviewPrompt(ReviewPrompt& prompt);
    Sheet* reviewSheet() const;

    // The Trash and bin-move runs the alerts confirm, asked of the runner.
    void startTrashRun();
    void startBinMoveRun(const QUrl& folder);

private:
    void watchManagerPrompts();
    bool isQuiet() const;
    void confirmBinMove(const QUrl& folder);
    QDialog* alert(const QString& title, const QString& message, QList<AlertButton> buttons) const;
    // Shows `content` in a sheet; null content (a test window without the view) shows nothing.
    QDialog* presentSheet(QWidget* content) const;
    QWidget* window() const;

    Services m_services;
    const WindowContext* m_context = nullptr;
    PresentationChain* m_chain = nullptr;
    QPointer<Sheet> m_reviewSheet;
};

} // namespace tarnwick
