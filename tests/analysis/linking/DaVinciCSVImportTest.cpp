#include "analysis/DaVinciCSVImport.h"
#include "analysis/ProjectManager.h"
#include "readers/ResolveCSVMessages.h"

#include "support/HeapPeak.h"
#include "support/ImportTestHarness.h"
#include "support/ProjectManagerHarness.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString disclaimer = QStringLiteral(
    "These clips are labeled \"DaVinci CSV\" because DaVinci Resolve flagged them as unused (Usage = 0). "
    "Tarnwick has NOT analyzed any timeline itself — verifying they're truly unused before deleting is your "
    "call.");

class DaVinciImport : public ::testing::Test {
protected:
    QUrl csv(const QString& name, const QByteArray& content) {
        const QString path = h.dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return QUrl::fromLocalFile(path);
    }
    void import(const QUrl& url) { QCoro::waitFor(DaVinciCSVImport::importDaVinciCSV(h.pm(), url)); }
    const MediaFile* entry(const QString& path) { return h.entry(path); }
    ImportTestHarness h;
};

TEST_F(DaVinciImport, ImportsUniqueClipsLocatesThemAndReportsTheSummary) {
    const QString media = h.dir.filePath("Media");
    h.makeFile("Media/C001.mov");
    h.makeFile("Media/Proxy/c001.MP4");
    h.makeFile("Media/Proxies/C001.mov");
    const QByteArray content = QStringLiteral("File Name,Clip Directory\n"
                                              "C001.mov,%1\n"
                                              "C001.mov,%1//\n"
                                              "Gone.mov,%1\n"
                                              "Timeline 1,\n")
                                   .arg(media)
                                   .toUtf8();
    import(csv("Unused Clips.csv", content));
    ASSERT_EQ(h.pm().projects().size(), 1);
    const ProjectFile& project = h.pm().projects()[0];
    EXPECT_EQ(project.name, "DaVinci: Unused Clips");
    EXPECT_EQ(project.mediaFiles, (QStringList{media + "/C001.mov", media + "/Gone.mov"}));
    EXPECT_TRUE(project.usageCountByPath.isEmpty()); // its clips count no use
    const std::optional<DaVinciCSVImportSummary> summary = h.pm().prompts().lastDaVinciImport;
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->totalDataRows, 4);
    EXPECT_EQ(summary->importedClips, 2);
    EXPECT_EQ(summary->foundOnDisk, 1);
    EXPECT_EQ(summary->missingOnDisk, 1);
    EXPECT_EQ(summary->skippedRows, 1);
    EXPECT_EQ(summary->proxiesDetected, 1);
    ASSERT_TRUE(entry(media + "/C001.mov"));
    EXPECT_TRUE(entry(media + "/C001.mov")->isFromDaVinciCSV);
    EXPECT_EQ(entry(media + "/C001.mov")->proxyPath, media + "/Proxy/c001.MP4"); // Proxy before Proxies
    EXPECT_EQ(
        h.pm().prompts().daVinciImportMessage,
        "Imported 2 clips from DaVinci: Unused Clips.\n1 found on disk, 1 missing.\n1 proxy file(s) detected "
        "— "
        "these will move or delete together with their clips.\n1 non-media row skipped (e.g. the timeline "
        "\"stringout\" row).\n\n" +
            disclaimer);
    EXPECT_TRUE(h.pm().prompts().showDaVinciImportResult);
    EXPECT_FALSE(h.pm().progress().isAnalyzing);
    EXPECT_EQ(h.pm().progress().analysisProgress, 1.0);
    EXPECT_EQ(h.pm().progress().currentTask, "DaVinci CSV import complete");
    EXPECT_TRUE(h.logged("DaVinci CSV import: 2 clips (1 online, 1 offline, 0 protected)"));
}

TEST_F(DaVinciImport, ReimportReplacesTheProjectAndAClipUsedElsewhereStaysProtected) {
    const QString clip = h.makeFile("Media/A.mov");
    ProjectFile premiere = project("Cut", {});
    premiere.mediaFiles = {clip};
    premiere.usedFiles = {clip};
    premiere.usageCountByPath.insert(clip, 1);
    h.pm().edit(ProjectManager::ListChange::none).setProjects({premiere});
    const QUrl url =
        csv("list.csv", ("File Name,Clip Directory\nA.mov," + h.dir.filePath("Media") + "\n").toUtf8());
    import(url);
    import(url);
    ASSERT_EQ(h.pm().projects().size(), 2);
    EXPECT_EQ(h.pm().projects()[1].name, "DaVinci: list");
    EXPECT_EQ(h.pm().prompts().lastDaVinciImport->protectedByOtherProjects, 1);
    ASSERT_TRUE(entry(clip));
    EXPECT_EQ(entry(clip)->usageCount, 1);
    EXPECT_TRUE(h.pm().prompts().daVinciImportMessage->contains(
        "1 kept safe — also used in a loaded Premiere project."));
}

TEST_F(DaVinciImport, FailuresReportTheirMessageAndChangeNothing) {
    struct Case {
        QByteArray content;
        QString message;
    };
    const QList<Case> cases{
        {"", "bad.csv is empty."},
        {"Name,Path\na,b\n",
         "bad.csv is missing the required \"File Name\" and \"Clip Directory\" columns. Found: Name, "
         "Path."},
        {"File Name,Clip Directory\nTimeline 1,\n", "No media clips found in bad.csv. 1 row(s) were skipped "
                                                    "(for example the timeline \"stringout\" row, which "
                                                    "has no source file)."},
    };
    for (const Case& c : cases) {
        import(csv("bad.csv", c.content));
        EXPECT_EQ(h.pm().prompts().daVinciImportMessage, c.message);
        EXPECT_TRUE(h.logged("DaVinci CSV import failed: " + c.message));
        EXPECT_FALSE(h.pm().prompts().lastDaVinciImport);
        EXPECT_TRUE(h.pm().prompts().showDaVinciImportResult);
        EXPECT_FALSE(h.pm().progress().isAnalyzing);
        EXPECT_TRUE(h.pm().projects().isEmpty());
        EXPECT_FALSE(h.pm().isBusy());
    }
    import(QUrl::fromLocalFile(h.dir.filePath("absent.csv")));
    EXPECT_TRUE(h.pm().prompts().daVinciImportMessage->startsWith("Couldn't read absent.csv: "));
}

TEST(DaVinciProxy, OnlyRegularFilesInNameOrderTheClipExtensionFirstThenAVideoFormat) {
    QTemporaryDir dir;
    const auto make = [&](const QString& relative) {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    };
    make("Proxy/._C002.mov");
    make("Proxy/C002.xml");
    make("Proxy/C002.MP4");
    make("Proxy/c002.mov");
    QDir().mkpath(dir.filePath("Proxy/C002.mov.folder"));
    EXPECT_EQ(DaVinciCSVImport::findProxyPath(dir.filePath("C002.MOV")), dir.filePath("Proxy/c002.mov"));
    make("Proxy/C003.xml");
    make("Proxy/C003.mp4");
    make("Proxy/C003.mov");
    EXPECT_EQ(DaVinciCSVImport::findProxyPath(dir.filePath("C003.braw")), dir.filePath("Proxy/C003.mov"));
    // A folder named like the clip is no proxy, nor is a sidecar.
    QDir().mkpath(dir.filePath("Proxy/C004.mov"));
    make("Proxy/C004.xml");
    EXPECT_FALSE(DaVinciCSVImport::findProxyPath(dir.filePath("C004.mov")));
    EXPECT_FALSE(DaVinciCSVImport::findProxyPath("C005.mov"));
}

} // namespace

TEST_F(DaVinciImport, ARelativeClipDirectoryIsFoundNextToTheCSVAndNeverInTheWorkingDirectory) {
    // The working directory holds a "Videos" folder too: its files must never be taken.
    QTemporaryDir elsewhere;
    QDir(elsewhere.path()).mkpath("Videos");
    QFile(elsewhere.filePath("Videos/Elsewhere.mov")).open(QIODevice::WriteOnly);
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    const QString beside = h.makeFile("Exports/Videos/A.mov");
    h.makeFile("Exports/Media/B.mov");
    const QUrl url = csv("Exports/list.csv", QByteArray("File Name,Clip Directory\n"
                                                        "A.mov,Videos\n"
                                                        "B.mov,./Media/\n"
                                                        "Elsewhere.mov,Videos\n"
                                                        "C.mov,Gone\n"));
    import(url);
    QDir::setCurrent(previous);

    ASSERT_EQ(h.pm().projects().size(), 1);
    EXPECT_EQ(h.pm().projects()[0].mediaFiles, (QStringList{beside, h.dir.filePath("Exports/Media/B.mov")}));
    for (const MediaFile& file : h.pm().mediaFiles())
        EXPECT_TRUE(file.path.startsWith(h.dir.path())) << qPrintable(file.path);
    const std::optional<DaVinciCSVImportSummary> summary = h.pm().prompts().lastDaVinciImport;
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->totalDataRows, 4);
    EXPECT_EQ(summary->importedClips, 2);
    EXPECT_EQ(summary->foundOnDisk, 2);
    EXPECT_EQ(summary->unresolvedRows, 2);
    EXPECT_TRUE(h.pm().prompts().daVinciImportMessage->contains(
        "\n2 rows skipped — a relative Clip Directory names no file next to the CSV.\n"));
    EXPECT_TRUE(h.logged("DaVinci CSV: skipped 2 row(s) whose relative Clip Directory names no file next to "
                         "list.csv (Videos/Elsewhere.mov, Gone/C.mov)"));

    // Only such rows: nothing is imported, and the count says why.
    import(csv("Exports/only.csv", QByteArray("File Name,Clip Directory\nC.mov,Gone\n")));
    EXPECT_EQ(
        h.pm().prompts().daVinciImportMessage,
        "No media clips found in only.csv. 1 row(s) were skipped (for example the timeline \"stringout\" "
        "row, which has no source file).");
}

TEST_F(DaVinciImport, AFolderOrAPipeNamedLikeACSVIsRefused) {
    QDir(h.dir.path()).mkpath("folder.csv");
    import(QUrl::fromLocalFile(h.dir.filePath("folder.csv")));
    EXPECT_TRUE(h.pm().prompts().daVinciImportMessage->startsWith("Couldn't read folder.csv: "));
    ASSERT_EQ(::mkfifo(QFile::encodeName(h.dir.filePath("pipe.csv")).constData(), 0600), 0);
    import(QUrl::fromLocalFile(h.dir.filePath("pipe.csv")));
    EXPECT_EQ(h.pm().prompts().daVinciImportMessage, "Couldn't read pipe.csv: Not a regular file");
    EXPECT_TRUE(h.pm().projects().isEmpty());
}

TEST_F(DaVinciImport, ClipsOfOneFolderEachFindTheirOwnProxy) {
    // The proxy folders are listed once for all the clips beside them.
    const QString media = h.dir.filePath("Media");
    for (const char* clip : {"A.mov", "B.mov", "C.mov", "D.mov"})
        h.makeFile(QStringLiteral("Media/") + QLatin1String(clip));
    h.makeFile("Media/Proxy/a.mp4");
    h.makeFile("Media/Proxy/B.mov");
    h.makeFile("Media/Proxy/B.mxf");
    h.makeFile("Media/Proxies/C.mov");
    h.makeFile("Media/Proxies/a.mov");
    import(
        csv("list.csv", QStringLiteral("File Name,Clip Directory\nA.mov,%1\nB.mov,%1\nC.mov,%1\nD.mov,%1\n")
                            .arg(media)
                            .toUtf8()));
    ASSERT_EQ(h.pm().prompts().lastDaVinciImport->proxiesDetected, 3);
    EXPECT_EQ(entry(media + "/A.mov")->proxyPath, media + "/Proxy/a.mp4"); // "Proxy" before "Proxies"
    EXPECT_EQ(entry(media + "/B.mov")->proxyPath, media + "/Proxy/B.mov");
    EXPECT_EQ(entry(media + "/C.mov")->proxyPath, media + "/Proxies/C.mov");
    EXPECT_FALSE(entry(media + "/D.mov")->proxyPath);
}

TEST_F(DaVinciImport, AHugeClipDirectoryCostsAFewCopiesOfItself) {
    if (!test::HeapPeak::available())
        GTEST_SKIP() << "counts allocations through the sanitizer's allocator";
    // 4 MB of directory text, about 8 MB as text in memory: every stage that copies, lower-cases or
    // splits the whole path adds one (about ten times the file today).
    const QByteArray folder = "/V/" + QByteArray(4000000, 'x');
    const QUrl url = csv("huge.csv", "File Name,Clip Directory\nA.mov,\"" + folder + "\"\n");
    const qint64 fileSize = QFileInfo(url.toLocalFile()).size();
    const test::HeapPeak peak;
    import(url);
    ASSERT_TRUE(h.pm().prompts().lastDaVinciImport);
    EXPECT_EQ(h.pm().mediaFiles().size(), 1);
    EXPECT_LE(peak.bytes(), 12 * fileSize) << peak.bytes();
}

TEST_F(DaVinciImport, EntriesMergedAwayLeaveTheOthersMarkedAtTheirPlaces) {
    // A copy of a CSV clip in a loaded project is merged into one entry; the CSV entries after it
    // move up, and exactly the entries at the CSV's paths are marked.
    const QString project1 = h.makeFile("P/Day1/b.mov");
    const QString own = h.makeFile("P/x.mov");
    h.makeFile("Q/Day1/b.mov");
    h.makeFile("Q/c.mov");
    ProjectFile cut = project("Cut", {});
    cut.mediaFiles = {project1, own};
    cut.usedFiles = {project1, own};
    cut.usageCountByPath = {{project1, 1}, {own, 1}};
    h.pm().edit(ProjectManager::ListChange::none).setProjects({cut});
    const QString q = h.dir.filePath("Q");
    import(csv("list.csv",
               QStringLiteral("File Name,Clip Directory\nb.mov,%1/Day1\nc.mov,%1\nd.mov,%1\ne.mov,%1\n")
                   .arg(q)
                   .toUtf8()));
    const QStringList& clips = h.pm().projects().last().mediaFiles;
    const QList<MediaFile>& media = h.pm().mediaFiles();
    ASSERT_EQ(media.size(), 5); // the two b.mov are one entry
    qint64 marked = 0;
    for (const MediaFile& file : media) {
        EXPECT_EQ(file.isFromDaVinciCSV, clips.contains(file.path)) << file.path.toStdString();
        marked += file.isFromDaVinciCSV;
    }
    const DaVinciCSVImportSummary summary = *h.pm().prompts().lastDaVinciImport;
    EXPECT_EQ(summary.importedClips, 4);
    EXPECT_EQ(summary.foundOnDisk + summary.missingOnDisk, marked);
    ASSERT_TRUE(entry(project1));
    EXPECT_EQ(entry(project1)->alternativePaths, QStringList{q + "/Day1/b.mov"});
}

TEST_F(DaVinciImport, NamesHoldingQuotesImportWholeAndAQuoteLeftOpenIsReported) {
    const QString quoted = h.makeFile("Media/The \"Name\". | Archive (1937).mp4");
    const QString inch = h.makeFile("Media/Monitor 12\" test.mov");
    const QString after = h.makeFile("Media/after.mov");
    const QString media = h.dir.filePath("Media");
    import(csv("quotes.csv", QStringLiteral("File Name,Clip Directory\n"
                                            "The \"Name\". | Archive (1937).mp4,%1\n"
                                            "Monitor 12\" test.mov,%1\n"
                                            "after.mov,%1\n")
                                 .arg(media)
                                 .toUtf8()));
    ASSERT_EQ(h.pm().projects().size(), 1);
    EXPECT_EQ(h.pm().projects()[0].mediaFiles, (QStringList{quoted, inch, after}));
    EXPECT_EQ(h.pm().prompts().lastDaVinciImport->foundOnDisk, 3);
    EXPECT_FALSE(h.pm().prompts().daVinciImportMessage->contains("never closed"));

    // A name starting with a quote takes the rest of the file: the import says so and how far it read.
    import(csv("open.csv", QStringLiteral("File Name,Clip Directory\n"
                                          "after.mov,%1\n"
                                          "\"Quote first.mov,%1\n"
                                          "b.mov,%1\n")
                               .arg(media)
                               .toUtf8()));
    const std::optional<DaVinciCSVImportSummary> summary = h.pm().prompts().lastDaVinciImport;
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->importedClips, 1);
    EXPECT_EQ(summary->openQuoteRow, 3);
    const QString open = daVinciOpenQuoteMessage(2, 3);
    EXPECT_TRUE(open.startsWith("Read 2 rows, then stopped: a double quote in row 3 is never closed"));
    EXPECT_TRUE(h.pm().prompts().daVinciImportMessage->contains("\n" + open + "\n"));
    EXPECT_TRUE(h.logged("DaVinci CSV: the double quote in row 3 of open.csv is never closed; read 2 row(s), "
                         "the rest of the file as one cell"));

    // With no clip before it, the failure says it too.
    import(csv(
        "none.csv",
        QStringLiteral("File Name,Clip Directory\n\"Quote first.mov,%1\nb.mov,%1\n").arg(media).toUtf8()));
    EXPECT_EQ(h.pm().prompts().daVinciImportMessage,
              "No media clips found in none.csv. 1 row(s) were skipped (for example the timeline "
              "\"stringout\" row, which has no source file).\n" +
                  daVinciOpenQuoteMessage(1, 2));
}
