#include "analysis/DuplicateDetectionCore.h"

#include "platform/Sha256.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <sys/stat.h>

using namespace tarnwick;
using namespace std::chrono_literals;
namespace core = tarnwick::DuplicateDetectionCore;

namespace {

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

QString sha(const QByteArray& bytes) {
    Sha256 s;
    s.update(bytes.constData(), std::size_t(bytes.size()));
    return Sha256::hexString(s.finish());
}

// A known media path later replaced by an endless stream: a link to /dev/zero, or a pipe someone
// keeps writing to (the test holds its write end open, so a blocking read would wait forever).
class EndlessStreams : public ::testing::Test {
protected:
    void SetUp() override {
        m_zero = m_dir.filePath(QStringLiteral("zero.mov"));
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), m_zero));
        m_fifo = m_dir.filePath(QStringLiteral("pipe.mov"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(m_fifo).constData(), 0600), 0);
        m_writer.setFileName(m_fifo);
        ASSERT_TRUE(m_writer.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        m_writer.write(QByteArray(4096, 'x'));
    }

    QTemporaryDir m_dir;
    QString m_zero;
    QString m_fifo;
    QFile m_writer;
};

TEST_F(EndlessStreams, AreNotHashed) {
    for (const QString& path : {m_zero, m_fifo}) {
        EXPECT_EQ(core::fullHash(path, {}, nullptr, false, 3 << 20), std::nullopt) << path.toStdString();
        EXPECT_EQ(core::fullHash(path), std::nullopt) << path.toStdString();
        EXPECT_EQ(core::sampledHash(path, 3 << 20), std::nullopt) << path.toStdString();
    }
}

TEST_F(EndlessStreams, NeverPairWithARealFileOfTheSameRecordedSize) {
    const QByteArray zeros(3 << 20, '\0');
    const QList<core::File> files = {
        {0, write(m_dir, QStringLiteral("real.mov"), zeros), zeros.size(), false},
        {1, m_zero, zeros.size(), false},
        {2, m_fifo, zeros.size(), false}};
    core::Settings settings;
    settings.processorCount = 4;
    const core::Result result = core::detect(files, settings);
    EXPECT_TRUE(result.duplicateOfByIndex.isEmpty());
    EXPECT_FALSE(result.hashByIndex.contains(1));
    EXPECT_FALSE(result.hashByIndex.contains(2));
}

TEST(DuplicateHashing, ReadsAtMostTheRecordedSize) {
    QTemporaryDir dir;
    const QByteArray bytes(5 * core::fullBlock + 17, 'k');
    const QString path = write(dir, QStringLiteral("clip.mov"), bytes);
    std::atomic<qint64> read{0};
    EXPECT_EQ(core::fullHash(path, {}, &read, false, bytes.size())->text, sha(bytes));
    EXPECT_EQ(read.load(), bytes.size());
    // Grown since it was recorded (a recording still running): its digest would match nothing.
    EXPECT_EQ(core::fullHash(path, {}, nullptr, false, bytes.size() - 1), std::nullopt);
    EXPECT_EQ(core::fullHash(path, {}, nullptr, false, 4 * core::fullBlock), std::nullopt);
    // Shrunk since: what is there is hashed.
    EXPECT_EQ(core::fullHash(path, {}, nullptr, false, bytes.size() + 100)->text, sha(bytes));
}

// A stream that keeps answering restarts the watchdog at every block; past the read's budget the
// watchdog must give up on it all the same.
TEST(DuplicateHashing, AReadThatNeverEndsIsAbandonedAfterItsBudget) {
    struct Stream {
        std::mutex mutex;
        std::condition_variable cv;
        bool stop = false;
        bool ended = false;
    };
    auto stream = std::make_shared<Stream>();
    core::Settings settings;
    settings.watchdogTimeout = 100ms;
    settings.sampledHasher = [stream](const core::File& f,
                                      const core::Touch& touch) -> std::optional<core::Digest> {
        if (f.index == 0) {
            std::unique_lock lock(stream->mutex);
            while (!stream->stop) {
                touch();
                stream->cv.wait_for(lock, 1ms);
            }
            stream->ended = true;
            stream->cv.notify_all();
            return std::nullopt;
        }
        return core::Digest{QStringLiteral("same"), 1, quint64(f.index)};
    };
    const QList<core::File> files = {{0, QStringLiteral("/share/endless.mov"), 100, true},
                                     {1, QStringLiteral("/share/b.mov"), 100, true},
                                     {2, QStringLiteral("/share/c.mov"), 100, true}};
    const core::Result result = core::detect(files, settings);
    EXPECT_EQ(result.unansweredIndices, QSet<int>{0});
    // The stream ends, and the test waits for the abandoned read to be over before it ends itself.
    std::unique_lock lock(stream->mutex);
    stream->stop = true;
    stream->cv.wait(lock, [&] { return stream->ended; });
}

} // namespace
