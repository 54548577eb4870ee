// The bin run: choosing items, the media list, the bin, audit, statistics, cancel and refusals.
#include "transcode/TranscodeAndReplace.h"
#include "analysis/ProjectManager.h"
#include "platform/Preferences.h"
#include "stores/AuditLogManager.h"
#include "stores/ProtectedFolders.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "stores/StatsManager.h"
#include "support/FakeFileStatusChecker.h"
#include "transcode/support/TranscodeTestSupport.h"

#include <qcoro/qcorotask.h>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

class TranscodeRun : public ::testing::Test {
protected:
    TranscodeRun()
        : prefs(store.filePath(QStringLiteral("prefs.ini"))), policy(prefs), folders(store.path()),
          audit(store.path(), nullptr), stats(store.path()) {
        ProjectManagerServices services;
        services.sequencePolicy = &policy;
        services.protectedFolders = &folders;
        services.auditLog = &audit;
        services.statsManager = &stats;
        services.fileStatusChecker = std::make_shared<FakeFileStatusChecker>();
        services.statusOptions = [](bool) { return FileStatusChecking::Options{}; };
        services.isSandboxed = [] { return false; };
        pm = std::make_unique<ProjectManager>(std::move(services));
    }
    void SetUp() override {
        if (!haveRealFFmpeg())
            GTEST_SKIP() << "needs /usr/bin/ffmpeg to generate media";
        h.tools.setFFprobeJson(probeJson(1.0));
        h.tools.setFFmpeg(QStringLiteral("echo out_time_ms=500000\ncp '%1' \"$out\"\n")
                              .arg(GeneratedMedia::instance().hevcOutput(true)));
    }
    MediaFile stageFile(const QString& name, bool real = true) {
        MediaFile m;
        m.path = real ? h.stage(GeneratedMedia::instance().h264Aac(), name) : h.media(name);
        m.size = QFileInfo(m.path).size();
        m.status = MediaFileStatus::inRecycleBin;
        m.projectNames = {QStringLiteral("Edit")};
        return m;
    }
    void setBin(const QList<MediaFile>& files) {
        pm->edit(ProjectManager::ListChange::none).setMediaFiles(files);
        QList<RecycleBinItem> items;
        for (const MediaFile& f : files)
            items.append(RecycleBinItem{QUuid::createUuid(), f, QDateTime::currentDateTimeUtc()});
        pm->edit(ProjectManager::ListChange::none).setRecycleBin(items);
    }
    QStringList binPaths() const {
        QStringList paths;
        for (const RecycleBinItem& item : pm->recycleBin())
            paths.append(QFileInfo(item.mediaFile.path).fileName());
        return paths;
    }

    QTemporaryDir store;
    Preferences prefs;
    SequenceUsagePolicyStore policy;
    ProtectedFolders folders;
    AuditLogManager audit;
    StatsManager stats;
    std::unique_ptr<ProjectManager> pm;
    EngineHarness h;
};

TEST_F(TranscodeRun, TranscodesEligibleItemsAndRecordsThem) {
    const MediaFile red = stageFile(QStringLiteral("A001.R3D"), false);
    const MediaFile kept = stageFile(QStringLiteral("kept.mp4"));
    const MediaFile clip = stageFile(QStringLiteral("clip.mp4"));
    QDir().mkpath(h.media(QStringLiteral("vault")));
    folders.add(h.media(QStringLiteral("vault")));
    pm->protectedFoldersDidChange();
    MediaFile inVault = kept;
    inVault.matchedPath = h.media(QStringLiteral("vault/kept.mp4")); // protected where it was found
    setBin({red, inVault, clip});

    const TranscodeRunTotals totals = QCoro::waitFor(transcodeAndReplace(*pm, *h.engine));
    EXPECT_EQ(totals.transcoded, 1);
    EXPECT_EQ(totals.skipped, 2);
    EXPECT_EQ(totals.failed, 0);
    EXPECT_GT(totals.spaceSaved, 0);
    EXPECT_EQ(binPaths(), (QStringList{"A001.R3D", "kept.mp4"}));

    const MediaFile& entry = pm->mediaFiles()[2];
    EXPECT_EQ(entry.path, clip.path); // the entry keeps its path
    EXPECT_EQ(entry.status, MediaFileStatus::transcoded);
    EXPECT_EQ(entry.transcodedPath, h.media(QStringLiteral("clip.mov")));
    EXPECT_EQ(entry.size, QFileInfo(h.media(QStringLiteral("clip.mov"))).size());
    ASSERT_EQ(audit.entries().size(), 1);
    EXPECT_EQ(audit.entries().first().action, AuditAction::transcoded);
    EXPECT_EQ(audit.entries().first().fileSize, clip.size); // as staged
    EXPECT_EQ(stats.stats().spaceSavedBytes, totals.spaceSaved);
    EXPECT_EQ(stats.stats().filesDeleted, 0);

    ASSERT_TRUE(pm->transcodeProgress().transcodeCompleteResult);
    EXPECT_EQ(*pm->transcodeProgress().transcodeCompleteResult,
              (TranscodeCompleteResult{1, 2, 0, totals.spaceSaved, {}, false}));
    EXPECT_TRUE(pm->transcodeProgress().showTranscodeComplete);
    EXPECT_FALSE(pm->transcodeProgress().isTranscodeInProgress);
    EXPECT_EQ(pm->transcodeProgress().transcodeFilesCompleted, 1);
    EXPECT_DOUBLE_EQ(pm->transcodeProgress().transcodeProgressFraction, 1.0);
}

TEST_F(TranscodeRun, FailureStaysInBinWithItsError) {
    h.tools.setFFmpeg(QStringLiteral("printf 'Conversion failed!\\n' >&2\nexit 1\n"));
    const MediaFile clip = stageFile(QStringLiteral("clip.mp4"));
    setBin({clip});
    const TranscodeRunTotals totals = QCoro::waitFor(transcodeAndReplace(*pm, *h.engine));
    EXPECT_EQ(totals.failed, 1);
    EXPECT_EQ(totals.errors, (QStringList{"clip.mp4: ffmpeg error: Conversion failed!"}));
    EXPECT_EQ(binPaths(), (QStringList{"clip.mp4"}));
    EXPECT_TRUE(audit.entries().isEmpty());
    EXPECT_EQ(stats.stats().spaceSavedBytes, 0);
}

TEST_F(TranscodeRun, OnlyAFileWhoseUseGrewSinceStagingIsRefused) {
    // Staged knowingly while a timeline used it: the user's choice stands.
    MediaFile knowingly = stageFile(QStringLiteral("used.mp4"));
    knowingly.usageCount = 2;
    // A rescan found one more use after it was staged.
    MediaFile grew = stageFile(QStringLiteral("clip.mov"));
    grew.usageCount = 1;
    const qint64 before = grew.size;
    setBin({knowingly, grew});
    pm->edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& media) {
        media[1].usageCount = 2;
    });
    const TranscodeRunTotals totals = QCoro::waitFor(transcodeAndReplace(*pm, *h.engine));
    EXPECT_EQ(totals.transcoded, 1);
    EXPECT_EQ(pm->mediaFiles()[0].status, MediaFileStatus::transcoded);
    EXPECT_EQ(totals.errors, (QStringList{QStringLiteral("clip.mov: now in use \u2014 skipped")}));
    EXPECT_EQ(QFileInfo(grew.path).size(), before);
    EXPECT_EQ(h.ops->replaceCalls, 0); // the .mov in use was not replaced
    EXPECT_TRUE(QFileInfo::exists(h.media(QStringLiteral("used.mov"))));
    EXPECT_TRUE(temporariesBeside(grew.path).isEmpty());
    EXPECT_EQ(binPaths(), (QStringList{"clip.mov"}));
}

TEST_F(TranscodeRun, FileThatBecameUsedIsRefusedBeforeTheEncode) {
    MediaFile clip = stageFile(QStringLiteral("clip.mov"));
    setBin({clip});
    pm->edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& media) {
        media[0].usageCount = 1;
    });
    const TranscodeRunTotals totals = QCoro::waitFor(transcodeAndReplace(*pm, *h.engine));
    EXPECT_EQ(totals.errors, (QStringList{QStringLiteral("clip.mov: now in use \u2014 skipped")}));
    EXPECT_FALSE(h.tools.ffmpegStarted()); // refused before the encode, not after it
}

TEST_F(TranscodeRun, NewerFileThatTookTheNameWhileEncodingIsKept) {
    // ffmpeg says it runs, then waits until a new render has been saved under the source's name.
    const QString running = h.dir.filePath(QStringLiteral("running"));
    const QString release = h.dir.filePath(QStringLiteral("release"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(running).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(release).constData(), 0600), 0);
    h.tools.setFFmpeg(QStringLiteral("echo up > '%1'\nread line < '%2'\ncp '%3' \"$out\"\n")
                          .arg(running, release, GeneratedMedia::instance().hevcOutput(true)));
    const MediaFile clip = stageFile(QStringLiteral("clip.mp4"));
    setBin({clip});
    const QByteArray newer(50000, 'r');
    std::thread editor([&] {
        QFile up(running);
        if (up.open(QIODevice::ReadOnly))
            up.readLine();
        QFile render(clip.path + QStringLiteral(".saving"));
        if (render.open(QIODevice::WriteOnly))
            render.write(newer);
        render.close();
        ::rename(QFile::encodeName(render.fileName()).constData(), QFile::encodeName(clip.path).constData());
        QFile go(release);
        if (go.open(QIODevice::WriteOnly))
            go.write("go\n");
    });
    const TranscodeRunTotals totals = QCoro::waitFor(transcodeAndReplace(*pm, *h.engine));
    editor.join();
    EXPECT_EQ(totals.errors,
              (QStringList{QStringLiteral("clip.mp4: changed while transcoding \u2014 kept")}));
    QFile kept(clip.path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), newer);
    EXPECT_FALSE(QFileInfo::exists(h.media(QStringLiteral("clip.mov"))));
    EXPECT_EQ(h.ops->trashCalls, 0);
    EXPECT_TRUE(temporariesBeside(clip.path).isEmpty());
    EXPECT_EQ(binPaths(), (QStringList{"clip.mp4"}));
    EXPECT_TRUE(audit.entries().isEmpty());
}

TEST_F(TranscodeRun, FolderProtectedWhileEncodingIsNotReplaced) {
    // Two FIFOs: ffmpeg says it runs, then waits until the folder has been protected.
    const QString running = h.dir.filePath(QStringLiteral("running"));
    const QString release = h.dir.filePath(QStringLiteral("release"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(running).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(release).constData(), 0600), 0);
    h.tools.setFFmpeg(QStringLiteral("echo up > '%1'\nread line < '%2'\ncp '%3' \"$out\"\n")
                          .arg(running, release, GeneratedMedia::instance().hevcOutput(true)));
    const MediaFile clip = stageFile(QStringLiteral("clip.mov"));
    setBin({clip});
    std::thread protector([&] {
        QFile up(running);
        if (up.open(QIODevice::ReadOnly))
            up.readLine();
        QMetaObject::invokeMethod(
            pm.get(),
            [&] {
                folders.add(QFileInfo(clip.path).path());
                pm->protectedFoldersDidChange();
            },
            Qt::BlockingQueuedConnection);
        QFile go(release);
        if (go.open(QIODevice::WriteOnly))
            go.write("go\n");
    });
    const TranscodeRunTotals totals = QCoro::waitFor(transcodeAndReplace(*pm, *h.engine));
    protector.join();
    EXPECT_EQ(totals.errors, (QStringList{QStringLiteral("clip.mov: Skipped \u2014 in a protected folder")}));
    EXPECT_EQ(h.ops->replaceCalls, 0);
    EXPECT_EQ(QFileInfo(clip.path).size(), clip.size);
}

TEST_F(TranscodeRun, CancelDuringAFileEndsTheRunAndKeepsEverything) {
    const QString fifo = h.dir.filePath(QStringLiteral("gate"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    h.tools.setFFmpeg(
        QStringLiteral("head -c 9000 /dev/zero > \"$out\"\necho running > '%1'\nexec sleep 60\n").arg(fifo));
    const MediaFile first = stageFile(QStringLiteral("first.mp4"));
    const MediaFile second = stageFile(QStringLiteral("second.mp4"));
    setBin({first, second});
    std::thread canceller([&] {
        QFile gate(fifo);
        if (gate.open(QIODevice::ReadOnly))
            gate.readLine();
        QMetaObject::invokeMethod(
            pm.get(), [&] { cancelTranscode(*pm, *h.engine); }, Qt::QueuedConnection);
    });
    const TranscodeRunTotals totals = QCoro::waitFor(transcodeAndReplace(*pm, *h.engine));
    canceller.join();
    EXPECT_EQ(totals.transcoded, 0);
    EXPECT_EQ(totals.failed, 0);
    EXPECT_TRUE(pm->transcodeProgress().transcodeCompleteResult->wasCancelled);
    EXPECT_EQ(binPaths(), (QStringList{"first.mp4", "second.mp4"}));
    EXPECT_TRUE(QFileInfo::exists(first.path));
    EXPECT_TRUE(temporariesBeside(first.path).isEmpty());
    EXPECT_EQ(pm->transcodeProgress().transcodeFilesCompleted, 0);
}

// The journal refuses the second file's record (a full disk): that file keeps its original, the
// run replaces nothing more, and the card says why in one line. The log and the statistics hold
// the first file alone.
TEST_F(TranscodeRun, StopsWhenItsRecordsStopBeingKept) {
    const MediaFile first = stageFile(QStringLiteral("first.mp4"));
    const MediaFile second = stageFile(QStringLiteral("second.mp4"));
    const MediaFile third = stageFile(QStringLiteral("third.mp4"));
    setBin({first, second, third});
    auto appends = std::make_shared<int>(0);
    // The run's line with the first file's intent is written; nothing after it.
    audit.journal().setWriteFaultForTesting([appends] { return ++*appends >= 2 ? ENOSPC : 0; });
    const TranscodeRunTotals totals = QCoro::waitFor(transcodeAndReplace(*pm, *h.engine));
    audit.journal().setWriteFaultForTesting({});
    EXPECT_EQ(totals.transcoded, 1);
    EXPECT_EQ(totals.failed, 1);
    ASSERT_EQ(totals.errors.size(), 1);
    EXPECT_TRUE(totals.errors.front().startsWith(QStringLiteral("second.mp4: ")));
    EXPECT_TRUE(totals.errors.front().contains(QStringLiteral("could not be recorded")));
    EXPECT_EQ(totals.unrecorded, QStringLiteral("The run stopped because its records could not be kept (") +
                                     qt_error_string(ENOSPC) +
                                     QStringLiteral("): 1 file(s) were left untouched."));
    EXPECT_EQ(pm->transcodeProgress().transcodeCompleteResult->unrecorded, totals.unrecorded);
    EXPECT_TRUE(QFileInfo::exists(second.path));
    EXPECT_TRUE(QFileInfo::exists(third.path));
    EXPECT_FALSE(QFileInfo::exists(h.media(QStringLiteral("second.mov"))));
    EXPECT_FALSE(QFileInfo::exists(h.media(QStringLiteral("third.mov"))));
    EXPECT_TRUE(temporariesBeside(second.path).isEmpty());
    EXPECT_EQ(binPaths(), (QStringList{"second.mp4", "third.mp4"}));
    ASSERT_EQ(audit.entries().size(), 1);
    EXPECT_EQ(audit.entries().first().filePath, first.path);
    EXPECT_EQ(stats.stats().spaceSavedBytes, totals.spaceSaved);
}

TEST_F(TranscodeRun, EmptyBinCompletesWithZeros) {
    const TranscodeRunTotals totals = QCoro::waitFor(transcodeAndReplace(*pm, *h.engine));
    EXPECT_EQ(totals, TranscodeRunTotals{});
    EXPECT_EQ(*pm->transcodeProgress().transcodeCompleteResult, TranscodeCompleteResult{});
    EXPECT_TRUE(pm->transcodeProgress().showTranscodeComplete);
}

} // namespace
