#include "platform/ImmortalPool.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarnwick;

namespace {

constexpr const char* childSwitch = "TARNWICK_IMMORTAL_POOL_CHILD";

} // namespace

TEST(ImmortalPool, TakesItsNameAndWidthAndEndsIdleThreadsSoonUnlessToldOtherwise) {
    static ImmortalPool plain("Plain", 3);
    static ImmortalPool expiring("Expiring", 1, std::chrono::milliseconds(1500));
    EXPECT_EQ(plain.get().objectName(), QStringLiteral("Plain"));
    EXPECT_EQ(plain.get().maxThreadCount(), 3);
    EXPECT_EQ(plain.get().expiryTimeout(), idleThreadExpiryMs);
    EXPECT_EQ(expiring.get().expiryTimeout(), 1500);
}

// Runs only as the child of the test below: quits while a worker waits in open() on a FIFO that
// no one ever writes, as a read on a share that stopped answering would.
TEST(ImmortalPool, Child) {
    if (!qEnvironmentVariableIsSet(childSwitch))
        GTEST_SKIP() << "runs as a child process only";
    const QByteArray fifo =
        QDir(qEnvironmentVariable(childSwitch)).filePath(QStringLiteral("share")).toLocal8Bit();
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    static ImmortalPool pool("Stuck", 1);
    static std::atomic_bool entered = false;
    pool.get().start([fifo] {
        entered = true;
        const int fd = ::open(fifo.constData(), O_RDONLY);
        if (fd >= 0)
            ::close(fd);
    });
    while (!entered)
        std::this_thread::yield();
    std::exit(0); // runs every static destructor while the worker is still stuck
}

TEST(ImmortalPool, TheProcessExitsWhileAWorkerIsStuckInAFileCall) {
    QTemporaryDir dir;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(childSwitch), dir.path());
    child.setProcessEnvironment(environment);
    child.start(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget(),
                {QStringLiteral("--gtest_filter=ImmortalPool.Child")});
    ASSERT_TRUE(child.waitForFinished(120000)) << "the exit waited for the stuck worker";
    const QString output =
        QString::fromLocal8Bit(child.readAllStandardOutput() + child.readAllStandardError());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("Sanitizer"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[ RUN      ] ImmortalPool.Child"))) << output.toStdString();
}
