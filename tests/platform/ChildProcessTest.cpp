#include "platform/ChildProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tarnwick;
using namespace std::chrono_literals;

namespace {

ChildExit shell(const QString& script, QByteArray* out = nullptr, QByteArray* err = nullptr,
                int timeoutMs = -1) {
    ChildProcess child;
    return child.run(
        QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script},
        [&](const char* d, qsizetype n) {
            if (out)
                out->append(d, n);
        },
        [&](const char* d, qsizetype n) {
            if (err)
                err->append(d, n);
        },
        timeoutMs);
}

} // namespace

TEST(ChildProcess, ArgumentsAreNeverParsedByAShell) {
    QByteArray out;
    ChildProcess child;
    const ChildExit exit = child.run(QStringLiteral("/bin/echo"), {QStringLiteral("a b; $(touch x) 'c'")},
                                     [&](const char* d, qsizetype n) { out.append(d, n); }, {});
    EXPECT_TRUE(exit.succeeded());
    EXPECT_EQ(out, QByteArray("a b; $(touch x) 'c'\n"));
}

TEST(ChildProcess, SeparatesStreamsAndReadsLargeOutputWhileRunning) {
    QByteArray out, err;
    // More than a pipe holds on both streams: the child would block if either went unread.
    const ChildExit exit =
        shell(QStringLiteral("head -c 300000 /dev/zero; head -c 200000 /dev/zero >&2; exit 0"), &out, &err);
    EXPECT_TRUE(exit.succeeded());
    EXPECT_EQ(out.size(), 300000);
    EXPECT_EQ(err.size(), 200000);
}

TEST(ChildProcess, StandardInputIsNull) {
    QByteArray out;
    EXPECT_TRUE(shell(QStringLiteral("cat; echo end"), &out).succeeded());
    EXPECT_EQ(out, QByteArray("end\n"));
}

TEST(ChildProcess, OnlyExitZeroSucceeds) {
    ChildExit exit = shell(QStringLiteral("exit 3"));
    EXPECT_EQ(exit.kind, ChildExit::Kind::exited);
    EXPECT_EQ(exit.code, 3);
    EXPECT_FALSE(exit.succeeded());
    exit = shell(QStringLiteral("kill -TERM $$"));
    EXPECT_EQ(exit.kind, ChildExit::Kind::signalled);
    EXPECT_EQ(exit.code, SIGTERM);
    EXPECT_FALSE(exit.succeeded());
}

TEST(ChildProcess, MissingProgramFailsToStart) {
    ChildProcess child;
    const ChildExit exit = child.run(QStringLiteral("/nonexistent/tool"), {}, {}, {});
    EXPECT_EQ(exit.kind, ChildExit::Kind::failedToStart);
    EXPECT_FALSE(exit.startError.isEmpty());
}

TEST(ChildProcess, TimeoutKillsTheChild) {
    const ChildExit exit = shell(QStringLiteral("exec sleep 60"), nullptr, nullptr, 50);
    EXPECT_EQ(exit.kind, ChildExit::Kind::timedOut);
    EXPECT_FALSE(exit.succeeded());
}

TEST(ChildProcess, TerminateFromAnotherThreadEndsTheWait) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("gate"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ChildProcess child;
    ASSERT_TRUE(child.start(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), QStringLiteral("echo up > '%1'; sleep 60").arg(fifo)}));
    std::thread killer([&] {
        QFile gate(fifo);
        if (gate.open(QIODevice::ReadOnly))
            gate.readLine();
        child.terminate(SIGKILL);
    });
    // The shell dies; its sleep keeps the pipes open, and the wait still ends.
    const ChildExit exit = child.waitForExit({}, {});
    killer.join();
    EXPECT_EQ(exit.kind, ChildExit::Kind::signalled);
    EXPECT_EQ(exit.code, SIGKILL);
    // Reaped: the id may be reused by now, so nothing is signalled any more.
    EXPECT_FALSE(child.terminate(SIGKILL));
}

TEST(ChildProcess, TerminateBeforeStartDoesNothing) {
    ChildProcess child;
    EXPECT_FALSE(child.terminate());
}

TEST(ChildProcess, InheritedDescriptorIsTheCallersFileAlsoWhenOpenedByItsProcPath) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("out")));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ChildProcess child;
    child.inheritDescriptor(fd, 3);
    // Opening /proc/self/fd/3 again (as a program given it as a file name does) reaches the same file.
    const ChildExit exit = child.run(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("echo two >&3; echo one >> /proc/self/fd/3")}, {}, {});
    EXPECT_TRUE(exit.succeeded());
    QFile file(QFile::decodeName(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("two\none\n"));
    ::close(fd);
}

TEST(RunChild, CapturesTheAskedStreamToItsEndAndDropsTheOther) {
    const QString chatty = QStringLiteral("i=0; while [ $i -lt 20000 ]; do echo line$i; i=$((i+1)); done; "
                                          "echo to-stderr >&2; exit 3");
    const ChildResult out = runChild(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), chatty},
                                     ChildCapture::standardOutput, 60s);
    EXPECT_TRUE(out.started);
    EXPECT_EQ(out.exitCode, 3);
    EXPECT_TRUE(out.output.endsWith("line19999\n"));
    EXPECT_FALSE(out.output.contains("to-stderr"));
    const ChildResult err =
        runChild(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), chatty}, ChildCapture::standardError, 60s);
    EXPECT_EQ(err.output, QByteArray("to-stderr\n"));
    EXPECT_FALSE(runChild(QStringLiteral("/nonexistent/ffmpeg"), {}, ChildCapture::nothing, 5s).started);
}

// A child hanging on a dead share used to hold up every later preview for the session.
TEST(RunChild, HangingChildIsKilledAtItsTimeLimit) {
    const ChildResult result =
        runChild(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec sleep 600")},
                 ChildCapture::standardOutput, 200ms);
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.timedOut);
}

// The app half of the test below: starts a long child from a thread that ends at once, says
// which, and waits to be killed. It does nothing unless that test started it.
TEST(ChildProcessApp, StartsAChildFromAThreadThatEnds) {
    if (!qEnvironmentVariableIsSet("TARNWICK_CHILD_APP"))
        GTEST_SKIP() << "run by ChildProcess.ChildrenDieWithTheApp only";
    ChildProcess child;
    std::thread([&] { child.start(QStringLiteral("/bin/sleep"), {QStringLiteral("600")}); }).join();
    std::printf("child %d\n", int(child.pid()));
    std::fflush(stdout);
    child.waitForExit({}, {});
}

// ffmpeg used to outlive a killed app and finish its whole encode.
TEST(ChildProcess, ChildrenDieWithTheApp) {
    // Orphans of the app become this process's children, so their end can be waited for.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    qputenv("TARNWICK_CHILD_APP", "1");
    ChildProcess app;
    QByteArray line;
    pid_t grandchild = -1;
    int pidfd = -1;
    bool diedEarly = false;
    app.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_filter=ChildProcessApp.StartsAChildFromAThreadThatEnds")});
    qunsetenv("TARNWICK_CHILD_APP");
    app.waitForExit(
        [&](const char* d, qsizetype n) {
            line.append(d, n);
            const qsizetype at = line.indexOf("child ");
            if (grandchild > 0 || at < 0 || line.indexOf('\n', at) < 0)
                return;
            grandchild = pid_t(line.mid(at + 6, line.indexOf('\n', at) - at - 6).toInt());
            pidfd = int(::syscall(SYS_pidfd_open, grandchild, 0));
            // The thread that started it has ended: the child must still run.
            pollfd p{pidfd, POLLIN, 0};
            diedEarly = ::poll(&p, 1, 500) != 0;
            app.terminate(SIGKILL);
        },
        {});
    ASSERT_GT(grandchild, 0) << line.constData();
    ASSERT_GE(pidfd, 0);
    EXPECT_FALSE(diedEarly) << "the child died with the thread that started it";
    pollfd p{pidfd, POLLIN, 0};
    const bool ended = ::poll(&p, 1, 60'000) == 1;
    EXPECT_TRUE(ended) << "the child outlived the app";
    if (!ended)
        ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PIDFD, id_t(pidfd), &info, WEXITED), 0);
    EXPECT_EQ(info.si_code, CLD_KILLED);
    ::close(pidfd);
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
}
