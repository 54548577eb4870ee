#include "actions/UnusedFilesExport.h"

#include "support/DiskFactsLogCapture.h"
#include "support/ProjectManagerHarness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;
using tarnwick::testing::media;

namespace {

const QByteArray kHeader = "Path,FileName,Size,Status,UsageType,StorageType,Projects\n";

MediaFile unused(const QString& path, qint64 size = 0, QStringList projects = {}) {
    MediaFile file = media(path, 0, MediaFileStatus::online, size);
    file.projectNames = std::move(projects);
    return file;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(UnusedFilesExport, WritesEveryEnumerationTextExactly) {
    QList<MediaFile> files;
    const QList<MediaFileStatus> statuses = {
        MediaFileStatus::checking,     MediaFileStatus::online,         MediaFileStatus::matching,
        MediaFileStatus::offline,      MediaFileStatus::networkOffline, MediaFileStatus::needsAccess,
        MediaFileStatus::inRecycleBin, MediaFileStatus::deleted,        MediaFileStatus::moved,
        MediaFileStatus::transcoded,   MediaFileStatus::error};
    const QList<MediaUsageType> usages = {MediaUsageType::unused, MediaUsageType::videoAndAudio,
                                          MediaUsageType::videoOnly, MediaUsageType::audioOnly,
                                          MediaUsageType::usedInAfterEffects};
    const QList<StorageType> storages = {
        StorageType::local,  StorageType::network,  StorageType::dropbox, StorageType::googleDrive,
        StorageType::iCloud, StorageType::oneDrive, StorageType::unknown};
    for (qsizetype i = 0; i < statuses.size(); ++i) {
        MediaFile file = unused(QStringLiteral("/m/%1.mov").arg(i), i);
        file.status = statuses[i];
        file.usageType = usages[i % usages.size()];
        file.storageType = storages[i % storages.size()];
        files.append(file);
    }
    const QByteArray expected =
        kHeader + "\"/m/0.mov\",\"0.mov\",0,\"Checking...\",\"Unused\",\"Local\",\"\"\n"
                  "\"/m/1.mov\",\"1.mov\",1,\"Online\",\"Video + Audio\",\"Network\",\"\"\n"
                  "\"/m/2.mov\",\"2.mov\",2,\"Matching\",\"Video Only\",\"Dropbox\",\"\"\n"
                  "\"/m/3.mov\",\"3.mov\",3,\"Offline\",\"Audio Only\",\"Google Drive\",\"\"\n"
                  "\"/m/4.mov\",\"4.mov\",4,\"Network Offline\",\"Used in AE\",\"iCloud\",\"\"\n"
                  "\"/m/5.mov\",\"5.mov\",5,\"Needs Access\",\"Unused\",\"OneDrive\",\"\"\n"
                  "\"/m/6.mov\",\"6.mov\",6,\"In Virtual Recycle Bin\",\"Video + Audio\",\"Unknown\",\"\"\n"
                  "\"/m/7.mov\",\"7.mov\",7,\"Deleted\",\"Video Only\",\"Local\",\"\"\n"
                  "\"/m/8.mov\",\"8.mov\",8,\"Moved\",\"Audio Only\",\"Network\",\"\"\n"
                  "\"/m/9.mov\",\"9.mov\",9,\"Transcoded\",\"Used in AE\",\"Dropbox\",\"\"\n"
                  "\"/m/10.mov\",\"10.mov\",10,\"Error\",\"Unused\",\"Google Drive\",\"\"\n";
    EXPECT_EQ(UnusedFilesExport::csvText(files), expected);
}

TEST(UnusedFilesExport, QuotesQuotesCommasAndLineBreaksAndJoinsProjects) {
    const QList<MediaFile> files = {
        unused(QStringLiteral("/m/say \"hi\".mov"), 12, {"A", "B"}),
        unused(QStringLiteral("/m/a,b/line\nbreak.mov"), 5000000000LL, {"Only"}),
        unused(QStringLiteral("/m/café 素材.mov")),
    };
    const QByteArray expected =
        kHeader +
        "\"/m/say \"\"hi\"\".mov\",\"say \"\"hi\"\".mov\",12,\"Online\",\"Unused\",\"Local\","
        "\"A; B\"\n"
        "\"/m/a,b/line\nbreak.mov\",\"line\nbreak.mov\",5000000000,\"Online\",\"Unused\","
        "\"Local\",\"Only\"\n" +
        QString("\"/m/café 素材.mov\",\"café 素材.mov\",0,\"Online\",\"Unused\",\"Local\",\"\"\n").toUtf8();
    EXPECT_EQ(UnusedFilesExport::csvText(files), expected);
}

// Spreadsheets evaluate a cell that starts with = + - @ tab or CR even when it is quoted.
TEST(UnusedFilesExport, FormulaLikeCellsBecomeText) {
    EXPECT_EQ(UnusedFilesExport::quoted("=HYPERLINK(\"x\")"), "\"'=HYPERLINK(\"\"x\"\")\"");
    for (const char* start : {"+", "-", "@", "\t", "\r"})
        EXPECT_EQ(UnusedFilesExport::quoted(QString(start) + "1"), QString("\"'") + start + "1\"");
    EXPECT_EQ(UnusedFilesExport::quoted("a=1"), "\"a=1\"");
    EXPECT_EQ(UnusedFilesExport::quoted(""), "\"\"");

    const QList<MediaFile> files = {
        unused(QStringLiteral("/m/=cmd|' -C calc'!A0.mov"), 1, {"@SUM(1)", "-x"})};
    EXPECT_EQ(UnusedFilesExport::csvText(files).toStdString(),
              QByteArray(kHeader + "\"/m/=cmd|' -C calc'!A0.mov\",\"'=cmd|' -C calc'!A0.mov\",1,\"Online\","
                                   "\"Unused\",\"Local\",\"'@SUM(1); -x\"\n")
                  .toStdString());
}

TEST(UnusedFilesExport, SelectsUnusedEntriesInStoredOrderAndNothingElse) {
    MediaFile footage = unused("/m/ae.mov");
    footage.isAEFootage = true;
    MediaFile used = media("/m/used.mov", 2);
    MediaFile offline = unused("/m/z-offline.mov");
    offline.status = MediaFileStatus::offline;
    const QByteArray text = UnusedFilesExport::csvText({offline, footage, used, unused("/m/a.mov")});
    EXPECT_EQ(text, kHeader +
                        "\"/m/z-offline.mov\",\"z-offline.mov\",0,\"Offline\",\"Unused\",\"Local\",\"\"\n"
                        "\"/m/a.mov\",\"a.mov\",0,\"Online\",\"Unused\",\"Local\",\"\"\n");
}

TEST(UnusedFilesExport, FileNameIsTheTimeInShortestForm) {
    EXPECT_EQ(UnusedFilesExport::fileName(1741944413.25), "Tarnwick_Unused_1741944413.25.csv");
    EXPECT_EQ(UnusedFilesExport::fileName(1741944413.0), "Tarnwick_Unused_1741944413.0.csv");
    EXPECT_EQ(UnusedFilesExport::fileName(1741944413.123456), "Tarnwick_Unused_1741944413.123456.csv");
}

TEST(UnusedFilesExport, WritesTwoFilesForTwoExportsAndNothingWithoutRows) {
    tarnwick::testing::ProjectManagerHarness harness;
    QTemporaryDir out;
    test::DiskFactsLogCapture log;
    MediaFile footage = unused("/m/ae.mov");
    footage.isAEFootage = true;
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles({footage, media("/m/used.mov", 1)});
    EXPECT_FALSE(UnusedFilesExport::exportUnusedFilesCSV(harness.pm(), out.path()));
    EXPECT_TRUE(QDir(out.path()).isEmpty());
    EXPECT_TRUE(log.messages().isEmpty());

    harness.pm()
        .edit(ProjectManager::ListChange::none)
        .setMediaFiles({footage, unused("/m/a.mov", 3, {"P"})});
    const auto first = UnusedFilesExport::exportUnusedFilesCSV(harness.pm(), out.path());
    const auto second = UnusedFilesExport::exportUnusedFilesCSV(harness.pm(), out.path());
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    EXPECT_TRUE(QFileInfo(*first).fileName().startsWith("Tarnwick_Unused_"));
    EXPECT_EQ(readAll(*first), kHeader + "\"/m/a.mov\",\"a.mov\",3,\"Online\",\"Unused\",\"Local\",\"P\"\n");
    EXPECT_TRUE(log.contains("👆 User: Exporting 1 unused files to CSV") ||
                log.contains("Exporting 1 unused files to CSV"));
    EXPECT_TRUE(log.contains("Exported CSV to " + *first));
}

TEST(UnusedFilesExport, AFailedWriteIsLoggedAndReturnsNothing) {
    tarnwick::testing::ProjectManagerHarness harness;
    QTemporaryDir out;
    test::DiskFactsLogCapture log;
    harness.pm().edit(ProjectManager::ListChange::none).setMediaFiles({unused("/m/a.mov")});
    const CSVExportResult failed =
        UnusedFilesExport::exportUnusedFilesCSV(harness.pm(), out.path() + "/missing/folder");
    EXPECT_FALSE(failed);
    EXPECT_FALSE(failed.failure.isEmpty()) << "the reason reaches the window";
    EXPECT_TRUE(log.contains("Failed to export CSV: " + failed.failure));
}
