#include "ui/window/WindowPresentations.h"

#include "analysis/ProjectManagerFace.h"
#include "ui/cleanup/CleanupOperations.h"
#include "ui/cleanup/CleanupRunner.h"
#include "ui/common/FilePanel.h"
#include "ui/common/ReviewPrompt.h"
#include "ui/common/ReviewPromptSheet.h"
#include "ui/common/Sheet.h"
#include "ui/window/WindowTexts.h"

#include <QPushButton>

namespace tarnwick {

namespace {
using Role = AlertButton::Role;
} // namespace

WindowPresentations::WindowPresentations(Services services, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_chain(new PresentationChain(this)) {
    watchManagerPrompts();
    connect(&m_services.runner, &CleanupRunner::finished, this, &WindowPresentations::showResult);
    connect(&m_services.runner, &CleanupRunner::changed, m_chain, &PresentationChain::schedule);
    connect(&m_services.manager, &ProjectManagerFace::changed, this,
            [this](ProjectManagerFace::Changes groups) {
                // The overlays' flags too: the review prompt waits for them.
                if (groups & (ProjectManagerFace::Change::prompts | ProjectManagerFace::Change::progress |
                              ProjectManagerFace::Change::moveProgress |
                              ProjectManagerFace::Change::transcodeProgress))
                    m_chain->schedule();
            });
}

QWidget* WindowPresentations::window() const {
    return m_services.view->window();
}

QDialog* WindowPresentations::alert(const QString& title, const QString& message,
                                    QList<AlertButton> buttons) const {
    return AlertDialog::present(window(), title, message, std::move(buttons));
}

QDialog* WindowPresentations::presentSheet(QWidget* content) const {
    return content ? Sheet::present(window(), content) : nullptr;
}

// ---- Requests ---------------------------------------------------------------------------------

void WindowPresentations::showBusyAlert(const QString& reason) {
    const QString text = reason.isEmpty() ? QStringLiteral("Another operation is running.") : reason;
    m_chain->request(Presentation::busyAlert, [this, text] {
        return alert(QStringLiteral("Please Wait"), text, {{QStringLiteral("OK"), Role::cancel, {}}});
    });
}

void WindowPresentations::showCSVExported(const QString& path, bool opened, bool revealed) {
    m_chain->request(Presentation::csvExported, [this, path, opened, revealed] {
        return alert(text(Presentation::csvExported), WindowTexts::csvExportedMessage(path, opened, revealed),
                     {{QStringLiteral("OK"), Role::cancel, {}}});
    });
}

void WindowPresentations::showCSVExportFailed(const QString& reason) {
    m_chain->request(Presentation::csvExportFailed, [this, reason] {
        return alert(text(Presentation::csvExportFailed), WindowTexts::csvExportFailedMessage(reason),
                     {{QStringLiteral("OK"), Role::cancel, {}}});
    });
}

void WindowPresentations::showNoMailProgram(const QString& address,
                                            std::function<void(const QString& text)> copy) {
    m_chain->request(Presentation::noMailProgram, [this, address, copy] {
        return alert(text(Presentation::noMailProgram), WindowTexts::noMailProgramMessage(address),
                     {{QStringLiteral("OK"), Role::cancel, {}},
                      {QStringLiteral("Copy Address"), Role::normal, [copy, address] {
                           if (copy)
                               copy(address);
                       }}});
    });
}

void WindowPresentations::confirmMoveToTrash() {
    m_chain->request(Presentation::deleteFiles, [this] {
        const ProjectManagerFace& pm = m_services.manager;
        auto* dialog = static_cast<AlertDialog*>(
            alert(QStringLiteral("Delete Files"),
                  WindowTexts::deleteFilesMessage(pm.recycleBin().size(), pm.summary().recycleBinSize),
                  {{QStringLiteral("Cancel"), Role::cancel, {}},
                   {QStringLiteral("Move to Trash"), Role::destructive, [this] { startTrashRun(); }}}));
        // While a Trash run is under way its confirmation cannot start another.
        dialog->buttons().at(1)->setEnabled(!m_services.runner.isBusyWith(CleanupRunKind::trash));
        return dialog;
    });
}

void WindowPresentations::showResult(const CleanupResult& result) {
    if (result.kind == CleanupRunKind::trash && !result.isRefused() && !result.action.failedItems.isEmpty()) {
        m_chain->request(Presentation::trashFailure, [this, failure = result.action] {
            const auto& make = m_services.factories.trashFailureSheet;
            return presentSheet(make && m_context ? make(*m_context, failure) : nullptr);
        });
        return;
    }
    if (result.kind == CleanupRunKind::transcode && !result.isRefused()) {
        if (m_services.showTranscodeResult)
            m_services.showTranscodeResult(result.transcode);
        return;
    }
    const Presentation which = result.isDeletion() ? Presentation::deletionResult : Presentation::moveResult;
    m_chain->request(which, [this, result] {
        const auto& make = m_services.factories.resultSheet;
        return presentSheet(make && m_context ? make(*m_context, result) : nullptr);
    });
}

void WindowPresentations::chooseBinMoveFolder() {
    m_chain->request(Presentation::binMoveFolder, [this] {
        OpenPanelRequest request;
        request.canChooseFiles = false;
        request.canChooseDirectories = true;
        request.message = QStringLiteral("Choose a folder to move the recycle bin's files into");
        return chooseWithAccess(m_services.panel, m_services.grants, window(), request, this,
                                [this](const GrantedChoice& choice) { confirmBinMove(choice.urls.first()); });
    });
}

void WindowPresentations::confirmBinMove(const QUrl& folder) {
    m_chain->request(Presentation::binMoveConfirm, [this, folder] {
        auto* dialog = static_cast<AlertDialog*>(
            alert(QStringLiteral("Move Files to Folder?"),
                  WindowTexts::moveFilesMessage(m_services.manager.recycleBin().size(), folder),
                  {{QStringLiteral("Cancel"), Role::cancel, {}},
                   {QStringLiteral("Move"), Role::movesFiles, [this, folder] { startBinMoveRun(folder); }}}));
        // Nothing to move, or a move of the bin under way: nothing to start.
        dialog->buttons().at(1)->setEnabled(!m_services.manager.recycleBin().isEmpty() &&
                                            !m_services.runner.isBusyWith(CleanupRunKind::binMove));
        return dialog;
    });
}

void WindowPresentations::confirmDaVinciImport(const QUrl& csv) {
    m_chain->request(Presentation::daVinciImportConfirm, [this, csv] {
        return alert(QStringLiteral("Import DaVinci CSV as Unused?"),
                     WindowTexts::importDaVinciConfirmMessage(),
                     {{QStringLiteral("Import"), Role::normal,
                       [this, csv] {
                           (void)m_services.operations.importDaVinciCSV(m_services.manager.manager(), csv);
                       }},
                      {QStringLiteral("Cancel"), Role::cancel, {}}});
    });
}

void WindowPresentations::showSheet(Presentation sheet) {
    m_chain->request(sheet, [this, sheet] {
        const auto made = m_services.factories.sheets.find(sheet);
        const bool canMake = made != m_services.factories.sheets.end() && made->second && m_context;
        return presentSheet(canMake ? made->second(*m_context) : nullptr);
    });
}

// ---- The manager's prompts --------------------------------------------------------------------

void WindowPresentations::watchManagerPrompts() {
    ProjectManagerFace& pm = m_services.manager;
    const auto searchOffline = [this] { showSheet(Presentation::searchOffline); };
    // A prompt shows while its flag is set, and clears it once shown.
    const auto raised = [&pm](bool PromptState::*flag) { return [&pm, flag] { return pm.prompts().*flag; }; };
    const auto shown = [&pm](bool PromptState::*flag) {
        return [&pm, flag] { pm.updatePrompts([flag](PromptState& prompts) { prompts.*flag = false; }); };
    };
    m_chain->watch(
        Presentation::offlineMedia, raised(&PromptState::shouldPromptForScan),
        [this, &pm, searchOffline] {
            return alert(QStringLiteral("Offline Media Detected"),
                         WindowTexts::offlineMediaMessage(pm.summary().offlineFiles),
                         {{QStringLiteral("Search Offline Files..."), Role::normal, searchOffline},
                          {QStringLiteral("Not Now"), Role::cancel, {}}});
        },
        shown(&PromptState::shouldPromptForScan));
    m_chain->watch(
        Presentation::missingAEP, raised(&PromptState::shouldPromptForMissingAEP),
        [this, &pm, searchOffline] {
            return alert(QStringLiteral("Missing After Effects Projects"),
                         WindowTexts::missingAEPMessage(pm.summary().uncertainAEFiles),
                         {{QStringLiteral("Search Offline Files..."), Role::normal, searchOffline},
                          {QStringLiteral("Dismiss"), Role::cancel, {}}});
        },
        shown(&PromptState::shouldPromptForMissingAEP));
    m_chain->watch(
        Presentation::proVideoFormats, raised(&PromptState::shouldPromptForProVideoFormats),
        [this] {
            return alert(QStringLiteral("Preview These Natively?"), WindowTexts::proVideoFormatsMessage(),
                         {{QStringLiteral("Download"), Role::normal,
                           [this] { m_services.openURL(WindowTexts::proVideoFormatsHelpURL()); }},
                          {QStringLiteral("Not Now"), Role::cancel, {}}});
        },
        shown(&PromptState::shouldPromptForProVideoFormats));
    m_chain->watch(
        Presentation::daVinciImportResult, raised(&PromptState::showDaVinciImportResult),
        [this, &pm] {
            return alert(QStringLiteral("DaVinci CSV Import"),
                         pm.prompts().daVinciImportMessage.value_or(QString()),
                         {{QStringLiteral("OK"), Role::cancel, {}}});
        },
        shown(&PromptState::showDaVinciImportResult));
    m_chain->watch(
        Presentation::grantAccess, raised(&PromptState::shouldPromptForVolumeAccess),
        [this, &pm] {
            return alert(QStringLiteral("Grant Access to Your Media"),
                         WindowTexts::grantAccessMessage(pm.prompts().volumesNeedingAccess),
                         {{QStringLiteral("Grant Access…"), Role::normal, m_services.showVolumeAccessPanel},
                          {QStringLiteral("Not Now"), Role::cancel, {}}});
        },
        shown(&PromptState::shouldPromptForVolumeAccess));
    m_chain->watch(
        Presentation::grantAccessFailure, raised(&PromptState::showGrantAccessFailure),
        [this, &pm] {
            return alert(QStringLiteral("Still Can’t Read That Drive"),
                         WindowTexts::stillCantReadMessage(pm.prompts().grantAccessFailureMessage),
                         {{QStringLiteral("Try Again"), Role::normal, m_services.showVolumeAccessPanel},
                          {QStringLiteral("OK"), Role::cancel, {}}});
        },
        shown(&PromptState::showGrantAccessFailure));
}

// ---- The review prompt ------------------------------------------------------------------------

Sheet* WindowPresentations::reviewSheet() const {
    return m_reviewSheet.data();
}

bool WindowPresentations::isQuiet() const {
    const CleanupRunner& runner = m_services.runner;
    return !runner.current() && runner.waiting().isEmpty() &&
           !(m_services.isCovered && m_services.isCovered());
}

void WindowPresentations::attachReviewPrompt(ReviewPrompt& prompt) {
    m_chain->watch(
        Presentation::reviewPrompt, [this, &prompt] { return prompt.isPresenting() && isQuiet(); },
        [this, &prompt]() -> QDialog* {
            auto* content = new ReviewPromptSheet(prompt);
            m_reviewSheet = Sheet::present(window(), content);
            connect(content, &ReviewPromptSheet::dismissRequested, m_reviewSheet.data(), &QDialog::close);
            return m_reviewSheet.data();
        },
        // However the sheet goes away, the prompt is no longer presenting.
        [&prompt] { prompt.dismiss(); });
    connect(&prompt, &ReviewPrompt::isPresentingChanged, this, [this](bool presenting) {
        if (presenting)
            m_chain->schedule();
        else if (m_reviewSheet)
            m_reviewSheet->close();
    });
    m_chain->schedule();
}

// ---- Runs -------------------------------------------------------------------------------------

void WindowPresentations::startTrashRun() {
    m_services.runner.request(CleanupRunKind::trash);
}

void WindowPresentations::startBinMoveRun(const QUrl& folder) {
    m_services.runner.request(CleanupRunKind::binMove, folder);
}

} // namespace tarnwick
