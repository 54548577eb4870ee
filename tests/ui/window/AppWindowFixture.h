#pragma once

// The window with the application's own view factories, and how each of its alerts is raised.
#include "platform/ThreadPools.h"
#include "ui/bin/BinViews.h"
#include "ui/brand/BrandButton.h"
#include "ui/browser/BrowserViews.h"
#include "ui/browser/MediaFileListView.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/sidebar/SidebarViews.h"
#include "ui/tools/ToolViews.h"
#include "ui/window/WindowTestFixture.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <functional>
#include <map>

namespace tarnwick::testing {

// What the alerts show: the Trash run fails for the whole bin with `trashErrors`, the other runs
// with `errors`; `raisePrompt` sets a prompt's flag along with what it shows.
struct AlertContent {
    QStringList trashErrors;
    ActionResult errors;
    bool csvOpened = false;
    bool csvRevealed = false;
    std::function<void(bool PromptState::*)> raisePrompt;
};

struct AppWindowFixture : WindowFixture {
    std::shared_ptr<FakeDesktopServices> browserDesktop;
    std::unique_ptr<DueReviewPrompt> review; // a new one each time: a prompt asks once
    int reviews = 0;
    QTemporaryDir folder;

    static ViewFactories appViews(std::shared_ptr<FakeDesktopServices> desktop) {
        ViewFactories f;
        installSidebarView(f);
        installBinViews(f);
        registerToolViews(f);
        BrowserServices browser;
        browser.desktop = std::move(desktop);
        installBrowserViews(f, std::move(browser));
        return f;
    }

    explicit AppWindowFixture(
        std::shared_ptr<FakeDesktopServices> desktop = std::make_shared<FakeDesktopServices>())
        : WindowFixture(true, false, appViews(desktop)), browserDesktop(std::move(desktop)) {
        browserDesktop->reveals = false;
        panel.choice = {QUrl::fromLocalFile(folder.path())};
    }

    // The window as a user meets it: what runs off the GUI thread for a sheet has come back.
    void settleAll() {
        settle();
        walkPool().waitForDone(10'000);
        settle();
    }

    void revealWithoutFileManager() {
        auto* table = view->findChild<MediaFileListView*>();
        if (!table)
            return;
        std::unique_ptr<QMenu> menu(table->buildContextMenu({pm().mediaFiles().first()}, nullptr));
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Show in File Manager"))
                action->trigger();
    }

    void askForReview() {
        review =
            std::make_unique<DueReviewPrompt>(dir.filePath(QStringLiteral("review%1.ini").arg(++reviews)));
        presentations().attachReviewPrompt(review->prompt);
        review->count();
    }

    void dismissAll() {
        for (int i = 0; i < 10 && QApplication::activeModalWidget(); ++i) {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
            else
                QApplication::activeModalWidget()->close();
            settleAll();
        }
    }

    // Every alert, and each sheet a run or a command raises, as the window raises it.
    std::map<Presentation, std::function<void()>> alertRaisers(const AlertContent& content) {
        using P = Presentation;
        WindowPresentations& p = presentations();
        ActionResult failedTrash =
            ActionResult::counted(0, int(pm().recycleBin().size()), content.trashErrors);
        failedTrash.failedItems = pm().recycleBin();
        const ActionResult errors = content.errors;
        const auto prompt = [raise = content.raisePrompt](bool PromptState::*flag) {
            return [raise, flag] { raise(flag); };
        };
        return {
            {P::busyAlert, [&p] { p.showBusyAlert({}); }},
            {P::deleteFiles, [&p] { p.confirmMoveToTrash(); }},
            {P::trashFailure,
             [&p, failedTrash] { p.showResult(CleanupResult::of(CleanupRunKind::trash, failedTrash)); }},
            {P::deletionResult,
             [&p, errors] { p.showResult(CleanupResult::of(CleanupRunKind::deletion, errors)); }},
            {P::moveResult,
             [&p, errors] { p.showResult(CleanupResult::of(CleanupRunKind::binMove, errors)); }},
            {P::binMoveFolder, [&p] { p.chooseBinMoveFolder(); }}, // the panel chooses at once
            {P::binMoveConfirm, [&p] { p.chooseBinMoveFolder(); }},
            {P::offlineMedia, prompt(&PromptState::shouldPromptForScan)},
            {P::missingAEP, prompt(&PromptState::shouldPromptForMissingAEP)},
            {P::proVideoFormats, prompt(&PromptState::shouldPromptForProVideoFormats)},
            {P::daVinciImportResult, prompt(&PromptState::showDaVinciImportResult)},
            {P::grantAccess, prompt(&PromptState::shouldPromptForVolumeAccess)},
            {P::grantAccessFailure, prompt(&PromptState::showGrantAccessFailure)},
            {P::daVinciImportConfirm,
             [&p] { p.confirmDaVinciImport(QUrl::fromLocalFile(QStringLiteral("/m/u.csv"))); }},
            {P::csvExported,
             [&p, opened = content.csvOpened, revealed = content.csvRevealed] {
                 p.showCSVExported(QStringLiteral("/tmp/Tarnwick_Unused.csv"), opened, revealed);
             }},
            {P::csvExportFailed, [&p] { p.showCSVExportFailed(QStringLiteral("Disk full")); }},
            {P::noMailProgram, [&p] { p.showNoMailProgram(QStringLiteral("support@tarnwick.app"), {}); }},
            {P::noFileManager, [this] { revealWithoutFileManager(); }},
            {P::deleteSafety,
             [this] { qobject_cast<SidebarView*>(view->sidebar())->sweepButton(0)->click(); }},
            {P::unusedMoveFolder, [this] { view->handleCommand(Command::moveUnusedToFolder); }},
            {P::unusedMoveConfirm, [this] { view->handleCommand(Command::moveUnusedToFolder); }},
            {P::reviewPrompt, [this] { askForReview(); }},
        };
    }
};

} // namespace tarnwick::testing
