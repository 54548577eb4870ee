// One window per user, with real processes: the test binary starts itself as the first window.
#include "app/SingleInstance.h"

#include "support/ChildTemporaries.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

using namespace tarnwick;

namespace {

constexpr char readyMarker[] = "SINGLE-INSTANCE-READY";

// Starts the child window on `folder`; returns once it holds the lock and listens.
void startFirst(QProcess& child, const QString& folder) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TARNWICK_SINGLE_INSTANCE_CHILD", folder);
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    tarnwick::testing::keepChildTemporariesIn(env, folder);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=SingleInstanceChild.Run"});
    ASSERT_TRUE(child.waitForStarted());
    QByteArray output;
    while (!output.contains(readyMarker)) {
        ASSERT_TRUE(child.waitForReadyRead(30000)) << output.toStdString();
        output += child.readAll();
    }
}

} // namespace

// The first window: prints what a later start hands it, then ends.
TEST(SingleInstanceChild, Run) {
    const QString folder = qEnvironmentVariable("TARNWICK_SINGLE_INSTANCE_CHILD");
    if (folder.isEmpty())
        GTEST_SKIP() << "started by SingleInstance tests only";
    SingleInstance instance(folder);
    ASSERT_EQ(instance.start({}), SingleInstance::Role::primary);
    QObject::connect(&instance, &SingleInstance::projectsReceived, [](const QStringList& paths) {
        std::printf("RECEIVED %s\n", paths.join(QLatin1Char('|')).toUtf8().constData());
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    std::printf("%s\n", readyMarker);
    std::fflush(stdout);
    QTimer::singleShot(60000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
}

TEST(SingleInstance, ASecondStartHandsItsProjectsToTheFirstAndEnds) {
    QTemporaryDir dir;
    QProcess first;
    startFirst(first, dir.path());
    const QStringList projects{dir.filePath(QStringLiteral("Day 1/Édit ★.prproj")),
                               dir.filePath(QStringLiteral("b.aep"))};
    SingleInstance second(dir.path());
    EXPECT_EQ(second.start(projects), SingleInstance::Role::handedOver);
    ASSERT_TRUE(first.waitForFinished(30000));
    const QByteArray output = first.readAll();
    EXPECT_TRUE(output.contains(QByteArray("RECEIVED " + projects.join(QLatin1Char('|')).toUtf8())))
        << output.toStdString();
}

TEST(SingleInstance, ALockWhoseHolderIsGoneIsTakenOver) {
    QTemporaryDir dir;
    QProcess first;
    startFirst(first, dir.path());
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(30000));
    SingleInstance next(dir.path());
    EXPECT_EQ(next.start({}, 2000), SingleInstance::Role::primary);
    // And it listens in its turn.
    QStringList received;
    QObject::connect(&next, &SingleInstance::projectsReceived,
                     [&](const QStringList& paths) { received = paths; });
    // The first window answers from its event loop: the third start waits in a thread of its own.
    std::atomic<int> role{-1};
    std::thread start([&] {
        SingleInstance other(dir.path());
        role = int(other.start({QStringLiteral("/p.prproj")}, 20000));
    });
    while (role.load() < 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    start.join();
    EXPECT_EQ(role.load(), int(SingleInstance::Role::handedOver));
    EXPECT_EQ(received, QStringList{QStringLiteral("/p.prproj")});
}
