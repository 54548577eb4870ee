#include "analysis/DuplicateDetector.h"

#include "platform/MountTable.h"
#include "platform/Sha256.h"
#include "support/DiskFactsLogCapture.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>
#include <unistd.h>

using namespace tarnwick;
using namespace std::chrono_literals;
namespace core = tarnwick::DuplicateDetectionCore;

namespace {

QByteArray pattern(qint64 size, int seed) {
    QByteArray bytes(size, '\0');
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + seed * 7) & 0xff);
    return bytes;
}

QString writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

MediaFile entry(const QString& path, qint64 size, MediaFileStatus status = MediaFileStatus::online) {
    MediaFile file;
    file.path = path;
    file.size = size;
    file.status = status;
    return file;
}

QString sha(const QByteArray& bytes) {
    Sha256 s;
    s.update(bytes.constData(), std::size_t(bytes.size()));
    return Sha256::hexString(s.finish());
}

class DuplicateDetectorTest : public ::testing::Test {
protected:
    QString at(const QString& name) const { return m_dir.filePath(name); }
    QList<MediaFile> run(const QList<MediaFile>& files) const {
        core::Settings settings;
        settings.processorCount = 8;
        return *DuplicateDetector::detectContentDuplicates(files, settings);
    }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(DuplicateDetectorTest, EmptyListLogsEveryCountAsZero) {
    test::DiskFactsLogCapture log;
    EXPECT_TRUE(run({}).isEmpty());
    const QStringList messages = log.messages();
    ASSERT_EQ(messages.size(), 4);
    EXPECT_TRUE(messages[0].endsWith(QStringLiteral("Detecting content-identical duplicates among 0 files")));
    EXPECT_TRUE(messages[1].endsWith(
        QStringLiteral("Duplicate candidates: sampled 0/0 file(s) after byte-size grouping")));
    EXPECT_TRUE(
        messages[2].endsWith(QStringLiteral("Duplicate verification: fully hashed 0 sample match(es)")));
    EXPECT_TRUE(
        messages[3].endsWith(QStringLiteral("Found 0 content-identical file(s) across different paths")));
}

TEST_F(DuplicateDetectorTest, PairsEachCopyWithTheFirstCopyAtAnotherPath) {
    const QByteArray bytes = pattern(3000, 1);
    QList<MediaFile> files;
    for (int i = 0; i < 10; ++i) {
        if (i == 3 || i == 7 || i == 9)
            files.append(entry(writeBytes(at(QStringLiteral("P%1.mov").arg(i)), bytes), 3000));
        else
            files.append(
                entry(writeBytes(at(QStringLiteral("u%1.mov").arg(i)), pattern(100 + i, i)), 100 + i));
    }
    test::DiskFactsLogCapture log;
    const QList<MediaFile> out = run(files);
    EXPECT_EQ(out[3].duplicateOfPath, at(QStringLiteral("P7.mov")));
    EXPECT_EQ(out[7].duplicateOfPath, at(QStringLiteral("P3.mov")));
    EXPECT_EQ(out[9].duplicateOfPath, at(QStringLiteral("P3.mov")));
    for (int i : {3, 7, 9})
        EXPECT_EQ(out[i].fileHash, sha(bytes)) << i;
    // Unique sizes are never read.
    EXPECT_EQ(out[0].fileHash, std::nullopt);
    EXPECT_EQ(out[0].duplicateOfPath, std::nullopt);
    EXPECT_TRUE(
        log.contains(QStringLiteral("Duplicate candidates: sampled 3/10 file(s) after byte-size grouping")));
    EXPECT_TRUE(log.contains(QStringLiteral("Found 3 content-identical file(s) across different paths")));
}

TEST_F(DuplicateDetectorTest, SampledCollisionsAreSettledByTheFullDigest) {
    const qint64 size = 3 * 1048576;
    QByteArray a = pattern(size, 2);
    QByteArray b = a;
    b[1500000] = char(b[1500000] ^ 0x55); // between the two sampled MiB
    QByteArray small = pattern(1572864, 3);
    QByteArray smallOther = small;
    smallOther[1300000] = char(smallOther[1300000] ^ 1); // after the first MiB of 1.5 MiB files
    const QList<MediaFile> out =
        run({entry(writeBytes(at(QStringLiteral("a.mov")), a), size),
             entry(writeBytes(at(QStringLiteral("b.mov")), b), size),
             entry(writeBytes(at(QStringLiteral("s1.mov")), small), small.size()),
             entry(writeBytes(at(QStringLiteral("s2.mov")), smallOther), small.size())});
    for (const MediaFile& f : out)
        EXPECT_EQ(f.duplicateOfPath, std::nullopt) << f.path.toStdString();
    EXPECT_EQ(out[0].fileHash, sha(a));
    EXPECT_EQ(out[1].fileHash, sha(b));
    EXPECT_EQ(out[2].fileHash, sha(small));
    EXPECT_EQ(out[3].fileHash, sha(smallOther));
}

TEST_F(DuplicateDetectorTest, SampledDigestCoversBothEndsAndTheSize) {
    const qint64 size = 2 * 1048576 + 10;
    const QByteArray bytes = pattern(size, 4);
    const QString path = writeBytes(at(QStringLiteral("x.mov")), bytes);
    QByteArray fed = bytes.left(1048576) + bytes.right(1048576);
    const qint64 le = qToLittleEndian(size);
    fed.append(reinterpret_cast<const char*>(&le), 8);
    std::atomic<qint64> read{0};
    EXPECT_EQ(core::sampledHash(path, size, {}, &read)->text, sha(fed));
    EXPECT_EQ(read.load(), 2 * 1048576);
    // At exactly 2 MiB only the first MiB and the size.
    const QByteArray two = pattern(2097152, 5);
    QByteArray fedTwo = two.left(1048576);
    const qint64 le2 = qToLittleEndian(qint64(2097152));
    fedTwo.append(reinterpret_cast<const char*>(&le2), 8);
    EXPECT_EQ(core::sampledHash(writeBytes(at(QStringLiteral("two.mov")), two), 2097152)->text, sha(fedTwo));
    EXPECT_EQ(core::fullHash(path)->text, sha(bytes));
    EXPECT_EQ(core::fullHash(at(QStringLiteral("missing.mov"))), std::nullopt);
}

// A file the sample reads whole (up to 2 MiB) is never read again for its full digest, with the
// same digests and pairs as reading it twice; larger ones are read once more after their first
// sampled block (whose digest carries on into the full one).
TEST_F(DuplicateDetectorTest, FilesTheSampleReadWholeAreReadOnce) {
    const QByteArray small = pattern(700000, 6);
    const QByteArray middle = pattern(1572864, 7);
    const QByteArray large = pattern(2 * 1048576 + 4096, 8);
    QList<core::File> files;
    int index = 0;
    for (const QByteArray* bytes : {&small, &small, &middle, &middle, &large, &large}) {
        const QString path = writeBytes(at(QStringLiteral("f%1.mov").arg(index)), *bytes);
        files.append({index++, path, bytes->size(), false});
    }
    std::atomic<qint64> read{0};
    core::Settings settings;
    settings.processorCount = 8;
    settings.bytesRead = &read;
    const core::Result result = core::detect(files, settings);
    EXPECT_EQ(result.fullyHashedCount, 6);
    EXPECT_EQ(result.duplicateOfByIndex, (QHash<int, int>{{0, 1}, {1, 0}, {2, 3}, {3, 2}, {4, 5}, {5, 4}}));
    EXPECT_EQ(result.hashByIndex.value(0), sha(small));
    EXPECT_EQ(result.hashByIndex.value(2), sha(middle));
    EXPECT_EQ(result.hashByIndex.value(4), sha(large));
    const qint64 once = 2 * (small.size() + middle.size());
    const qint64 largeReads = 2 * (2 * 1048576 + large.size() - 1048576); // both ends, then the rest
    EXPECT_EQ(read.load(), once + largeReads);
    // A file longer than recorded is not taken as read whole.
    const QString grown = writeBytes(at(QStringLiteral("grown.mov")), small + "x");
    QString whole;
    ASSERT_TRUE(core::sampledHash(grown, small.size(), {}, nullptr, true, &whole));
    EXPECT_TRUE(whole.isEmpty());
    ASSERT_TRUE(core::sampledHash(files[0].path, small.size(), {}, nullptr, true, &whole));
    EXPECT_EQ(whole, sha(small));
}

TEST_F(DuplicateDetectorTest, OneFileListedTwiceIsNeverItsOwnDuplicate) {
    const QByteArray bytes = pattern(500, 6);
    const QString upper = writeBytes(at(QStringLiteral("Media/A.mov")), bytes);
    test::DiskFactsLogCapture log;
    // Paths that differ only in letter case: the size group is dropped, nothing is read.
    QList<MediaFile> out = run({entry(upper, 500), entry(upper.toLower(), 500)});
    EXPECT_EQ(out[0].fileHash, std::nullopt);
    EXPECT_TRUE(log.contains(QStringLiteral("sampled 0/2")));

    // A hard link and a symbolic link under other names are the same file: never paired.
    const QString hard = at(QStringLiteral("export/final.mov"));
    QDir().mkpath(at(QStringLiteral("export")));
    ASSERT_EQ(::link(QFile::encodeName(upper).constData(), QFile::encodeName(hard).constData()), 0);
    const QString soft = at(QStringLiteral("shot.mov"));
    ASSERT_TRUE(QFile::link(upper, soft));
    out = run({entry(upper, 500), entry(hard, 500), entry(soft, 500)});
    for (const MediaFile& f : out)
        EXPECT_EQ(f.duplicateOfPath, std::nullopt) << f.path.toStdString();

    // With a true copy beside them, each is paired with the copy, never with each other.
    const QString copy = writeBytes(at(QStringLiteral("copy/A.mov")), bytes);
    out = run({entry(upper, 500), entry(hard, 500), entry(copy, 500)});
    EXPECT_EQ(out[0].duplicateOfPath, copy);
    EXPECT_EQ(out[1].duplicateOfPath, copy);
    EXPECT_EQ(out[2].duplicateOfPath, upper);
}

TEST_F(DuplicateDetectorTest, OnlyEntriesOnDiskWithASizeTakePartAndOldMarksAreCleared) {
    const QByteArray bytes = pattern(700, 7);
    MediaFile offline = entry(writeBytes(at(QStringLiteral("o.mov")), bytes), 700, MediaFileStatus::offline);
    offline.duplicateOfPath = QStringLiteral("/stale");
    offline.fileHash = QStringLiteral("stale");
    MediaFile binned =
        entry(writeBytes(at(QStringLiteral("r.mov")), bytes), 700, MediaFileStatus::inRecycleBin);
    MediaFile empty = entry(writeBytes(at(QStringLiteral("e.mov")), bytes), 0);
    MediaFile matched = entry(at(QStringLiteral("gone/m.mov")), 700, MediaFileStatus::matching);
    matched.matchedPath = writeBytes(at(QStringLiteral("found/m.mov")), bytes);
    const MediaFile plain =
        entry(writeBytes(at(QStringLiteral("p.mov")), bytes), 700, MediaFileStatus::transcoded);
    const QList<MediaFile> out = run({offline, binned, empty, matched, plain});
    EXPECT_EQ(out[0].duplicateOfPath, std::nullopt);
    EXPECT_EQ(out[0].fileHash, std::nullopt);
    EXPECT_EQ(out[1].fileHash, std::nullopt);
    EXPECT_EQ(out[2].fileHash, std::nullopt);
    // Read at the matched path, and named by it.
    EXPECT_EQ(out[3].duplicateOfPath, plain.path);
    EXPECT_EQ(out[4].duplicateOfPath, *matched.matchedPath);
}

TEST_F(DuplicateDetectorTest, SampledButUnmatchedKeepsItsSampledDigest) {
    const QString a = writeBytes(at(QStringLiteral("a.mov")), pattern(900, 8));
    const QString b = writeBytes(at(QStringLiteral("b.mov")), pattern(900, 9));
    const QList<MediaFile> out = run({entry(a, 900), entry(b, 900)});
    EXPECT_EQ(out[0].fileHash, core::sampledHash(a, 900)->text);
    EXPECT_EQ(out[0].duplicateOfPath, std::nullopt);
}

TEST(DuplicateDetectionCore, WidthsFollowProcessorsAndRemoteFiles) {
    const QList<std::tuple<bool, int, int, int>> cases = {
        {false, 1, 2, 2},  {false, 3, 2, 2},  {false, 4, 2, 2},  {false, 6, 3, 2}, {false, 8, 4, 2},
        {false, 12, 6, 3}, {false, 16, 8, 4}, {false, 64, 8, 4}, {true, 64, 2, 2}, {true, 2, 2, 2}};
    for (const auto& [remote, processors, sampling, full] : cases) {
        EXPECT_EQ(core::samplingWidth(remote, processors), sampling) << processors;
        EXPECT_EQ(core::fullHashingWidth(remote, processors), full) << processors;
    }
}

TEST(DuplicateDetectionCore, AtMostTwoRemoteFilesAreReadAtOnce) {
    QList<core::File> files;
    for (int i = 0; i < 12; ++i)
        files.append({i, QStringLiteral("/share/%1.mov").arg(i), 100, i == 5});
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    core::Settings settings;
    settings.processorCount = 32;
    settings.sampledHasher = [&](const core::File& f, const core::Touch&) -> std::optional<core::Digest> {
        const int now = ++running;
        int seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(5ms);
        --running;
        return core::Digest{QString::number(f.index), 1, quint64(f.index) + 1};
    };
    const core::Result result = core::detect(files, settings);
    EXPECT_EQ(result.sampledCount, 12);
    EXPECT_EQ(result.fullyHashedCount, 0);
    EXPECT_LE(peak.load(), 2);
}

// A read stuck on a share that went away must not hang the import.
TEST(DuplicateDetectionCore, AbandonsAHungReadAndRecordsTheEntryOffline) {
    QTemporaryDir dir;
    const QByteArray bytes = pattern(400, 10);
    QList<MediaFile> files;
    for (int i = 0; i < 3; ++i)
        files.append(entry(writeBytes(dir.filePath(QStringLiteral("c%1.mov").arg(i)), bytes), 400));
    files[2].storageType = StorageType::network;
    struct Gate {
        std::mutex mutex;
        std::condition_variable cv;
        bool open = false;
        int answered = 0;
    };
    auto gate = std::make_shared<Gate>();
    core::Settings settings;
    settings.watchdogTimeout = 300ms;
    settings.sampledHasher = [gate](const core::File& f, const core::Touch& touch) {
        if (f.index != 2)
            return core::sampledHash(f.path, f.size, touch, nullptr, false);
        std::unique_lock lock(gate->mutex);
        gate->cv.wait(lock, [&] { return gate->open; });
        auto digest = core::sampledHash(f.path, f.size, touch, nullptr, false);
        ++gate->answered;
        gate->cv.notify_all();
        return digest;
    };
    test::DiskFactsLogCapture log;
    const auto out = DuplicateDetector::detectContentDuplicates(files, settings);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ((*out)[2].status, MediaFileStatus::networkOffline);
    EXPECT_EQ((*out)[2].duplicateOfPath, std::nullopt);
    EXPECT_EQ((*out)[0].duplicateOfPath, files[1].path);
    EXPECT_EQ((*out)[1].duplicateOfPath, files[0].path);
    EXPECT_TRUE(log.contains(QStringLiteral("Network drive offline: ") + files[2].path));
    // Let go of the stuck read and wait until it answered, rather than end with it still running.
    std::unique_lock lock(gate->mutex);
    gate->open = true;
    gate->cv.notify_all();
    gate->cv.wait(lock, [&] { return gate->answered == 1; });
}

TEST(DuplicateDetectionCore, CancelledRunGivesNoList) {
    std::atomic_bool cancel{true};
    core::Settings settings;
    settings.cancel = &cancel;
    QList<MediaFile> files = {entry(QStringLiteral("/x/a.mov"), 5), entry(QStringLiteral("/x/b.mov"), 5)};
    EXPECT_EQ(DuplicateDetector::detectContentDuplicates(files, settings), std::nullopt);
}

TEST_F(DuplicateDetectorTest, ReportsProgressForEveryFileHashedInEachPhase) {
    const QByteArray bytes = pattern(800, 11);
    QList<core::File> files;
    for (int i = 0; i < 3; ++i)
        files.append({i, writeBytes(at(QStringLiteral("c%1.mov").arg(i)), i == 2 ? pattern(800, 12) : bytes),
                      800, false});
    QList<std::tuple<core::Phase, int, int>> seen;
    core::Settings settings;
    settings.progress = [&](core::Phase phase, int done, int total) { seen.append({phase, done, total}); };
    const core::Result result = core::detect(files, settings);
    EXPECT_EQ(result.sampledCount, 3);
    EXPECT_EQ(result.fullyHashedCount, 2);
    ASSERT_EQ(seen.size(), 5);
    EXPECT_EQ(seen[2], std::make_tuple(core::Phase::sampling, 3, 3));
    EXPECT_EQ(seen[4], std::make_tuple(core::Phase::fullHashing, 2, 2));
}

// Every read on a share that went away hangs: after the first ones, the rest of that share is not
// read again, or the import would wait a watchdog period per file.
TEST(DuplicateDetectionCore, DoesNotReadAgainOnANetworkMountWhereAReadHung) {
    QTemporaryDir dir;
    const QString share = dir.filePath(QStringLiteral("share"));
    const QByteArray bytes = pattern(600, 13);
    QList<MediaFile> files;
    for (int i = 0; i < 10; ++i) {
        files.append(entry(writeBytes(share + QStringLiteral("/s%1.mov").arg(i), bytes), 600));
        files.last().storageType = StorageType::network;
    }
    files.append(entry(writeBytes(dir.filePath(QStringLiteral("local/a.mov")), bytes), 600));
    files.append(entry(writeBytes(dir.filePath(QStringLiteral("local/b.mov")), bytes), 600));
    struct Gate {
        std::mutex mutex;
        std::condition_variable cv;
        bool open = false;
        std::atomic<int> hung{0};
        int answered = 0;
    };
    auto gate = std::make_shared<Gate>();
    core::Settings settings;
    settings.watchdogTimeout = 200ms;
    settings.mountTable = std::make_shared<const MountTable>(QList<MountEntry>{
        {1, QStringLiteral("/"), QStringLiteral("ext4"), {}}, {2, share, QStringLiteral("nfs"), {}}});
    settings.sampledHasher = [gate, share](const core::File& f, const core::Touch& touch) {
        if (!f.path.startsWith(share))
            return core::sampledHash(f.path, f.size, touch, nullptr, false);
        ++gate->hung;
        std::unique_lock lock(gate->mutex);
        gate->cv.wait(lock, [&] { return gate->open; });
        auto digest = core::sampledHash(f.path, f.size, touch, nullptr, false);
        ++gate->answered;
        gate->cv.notify_all();
        return digest;
    };
    const auto out = DuplicateDetector::detectContentDuplicates(files, settings);
    ASSERT_TRUE(out.has_value());
    EXPECT_LE(gate->hung.load(), 2); // the two reads the remote width lets start at once
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ((*out)[i].status, MediaFileStatus::networkOffline) << i;
    EXPECT_EQ((*out)[10].duplicateOfPath, files[11].path);
    EXPECT_EQ((*out)[11].duplicateOfPath, files[10].path);
    std::unique_lock lock(gate->mutex);
    gate->open = true;
    gate->cv.notify_all();
    gate->cv.wait(lock, [&] { return gate->answered == gate->hung.load(); });
}

// Size groups of local files are read side by side (bytes compared, each run of bytes hashed once);
// a test's own hashers force the file-by-file reading. Both must give the same digests, pairs and
// counts on every kind of group: equal files, differences in the first block, between the samples
// and in the tail, files shorter or longer than recorded, hard links, a path listed twice, and a
// group too large to read side by side.
TEST_F(DuplicateDetectorTest, SideBySideReadingAgreesWithReadingFileByFile) {
    QRandomGenerator random(41);
    const qint64 mib = 1048576;
    const QList<qint64> sizes = {1,       700,         4096,    mib - 1,     mib,
                                 mib + 1, 3 * mib / 2, 2 * mib, 2 * mib + 1, 3 * mib + 17};
    int made = 0;
    for (int round = 0; round < 6; ++round) {
        QList<core::File> files;
        const auto add = [&](const QString& path, qint64 recorded) {
            files.append({int(files.size()), path, recorded, false});
        };
        for (qint64 size : sizes) {
            const QByteArray base = pattern(size, int(random.bounded(1000)));
            const int count = 2 + int(random.bounded(4));
            for (int i = 0; i < count; ++i) {
                QByteArray bytes = base;
                switch (random.bounded(6)) {
                case 0: // a byte of the first block
                    bytes[qsizetype(random.bounded(std::min(size, mib)))] ^= 0x21;
                    break;
                case 1: // a byte anywhere
                    bytes[qsizetype(random.bounded(size))] ^= 0x42;
                    break;
                case 2: // the last byte
                    bytes[qsizetype(size - 1)] ^= 0x11;
                    break;
                default: // equal
                    break;
                }
                qint64 recorded = size;
                if (random.bounded(12) == 0)
                    bytes.append("grown"); // longer than recorded
                else if (random.bounded(12) == 0 && size > 2)
                    bytes.chop(1); // shorter than recorded
                const QString path =
                    writeBytes(at(QStringLiteral("r%1/f%2.mov").arg(round).arg(made++)), bytes);
                add(path, recorded);
                if (random.bounded(8) == 0) {
                    const QString link = at(QStringLiteral("r%1/link%2.mov").arg(round).arg(made++));
                    ASSERT_EQ(
                        ::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()), 0);
                    add(link, recorded);
                }
                if (random.bounded(10) == 0)
                    add(random.bounded(2) ? path : path.toUpper(), recorded); // a path listed twice
            }
        }
        // More files of one size than are read side by side, two of them equal.
        for (int i = 0; i < 18; ++i)
            add(writeBytes(at(QStringLiteral("r%1/seq%2.dpx").arg(round).arg(i)), pattern(5000, i % 17)),
                5000);

        core::Settings sideBySide;
        sideBySide.processorCount = 8;
        core::Settings oneByOne = sideBySide;
        oneByOne.sampledHasher = [](const core::File& f, const core::Touch& touch) {
            return core::sampledHash(f.path, f.size, touch, nullptr, false);
        };
        oneByOne.fullHasher = [](const core::File& f, const core::Touch& touch) {
            return core::fullHash(f.path, touch, nullptr, false, f.size);
        };
        const core::Result expected = core::detect(files, oneByOne);
        const core::Result actual = core::detect(files, sideBySide);
        EXPECT_EQ(actual.sampledCount, expected.sampledCount) << round;
        EXPECT_EQ(actual.fullyHashedCount, expected.fullyHashedCount) << round;
        EXPECT_EQ(actual.duplicateOfByIndex, expected.duplicateOfByIndex) << round;
        EXPECT_EQ(actual.hashByIndex, expected.hashByIndex) << round;
        EXPECT_TRUE(actual.unansweredIndices.isEmpty());
        EXPECT_FALSE(expected.duplicateOfByIndex.isEmpty());
    }
}
