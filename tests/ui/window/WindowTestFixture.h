#pragma once

#include "actions/CleanupResult.h"
#include "analysis/ProjectManager.h"
#include "platform/Preferences.h"
#include "stores/SecurityScopedAccess.h"
#include "support/FakeAccessGrantBackend.h"
#include "support/FakeDesktopServices.h"
#include "support/ProjectManagerHarness.h"
#include "support/WindowActions.h"
#include "ui/cleanup/CleanupRunner.h"
#include "ui/cleanup/FakeCleanupOperations.h"
#include "ui/cleanup/WindowFacts.h"
#include "ui/common/FilePanel.h"
#include "ui/common/ReviewPrompt.h"
#include "ui/sidebar/SidebarViews.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace tarnwick::testing {

// Chooses at once: hands back the preset choice (empty: cancelled) and keeps the requests.
class PresetPanel : public FilePanel {
public:
    QList<QUrl> choice;
    QList<OpenPanelRequest> requests;
    QDialog* open(QWidget*, const OpenPanelRequest& request, Chosen chosen) override {
        requests.append(request);
        chosen(choice);
        return nullptr;
    }
};

// What the blank result and failure sheets were last shown with.
struct ShownSheets {
    std::optional<ActionResult> trashFailure;
    std::optional<CleanupResult> deletion;
    std::optional<CleanupResult> move; // moves and a refused transcode
};

// Every sheet as a bare widget: the chain's own behaviour, without the real sheets' services; the
// real sidebar.
inline ViewFactories blankSheets(std::shared_ptr<ShownSheets> shown = std::make_shared<ShownSheets>()) {
    const ViewFactories::Pane blank = [](const WindowContext&) { return new QWidget; };
    ViewFactories f;
    installSidebarView(f);
    for (const Presentation sheet :
         {Presentation::permanentDelete, Presentation::auditLog, Presentation::searchOffline,
          Presentation::stats, Presentation::protectedFolders, Presentation::sequenceUsage,
          Presentation::transcodeConfirmation, Presentation::easyImport})
        f.sheets[sheet] = blank;
    f.trashFailureSheet = [shown](const WindowContext&, const ActionResult& failure) {
        shown->trashFailure = failure;
        return new QWidget;
    };
    f.resultSheet = [shown](const WindowContext&, const CleanupResult& result) {
        (result.isDeletion() ? shown->deletion : shown->move) = result;
        return new QWidget;
    };
    return f;
}

// A review prompt on its own preferences, due at its next counted success and shown without delay.
struct DueReviewPrompt {
    Preferences prefs;
    ReviewPrompt prompt{prefs, [] { return QDateTime::currentDateTimeUtc(); },
                        [](const QUrl&) { return true; }};

    explicit DueReviewPrompt(const QString& file) : prefs(file) {
        prefs.setValue(ReviewPrompt::successCountKey, 1);
        prompt.setPresentationDelayMs(0);
    }
    // Counts a success, as the audit log does, and waits until the prompt asks to be shown.
    bool count() {
        prompt.recordSuccess(AuditAction::movedToTrash);
        return QTest::qWaitFor([this] { return prompt.isPresenting(); });
    }
};

// A window over a manager on temporary stores, with preset panels and counted clean-up calls.
struct WindowFixture {
    ProjectManagerHarness harness;
    QTemporaryDir dir;
    std::shared_ptr<FakeAccessGrantBackend> backend = std::make_shared<FakeAccessGrantBackend>();
    SecurityScopedAccess grants{dir.filePath(QStringLiteral("grants")), backend, false};
    Preferences prefs{dir.filePath(QStringLiteral("ui.ini"))};
    PresetPanel panel;
    FakeCleanupOperations* ops = nullptr;
    QList<QUrl> opened;
    std::shared_ptr<FakeDesktopServices> desktop = std::make_shared<FakeDesktopServices>();
    std::shared_ptr<ShownSheets> shown = std::make_shared<ShownSheets>();
    CommandCenter centre; // the window's own: what the menu posts reaches this window only
    WindowActions actions{centre, panel, grants, [this](const QUrl& url) {
                              opened.append(url);
                              return true;
                          }};
    std::unique_ptr<ContentView> view;

    // Without factories, every sheet is a blank one that records what it was shown with.
    explicit WindowFixture(bool welcomeDone = true, bool engineOperations = false,
                           std::optional<ViewFactories> factories = std::nullopt) {
        if (welcomeDone)
            prefs.setValue(QStringLiteral("hasCompletedWelcome"), true);
        ContentView::Services services;
        services.filePanel = &panel;
        services.grants = &grants;
        services.preferences = &prefs;
        services.factories = factories ? std::move(*factories) : blankSheets(shown);
        if (!engineOperations) {
            auto fake = std::make_unique<FakeCleanupOperations>();
            ops = fake.get();
            services.operations = std::move(fake);
        }
        services.openURL = [this](const QUrl& url) {
            opened.append(url);
            return true;
        };
        services.desktop = desktop;
        services.removableMediaRoot = [] { return QStringLiteral("/media/editor"); };
        services.commands = &centre;
        services.actions = actions.actions();
        view = std::make_unique<ContentView>(std::move(harness.manager), std::move(services));
        // As the main window does it.
        for (const Command command : allCommands())
            centre.subscribe(command, view.get(),
                             [v = view.get()](const CommandPost& post) { v->handleCommand(post); });
        view->resize(1280, 700);
        view->show();
        settle();
    }

    ProjectManager& pm() { return view->manager(); }
    WindowPresentations& presentations() { return view->presentations(); }

    // Lets the coalesced signals, the facts worker and the chain run.
    void settle() {
        drainEvents();
        EXPECT_TRUE(QTest::qWaitFor([this] { return view->facts().isCurrent(); }));
        drainEvents();
    }

    // Fills the manager: `unused` online unused files, `offline` unused offline ones, `used` used ones.
    void fill(int unused, int offline = 0, int used = 0) {
        QList<MediaFile> files;
        for (int i = 0; i < unused; ++i)
            files.append(media(QStringLiteral("/m/unused%1.mov").arg(i), 0, MediaFileStatus::online, 1000));
        for (int i = 0; i < offline; ++i)
            files.append(media(QStringLiteral("/m/offline%1.mov").arg(i), 0, MediaFileStatus::offline, 0));
        for (int i = 0; i < used; ++i)
            files.append(media(QStringLiteral("/m/used%1.mov").arg(i), 1, MediaFileStatus::online, 5000));
        pm().edit(ProjectManager::ListChange::entries).setMediaFiles(files);
        settle();
    }

    QString presented() { return view->presentations().currentName(); }
    void dismissPresented() {
        if (QDialog* d = view->presentations().current())
            d->reject();
        settle();
    }
};

} // namespace tarnwick::testing
