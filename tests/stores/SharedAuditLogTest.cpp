// The shared audit log outlives the program's end: the start's merge reads it on a worker that
// the program does not wait for when the window closes.
#include "platform/ThreadNames.h"
#include "stores/AuditLogManager.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

using namespace tarnwick;

namespace {

// Made before the shared log, so destroyed after it would be: lets the reader read once more then.
struct ReadAfterTheEnd {
    std::atomic_bool ended{false};
    std::atomic_bool readAfter{false};
    ~ReadAfterTheEnd() {
        ended = true;
        for (int i = 0; i < 10000 && !readAfter; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

} // namespace

// The child: a worker reads the shared log over and over while the program ends.
TEST(SharedAuditLogChild, ReadsWhileTheProgramEnds) {
    if (!qEnvironmentVariableIsSet("TARNWICK_SHARED_LOG_CHILD"))
        GTEST_SKIP() << "started by SharedAuditLog only";
    static ReadAfterTheEnd gate;
    AuditLogManager& log = AuditLogManager::shared();
    std::thread([&log] {
        nameCurrentThread("LateReader");
        for (;;) {
            const bool last = gate.ended;
            (void)log.journal().files();
            if (last) {
                gate.readAfter = true;
                return;
            }
        }
    }).detach();
    std::exit(0);
}

TEST(SharedAuditLog, AWorkerMayStillReadItWhileTheProgramEnds) {
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TARNWICK_SHARED_LOG_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    // The reader still runs at the end on purpose; a read of freed memory aborts.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0:abort_on_error=1"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=SharedAuditLogChild.ReadsWhileTheProgramEnds")});
    ASSERT_TRUE(child.waitForFinished(120000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << child.readAllStandardError().toStdString();
    EXPECT_EQ(child.exitCode(), 0);
}
