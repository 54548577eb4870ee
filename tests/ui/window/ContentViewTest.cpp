#include "support/ProjectGenerator.h"
#include "support/UiTestHelpers.h"
#include "ui/cleanup/CleanupRunner.h"
#include "ui/cleanup/CleanupTexts.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/Command.h"
#include "ui/window/AnalyzingOverlay.h"
#include "ui/window/BusyStatus.h"
#include "ui/window/WelcomeView.h"
#include "ui/window/WindowTestFixture.h"
#include "ui/window/WindowTexts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;
using C = Command;

namespace {

QString writeProject(const QTemporaryDir& dir, const QString& name) {
    ProjectGeneratorOptions options;
    options.mediaCount = 4;
    const QString path = dir.filePath(name);
    EXPECT_TRUE(ProjectGenerator::writeProject(path, ProjectGenerator::generate(options).xml));
    return path;
}

int rescans(const UiLogCapture& log) {
    int n = 0;
    for (const QString& line : log.lines)
        n += line.contains(QStringLiteral("Rescanning file status and usage counts")) ? 1 : 0;
    return n;
}

AlertDialog* currentAlert(WindowFixture& f) {
    return qobject_cast<AlertDialog*>(f.view->presentations().current());
}

bool requested(WindowFixture& f, Presentation which) {
    return f.presentations().chain().isRequested(which);
}

} // namespace

TEST(ContentViewCommands, SheetCommandsRequestTheirSheetAndPresentOneAtATime) {
    WindowFixture f;
    const QList<std::pair<Command, QString>> commands{
        {C::showStats, "StatsView"},
        {C::easyImport, "EasyImportSheet"},
        {C::viewAuditLog, "AuditLogView"},
        {C::searchOfflineFiles, "SearchOfflineFilesSheet"},
        {C::manageProtectedFolders, "ProtectedFoldersSheet"},
        {C::manageSequenceUsage, "SequenceUsageSheet"},
    };
    for (const auto& [name, sheet] : commands) {
        f.view->handleCommand(name);
        f.settle();
        EXPECT_EQ(f.presented(), sheet) << text(name).toStdString();
        f.dismissPresented();
        EXPECT_TRUE(f.presented().isEmpty());
    }
    // Two raised at once come one after the other, in the chain's order.
    f.view->handleCommand(C::showStats);
    f.view->handleCommand(C::viewAuditLog);
    f.settle();
    EXPECT_EQ(f.presented(), QStringLiteral("AuditLogView"));
    f.dismissPresented();
    EXPECT_EQ(f.presented(), QStringLiteral("StatsView"));
    f.dismissPresented();
    EXPECT_TRUE(f.presented().isEmpty());
    EXPECT_FALSE(requested(f, Presentation::stats)); // shown once
}

// No place of the window and no sheet ever shows a stand-in text: a pane or sheet without its view
// stays blank or unshown, and the request that raised it is spent.
TEST(ContentViewCommands, NoStandInViewEverAppears) {
    WindowFixture f(true, false, ViewFactories{});
    f.view->handleCommand(C::showStats);
    f.settle();
    EXPECT_TRUE(f.presented().isEmpty());
    EXPECT_FALSE(requested(f, Presentation::stats));
    // The sidebar's place stays blank too, and the command it answers finds no one to ask.
    EXPECT_EQ(f.view->sidebar(), nullptr);
    f.view->handleCommand(C::moveUnusedToFolder);
    f.settle();
    EXPECT_TRUE(f.presented().isEmpty());
    for (QWidget* top : QApplication::topLevelWidgets())
        for (const QLabel* label : top->findChildren<QLabel*>())
            EXPECT_FALSE(label->text().contains(QStringLiteral("not available yet")))
                << label->text().toStdString();
}

TEST(ContentViewCommands, OpenProjectsImportsItsURLsAndNothingWhenPostedBare) {
    WindowFixture f;
    const QString path = writeProject(f.dir, QStringLiteral("Cut.prproj"));
    QSignalSpy finished(f.view.get(), &ContentView::importFinished);
    f.view->handleCommand(C::openProjects);
    f.view->handleCommand(OpenProjects{});
    f.settle();
    EXPECT_FALSE(f.pm().progress().isAnalyzing);
    EXPECT_EQ(finished.count(), 0);
    f.view->handleCommand(OpenProjects{{QUrl::fromLocalFile(path)}});
    ASSERT_TRUE(finished.wait(20000));
    ASSERT_EQ(f.pm().projects().size(), 1);
    EXPECT_EQ(f.pm().projects()[0].name, QStringLiteral("Cut"));
}

TEST(ContentViewCommands, DaVinciCSVNeedsItsURLAndConfirmationBeforeImporting) {
    WindowFixture f;
    f.view->handleCommand(C::importDaVinciCSV);
    f.settle();
    EXPECT_TRUE(f.presented().isEmpty());
    const QUrl csv = QUrl::fromLocalFile(QStringLiteral("/exports/unused.csv"));
    f.view->handleCommand(ImportDaVinciCSV{csv});
    f.settle();
    EXPECT_EQ(f.presented(), QStringLiteral("Import DaVinci CSV as Unused?"));
    EXPECT_EQ(currentAlert(f)->message(), WindowTexts::importDaVinciConfirmMessage());
    currentAlert(f)->buttons().at(0)->click(); // Import
    f.settle();
    EXPECT_EQ(f.ops->csvImports, QList<QUrl>{csv});
    EXPECT_TRUE(f.presented().isEmpty());
    // Cancel forgets the file and imports nothing.
    f.view->handleCommand(ImportDaVinciCSV{csv});
    f.settle();
    currentAlert(f)->buttons().at(1)->click();
    f.settle();
    EXPECT_EQ(f.ops->csvImports.size(), 1);
    EXPECT_TRUE(f.presented().isEmpty());
}

TEST(ContentViewCommands, AddAllUnusedRightAfterAChangeStagesWhatTheNewListAllows) {
    WindowFixture f;
    f.fill(3);
    // The manager tells its views a turn later; the command comes before that turn.
    QList<MediaFile> offline = f.pm().mediaFiles();
    for (MediaFile& file : offline)
        file.status = MediaFileStatus::offline;
    f.pm().edit(ProjectManager::ListChange::none).setMediaFiles(offline);
    f.view->handleCommand(C::addAllUnused);
    f.settle();
    ASSERT_EQ(f.ops->staged.size(), 1);
    EXPECT_TRUE(f.ops->staged[0].isEmpty());
}

TEST(ContentViewCommands, RefreshExportAddClearAndWelcome) {
    WindowFixture f;
    f.fill(3, 1, 2);
    UiLogCapture log;
    // The rescan finds these three on disk; the rest are offline, so not safe to stage.
    for (int i = 0; i < 3; ++i)
        f.harness.checker->setOnline(QStringLiteral("/m/unused%1.mov").arg(i), 1000);
    f.view->handleCommand(C::refreshFileStatus);
    f.settle();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f.pm().isBusy(); }));
    EXPECT_EQ(rescans(log), 1);

    f.view->handleCommand(C::addAllUnused);
    f.settle();
    ASSERT_EQ(f.ops->staged.size(), 1);
    EXPECT_EQ(f.ops->staged[0].size(), 3);

    f.view->handleCommand(C::moveUnusedToFolder);
    f.settle();
    ASSERT_EQ(f.panel.requests.size(), 1); // the sidebar asks for the folder
    EXPECT_TRUE(f.panel.requests[0].canChooseDirectories);
    EXPECT_FALSE(f.panel.requests[0].canChooseFiles);
    EXPECT_FALSE(requested(f, Presentation::unusedMoveFolder));

    f.pm()
        .edit(ProjectManager::ListChange::none)
        .setProjects({project(QStringLiteral("A"), {"/m/used0.mov"})});
    f.view->handleCommand(C::clearAllProjects);
    EXPECT_TRUE(f.pm().projects().isEmpty());
    EXPECT_TRUE(f.pm().mediaFiles().isEmpty());

    EXPECT_EQ(f.view->welcomeView(), nullptr);
    f.view->handleCommand(C::showWelcomeGuide);
    ASSERT_NE(f.view->welcomeView(), nullptr);
    EXPECT_EQ(f.view->welcomeView()->currentStep(), 0);
    EXPECT_FALSE(f.prefs.value(QStringLiteral("hasCompletedWelcome")).toBool());
}

// Where no application opens CSV files, the export is shown in the file manager; the message says
// where it was written either way.
TEST(ContentViewCommands, ExportedCSVIsOpenedOrRevealedAndTheMessageSaysWhere) {
    WindowFixture f;
    f.fill(2);
    f.view->handleCommand(C::exportUnusedCSV);
    f.settle();
    EXPECT_EQ(f.ops->exportCalls, 1);
    EXPECT_TRUE(f.desktop->opened.isEmpty()) << "no file written, nothing opened";
    EXPECT_TRUE(f.presented().isEmpty());

    const QString path = QStringLiteral("/tmp/Tarnwick_Unused_1.5.csv");
    f.ops->exportResult = {path, {}};
    for (const bool opens : {true, false}) {
        SCOPED_TRACE(opens ? "opened" : "no application");
        f.desktop->opens = opens;
        f.view->handleCommand(C::exportUnusedCSV);
        f.settle();
        EXPECT_EQ(f.desktop->opened.last(), path);
        EXPECT_EQ(f.desktop->revealed, opens ? QStringList{} : QStringList{path});
        ASSERT_EQ(f.presented(), QStringLiteral("Unused Files Exported"));
        EXPECT_EQ(currentAlert(f)->message(), WindowTexts::csvExportedMessage(path, opens, !opens));
        EXPECT_TRUE(currentAlert(f)->message().contains(path));
        EXPECT_EQ(currentAlert(f)->message().contains(QStringLiteral("file manager")), !opens);
        f.dismissPresented();
    }
}

TEST(ContentViewCommands, ExportedCSVThatNothingShowedSaysOnlyWhereItWasWritten) {
    WindowFixture f;
    f.fill(2);
    const QString path = QStringLiteral("/tmp/Tarnwick_Unused_2.5.csv");
    f.ops->exportResult = {path, {}};
    f.desktop->opens = false;
    f.desktop->reveals = false; // no launcher for the folder either
    f.view->handleCommand(C::exportUnusedCSV);
    f.settle();
    EXPECT_EQ(f.desktop->revealed, QStringList{path});
    ASSERT_EQ(f.presented(), QStringLiteral("Unused Files Exported"));
    EXPECT_EQ(currentAlert(f)->message(), QStringLiteral("The list of unused files was written to “%1”. No "
                                                         "application here opens CSV files.")
                                              .arg(path));
}

TEST(ContentViewCommands, AFailedCSVExportShowsItsReason) {
    WindowFixture f;
    f.fill(2);
    f.ops->exportResult = {std::nullopt, QStringLiteral("Not a directory")};
    f.view->handleCommand(C::exportUnusedCSV);
    f.settle();
    EXPECT_TRUE(f.desktop->opened.isEmpty());
    ASSERT_EQ(f.presented(), QStringLiteral("CSV Export Failed"));
    EXPECT_TRUE(currentAlert(f)->message().contains(QStringLiteral("Not a directory")));
}

// Their lone "OK" is the default button: Return, or Enter on the keypad, presses it.
TEST(ContentViewCommands, ReturnOrEnterClosesBothCSVExportAlerts) {
    WindowFixture f;
    f.fill(2);
    for (const bool failed : {false, true}) {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(failed).arg(key).toStdString());
            f.ops->exportResult = failed
                                      ? CSVExportResult{std::nullopt, QStringLiteral("Not a directory")}
                                      : CSVExportResult{QStringLiteral("/tmp/Tarnwick_Unused_3.5.csv"), {}};
            f.view->handleCommand(C::exportUnusedCSV);
            f.settle();
            ASSERT_EQ(f.presented(),
                      failed ? QStringLiteral("CSV Export Failed") : QStringLiteral("Unused Files Exported"));
            AlertDialog* alert = currentAlert(f);
            ASSERT_TRUE(QTest::qWaitForWindowActive(alert));
            QWidget* focus = QApplication::focusWidget();
            ASSERT_TRUE(alert->isAncestorOf(focus));
            QTest::keyClick(focus, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            f.settle();
            EXPECT_TRUE(f.presented().isEmpty());
        }
    }
}

TEST(ContentViewCommands, ProVideoPromptIsRaisedOncePerManager) {
    WindowFixture f;
    f.view->handleCommand(C::proVideoFormatsRecommended);
    f.settle();
    EXPECT_EQ(f.presented(), QStringLiteral("Preview These Natively?"));
    currentAlert(f)->buttons().at(0)->click(); // Download
    f.settle();
    EXPECT_EQ(f.opened, QList<QUrl>{WindowTexts::proVideoFormatsHelpURL()});
    EXPECT_EQ(WindowTexts::proVideoFormatsHelpURL().host(), QStringLiteral("ffmpeg.org"));
    EXPECT_FALSE(f.pm().prompts().shouldPromptForProVideoFormats);
    f.view->handleCommand(C::proVideoFormatsRecommended);
    f.settle();
    EXPECT_FALSE(f.pm().prompts().shouldPromptForProVideoFormats);
    EXPECT_TRUE(f.presented().isEmpty());
}

TEST(ContentViewAccess, DriveAccessStartsAtTheRemovableMediaRootAndNamesWhatStaysUnreadable) {
    WindowFixture f;
    QTemporaryDir drives;
    const QString ok = drives.filePath(QStringLiteral("Shuttle"));
    const QString bad = drives.filePath(QStringLiteral("NAS Share"));
    QDir().mkpath(ok); // the share is not mounted: its folder does not exist
    f.panel.choice = {QUrl::fromLocalFile(ok), QUrl::fromLocalFile(bad)};
    UiLogCapture log;
    f.view->handleCommand(C::grantDriveAccess);
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.pm().prompts().showGrantAccessFailure; }));
    f.settle();
    ASSERT_EQ(f.panel.requests.size(), 1);
    EXPECT_EQ(f.panel.requests[0].startFolder, QStringLiteral("/media/editor"));
    EXPECT_EQ(f.panel.requests[0].prompt, QStringLiteral("Grant Access"));
    EXPECT_TRUE(f.panel.requests[0].allowsMultipleSelection);
    EXPECT_EQ(
        f.pm().prompts().grantAccessFailureMessage.value_or(QString()),
        QStringLiteral("Access was approved, but Tarnwick still can't read: NAS Share. If that's a network "
                       "share, make sure it's connected and you have permission to read it; otherwise try "
                       "reconnecting the drive and granting again."));
    EXPECT_EQ(f.presented(), QStringLiteral("Still Can’t Read That Drive"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f.pm().isBusy(); }));
    EXPECT_EQ(rescans(log), 1);
    // Cancelled panel: nothing.
    f.dismissPresented();
    f.panel.choice.clear();
    f.view->handleCommand(C::grantDriveAccess);
    f.settle();
    EXPECT_EQ(rescans(log), 1);
}

TEST(ContentViewAccess, PanelStartFolder) {
    WindowFixture f;
    auto url = [](const char* p) { return QUrl::fromLocalFile(QString::fromUtf8(p)); };
    EXPECT_EQ(f.view->accessPanelStartFolder({}), url("/media/editor"));
    EXPECT_EQ(f.view->accessPanelStartFolder({url("/media/editor/A"), url("/media/editor/B/")}),
              url("/media/editor"));
    EXPECT_EQ(f.view->accessPanelStartFolder({url("/srv/one/x"), url("/mnt/two/y")}), url("/srv/one"));
    EXPECT_EQ(
        WindowTexts::grantAccessMessage({}),
        QStringLiteral("Some of this project's media lives on another drive, which Tarnwick doesn't have "
                       "permission to read yet. Grant access so it can scan and preview those clips."));
    EXPECT_EQ(WindowTexts::stillCantReadMessage(std::nullopt),
              QStringLiteral("Access was approved but the media still couldn't be read."));
}

TEST(ContentViewDrop, KeepsLocalProjectFilesInOrderWhateverTheirCase) {
    const QList<QUrl> dropped{QUrl::fromLocalFile("/p/B.PRPROJ"), QUrl::fromLocalFile("/p/comp.aep"),
                              QUrl(QStringLiteral("https://example.com/x.prproj")),
                              QUrl::fromLocalFile("/p/A.prproj"), QUrl::fromLocalFile("/p/folder")};
    EXPECT_EQ(ContentView::projectURLsFromDrop(dropped),
              (QList<QUrl>{QUrl::fromLocalFile("/p/B.PRPROJ"), QUrl::fromLocalFile("/p/A.prproj")}));
}

TEST(ContentViewDrop, AFileDroppedOnALineEditIsImportedNotTyped) {
    WindowFixture f;
    const QString path = writeProject(f.dir, QStringLiteral("Dropped.PRPROJ"));
    auto* edit = new QLineEdit(f.view.get());
    edit->setGeometry(10, 10, 200, 24);
    edit->show();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    mime.setText(path);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &enter);
    EXPECT_TRUE(f.view->isDragging());
    QSignalSpy finished(f.view.get(), &ContentView::importFinished);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_FALSE(f.view->isDragging());
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(edit->text().isEmpty());
    ASSERT_EQ(f.pm().projects().size(), 1);
    EXPECT_EQ(f.grants.sessionPaths().size() + f.grants.bookmarkedPaths().size() > 0, true);
}

TEST(ContentViewDrop, TextDragsNeitherHighlightNorImport) {
    WindowFixture f;
    QMimeData mime;
    mime.setText(QStringLiteral("/p/A.prproj"));
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.view.get(), &enter);
    EXPECT_FALSE(f.view->isDragging());
    EXPECT_FALSE(enter.isAccepted());
}

TEST(ContentViewToolbar, SearchAndRefreshFollowTheMediaList) {
    WindowFixture f;
    EXPECT_FALSE(f.view->refreshAction()->isEnabled());
    EXPECT_FALSE(f.view->searchOfflineAction()->isEnabled());
    f.fill(2, 0, 1);
    EXPECT_TRUE(f.view->refreshAction()->isEnabled());
    EXPECT_FALSE(f.view->searchOfflineAction()->isEnabled());
    f.fill(2, 1, 1);
    EXPECT_TRUE(f.view->searchOfflineAction()->isEnabled());
    f.pm().edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& list) {
        for (MediaFile& m : list)
            if (m.status == MediaFileStatus::offline)
                m.matchedPath = QStringLiteral("/found/it.mov");
    });
    f.settle();
    EXPECT_FALSE(f.view->searchOfflineAction()->isEnabled());
    EXPECT_EQ(ContentView::toolbarTitles(), (QStringList{"Open Projects", "DaVinci CSV", "Easy Import"}));
}

TEST(ContentViewDetail, IsolatingAProjectShowsTheTableFilteredToIt) {
    WindowFixture f;
    const QUuid id = QUuid::createUuid();
    f.view->isolateProject(id);
    EXPECT_EQ(f.view->detailViewMode(), DetailViewMode::table);
    EXPECT_EQ(f.pm().filters().selectedProjectIDs, QSet<QUuid>{id});
}

TEST(AnalyzingOverlay, FollowsTheManagerAndRotatesItsMessage) {
    WindowFixture f;
    EXPECT_EQ(f.view->analyzingOverlay(), nullptr);
    f.pm().updateProgress([](AnalysisProgress& progress) {
        progress.isAnalyzing = true;
        progress.currentTask = QStringLiteral("Parsing Brand Film.prproj");
        progress.analysisProgress = 0.45;
    });
    f.settle();
    AnalyzingOverlay* overlay = f.view->analyzingOverlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->titleText(), QStringLiteral("Analyzing Project..."));
    EXPECT_EQ(overlay->taskText(), QStringLiteral("Parsing Brand Film.prproj"));
    EXPECT_EQ(overlay->progressPermille(), 450);
    EXPECT_FALSE(overlay->shownFileCount().has_value());
    EXPECT_EQ(overlay->timer()->interval(), 8000);
    EXPECT_EQ(overlay->calloutText(), QStringLiteral("Downloading more RAM..."));
    f.pm().updateProgress([](AnalysisProgress& progress) {
        progress.currentFileIndex = 3;
        progress.totalFilesToScan = 12;
    });
    f.settle();
    EXPECT_EQ(overlay->shownFileCount().value_or(QString()), QStringLiteral("3 / 12 files"));
    overlay->advance();
    overlay->advance();
    EXPECT_EQ(overlay->calloutText(), QStringLiteral("Sweeping up the cutting room floor..."));
    for (int i = 0; i < 5; ++i)
        overlay->advance();
    EXPECT_EQ(overlay->calloutIndex(), 0);
    f.pm().updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = false; });
    f.settle();
    EXPECT_EQ(f.view->analyzingOverlay(), nullptr);
    f.pm().updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = true; });
    f.settle();
    EXPECT_EQ(f.view->analyzingOverlay()->calloutIndex(), 0); // a new import starts again
}

// Each figure belongs to the step the task line names, and nothing of an earlier step stays.
TEST(AnalyzingOverlay, ShowsOnlyTheFiguresOfTheNamedStep) {
    WindowFixture f;
    const auto step = [&f](QString task, std::optional<double> fraction, qint64 index = 0, qint64 total = 0) {
        f.pm().updateProgress([&](AnalysisProgress& progress) {
            progress.isAnalyzing = true;
            progress.currentFileIndex = index;
            progress.totalFilesToScan = total;
            progress.setStep(task, fraction, total > 0);
        });
        f.settle();
    };
    step(QStringLiteral("Scanning files… 10/10"), 1.0, 10, 10);
    AnalyzingOverlay* overlay = f.view->analyzingOverlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->shownFileCount().value_or(QString()), QStringLiteral("10 / 10 files"));

    // A later import's reading: its own fraction, no file count (the engine's count is still 10/10).
    f.pm().updateProgress([](AnalysisProgress& progress) {
        progress.setStep(QStringLiteral("Parsed 51/60 projects…"), 51.0 / 60);
    });
    f.settle();
    EXPECT_EQ(overlay->taskText(), QStringLiteral("Parsed 51/60 projects…"));
    EXPECT_FALSE(overlay->shownFileCount().has_value());
    EXPECT_EQ(overlay->progressPermille(), 850);

    step(QStringLiteral("Scanning file system…"), 0.0, 0, 21);
    EXPECT_EQ(overlay->shownFileCount().value_or(QString()), QStringLiteral("0 / 21 files"));
    EXPECT_EQ(overlay->progressPermille(), 0);
    step(QStringLiteral("Scanning files… 7/21"), 7.0 / 21, 7, 21);
    EXPECT_EQ(overlay->progressPermille(), 333);

    step(QStringLiteral("Checking for After Effects links…"), std::nullopt);
    EXPECT_FALSE(overlay->shownFileCount().has_value());
    EXPECT_FALSE(overlay->progressPermille().has_value()) << "a step that cannot say is busy";
}

TEST(WelcomeGuide, PagesThroughItsStepsAndStoresCompletion) {
    WindowFixture f(false);
    WelcomeView* guide = f.view->welcomeView();
    ASSERT_NE(guide, nullptr);
    const int last = int(WelcomeView::steps().size()) - 1;
    ASSERT_GT(last, 3);
    EXPECT_EQ(guide->shownTitle(), QStringLiteral("Welcome to Tarnwick"));
    EXPECT_FALSE(guide->backButton()->isVisibleTo(guide));
    EXPECT_EQ(guide->shownIconColor(), QApplication::palette().color(QPalette::Highlight));
    guide->dots().at(3)->click();
    EXPECT_EQ(guide->currentStep(), 3);
    EXPECT_EQ(guide->shownTitle(), QStringLiteral("Reconnect Moved Files"));
    EXPECT_EQ(guide->shownDescription(),
              QStringLiteral("If media has been relocated, Search Offline Files will find and reconnect it "
                             "automatically using smart path matching."));
    EXPECT_EQ(guide->shownIconColor(), QColor(0xFF, 0x95, 0x00));
    for (int step = 3; step < last; ++step)
        guide->forwardButton()->click();
    EXPECT_EQ(guide->currentStep(), last);
    EXPECT_EQ(guide->forwardButton()->text(), QStringLiteral("Get Started"));
    EXPECT_FALSE(guide->skipButton()->isVisibleTo(guide));
    guide->backButton()->click();
    EXPECT_EQ(guide->currentStep(), last - 1);
    guide->skipButton()->click();
    EXPECT_NE(f.view->welcomeView(), nullptr); // completion waits for the next turn
    f.settle();
    EXPECT_EQ(f.view->welcomeView(), nullptr);
    EXPECT_TRUE(f.prefs.value(QStringLiteral("hasCompletedWelcome")).toBool());
}

TEST(WelcomeGuide, AlertsRaisedUnderItWaitUntilItIsDone) {
    // A first launch with projects: the import's prompts come while the guide is up.
    WindowFixture f(false);
    f.fill(0, 2);
    f.pm().updatePrompts([](PromptState& prompts) { prompts.shouldPromptForScan = true; });
    f.presentations().showSheet(Presentation::stats);
    f.settle();
    ASSERT_NE(f.view->welcomeView(), nullptr);
    EXPECT_TRUE(f.presented().isEmpty()); // nothing stacked over the guide
    EXPECT_TRUE(f.pm().prompts().shouldPromptForScan);
    f.view->welcomeView()->skipButton()->click();
    f.settle();
    EXPECT_EQ(f.view->welcomeView(), nullptr);
    ASSERT_EQ(f.presented(), QStringLiteral("Offline Media Detected"));
    f.dismissPresented();
    EXPECT_EQ(f.presented(), QStringLiteral("StatsView"));
    f.dismissPresented();
    // Brought back from the menu, the guide again keeps new alerts waiting.
    f.view->handleCommand(C::showWelcomeGuide);
    f.pm().updatePrompts([](PromptState& prompts) { prompts.shouldPromptForMissingAEP = true; });
    f.settle();
    EXPECT_TRUE(f.presented().isEmpty());
}

TEST(ContentViewChain, TrashRunShowsFailureSheetOnlyWhenItemsWereRefused) {
    WindowFixture f;
    f.fill(2);
    f.presentations().confirmMoveToTrash();
    f.settle();
    ASSERT_EQ(f.presented(), QStringLiteral("Delete Files"));
    EXPECT_EQ(currentAlert(f)->message(), QStringLiteral("Move 0 file(s) to Trash?\n\nTotal size: Zero KB"));
    currentAlert(f)->buttons().at(1)->click();
    f.settle();
    EXPECT_EQ(f.presented(), QStringLiteral("DeletionResultView"));
    f.dismissPresented();
    EXPECT_FALSE(requested(f, Presentation::deletionResult));

    f.shown->deletion.reset();
    f.ops->trashResult = {1, 1, {QStringLiteral("no Trash here")}, {binItem(f.pm().mediaFiles()[0])}};
    f.presentations().startTrashRun();
    f.settle();
    EXPECT_EQ(f.presented(), QStringLiteral("TrashFailureSheet"));
    ASSERT_TRUE(f.shown->trashFailure.has_value());
    EXPECT_EQ(f.shown->trashFailure->succeeded, 1);
    EXPECT_EQ(f.shown->trashFailure->failedItems.size(), 1);
    EXPECT_FALSE(f.shown->deletion.has_value());
    EXPECT_FALSE(requested(f, Presentation::deletionResult));
}

TEST(ContentViewChain, ARunWaitingItsTurnIsCancelledFromTheWindow) {
    WindowFixture f;
    std::optional<OperationGate::Scope> busy = f.pm().tryBeginOperation(QStringLiteral("Rescanning"));
    ASSERT_TRUE(busy);
    QList<CleanupResult> ended;
    QObject::connect(&f.view->runner(), &CleanupRunner::finished,
                     [&ended](const CleanupResult& result) { ended.append(result); });
    f.presentations().startTrashRun();
    f.settle();
    ASSERT_EQ(f.view->runner().waiting().size(), 1);
    ASSERT_FALSE(f.view->cancelWaitingButton()->isHidden());
    f.view->cancelWaitingButton()->click();
    f.settle();
    ASSERT_EQ(ended.size(), 1);
    EXPECT_TRUE(ended[0].isRefused());
    EXPECT_TRUE(f.view->cancelWaitingButton()->isHidden());
    busy.reset();
    f.settle();
    EXPECT_EQ(f.ops->trashCalls, 0) << "a cancelled run never starts";
}

// A second Trash or move asked for while the first is under way is refused (its confirmation is
// off meanwhile); the refusal reaches the result sheet like every result.
TEST(ContentViewChain, DestructiveRunsCannotStartTwice) {
    WindowFixture f;
    f.ops->gate.closed = true;
    f.presentations().startTrashRun();
    f.presentations().startTrashRun();
    EXPECT_EQ(f.ops->trashCalls, 1);
    EXPECT_TRUE(f.view->runner().isBusyWith(CleanupRunKind::trash));
    f.settle();
    ASSERT_EQ(f.presented(), QStringLiteral("DeletionResultView"));
    ASSERT_TRUE(f.shown->deletion.has_value());
    EXPECT_EQ(f.shown->deletion->refusal, CleanupTexts::alreadyAskedReason(CleanupRunKind::trash));
    f.dismissPresented();
    f.presentations().confirmMoveToTrash();
    f.settle();
    ASSERT_EQ(f.presented(), QStringLiteral("Delete Files"));
    EXPECT_FALSE(currentAlert(f)->buttons().at(1)->isEnabled());
    f.dismissPresented();

    // Another kind waits its turn.
    f.presentations().startBinMoveRun(QUrl::fromLocalFile(QStringLiteral("/archive")));
    EXPECT_EQ(f.ops->binMoveCalls, 0);
    f.ops->gate.open();
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.ops->binMoveCalls == 1; }));
    f.settle();
    EXPECT_FALSE(f.view->runner().isBusyWith(CleanupRunKind::trash));
    EXPECT_FALSE(f.view->runner().isBusyWith(CleanupRunKind::binMove));
    f.presentations().startTrashRun();
    EXPECT_EQ(f.ops->trashCalls, 2);
}

// The manager busy with something else (a rescan started as the alert was answered): the run waits
// for it, the window says so, then it runs and reports.
TEST(ContentViewChain, ARunAskedWhileTheManagerIsBusyWaitsThenReports) {
    WindowFixture f;
    auto scope = f.pm().tryBeginOperation(QStringLiteral("Refreshing file status…"));
    ASSERT_TRUE(scope.has_value());
    f.presentations().startBinMoveRun(QUrl::fromLocalFile(QStringLiteral("/archive")));
    f.settle();
    EXPECT_EQ(f.ops->binMoveCalls, 0);
    EXPECT_TRUE(f.presented().isEmpty());
    EXPECT_TRUE(
        f.view->busyStatusLabel()->text().contains(QStringLiteral("Move the recycle bin to “archive”")));
    scope->release();
    f.settle();
    EXPECT_EQ(f.ops->binMoveCalls, 1);
    EXPECT_EQ(f.presented(), QStringLiteral("OperationResultView"));
    ASSERT_TRUE(f.shown->move.has_value());
    EXPECT_FALSE(f.shown->move->isRefused());
    EXPECT_EQ(f.shown->move->action.succeeded, 2);
}

// The prompt made due during an import and a run asks only once the run's result is closed.
TEST(ContentViewChain, TheReviewPromptWaitsForTheOverlayTheRunAndItsResult) {
    WindowFixture f;
    DueReviewPrompt review(f.dir.filePath(QStringLiteral("review.ini")));
    f.presentations().attachReviewPrompt(review.prompt);
    f.pm().updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = true; });
    ASSERT_TRUE(review.count());
    f.settle();
    EXPECT_TRUE(f.presented().isEmpty()) << "not over the analysing overlay";

    f.ops->gate.closed = true;
    f.presentations().startBinMoveRun(QUrl::fromLocalFile(QStringLiteral("/archive")));
    f.pm().updateProgress([](AnalysisProgress& progress) { progress.isAnalyzing = false; });
    f.settle();
    EXPECT_TRUE(f.presented().isEmpty()) << "not while the run goes";
    f.ops->gate.open();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f.presented().isEmpty(); }));
    f.settle();
    EXPECT_EQ(f.presented(), QStringLiteral("OperationResultView"));
    EXPECT_EQ(f.presentations().reviewSheet(), nullptr);

    f.dismissPresented();
    EXPECT_EQ(f.presented(), QStringLiteral("ReviewPromptSheet"));
    ASSERT_NE(f.presentations().reviewSheet(), nullptr);
    f.dismissPresented();
    EXPECT_FALSE(review.prompt.isPresenting());
    EXPECT_EQ(f.presentations().reviewSheet(), nullptr);
}

TEST(ContentViewChain, BinMoveAsksForAFolderThenConfirmsWithTheBinCount) {
    WindowFixture f;
    f.fill(2);
    f.pm()
        .edit(ProjectManager::ListChange::none)
        .setRecycleBin({binItem(f.pm().mediaFiles()[0]), binItem(f.pm().mediaFiles()[1])});
    f.panel.choice = {QUrl::fromLocalFile(QStringLiteral("/archive/Old Jobs"))};
    f.presentations().chooseBinMoveFolder();
    f.settle();
    ASSERT_EQ(f.presented(), QStringLiteral("Move Files to Folder?"));
    EXPECT_EQ(
        currentAlert(f)->message(),
        QStringLiteral("Move 2 file(s) to “Old Jobs”? Originals are relocated with their directory structure "
                       "preserved."));
    currentAlert(f)->buttons().at(1)->click();
    f.settle();
    EXPECT_EQ(f.ops->binMoveCalls, 1);
    EXPECT_EQ(f.presented(), QStringLiteral("OperationResultView"));
}

TEST(ContentViewChain, ManagerPromptsAreLoweredOnDismissal) {
    WindowFixture f;
    f.fill(0, 2);
    f.pm().updatePrompts([](PromptState& prompts) {
        prompts.shouldPromptForScan = true;
        prompts.shouldPromptForMissingAEP = true;
    });
    f.settle();
    ASSERT_EQ(f.presented(), QStringLiteral("Offline Media Detected"));
    EXPECT_EQ(
        currentAlert(f)->message(),
        QStringLiteral("2 file(s) are offline or missing. Would you like to scan a folder to find them?"));
    currentAlert(f)->buttons().at(1)->click(); // Not Now
    f.settle();
    EXPECT_FALSE(f.pm().prompts().shouldPromptForScan);
    ASSERT_EQ(f.presented(), QStringLiteral("Missing After Effects Projects"));
    EXPECT_EQ(currentAlert(f)->buttons().at(1)->accessibleName(), QStringLiteral("Dismiss"));
    currentAlert(f)->buttons().at(0)->click(); // Search Offline Files...
    f.settle();
    EXPECT_FALSE(f.pm().prompts().shouldPromptForMissingAEP);
    EXPECT_EQ(f.presented(), QStringLiteral("SearchOfflineFilesSheet"));
}

TEST(ContentViewCommands, AddAllUnusedStagesThroughTheEngineBin) {
    WindowFixture f(true, true);
    f.fill(3, 1, 2);
    f.view->handleCommand(C::addAllUnused);
    f.settle();
    EXPECT_EQ(f.pm().recycleBin().size(), 3);
    EXPECT_EQ(f.pm().summary().recycleBinCount, 3);
}

TEST(ContentViewToolbar, OpenPanelsGrantThenImportOrAskToConfirm) {
    WindowFixture f;
    QAction* open = nullptr;
    QAction* csv = nullptr;
    for (QAction* action : f.view->toolbar()->actions()) {
        if (action->iconText() == QStringLiteral("Open Projects"))
            open = action;
        if (action->iconText() == QStringLiteral("DaVinci CSV"))
            csv = action;
    }
    ASSERT_TRUE(open && csv);
    EXPECT_EQ(open->toolTip(), QStringLiteral("Open Premiere Pro project files (.prproj)"));
    open->trigger(); // cancelled: nothing
    ASSERT_EQ(f.panel.requests.size(), 1);
    EXPECT_TRUE(f.panel.requests[0].allowsMultipleSelection);
    EXPECT_EQ(f.panel.requests[0].message, QStringLiteral("Select Premiere Pro project files to analyze"));
    EXPECT_FALSE(f.pm().progress().isAnalyzing);

    const QString path = writeProject(f.dir, QStringLiteral("Panel.prproj"));
    f.panel.choice = {QUrl::fromLocalFile(path)};
    QSignalSpy finished(f.view.get(), &ContentView::importFinished);
    open->trigger();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(f.pm().projects().size(), 1);

    f.settle();
    while (!f.presented().isEmpty()) // the import's own prompts (its media is offline here)
        f.dismissPresented();
    f.panel.choice = {QUrl::fromLocalFile(QStringLiteral("/exports/unused.csv"))};
    csv->trigger();
    f.settle();
    EXPECT_EQ(f.panel.requests.last().message,
              QStringLiteral("Select a DaVinci Resolve metadata CSV (unused clips, Usage = 0)"));
    EXPECT_FALSE(f.panel.requests.last().allowsMultipleSelection);
    EXPECT_EQ(f.presented(), QStringLiteral("Import DaVinci CSV as Unused?"));
    EXPECT_TRUE(f.ops->csvImports.isEmpty());
}

// The delete-safety check behind the enabled states runs once per change of the media list, on a
// worker, never per paint.
TEST(WindowFacts, SafetyCheckRunsOffTheGuiThreadOncePerChange) {
    WindowFixture f;
    f.fill(3, 0, 1);
    const int before = f.ops->safeListCalls;
    EXPECT_NE(f.ops->safeListThread.load(), QThread::currentThread());
    for (int i = 0; i < 5; ++i)
        f.view->repaint();
    // A filter is not the media list.
    f.pm().updateFilters([](FilterSettings& filters) { filters.showDuplicates = true; });
    f.settle();
    EXPECT_EQ(f.ops->safeListCalls, before);
    f.pm().edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& list) {
        list.removeLast();
    });
    f.pm().edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& list) {
        list.removeLast();
    }); // same turn: one check
    f.settle();
    EXPECT_EQ(f.ops->safeListCalls, before + 1);
    EXPECT_EQ(f.view->facts().facts().safeToStage.size(), 2);
    EXPECT_NE(f.ops->safeListThread.load(), QThread::currentThread());
}

TEST(WelcomeGuide, ShowingItAgainWhileVisibleKeepsTheStep) {
    WindowFixture f(false);
    WelcomeView* guide = f.view->welcomeView();
    ASSERT_NE(guide, nullptr);
    guide->nextStep();
    f.view->handleCommand(C::showWelcomeGuide);
    EXPECT_EQ(f.view->welcomeView(), guide);
    EXPECT_EQ(guide->currentStep(), 1);
    guide->jumpToStep(5);
    guide->forwardButton()->click(); // Get Started
    f.settle();
    EXPECT_EQ(f.view->welcomeView(), nullptr);
    f.view->handleCommand(C::showWelcomeGuide);
    ASSERT_NE(f.view->welcomeView(), nullptr);
    EXPECT_EQ(f.view->welcomeView()->currentStep(), 0);
}

TEST(BusyStatus, SaysWhatRunsAndWhatWaitsNamingTwoRequests) {
    EXPECT_EQ(busyStatus::text(true, "Rescanning…", false, {}), QStringLiteral("Rescanning…"));
    EXPECT_EQ(busyStatus::text(true, "Rescanning…", true, {}), QString()); // the overlay says it
    EXPECT_EQ(busyStatus::text(false, {}, false, {}), QString());
    EXPECT_EQ(busyStatus::text(true, "Importing…", true, {"Restore All", "Remove Project B", "Restore"}),
              QStringLiteral("Importing… — Waiting to run: Restore All, Remove Project B and 1 more"));
    EXPECT_EQ(busyStatus::text(false, {}, false, {"Restore"}), QStringLiteral("Waiting to run: Restore"));
}

namespace {
// The blank sheets and a filter bar that is one line edit.
ViewFactories withFilterField() {
    ViewFactories factories = blankSheets();
    factories.filterBar = [](const WindowContext&) {
        auto* bar = new QWidget;
        auto* field = new QLineEdit(bar);
        field->setObjectName(QStringLiteral("filterField"));
        return bar;
    };
    return factories;
}
} // namespace

// Closed, the guide gives the focus back: to where it was when it came from the menu, to the filter
// field on a first launch; typing reaches the field either way.
TEST(WelcomeGuide, TheFocusGoesBackWhereItWasOnceTheGuideCloses) {
    for (const bool firstLaunch : {false, true}) {
        SCOPED_TRACE(firstLaunch ? "first launch" : "from the menu");
        WindowFixture f(!firstLaunch, false, withFilterField());
        f.view->activateWindow();
        auto* field = f.view->findChild<QLineEdit*>(QStringLiteral("filterField"));
        ASSERT_NE(field, nullptr);
        if (!firstLaunch) {
            field->setFocus();
            f.view->handleCommand(C::showWelcomeGuide);
            f.settle();
        }
        ASSERT_NE(f.view->welcomeView(), nullptr);
        EXPECT_TRUE(f.view->welcomeView()->isAncestorOf(QApplication::focusWidget()));
        f.view->welcomeView()->skipButton()->click();
        f.settle();
        ASSERT_EQ(f.view->welcomeView(), nullptr);
        EXPECT_EQ(QApplication::focusWidget(), field);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("clip"));
        EXPECT_EQ(field->text(), QStringLiteral("clip"));
    }
}

// Without a mail program the support request cannot open: the alert gives the address and copies it.
TEST(ContentViewCommands, NoMailProgramGivesTheSupportAddressToCopy) {
    WindowFixture f;
    QString copied;
    f.presentations().showNoMailProgram(QStringLiteral("support@tarnwick.app"),
                                        [&](const QString& text) { copied = text; });
    f.settle();
    ASSERT_EQ(f.presented(), QStringLiteral("No Mail Program"));
    AlertDialog* alert = currentAlert(f);
    EXPECT_TRUE(alert->message().contains(QStringLiteral("support@tarnwick.app")));
    QPushButton* copy = nullptr;
    for (QPushButton* button : alert->buttons())
        if (button->accessibleName() == QStringLiteral("Copy Address"))
            copy = button;
    ASSERT_NE(copy, nullptr);
    copy->click();
    f.settle();
    EXPECT_EQ(copied, QStringLiteral("support@tarnwick.app"));
}

// Tab goes from control to control: the sidebar, which scrolls them into view, is no stop of its
// own, where the focus would sit unseen and typing reach nothing.
TEST(WindowKeyboard, TabStopsOnlyOnControlsNeverOnTheSidebarItself) {
    WindowFixture f(true, false, withFilterField());
    f.view->activateWindow();
    auto* field = f.view->findChild<QLineEdit*>(QStringLiteral("filterField"));
    ASSERT_NE(field, nullptr);
    field->setFocus();
    QStringList sidebarStops;
    for (int step = 0; step < 200; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        if (focus == field)
            break;
        if (focus == f.view->sidebar())
            sidebarStops.append(QString::number(step));
    }
    EXPECT_EQ(QApplication::focusWidget(), field) << "Tab came round to where it started";
    EXPECT_TRUE(sidebarStops.isEmpty()) << sidebarStops.join(u',').toStdString();
}

// A window whose guide is done starts in the filter field, as a first launch does once its guide
// closes: typing filters from the start.
TEST(WindowKeyboard, TheWindowStartsWithTheFocusInTheFilterField) {
    WindowFixture f(true, false, withFilterField());
    f.view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.view.get()));
    auto* field = f.view->findChild<QLineEdit*>(QStringLiteral("filterField"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(QApplication::focusWidget(), field);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("clip"));
    EXPECT_EQ(field->text(), QStringLiteral("clip"));
}

// Return, or Enter on the keypad, presses the window's focused button as Space does (Qt's buttons
// outside a dialog take Space only); a check box keeps it, and under the guide it reaches no
// button behind.
TEST(WindowKeyboard, ReturnPressesTheFocusedButtonOfTheWindow) {
    ViewFactories factories = blankSheets();
    factories.filterBar = [](const WindowContext&) {
        auto* bar = new QWidget;
        auto* row = new QHBoxLayout(bar);
        for (const char* name : {"push", "tool"}) {
            QAbstractButton* button =
                qstrcmp(name, "push") == 0 ? static_cast<QAbstractButton*>(new QPushButton) : new QToolButton;
            button->setObjectName(QLatin1String(name));
            button->setFocusPolicy(Qt::StrongFocus);
            row->addWidget(button);
        }
        auto* box = new QCheckBox(QStringLiteral("Box"));
        box->setObjectName(QStringLiteral("box"));
        row->addWidget(box);
        return bar;
    };
    WindowFixture f(true, false, factories);
    f.view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.view.get()));
    for (const char* name : {"push", "tool"}) {
        SCOPED_TRACE(name);
        auto* button = f.view->findChild<QAbstractButton*>(QLatin1String(name));
        ASSERT_NE(button, nullptr);
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Return);
        QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_EQ(clicks.count(), 2);
    }
    auto* box = f.view->findChild<QCheckBox*>(QStringLiteral("box"));
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_FALSE(box->isChecked());

    auto* push = f.view->findChild<QPushButton*>(QStringLiteral("push"));
    QSignalSpy clicks(push, &QAbstractButton::clicked);
    push->setFocus(Qt::TabFocusReason);
    f.view->handleCommand(C::showWelcomeGuide);
    f.settle();
    ASSERT_NE(f.view->welcomeView(), nullptr);
    QTest::keyClick(push, Qt::Key_Return);
    EXPECT_EQ(clicks.count(), 0) << "Return reached a button behind the guide";
}
