#include "analysis/DuplicateDetectionCore.h"
#include "analysis/FileStatusChecker.h"
#include "analysis/FileStatusScan.h"

#include "support/DiskFactsFakeMountTable.h"
#include "support/DiskFactsLogCapture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>

using namespace tarnwick;
using namespace std::chrono_literals;
namespace core = tarnwick::DuplicateDetectionCore;

namespace {

constexpr const char* childSwitch = "TARNWICK_EXIT_WHILE_HUNG_CHILD";

// The share that stopped answering, and answers again only while the process is quitting: after
// main's statics are gone. Leaked on purpose: the workers it holds outlive every static.
struct Share {
    std::mutex mutex;
    std::condition_variable cv;
    bool answering = false;
    int stuck = 0;
    int answered = 0;

    void waitForAnswer() {
        std::unique_lock lock(mutex);
        ++stuck;
        cv.notify_all();
        cv.wait(lock, [this] { return answering; });
    }
    void done() {
        std::lock_guard lock(mutex);
        ++answered;
        cv.notify_all();
    }
};

Share* share = nullptr;

// Registered before anything the workers use is made, so it runs after all of that was destroyed.
void answerAgainAtExit() {
    std::unique_lock lock(share->mutex);
    share->answering = true;
    share->cv.notify_all();
    share->cv.wait_for(lock, 30s, [] { return share->answered == share->stuck; });
}

class HangingChecker : public FileStatusChecking {
public:
    FileStatusResult makeFileStatusResult(const QString& path, const RelativeCandidates& candidates,
                                          const Options& options) const override {
        share->waitForAnswer();
        FileStatusResult result = FileStatusChecker().makeFileStatusResult(path, candidates, options);
        share->done();
        return result;
    }
};

} // namespace

// Runs only as the child of the test below: quits while a status check and a hash are stuck.
TEST(ExitWhileAWorkerHangs, Child) {
    if (!qEnvironmentVariableIsSet(childSwitch))
        GTEST_SKIP() << "runs as a child process only";
    static Share leaked; // never destroyed before the exit handler: statics die in reverse order
    share = &leaked;
    std::atexit(answerAgainAtExit);

    // The parent's folder: this process ends without unwinding, so it removes nothing itself.
    const QDir dir(qEnvironmentVariable(childSwitch));
    const QString clip = dir.filePath(QStringLiteral("clip.mov"));
    const QString copy = dir.filePath(QStringLiteral("copy.mov"));
    for (const QString& path : {clip, copy}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(3 << 20, 'c'));
    }

    test::DiskFactsLogCapture quiet;
    FileStatusChecking::Options options;
    options.mountTable = test::fakeMountTable(QStringLiteral("/"), QStringLiteral("ext4"));
    FileStatusScan scan(std::make_shared<HangingChecker>(), 100ms);
    ASSERT_EQ(scan.checkAll({clip}, {}, options).size(), 1);

    core::Settings settings;
    settings.watchdogTimeout = 100ms;
    settings.sampledHasher = [](const core::File& f, const core::Touch& touch) {
        if (f.index == 0)
            share->waitForAnswer();
        auto digest = core::sampledHash(f.path, f.size, touch);
        if (f.index == 0)
            share->done();
        return digest;
    };
    // Everything hashing uses is set up before the quit (and torn down at exit).
    ASSERT_TRUE(core::sampledHash(copy, 3 << 20).has_value());
    const core::Result result = core::detect({{0, clip, 3 << 20, true}, {1, copy, 3 << 20, true}}, settings);
    ASSERT_TRUE(result.unansweredIndices.contains(0));
    std::exit(0);
}

TEST(ExitWhileAWorkerHangs, QuitsCleanlyWhileAStuckWorkerAnswersDuringTheExit) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QTemporaryDir dir;
    environment.insert(QString::fromLatin1(childSwitch), dir.path());
    child.setProcessEnvironment(environment);
    child.start(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget(),
                {QStringLiteral("--gtest_filter=ExitWhileAWorkerHangs.Child")});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString output =
        QString::fromLocal8Bit(child.readAllStandardOutput() + child.readAllStandardError());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("Sanitizer"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[ RUN      ] ExitWhileAWorkerHangs.Child")))
        << output.toStdString();
}
