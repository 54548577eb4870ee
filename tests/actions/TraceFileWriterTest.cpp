#include "actions/TraceFileWriter.h"
#include "support/DiskFactsLogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;
using Info = TraceFileWriter::DeletedFileInfo;

namespace {

const QDateTime fixedTime(QDate(2025, 3, 14), QTime(9, 26, 53));

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(TraceFileWriter, TheBannerHasItsFixedForm) {
    const QString art = TraceFileWriter::asciiArt();
    EXPECT_EQ(art.size(), 710);
    EXPECT_TRUE(art.startsWith('\n'));
    const QStringList rows = art.mid(1).split('\n');
    ASSERT_EQ(rows.size(), 13); // twelve rows and the empty rest after the last line feed
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(rows[i].size(), i == 10 ? 51 : 63) << i;
    EXPECT_EQ(rows[11], QString(16, ' '));
    for (const QChar c : art) {
        EXPECT_TRUE(c == ' ' || c == '\n' || (c.unicode() >= 0x2580 && c.unicode() <= 0x259F))
            << int(c.unicode());
    }
}

TEST(TraceFileWriter, WritesTheExactTextOfOneFolder) {
    QTemporaryDir dir;
    TraceFileWriter writer([] { return fixedTime; });
    const QList<Info> files{
        {"B roll.mov",
         dir.path() + "/B roll.mov",
         1500000,
         {"Zeta", "Alpha"},
         fixedTime.addSecs(-5),
         "Moved to Trash"},
        {"clip.mov", dir.path() + "/clip.mov", 0, {}, fixedTime, "Moved to Trash"},
        {"take.mov", dir.path() + "/take.mov", 2000, {"Alpha"}, fixedTime, "Moved to Trash"},
    };
    EXPECT_EQ(writer.writeTraceFiles(files), 1);
    const QString name = "Tarnwick_Trace_2025-03-14 09-26-53.txt";
    ASSERT_EQ(QDir(dir.path()).entryList({"Tarnwick_Trace_*"}), QStringList{name});

    const QString dbl(67, QChar(0x2550));
    const QString sgl(67, QChar(0x2500));
    const QString expected = TraceFileWriter::asciiArt() + "\n\n" + dbl + "\n" + QString(22, ' ') +
                             "DELETION TRACE FILE\n" + dbl +
                             "\n\nGenerated: 2025-03-14 09:26:53\nDirectory: " + dir.path() +
                             "\nFiles Removed: 3\nTotal Size: 1.5 MB\nProjects: Alpha, Zeta\n\n" + sgl +
                             "\n" + QString(25, ' ') + "FILES REMOVED\n" + sgl +
                             "\n\n[1] B roll.mov\n    Size: 1.5 MB\n    Action: Moved to Trash\n"
                             "    Time: 2025-03-14 09:26:48\n    Projects: Zeta, Alpha\n    Path: " +
                             dir.path() +
                             "/B roll.mov\n\n[2] clip.mov\n    Size: Zero KB\n    Action: Moved to Trash\n"
                             "    Time: 2025-03-14 09:26:53\n    Path: " +
                             dir.path() +
                             "/clip.mov\n\n[3] take.mov\n    Size: 2 KB\n    Action: Moved to Trash\n"
                             "    Time: 2025-03-14 09:26:53\n    Projects: Alpha\n    Path: " +
                             dir.path() + "/take.mov\n\n" + sgl +
                             "\n\nThis trace file was created by Tarnwick.\nhttps://tarnwick.app\n\n"
                             "\U0001F3AC Keep your projects clean! \U0001F3AC\n";
    EXPECT_EQ(QString::fromUtf8(readAll(dir.path() + "/" + name)), expected);
}

TEST(TraceFileWriter, OneFilePerFolderEachNumberedFromOneAndNoneForNothing) {
    QTemporaryDir dir;
    for (const char* sub : {"a", "b", "c"})
        QDir(dir.path()).mkdir(sub);
    TraceFileWriter writer([] { return fixedTime; });
    EXPECT_EQ(writer.writeTraceFiles({}), 0);
    const QList<Info> files{{"1.mov", dir.path() + "/a/1.mov", 1, {}, fixedTime, "Permanently Deleted"},
                            {"2.mov", dir.path() + "/b/2.mov", 1, {}, fixedTime, "Permanently Deleted"},
                            {"3.mov", dir.path() + "/a/3.mov", 1, {}, fixedTime, "Permanently Deleted"},
                            {"4.mov", dir.path() + "/c/4.mov", 1, {}, fixedTime, "Permanently Deleted"}};
    EXPECT_EQ(writer.writeTraceFiles(files), 3);
    const QString name = "/Tarnwick_Trace_2025-03-14 09-26-53.txt";
    const QByteArray a = readAll(dir.path() + "/a" + name);
    EXPECT_TRUE(a.contains("Files Removed: 2\n"));
    EXPECT_TRUE(a.contains("[2] 3.mov\n"));
    EXPECT_FALSE(a.contains("2.mov"));
    EXPECT_FALSE(a.contains("Projects: "));
    EXPECT_TRUE(readAll(dir.path() + "/b" + name).contains("[1] 2.mov\n"));
}

TEST(TraceFileWriter, AFolderThatCannotBeWrittenIsOnlyLogged) {
    test::DiskFactsLogCapture log;
    TraceFileWriter writer([] { return fixedTime; });
    const Info lost{"x.mov", "/nonexistent-folder-for-trace/x.mov", 1, {}, fixedTime, "Moved to Trash"};
    EXPECT_EQ(writer.writeTraceFiles({lost}), 0);
    EXPECT_TRUE(log.contains("Failed to write trace file: "));
}

// Two runs of one second into one folder: the second file takes a counter, the first is kept.
// A file of the name cut short by a kill is completed; anyone else's is left alone.
TEST(TraceFileWriter, NeverReplacesAnExistingTraceFile) {
    QTemporaryDir dir;
    TraceFileWriter writer([] { return fixedTime; });
    const Info first{"a.mov", dir.path() + "/a.mov", 1, {}, fixedTime, "Moved to Trash"};
    const Info second{"b.mov", dir.path() + "/b.mov", 2, {}, fixedTime, "Moved to Trash"};
    ASSERT_EQ(writer.writeTraceFiles({first}), 1);
    ASSERT_EQ(writer.writeTraceFiles({second}), 1);
    const QString name = "Tarnwick_Trace_2025-03-14 09-26-53";
    EXPECT_EQ(QDir(dir.path()).entryList({"Tarnwick_Trace_*"}),
              (QStringList{name + ".txt", name + "_2.txt"}));
    EXPECT_TRUE(readAll(dir.path() + "/" + name + ".txt").contains("a.mov"));
    EXPECT_TRUE(readAll(dir.path() + "/" + name + "_2.txt").contains("b.mov"));

    const QByteArray text = TraceFileWriter::traceText(dir.path(), {first}, fixedTime).toUtf8();
    QFile torn(dir.path() + "/torn.txt");
    ASSERT_TRUE(torn.open(QIODevice::WriteOnly));
    torn.write(text.left(100));
    torn.close();
    EXPECT_EQ(writer.writeTraceFileNamed(dir.path(), "torn.txt", {first}, fixedTime),
              TraceFileWriter::NamedWrite::written);
    EXPECT_EQ(readAll(dir.path() + "/torn.txt"), text);
    EXPECT_EQ(writer.writeTraceFileNamed(dir.path(), "torn.txt", {first}, fixedTime),
              TraceFileWriter::NamedWrite::alreadyThere);
    EXPECT_EQ(writer.writeTraceFileNamed(dir.path(), name + ".txt", {second}, fixedTime),
              TraceFileWriter::NamedWrite::taken);
    EXPECT_TRUE(readAll(dir.path() + "/" + name + ".txt").contains("a.mov"));
}
