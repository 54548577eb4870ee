#include "platform/ChildProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <thread>

using namespace tarnwick;

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
