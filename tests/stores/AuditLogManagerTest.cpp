#include "stores/AuditLogManager.h"

#include "model/MediaFile.h"
#include "platform/JsonForm.h"
#include "stores/ReviewHook.h"
#include "stores/StoreTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace tarnwick {
namespace {

using testing::LogCapture;
using testing::movedAside;
using testing::readBytes;
using testing::readJson;
using testing::writeBytes;

class RecordingHook : public ReviewHook {
public:
    QList<AuditAction> actions;
    void recordSuccess(AuditAction action) override { actions.append(action); }
};

MediaFile clip(const QString& path, qint64 size = 1000) {
    MediaFile file;
    file.path = path;
    file.size = size;
    file.projectNames = {QStringLiteral("Feature Cut"), QStringLiteral("Trailer")};
    return file;
}

struct AuditLogFixture : ::testing::Test {
    QTemporaryDir dir;
    std::shared_ptr<RecordingHook> hook = std::make_shared<RecordingHook>();
    QString filePath() const { return dir.filePath(QStringLiteral("audit_log.json")); }
};

using AuditLogManagerTest = AuditLogFixture;

TEST_F(AuditLogManagerTest, WritesEntriesInTheStoredJsonForm) {
    LogCapture log;
    {
        AuditLogManager manager(dir.path(), hook);
        manager.log(AuditAction::movedToFolder, clip(QStringLiteral("/media/a/A001.mov"), 2048),
                    QStringLiteral("/archive/A001.mov"));
        manager.log(AuditAction::deletedPermanently, clip(QStringLiteral("/media/a/B002.mxf")));
        EXPECT_FALSE(QFile::exists(filePath())); // appends go to the journal until it is folded in
        EXPECT_TRUE(manager.compact());
    }
    const QByteArray bytes = readBytes(filePath());
    EXPECT_TRUE(bytes.contains(R"("\/media\/a\/A001.mov")")) << bytes.constData();
    EXPECT_FALSE(bytes.contains('\n'));

    const QJsonArray array = readJson(filePath()).array();
    ASSERT_EQ(array.size(), 2);
    const QJsonObject moved = array[0].toObject();
    EXPECT_EQ(moved.value("action").toString(), "Moved to Folder");
    EXPECT_EQ(moved.value("filePath").toString(), "/media/a/A001.mov");
    EXPECT_EQ(moved.value("fileName").toString(), "A001.mov");
    EXPECT_EQ(moved.value("fileSize").toInteger(), 2048);
    EXPECT_EQ(moved.value("destinationPath").toString(), "/archive/A001.mov");
    EXPECT_EQ(moved.value("projectNames").toArray(), QJsonArray({"Feature Cut", "Trailer"}));
    const QString id = moved.value("id").toString();
    EXPECT_EQ(id.size(), 36);
    EXPECT_EQ(id, id.toUpper());
    EXPECT_TRUE(moved.value("timestamp").isDouble());

    const QJsonObject deleted = array[1].toObject();
    EXPECT_EQ(deleted.value("action").toString(), "Deleted Permanently");
    EXPECT_FALSE(deleted.contains("destinationPath")); // absent, not null

    EXPECT_TRUE(log.messages(AppLog::Level::info).contains("Audit: Moved to Folder - A001.mov"));
    EXPECT_TRUE(log.printed().contains("[General] ℹ️ Audit: Deleted Permanently - B002.mxf"));
}

TEST_F(AuditLogManagerTest, ReloadsWhatItWrote) {
    QList<AuditLogEntry> written;
    {
        AuditLogManager manager(dir.path(), hook);
        manager.log(AuditAction::movedToTrash, clip(QStringLiteral("/m/é clip/ü.mov")));
        manager.log(AuditAction::transcoded, clip(QStringLiteral("/m/b.mov")),
                    QStringLiteral("/m/b_h264.mov"));
        written = manager.entries();
    }
    LogCapture log;
    AuditLogManager reloaded(dir.path(), hook);
    EXPECT_EQ(reloaded.entries(), written);
    EXPECT_TRUE(log.messages(AppLog::Level::info).contains("Loaded 2 audit log entries"));
    EXPECT_FALSE(reloaded.fileWasDamaged());
}

TEST_F(AuditLogManagerTest, ReadsKeysInAnyOrderAndIgnoresUnknownOnes) {
    writeBytes(filePath(), R"([{"projectNames":[],"fileSize":5,"fileName":"x.mov","filePath":"\/v\/x.mov",)"
                           R"("action":"Restored","timestamp":786297600.5,"destinationPath":null,)"
                           R"("id":"0b5c1a3e-2f4d-4c6b-9a8e-7d6c5b4a3f21","futureField":true}])");
    AuditLogManager manager(dir.path(), hook);
    ASSERT_EQ(manager.entries().size(), 1);
    const AuditLogEntry& entry = manager.entries().front();
    EXPECT_EQ(entry.action, AuditAction::restored);
    EXPECT_EQ(entry.filePath, "/v/x.mov");
    EXPECT_FALSE(entry.destinationPath.has_value());
    EXPECT_EQ(entry.timestamp, json::toDate(786297600.5));
    EXPECT_EQ(entry.id, QUuid::fromString(QStringLiteral("0b5c1a3e-2f4d-4c6b-9a8e-7d6c5b4a3f21")));
}

QByteArray encodedList(const QList<AuditLogEntry>& entries) {
    QJsonArray array;
    for (const AuditLogEntry& entry : entries)
        array.append(entry.toJson());
    return json::encode(array);
}

// Appends reuse the encoded file; whatever was loaded, the result is the compact form of the list.
TEST_F(AuditLogManagerTest, AppendingToALoadedLogGivesTheCompactFormOfTheWholeList) {
    const QByteArray compact =
        "[" +
        QByteArray(R"({"id":"0B5C1A3E-2F4D-4C6B-9A8E-7D6C5B4A3F21","timestamp":1,)"
                   R"("action":"Moved to Trash","filePath":"\/a b.mov","fileName":"a b.mov",)"
                   R"("fileSize":1,"projectNames":["x"]})") +
        "]";
    QByteArray loose = compact;
    loose.replace("\\/", "/").replace(",", ", ").append("\n");
    for (const QByteArray& contents : {compact, loose}) {
        QTemporaryDir folder;
        writeBytes(folder.filePath("audit_log.json"), contents);
        AuditLogManager manager(folder.path(), nullptr);
        ASSERT_EQ(manager.entries().size(), 1);
        manager.log(AuditAction::movedToFolder, clip(QStringLiteral("/m/b.mov")), QStringLiteral("/d/b.mov"));
        manager.log({{AuditAction::restored, clip(QStringLiteral("/m/c.mov")), std::nullopt},
                     {AuditAction::transcoded, clip(QStringLiteral("/m/d.mov")), std::nullopt}});
        const QList<AuditLogEntry> logged = manager.entries();
        ASSERT_TRUE(manager.compact());
        const QByteArray bytes = readBytes(manager.fileName());
        EXPECT_EQ(QJsonDocument::fromJson(bytes), QJsonDocument::fromJson(encodedList(logged)));
        EXPECT_EQ(bytes.count("\\/"), bytes.count('/')) << bytes.constData(); // every "/" escaped
        EXPECT_FALSE(bytes.contains(", ") || bytes.contains('\n')) << bytes.constData();
        EXPECT_EQ(AuditLogManager(folder.path(), nullptr).entries(), logged);
        EXPECT_EQ(manager.entries(), logged);
    }
}

struct DamagedCase {
    const char* name;
    QByteArray contents;
};

class AuditLogDamagedFile : public AuditLogFixture, public ::testing::WithParamInterface<DamagedCase> {};

// A file that cannot be decoded loads empty, is kept aside at the first write, and the new file
// holds only the new entry.
TEST_P(AuditLogDamagedFile, StartsEmptyAndKeepsTheDamagedFileAside) {
    writeBytes(filePath(), GetParam().contents);
    LogCapture log;
    AuditLogManager manager(dir.path(), hook);
    EXPECT_TRUE(manager.entries().isEmpty());
    EXPECT_TRUE(manager.fileWasDamaged());
    EXPECT_TRUE(movedAside(dir.path(), "audit_log.json").isEmpty()); // untouched until a write

    manager.log(AuditAction::movedToTrash, clip(QStringLiteral("/m/new.mov")));
    EXPECT_TRUE(movedAside(dir.path(), "audit_log.json").isEmpty()); // the journal took it
    ASSERT_TRUE(manager.compact());
    const QStringList aside = movedAside(dir.path(), "audit_log.json");
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readBytes(dir.filePath(aside.front())), GetParam().contents);
    EXPECT_EQ(readJson(filePath()).array().size(), 1);
    EXPECT_EQ(log.messages(AppLog::Level::error).size(), 1);

    manager.log(AuditAction::movedToTrash, clip(QStringLiteral("/m/second.mov")));
    ASSERT_TRUE(manager.compact());
    EXPECT_EQ(movedAside(dir.path(), "audit_log.json").size(), 1); // only once
    EXPECT_EQ(readJson(filePath()).array().size(), 2);
}

const QByteArray validEntry =
    R"({"id":"0B5C1A3E-2F4D-4C6B-9A8E-7D6C5B4A3F21","timestamp":1,"action":"Moved to Trash",)"
    R"("filePath":"\/a.mov","fileName":"a.mov","fileSize":1,"projectNames":[]})";

INSTANTIATE_TEST_SUITE_P(
    Files, AuditLogDamagedFile,
    ::testing::Values(
        DamagedCase{"UnknownAction", R"([{"id":"0B5C1A3E-2F4D-4C6B-9A8E-7D6C5B4A3F21","timestamp":1,)"
                                     R"("action":"Deleted","filePath":"\/a.mov","fileName":"a.mov",)"
                                     R"("fileSize":1,"projectNames":[]}])"},
        DamagedCase{"MissingKey", "[" + validEntry + R"(,{"id":"1B5C1A3E-2F4D-4C6B-9A8E-7D6C5B4A3F21"}])"},
        DamagedCase{"Truncated", "[" + validEntry.left(40)}, DamagedCase{"Empty", ""},
        DamagedCase{"ObjectInsteadOfArray", R"({"entries":[]})"},
        DamagedCase{"FractionalSize",
                    "[" + QByteArray(validEntry).replace("\"fileSize\":1", "\"fileSize\":1.5") + "]"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AuditLogManagerTest, CreatesTheFolderAndTheFileWhenTheJournalIsFoldedIn) {
    const QString folder = dir.filePath(QStringLiteral("nested/Tarnwick"));
    AuditLogManager manager(folder, hook);
    EXPECT_TRUE(QDir(folder).exists());
    EXPECT_FALSE(QFile::exists(manager.fileName()));
    EXPECT_FALSE(manager.fileWasDamaged());
    manager.log(AuditAction::movedToTrash, clip(QStringLiteral("/m/a.mov")));
    EXPECT_TRUE(manager.compactIfDue());
    EXPECT_EQ(readJson(manager.fileName()).array().size(), 1);
    EXPECT_EQ(QFileInfo(manager.journalFileName()).size(), 0);
}

TEST_F(AuditLogManagerTest, ReportsEveryActionToTheHookAfterStoring) {
    struct CheckingHook : ReviewHook {
        const AuditLogManager* manager = nullptr;
        QList<qsizetype> sizesSeen;
        void recordSuccess(AuditAction) override { sizesSeen.append(manager->entries().size()); }
    };
    auto checking = std::make_shared<CheckingHook>();
    AuditLogManager manager(dir.path(), checking);
    checking->manager = &manager;
    manager.log(AuditAction::restored, clip(QStringLiteral("/m/a.mov")));
    manager.log(AuditAction::movedToTrash, clip(QStringLiteral("/m/b.mov")));
    EXPECT_EQ(checking->sizesSeen, (QList<qsizetype>{1, 2}));

    manager.setReviewHook(hook);
    manager.log(AuditAction::transcoded, clip(QStringLiteral("/m/c.mov")));
    EXPECT_EQ(hook->actions, QList<AuditAction>{AuditAction::transcoded});
}

TEST_F(AuditLogManagerTest, BatchWritesOnceWithTheSameResultAsSingleEntries) {
    QTemporaryDir otherDir;
    auto singleHook = std::make_shared<RecordingHook>();
    AuditLogManager single(otherDir.path(), singleHook);
    AuditLogManager batched(dir.path(), hook);
    QList<AuditLogManager::Request> requests;
    for (int i = 0; i < 5; ++i) {
        const auto action = i % 2 ? AuditAction::movedToFolder : AuditAction::restored;
        const auto destination =
            i % 2 ? std::optional<QString>(QStringLiteral("/dest/%1.mov").arg(i)) : std::nullopt;
        const MediaFile file = clip(QStringLiteral("/m/%1.mov").arg(i), i);
        requests.append({action, file, destination});
        single.log(action, file, destination);
    }
    {
        LogCapture log;
        batched.log(requests);
        EXPECT_EQ(log.messages(AppLog::Level::info).size(), 5); // one "Audit: " line per entry
    }
    ASSERT_TRUE(single.compact());
    ASSERT_TRUE(batched.compact());

    const QJsonArray a = readJson(single.fileName()).array();
    const QJsonArray b = readJson(batched.fileName()).array();
    ASSERT_EQ(a.size(), 5);
    ASSERT_EQ(b.size(), 5);
    for (int i = 0; i < 5; ++i) {
        QJsonObject x = a[i].toObject();
        QJsonObject y = b[i].toObject();
        for (const char* key : {"id", "timestamp"}) {
            x.remove(key);
            y.remove(key);
        }
        EXPECT_EQ(x, y) << i;
    }
    EXPECT_EQ(hook->actions, singleHook->actions);
}

// An append never rewrites the log: it goes to the journal, which is folded in at most once a run.
TEST_F(AuditLogManagerTest, AppendsGoToTheJournalAndTheLogIsFoldedAtMostOncePerRun) {
    {
        AuditLogManager first(dir.path(), hook);
        first.log(AuditAction::movedToTrash, clip(QStringLiteral("/m/old.mov")));
        ASSERT_TRUE(first.compact());
    }
    const QByteArray logBefore = readBytes(filePath());
    const QFileInfo before(filePath());
    AuditLogManager manager(dir.path(), hook);
    QList<AuditLogManager::Request> requests;
    for (int i = 0; i < 4; ++i)
        requests.append({AuditAction::movedToTrash, clip(QStringLiteral("/m/%1.mov").arg(i)), std::nullopt});
    manager.log(requests);
    manager.log(AuditAction::restored, clip(QStringLiteral("/m/r.mov")));
    EXPECT_EQ(readBytes(filePath()), logBefore);
    EXPECT_EQ(QFileInfo(filePath()).lastModified(), before.lastModified());
    EXPECT_EQ(manager.count(), 6);
    EXPECT_EQ(AuditLogManager(dir.path(), nullptr).entries(), manager.entries()); // the journal holds them

    EXPECT_TRUE(manager.compactIfDue());
    EXPECT_EQ(readJson(filePath()).array().size(), 6);
    manager.log(AuditAction::restored, clip(QStringLiteral("/m/later.mov")));
    EXPECT_FALSE(manager.compactIfDue()); // once per run
    EXPECT_EQ(readJson(filePath()).array().size(), 6);
    EXPECT_EQ(manager.count(), 7);
}

// Entries not yet in the log are read back from disk when asked for, not held: also those shown
// before the files were read, and those the journal refused.
TEST_F(AuditLogManagerTest, ManyEntriesHoldNoMemoryYetAreAllReadBackInOrder) {
    AuditLogManager manager(dir.path(), nullptr);
    bool refuse = false;
    manager.journal().setWriteFaultForTesting([&] { return refuse ? ENOSPC : 0; });
    LogCapture log; // a line per entry
    const int batches = 40;
    for (int b = 0; b < batches; ++b) {
        refuse = b >= batches / 2;
        if (b == batches / 4) {
            EXPECT_EQ(manager.count(), 10 * 100); // read the files midway
        }
        QList<AuditLogManager::Request> requests;
        for (int i = 0; i < 100; ++i)
            requests.append({AuditAction::movedToTrash, clip(QStringLiteral("/m/%1.mov").arg(b * 100 + i)),
                             std::nullopt});
        manager.log(requests);
    }
    EXPECT_EQ(manager.heldInMemoryForTesting(), 0);
    ASSERT_EQ(manager.count(), batches * 100);
    for (int i = 0; i < batches * 100; ++i) {
        const AuditLogEntry entry = manager.entry(i);
        ASSERT_EQ(entry.fileName, QStringLiteral("%1.mov").arg(i));
        ASSERT_EQ(manager.timestampMs(i), entry.timestamp.toMSecsSinceEpoch());
    }
    // What the journal took, a second manager reads; the log written later has them all.
    EXPECT_EQ(AuditLogManager(dir.path(), nullptr).count(), batches / 2 * 100);
    ASSERT_TRUE(manager.writeThrough());
    const QJsonArray written = readJson(filePath()).array();
    ASSERT_EQ(written.size(), batches * 100);
    EXPECT_EQ(written.last().toObject().value(QStringLiteral("fileName")).toString(),
              QStringLiteral("%1.mov").arg(batches * 100 - 1));
}

// A run's entries made ready on its worker are shown as adopted ones: logged, reported, read back
// from the tail's file; a batch made ready before the tail was emptied is placed afresh, not read
// from where later entries now lie.
TEST_F(AuditLogManagerTest, EntriesMadeReadyOnAWorkerAreShownAsAdoptedOnes) {
    AuditLogManager manager(dir.path(), hook);
    LogCapture log;
    const auto entries = [](const QString& prefix, int count) {
        QList<AuditLogEntry> made;
        for (int i = 0; i < count; ++i)
            made.append(AuditLogEntry::make(AuditAction::movedToTrash,
                                            clip(QStringLiteral("/m/%1%2.mov").arg(prefix).arg(i)),
                                            std::nullopt));
        return made;
    };
    AuditLogManager::Shown early;
    AuditLogManager::Shown ready;
    std::thread worker([&] {
        early = manager.prepareShown(entries(QStringLiteral("early"), 50));
        ready = manager.prepareShown(entries(QStringLiteral("run"), 300));
    });
    worker.join();
    manager.adopt(std::move(ready));
    EXPECT_EQ(manager.heldInMemoryForTesting(), 0);
    ASSERT_EQ(manager.count(), 300);
    EXPECT_EQ(manager.entry(299).fileName, QStringLiteral("run299.mov"));
    EXPECT_EQ(hook->actions.size(), 300);
    EXPECT_TRUE(log.messages(AppLog::Level::info).contains("Audit: Moved to Trash - run7.mov"));

    ASSERT_TRUE(manager.writeThrough()); // the tail emptied, its file made anew
    manager.adopt(entries(QStringLiteral("later"), 80));
    manager.adopt(std::move(early));
    EXPECT_EQ(manager.heldInMemoryForTesting(), 0);
    ASSERT_EQ(manager.count(), 430);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(manager.entry(380 + i).fileName, QStringLiteral("early%1.mov").arg(i));
}

TEST_F(AuditLogManagerTest, KeepsEntriesInMemoryWhenTheWriteFails) {
    AuditLogManager manager(dir.path(), hook);
    QDir(dir.path()).mkdir(QStringLiteral("audit_log.journal")); // a folder where the file should be
    LogCapture log;
    manager.log(AuditAction::movedToTrash, clip(QStringLiteral("/m/a.mov")));
    EXPECT_EQ(manager.entries().size(), 1);
    EXPECT_EQ(hook->actions.size(), 1);
    EXPECT_TRUE(log.messages(AppLog::Level::info).contains("Audit: Moved to Trash - a.mov"));
    EXPECT_FALSE(log.messages(AppLog::Level::error).isEmpty());
}

// The start's compaction with its reading and writing on another thread writes the bytes the one
// on this thread writes, and the journal is emptied only afterwards, here; a journal that grew
// meanwhile is kept.
TEST_F(AuditLogManagerTest, CompactionOffTheGuiThreadWritesTheSameLogAndEmptiesTheJournalAfter) {
    const QString here = dir.filePath(QStringLiteral("here"));
    const QString there = dir.filePath(QStringLiteral("there"));
    {
        AuditLogManager audit(here, nullptr);
        audit.log(AuditAction::movedToTrash, clip(QStringLiteral("/m/one.mov")));
        ASSERT_TRUE(audit.compact());
        audit.log(AuditAction::deletedPermanently, clip(QStringLiteral("/m/two.mov")));
        audit.log(AuditAction::movedToTrash, clip(QStringLiteral("/m/three.mov")));
    }
    QDir().mkpath(there);
    for (const char* name : {"audit_log.json", "audit_log.journal"})
        ASSERT_TRUE(QFile::copy(QDir(here).filePath(QString::fromUtf8(name)),
                                QDir(there).filePath(QString::fromUtf8(name))));
    const AuditLogEntry shown =
        AuditLogEntry::make(AuditAction::movedToTrash, clip(QStringLiteral("/m/four.mov")), {});
    AuditLogManager onGui(here, nullptr);
    AuditLogManager split(there, nullptr);
    onGui.adopt({shown});
    split.adopt({shown});
    ASSERT_TRUE(onGui.compactIfDue());

    std::optional<AuditLogManager::Compaction> compaction = split.beginCompaction();
    ASSERT_TRUE(compaction);
    std::thread([&] { compaction->run(); }).join();
    EXPECT_GT(QFileInfo(split.journalFileName()).size(), 0) << "emptied only after the log";
    ASSERT_TRUE(split.endCompaction(*compaction));
    EXPECT_EQ(readBytes(split.fileName()), readBytes(onGui.fileName()));
    EXPECT_EQ(QFileInfo(split.journalFileName()).size(), 0);
    EXPECT_EQ(split.count(), 4);
    EXPECT_FALSE(split.beginCompaction()) << "once per run";

    AuditLogManager grown(here, nullptr);
    grown.log(AuditAction::movedToTrash, clip(QStringLiteral("/m/five.mov")));
    AuditLogManager reopened(here, nullptr);
    compaction = reopened.beginCompaction();
    ASSERT_TRUE(compaction);
    compaction->run();
    grown.log(AuditAction::movedToTrash, clip(QStringLiteral("/m/six.mov")));
    ASSERT_TRUE(reopened.endCompaction(*compaction));
    EXPECT_GT(QFileInfo(reopened.journalFileName()).size(), 0);
    EXPECT_EQ(reopened.count(), 6);
}

} // namespace
} // namespace tarnwick
