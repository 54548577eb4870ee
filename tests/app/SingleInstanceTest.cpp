// One window per user, with real processes: the test binary starts itself as the first window.
#include "app/SingleInstance.h"

#include "analysis/ProjectManager.h"
#include "app/TarnwickApp.h"
#include "platform/Preferences.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordRun.h"
#include "stores/SecurityScopedAccess.h"
#include "stores/StatsManager.h"
#include "support/ChildMarkers.h"
#include "support/ChildTemporaries.h"
#include "support/FakeAccessGrantBackend.h"
#include "support/FakeSoftwareUpdater.h"
#include "support/FaultInjectingFileOperations.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/FilePanel.h"
#include "ui/common/ReviewPrompt.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace tarnwick;
using tarnwick::testing::ChildMarkers;

namespace {

constexpr char readyMarker[] = "SINGLE-INSTANCE-READY";

QString logOf(const QString& folder, const char* test) {
    return folder + QLatin1Char('/') + QLatin1String(test) + QStringLiteral(".log");
}

// A child of this binary running `test` with `variable` set to `folder`. When given `markers`, it
// says them there and its log goes to `folder`/`test`.log; without, its output is merged.
void startChild(QProcess& child, const char* test, const char* variable, const QString& folder,
                ChildMarkers* markers = nullptr) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(variable, folder);
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    tarnwick::testing::keepChildTemporariesIn(env, folder);
    if (markers) {
        markers->prepare(child, env);
        tarnwick::testing::logChildTo(child, logOf(folder, test));
    } else {
        child.setProcessChannelMode(QProcess::MergedChannels);
    }
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + test});
    if (markers && child.waitForStarted())
        markers->started();
}

// Starts the child window on `folder`; returns once it holds the lock and listens.
void startFirst(QProcess& child, ChildMarkers& markers, const QString& folder) {
    startChild(child, "SingleInstanceChild.Run", "TARNWICK_SINGLE_INSTANCE_CHILD", folder, &markers);
    ASSERT_TRUE(markers.waitFor(readyMarker))
        << tarnwick::testing::childLog(logOf(folder, "SingleInstanceChild.Run"));
}

class NoPanel : public FilePanel {
public:
    QDialog* open(QWidget*, const OpenPanelRequest&, Chosen chosen) override {
        chosen({});
        return nullptr;
    }
};

} // namespace

// The first window of the app, started as main() starts it, with a killed run's records to merge:
// the merge's look at the disk waits for a line on standard input.
TEST(SingleInstanceChild, RunMergingApp) {
    const QString folder = qEnvironmentVariable("TARNWICK_SINGLE_INSTANCE_MERGING");
    if (folder.isEmpty())
        GTEST_SKIP() << "started by SingleInstance tests only";
    SingleInstance instance(folder);
    ASSERT_EQ(instance.start({}), SingleInstance::Role::primary);
    const QString store = folder + QStringLiteral("/records");
    AuditLogManager audit(store, nullptr);
    StatsManager stats(store);
    {
        RecordRun run(&audit.journal(), RecordKind::deletion, false);
        FileRecord record;
        MediaFile gone;
        gone.path = folder + QStringLiteral("/gone.mov");
        record.entry = AuditLogEntry::make(AuditAction::deletedPermanently, gone, std::nullopt);
        record.target = gone.path;
        record.files = 1;
        run.intend(record);
    }
    auto files = std::make_shared<tarnwick::testing::FaultInjectingFileOperations>();
    files->setBeforeEach([](tarnwick::testing::FaultInjectingFileOperations::Op, const QString&) {
        static std::once_flag waited;
        std::call_once(waited, [] {
            ChildMarkers::say("MERGE-WAITING");
            char line[16];
            (void)std::fgets(line, sizeof line, stdin);
        });
    });
    Preferences preferences(folder + QStringLiteral("/prefs.ini"));
    SecurityScopedAccess grants(folder + QStringLiteral("/grants"),
                                std::make_shared<FakeAccessGrantBackend>(), false);
    CommandCenter commands;
    NoPanel panel;
    TarnwickApp::Options options;
    options.updater = std::make_unique<FakeSoftwareUpdater>();
    options.fontFolder = folder + QStringLiteral("/fonts");
    options.grants = &grants;
    options.filePanel = &panel;
    options.commands = &commands;
    options.preferences = &preferences;
    options.openURL = [](const QUrl&) { return true; };
    options.reviewPrompt = std::make_shared<ReviewPrompt>(
        preferences, [] { return QDateTime::currentDateTimeUtc(); }, options.openURL);
    options.recordFiles = files;
    options.makeManager = [&] {
        ProjectManagerServices services = ProjectManagerServices::shared();
        services.auditLog = &audit;
        services.statsManager = &stats;
        return std::make_unique<ProjectManager>(services);
    };
    TarnwickApp app(std::move(options));
    app.launch();
    QObject::connect(&instance, &SingleInstance::projectsReceived, [&app](const QStringList& paths) {
        ChildMarkers::say("RECEIVED " + paths.join(QLatin1Char('|')).toUtf8() +
                          " (merging: " + QByteArray::number(int(app.isMergingRecords())) + ")");
    });
    QObject::connect(&app, &TarnwickApp::recordsMerged, [&audit] {
        ChildMarkers::say("MERGED " + QByteArray::number(static_cast<long long>(audit.count())));
        QCoreApplication::quit();
    });
    ChildMarkers::say(readyMarker);
    QTimer::singleShot(120000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
}

// A later start of the app: passes when the running window took its projects.
TEST(SingleInstanceChild, HandOver) {
    const QString folder = qEnvironmentVariable("TARNWICK_SINGLE_INSTANCE_SECOND");
    if (folder.isEmpty())
        GTEST_SKIP() << "started by SingleInstance tests only";
    SingleInstance instance(folder);
    EXPECT_EQ(instance.start({folder + QStringLiteral("/Day 1/Édit ★.prproj")}),
              SingleInstance::Role::handedOver);
}

// The first window: prints what a later start hands it, then ends.
TEST(SingleInstanceChild, Run) {
    const QString folder = qEnvironmentVariable("TARNWICK_SINGLE_INSTANCE_CHILD");
    if (folder.isEmpty())
        GTEST_SKIP() << "started by SingleInstance tests only";
    SingleInstance instance(folder);
    ASSERT_EQ(instance.start({}), SingleInstance::Role::primary);
    QObject::connect(&instance, &SingleInstance::projectsReceived, [](const QStringList& paths) {
        ChildMarkers::say("RECEIVED " + paths.join(QLatin1Char('|')).toUtf8());
        QCoreApplication::quit();
    });
    ChildMarkers::say(readyMarker);
    QTimer::singleShot(60000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
}

TEST(SingleInstance, ASecondStartHandsItsProjectsToTheFirstAndEnds) {
    QTemporaryDir dir;
    QProcess first;
    ChildMarkers markers;
    startFirst(first, markers, dir.path());
    const QStringList projects{dir.filePath(QStringLiteral("Day 1/Édit ★.prproj")),
                               dir.filePath(QStringLiteral("b.aep"))};
    SingleInstance second(dir.path());
    EXPECT_EQ(second.start(projects), SingleInstance::Role::handedOver);
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_TRUE(markers.waitFor("RECEIVED " + projects.join(QLatin1Char('|')).toUtf8()))
        << tarnwick::testing::childLog(logOf(dir.path(), "SingleInstanceChild.Run"));
}

TEST(SingleInstance, ALockWhoseHolderIsGoneIsTakenOver) {
    QTemporaryDir dir;
    QProcess first;
    ChildMarkers markers;
    startFirst(first, markers, dir.path());
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(30000));
    SingleInstance next(dir.path());
    EXPECT_EQ(next.start({}, 2000), SingleInstance::Role::primary);
    // And it listens in its turn.
    QStringList received;
    QObject::connect(&next, &SingleInstance::projectsReceived,
                     [&](const QStringList& paths) { received = paths; });
    // The third start waits in a thread of its own while this one turns its event loop.
    std::atomic<int> role{-1};
    std::thread start([&] {
        SingleInstance other(dir.path());
        role = int(other.start({QStringLiteral("/p.prproj")}, 20000));
    });
    while (role.load() < 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    start.join();
    ASSERT_EQ(role.load(), int(SingleInstance::Role::handedOver));
    // Answered at once; the projects reach the window's thread on its next turn.
    while (received.isEmpty())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(received, QStringList{QStringLiteral("/p.prproj")});
}

TEST(SingleInstance, ASecondStartIsAnsweredAtOnceWhileTheFirstMergesAKilledRun) {
    QTemporaryDir dir;
    QProcess first;
    ChildMarkers markers;
    startChild(first, "SingleInstanceChild.RunMergingApp", "TARNWICK_SINGLE_INSTANCE_MERGING", dir.path(),
               &markers);
    ASSERT_TRUE(first.waitForStarted());
    const QString log = logOf(dir.path(), "SingleInstanceChild.RunMergingApp");
    ASSERT_TRUE(markers.waitFor("MERGE-WAITING")) << tarnwick::testing::childLog(log);
    // The merge holds on: the second start ends at once, handed over, and the first has the projects.
    QProcess second;
    startChild(second, "SingleInstanceChild.HandOver", "TARNWICK_SINGLE_INSTANCE_SECOND", dir.path());
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAll().toStdString();
    const QByteArray received =
        "RECEIVED " + dir.filePath(QStringLiteral("Day 1/Édit ★.prproj")).toUtf8() + " (merging: 1)";
    EXPECT_TRUE(markers.waitFor(received)) << tarnwick::testing::childLog(log);
    // Then the merge goes on and applies the run.
    first.write("go\n");
    ASSERT_TRUE(first.waitForBytesWritten(30000));
    EXPECT_TRUE(markers.waitFor("MERGED 1")) << tarnwick::testing::childLog(log);
    EXPECT_TRUE(first.waitForFinished(60000));
}
