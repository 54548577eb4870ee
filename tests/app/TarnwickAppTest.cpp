#include "app/TarnwickApp.h"
#include "analysis/ProjectManager.h"
#include "app/MainWindow.h"
#include "app/StartRecords.h"
#include "platform/Preferences.h"
#include "platform/ProVideoFormats.h"
#include "platform/ThreadPools.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordRun.h"
#include "stores/SecurityScopedAccess.h"
#include "stores/StatsManager.h"
#include "support/FakeAccessGrantBackend.h"
#include "support/FakeSoftwareUpdater.h"
#include "support/FaultInjectingFileOperations.h"
#include "support/ProjectGenerator.h"
#include "support/ThreadNameSampler.h"
#include "support/UiTestHelpers.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/FilePanel.h"
#include "ui/common/ReviewPrompt.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/window/ContentView.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <future>

using namespace tarnwick;

namespace {

// Every panel is cancelled at once.
class NoPanel : public FilePanel {
public:
    QDialog* open(QWidget*, const OpenPanelRequest&, Chosen chosen) override {
        chosen({});
        return nullptr;
    }
};

struct Harness {
    QTemporaryDir dir;
    std::shared_ptr<FakeAccessGrantBackend> backend = std::make_shared<FakeAccessGrantBackend>();
    SecurityScopedAccess grants{dir.filePath("store"), backend, false};
    Preferences preferences{dir.filePath("prefs.ini")};
    CommandCenter commands;
    NoPanel panel;
    FakeSoftwareUpdater* updater = nullptr;
    QList<QUrl> opened;
    std::shared_ptr<ReviewPrompt> prompt = std::make_shared<ReviewPrompt>(
        preferences, [] { return QDateTime::currentDateTimeUtc(); },
        [this](const QUrl& u) {
            opened.append(u);
            return true;
        });

    TarnwickApp::Options options(bool sandboxed = false, bool canReadMxf = false) {
        TarnwickApp::Options o;
        auto fake = std::make_unique<FakeSoftwareUpdater>();
        updater = fake.get();
        o.updater = std::move(fake);
        o.fontFolder = dir.filePath("fonts");
        o.grants = &grants;
        o.filePanel = &panel;
        o.commands = &commands;
        o.reviewPrompt = prompt;
        o.openURL = [this](const QUrl& u) {
            opened.append(u);
            return true;
        };
        o.sandboxed = sandboxed;
        o.mediaLibrariesCanReadMxf = [canReadMxf] { return canReadMxf; };
        return o;
    }
};

void processEventsFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace

TEST(TarnwickApp, RegistersFontsBeforeTheWindowThenLogsTheProVideoFormats) {
    Harness h;
    ASSERT_TRUE(QDir().mkpath(h.dir.filePath("fonts/sub")));
    for (const auto* name : {"a.ttf", "b.ttf", "c.ttf", "notes.txt", "sub/d.ttf"}) {
        QFile f(h.dir.filePath(QStringLiteral("fonts/") + QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    UiLogCapture log;
    TarnwickApp app(h.options());
    bool windowExistedAtFontLine = true;
    AppLog::setSink([&](const AppLog::Record& r) {
        log.lines.append(r.printed);
        if (r.message.contains(QStringLiteral("bundled font")))
            windowExistedAtFontLine = app.mainWindow() != nullptr;
    });
    app.launch();
    const QStringList expected{
        QStringLiteral("[General] ℹ️ Registered 3 bundled font file(s)"),
        QStringLiteral("[General] ℹ️ Registered Professional Video Workflow format readers "
                       "and decoders"),
        QStringLiteral("[General] ℹ️ Pro Video Formats installed: false")};
    // The grants store logs its own restore line in between.
    QStringList ours;
    for (const auto& line : log.lines) {
        if (line.contains(QStringLiteral("font")) || line.contains(QStringLiteral("Pro")))
            ours.append(line);
    }
    EXPECT_EQ(ours, expected);
    EXPECT_FALSE(windowExistedAtFontLine);
    EXPECT_EQ(h.updater->starts, 1);
}

TEST(TarnwickApp, LogsNothingAboutFontsWhenThereAreNone) {
    Harness h;
    UiLogCapture log;
    TarnwickApp app(h.options(false, true));
    app.launch();
    for (const auto& line : log.lines)
        EXPECT_FALSE(line.contains(QStringLiteral("font"))) << line.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("[General] ℹ️ Pro Video Formats installed: true")));
    EXPECT_TRUE(app.mainWindow()->isVisible());
}

TEST(TarnwickApp, SandboxedProcessCountsProVideoFormatsAsInstalled) {
    Harness h;
    UiLogCapture log;
    TarnwickApp app(h.options(true, false));
    app.launch();
    EXPECT_TRUE(log.contains(QStringLiteral("[General] ℹ️ Pro Video Formats installed: true")));
}

TEST(ProVideoFormats, MediaLibrariesReadMxf) {
    EXPECT_TRUE(mediaLibrariesCanReadMxf());
    EXPECT_TRUE(proVideoFormatsInstalled(true));
    EXPECT_EQ(proVideoFormatsInstalled(false), mediaLibrariesCanReadMxf());
}

TEST(TarnwickApp, RestoresSavedGrantsAtLaunch) {
    Harness h;
    const QString granted = h.dir.filePath("media");
    ASSERT_TRUE(QDir().mkpath(granted));
    ASSERT_TRUE(h.grants.grant(QUrl::fromLocalFile(granted)));
    h.grants.flush(); // as the first run's exit does
    // A fresh store over the same file, as at the next launch.
    auto backend = std::make_shared<FakeAccessGrantBackend>();
    SecurityScopedAccess nextLaunch(h.dir.filePath("store"), backend, false);
    auto options = h.options();
    options.grants = &nextLaunch;
    TarnwickApp app(std::move(options));
    EXPECT_TRUE(backend->started.isEmpty());
    app.launch();
    EXPECT_TRUE(backend->started.contains(SecurityScopedAccess::keyPath(granted)) ||
                backend->started.contains(granted));
}

TEST(TarnwickApp, LaunchShowsTheWindowBusyWhileItMergesWhatAKilledRunLeftThenApplies) {
    Harness h;
    const QString store = h.dir.filePath("records");
    AuditLogManager audit(store, nullptr);
    StatsManager stats(store);
    {
        // Killed right after removing the file, before its outcome line.
        RecordRun run(&audit.journal(), RecordKind::deletion, false);
        MediaFile gone;
        gone.path = h.dir.filePath("gone.mov");
        gone.size = 42;
        FileRecord record;
        record.entry = AuditLogEntry::make(AuditAction::deletedPermanently, gone, std::nullopt);
        record.target = gone.path;
        record.files = 1;
        record.bytes = 42;
        run.intend(record);
    }
    // The merge's look at the disk waits until the window has been seen busy.
    auto files = std::make_shared<tarnwick::testing::FaultInjectingFileOperations>();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic_bool atDisk{false};
    files->setBeforeEach(
        [&atDisk, released](tarnwick::testing::FaultInjectingFileOperations::Op, const QString&) {
            atDisk = true;
            released.wait();
        });
    auto options = h.options();
    options.recordFiles = files;
    options.makeManager = [&] {
        ProjectManagerServices services = ProjectManagerServices::shared();
        services.auditLog = &audit;
        services.statsManager = &stats;
        return std::make_unique<ProjectManager>(services);
    };
    TarnwickApp app(std::move(options));
    bool merged = false;
    QObject::connect(&app, &TarnwickApp::recordsMerged, [&] { merged = true; });
    app.launch();
    ProjectManager& manager = app.mainWindow()->contentView()->manager();
    EXPECT_TRUE(app.mainWindow()->isVisible());
    EXPECT_TRUE(app.isMergingRecords());
    EXPECT_TRUE(manager.isBusy());
    EXPECT_EQ(manager.busyReason(), QString::fromUtf8(startRecordsReason));
    while (!atDisk)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(manager.isBusy());
    EXPECT_EQ(stats.stats().filesDeleted, 0);
    release.set_value();
    while (!merged)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(app.isMergingRecords());
    EXPECT_FALSE(manager.isBusy());
    EXPECT_EQ(audit.count(), 1);
    EXPECT_EQ(stats.stats().filesDeleted, 1);
    EXPECT_EQ(stats.stats().spaceSavedBytes, 42);
}

TEST(TarnwickApp, CommandsReachTheWindowsHandlers) {
    Harness h;
    TarnwickApp app(h.options());
    app.launch();
    MainWindow* window = app.mainWindow();
    EXPECT_EQ(window->subscribedCommands(), allCommands());
    QList<QUrl> imported;
    int stats = 0;
    window->setCommandHandler(Command::openProjects,
                              [&](const CommandPost& p) { imported = std::get<OpenProjects>(p).urls; });
    window->setCommandHandler(Command::showStats, [&](const CommandPost&) { ++stats; });
    const QList<QUrl> urls{QUrl::fromLocalFile("/media/a.prproj")};
    h.commands.post(OpenProjects{urls});
    h.commands.post(Command::showStats);
    EXPECT_EQ(imported, urls);
    EXPECT_EQ(stats, 1);
}

TEST(TarnwickApp, TheMenuAndTheToolbarTriggerOneActionPerCommand) {
    Harness h;
    TarnwickApp app(h.options());
    app.launch();
    MainWindow* window = app.mainWindow();
    int stats = 0;
    window->setCommandHandler(Command::showStats, [&](const CommandPost&) { ++stats; });
    QAction* inMenu = nullptr;
    for (QAction* menu : window->menuBar()->actions()) {
        for (QAction* item : menu->menu()->actions()) {
            if (item->text() == QStringLiteral("All-Time Stats"))
                inMenu = item;
        }
    }
    ASSERT_NE(inMenu, nullptr);
    EXPECT_TRUE(window->contentView()->toolbar()->actions().contains(inMenu));
    EXPECT_TRUE(
        window->contentView()->toolbar()->actions().contains(window->contentView()->searchOfflineAction()));
    inMenu->trigger();
    EXPECT_EQ(stats, 1) << "the toolbar's button posts through the menu's route";
}

TEST(TarnwickApp, ReviewSheetFollowsThePromptAndDismissingClearsIt) {
    Harness h;
    // The prompt waits for the welcome guide like every presentation of the window.
    h.preferences.setValue(QStringLiteral("hasCompletedWelcome"), true);
    TarnwickApp::Options options = h.options();
    options.preferences = &h.preferences;
    TarnwickApp app(std::move(options));
    app.launch();
    h.prompt->setPresentationDelayMs(5);
    h.preferences.setValue(ReviewPrompt::successCountKey, 1);
    h.prompt->recordSuccess(AuditAction::movedToTrash);
    EXPECT_EQ(app.mainWindow()->reviewSheet(), nullptr);
    QElapsedTimer waited;
    waited.start();
    while (!h.prompt->isPresenting() && waited.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(h.prompt->isPresenting());
    // Shown by the window's presentations on their next look.
    EXPECT_TRUE(QTest::qWaitFor([&] { return app.mainWindow()->reviewSheet() != nullptr; }));
    ASSERT_NE(app.mainWindow()->reviewSheet(), nullptr);
    EXPECT_TRUE(app.mainWindow()->reviewSheet()->isVisible());
    app.mainWindow()->reviewSheet()->close();
    EXPECT_FALSE(h.prompt->isPresenting());
    processEventsFor(20);
    EXPECT_EQ(app.mainWindow()->reviewSheet(), nullptr);
}

TEST(TarnwickApp, UpdateResultIsShownOverTheWindow) {
    Harness h;
    TarnwickApp app(h.options());
    app.launch();
    UpdateCheckResult result;
    result.outcome = UpdateCheckResult::Outcome::updateAvailable;
    result.currentVersion = QStringLiteral("0.1.0");
    result.latestVersion = QStringLiteral("0.2.0");
    result.downloadPage = QUrl("https://tarnwick.app/download");
    Q_EMIT h.updater->checkFinished(result);
    const auto alerts = app.mainWindow()->findChildren<AlertDialog*>();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_TRUE(alerts[0]->isVisible());
    ASSERT_EQ(alerts[0]->buttons().size(), 2);
    alerts[0]->buttons()[0]->click();
    EXPECT_EQ(h.opened, QList<QUrl>{result.downloadPage});
}

TEST(TarnwickApp, TheWindowCarriesTheApplicationIcon) {
    Harness h;
    QApplication::setWindowIcon(QIcon());
    TarnwickApp app(h.options());
    app.launch();
    ASSERT_NE(app.mainWindow(), nullptr);
    const QIcon icon = app.mainWindow()->windowIcon();
    ASSERT_FALSE(icon.isNull());
    // The icon's own picture, not a blank or a platform stand-in: its violet tile is there.
    const QImage image = icon.pixmap(64, 64).toImage();
    EXPECT_EQ(image.size(), QSize(64, 64));
    EXPECT_NEAR(image.pixelColor(22, 32).red(), 0x8C, 24);
    EXPECT_NEAR(image.pixelColor(22, 32).blue(), 0xD6, 24);
}

// No thread the window's work starts is left with a name nobody chose (the one it inherits from
// the thread that made it, or Qt's for an unnamed pool or thread): sampled while the window imports
// a library of stills, shows it as cards, as the map and as the table, stages what is unused and
// checks the files again.
TEST(TarnwickApp, EveryThreadOfTheWindowsWorkCarriesAName) {
    settleQtGlobalPool(); // as the program does at start
    Harness h;
    QStringList stills;
    for (int i = 0; i < 60; ++i) {
        stills.append(h.dir.filePath(QStringLiteral("media/Day %1/still %2.png").arg(i % 3).arg(i)));
        QDir().mkpath(QFileInfo(stills.last()).path());
        QImage image(64, 36, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 6, 200, 200));
        ASSERT_TRUE(image.save(stills.last()));
    }
    tarnwick::testing::ProjectGeneratorOptions project;
    project.mediaPaths = stills;
    const QString projectPath = h.dir.filePath(QStringLiteral("Stills.prproj"));
    ASSERT_TRUE(tarnwick::testing::ProjectGenerator::writeProject(
        projectPath, tarnwick::testing::ProjectGenerator::generate(project).xml));

    tarnwick::testing::ThreadNameSampler sampler;
    TarnwickApp app(h.options());
    app.launch();
    ContentView& view = *app.mainWindow()->contentView();
    ProjectManager& manager = view.manager();
    h.commands.post(OpenProjects{{QUrl::fromLocalFile(projectPath)}});
    const auto settled = [&] { return !manager.isBusy() && !manager.progress().isAnalyzing; };
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.projects().size() == 1 && settled(); }, 300000));
    for (const DetailViewMode mode : {DetailViewMode::cards, DetailViewMode::map, DetailViewMode::table}) {
        view.setDetailViewMode(mode);
        processEventsFor(300);
    }
    for (const Command command : {Command::addAllUnused, Command::refreshFileStatus}) {
        h.commands.post(command);
        ASSERT_TRUE(QTest::qWaitFor(settled, 300000));
    }
    processEventsFor(300);
    sampler.stop();
    EXPECT_TRUE(sampler.unnamed().isEmpty()) << sampler.unnamed().join(", ").toStdString() << "; seen "
                                             << QStringList(sampler.seen().values()).join(", ").toStdString();
    QStringList seen = sampler.seen().values();
    seen.sort();
    std::printf("threads seen: %s\n", qPrintable(seen.join(QStringLiteral(", "))));
}

// Runs last: it lets the application's event loop end by closing the only window.
TEST(TarnwickAppSmoke, StartsWithWindowAndMenusAndQuitsWhenTheWindowCloses) {
    Harness h;
    TarnwickApp app(h.options());
    app.launch();
    MainWindow* window = app.mainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tarnwick"));
    // Never smaller than the preferred least size, or what the screen leaves of it.
    ASSERT_NE(window->screen(), nullptr);
    const QSize least = window->minimumSize();
    const QRect available = window->screen()->availableGeometry();
    EXPECT_GE(least.width(), std::min(1280, available.width() - 40));
    EXPECT_LE(least.width(), std::min(1280, available.width()));
    EXPECT_LE(least.height(), std::min(700, available.height()));
    window->resize(400, 300);
    EXPECT_EQ(window->size(), window->minimumSize());
    // The application's factories make the sidebar like every other pane.
    EXPECT_NE(window->contentView()->sidebar(), nullptr);

    QStringList menus;
    for (QAction* menu : window->menuBar()->actions())
        menus.append(menu->text());
    EXPECT_EQ(menus, (QStringList{"&Tarnwick", "&File", "&View", "&Sweep", "&Help"}));
    EXPECT_EQ(window->menuBar()->actions()[1]->menu()->actions().first()->text(),
              QStringLiteral("Open Projects..."));
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());

    bool lastWindowClosed = false;
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, [&] { lastWindowClosed = true; });
    QTimer::singleShot(0, window, &QWidget::close);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    guard.start(10000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(lastWindowClosed);
}
