// The bin's actions through the real engine: real files in a temporary folder, a temporary home.
#include "support/CleanupHarness.h"
#include "ui/bin/BinOverlays.h"
#include "ui/bin/BinSheets.h"
#include "ui/bin/BinViews.h"
#include "ui/bin/RecycleBinView.h"
#include "ui/sidebar/SidebarViews.h"
#include "ui/window/WindowTestFixture.h"

#include <QDirIterator>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

ViewFactories binViews() {
    ViewFactories f;
    installSidebarView(f);
    installBinViews(f);
    return f;
}

struct EndToEnd {
    QTemporaryDir home;
    QTemporaryDir mediaDir;
    ScopedEnv homeVar{"HOME", QFile::encodeName(home.path())};
    ScopedEnv dataVar{"XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data"))};
    WindowFixture window{true, true, binViews()};

    MediaFile makeFile(const QString& name, qint64 size) {
        const QString path = mediaDir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'm'));
        return media(path, 0, MediaFileStatus::online, size);
    }
    void stageThroughEngine(const QList<MediaFile>& files) {
        window.pm().edit(ProjectManager::ListChange::entries).setMediaFiles(files);
        window.settle();
        window.view->operations().addToRecycleBin(window.pm(), files);
        window.settle();
    }
    RecycleBinView* pane() { return window.view->findChild<RecycleBinView*>(); }
    bool waitForPresentation(const QString& name) {
        return QTest::qWaitFor([&] { return window.presented() == name; }, 60'000);
    }
};

} // namespace

TEST(BinEndToEnd, TrashThroughThePaneLeavesFilesInTheHomeTrash) {
    EndToEnd e;
    e.stageThroughEngine(
        {e.makeFile(QStringLiteral("A001.mov"), 2048), e.makeFile(QStringLiteral("B002.mov"), 10)});
    ASSERT_EQ(e.window.pm().recycleBin().size(), 2);
    QTest::mouseClick(e.pane()->footerButtons().at(1), Qt::LeftButton);
    e.window.settle();
    ASSERT_EQ(e.window.presented(), QStringLiteral("Delete Files"));
    const auto alert = e.window.view->presentations().current()->findChildren<QPushButton*>();
    QPushButton* trash = nullptr;
    for (QPushButton* b : alert)
        if (b->accessibleName() == QStringLiteral("Move to Trash"))
            trash = b;
    ASSERT_NE(trash, nullptr);
    QTest::mouseClick(trash, Qt::LeftButton);
    ASSERT_TRUE(e.waitForPresentation(QStringLiteral("DeletionResultView")));
    auto* result = e.window.view->presentations().current()->findChild<ResultSheet*>();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->counts()->text(), QStringLiteral("2 file(s) processed successfully"));
    EXPECT_FALSE(QFile::exists(e.mediaDir.filePath(QStringLiteral("A001.mov"))));
    const QString trashDir = e.home.path() + QStringLiteral("/data/Trash");
    for (const char* name : {"A001.mov", "B002.mov"}) {
        const QString n = QString::fromUtf8(name);
        EXPECT_TRUE(QFile::exists(trashDir + QStringLiteral("/files/") + n)) << name;
        QSettings info(trashDir + QStringLiteral("/info/") + n + QStringLiteral(".trashinfo"),
                       QSettings::IniFormat);
        EXPECT_EQ(
            QUrl::fromPercentEncoding(info.value(QStringLiteral("Trash Info/Path")).toString().toUtf8()),
            e.mediaDir.filePath(n));
        EXPECT_TRUE(QDateTime::fromString(info.value(QStringLiteral("Trash Info/DeletionDate")).toString(),
                                          Qt::ISODate)
                        .isValid());
    }
    EXPECT_TRUE(e.pane()->showsEmptyState());
}

TEST(BinEndToEnd, MoveToFolderKeepsTheFormerPath) {
    EndToEnd e;
    QTemporaryDir archive;
    e.stageThroughEngine({e.makeFile(QStringLiteral("C003.mov"), 4096)});
    e.window.panel.choice = {QUrl::fromLocalFile(archive.path())};
    QTest::mouseClick(e.pane()->footerButtons().at(2), Qt::LeftButton);
    ASSERT_TRUE(e.waitForPresentation(QStringLiteral("Move Files to Folder?")));
    QPushButton* move = nullptr;
    for (QPushButton* b : e.window.view->presentations().current()->findChildren<QPushButton*>())
        if (b->accessibleName() == QStringLiteral("Move"))
            move = b;
    ASSERT_NE(move, nullptr);
    QTest::mouseClick(move, Qt::LeftButton);
    ASSERT_TRUE(e.waitForPresentation(QStringLiteral("OperationResultView")));
    auto* result = e.window.view->presentations().current()->findChild<ResultSheet*>();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->headline()->text(), QStringLiteral("Move Complete"));
    EXPECT_FALSE(QFile::exists(e.mediaDir.filePath(QStringLiteral("C003.mov"))));
    EXPECT_TRUE(QFile::exists(archive.path() + e.mediaDir.filePath(QStringLiteral("C003.mov"))));
    EXPECT_EQ(e.window.view->findChild<MoveProgressOverlay*>(), nullptr);
}

TEST(BinEndToEnd, TranscodeATinyClipShowsTheResultCard) {
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "no ffmpeg";
    EndToEnd e;
    const QString clip = e.mediaDir.filePath(QStringLiteral("D004.mov"));
    QProcess make;
    make.start(QStringLiteral("ffmpeg"),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                QStringLiteral("-i"), QStringLiteral("testsrc=size=160x120:rate=10:duration=1"),
                QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"), QStringLiteral("2"),
                clip});
    ASSERT_TRUE(make.waitForFinished(60'000));
    ASSERT_EQ(make.exitCode(), 0);
    MediaFile file = media(clip, 0, MediaFileStatus::online, QFileInfo(clip).size());
    e.stageThroughEngine({file});
    QTest::mouseClick(e.pane()->footerButtons().at(4), Qt::LeftButton);
    ASSERT_TRUE(e.waitForPresentation(QStringLiteral("TranscodeConfirmationSheet")));
    auto* sheet = e.window.view->presentations().current()->findChild<TranscodeConfirmationSheet*>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->plan().transcodable, 1);
    QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return e.window.view->findChild<TranscodeCompleteOverlay*>() != nullptr; }, 300'000));
    auto* card = e.window.view->findChild<TranscodeCompleteOverlay*>();
    EXPECT_EQ(card->title()->text(), QStringLiteral("Transcode Complete"));
    QStringList errors;
    for (QLabel* l : card->errorLines())
        errors.append(l->text());
    EXPECT_EQ(card->look().symbol, QStringLiteral("checkmark.circle"))
        << errors.join(QLatin1Char('\n')).toStdString();
    ASSERT_FALSE(card->columnCaptions().isEmpty());
    EXPECT_EQ(card->columnCaptions().first()->text(), QStringLiteral("Transcoded"));
    EXPECT_EQ(card->columnValues().first()->text(), QStringLiteral("1"));
    EXPECT_TRUE(QFile::exists(clip)); // replaced in place
    QTest::mouseClick(card->doneButton(), Qt::LeftButton);
    e.window.settle();
    EXPECT_EQ(e.window.view->findChild<TranscodeCompleteOverlay*>(), nullptr);
}

// A bin with a still image: the sheet, the progress and the result count the same files, and the
// still's error line names it once.
TEST(BinEndToEnd, TranscodeCountsTheSameFilesFromSheetToResult) {
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "no ffmpeg";
    EndToEnd e;
    QList<MediaFile> files;
    struct Made {
        const char* name;
        const char* frames;
        const char* codec;
    };
    for (const Made& m : {Made{"E005.mov", "10", "mjpeg"}, Made{"Logo_Card.png", "1", "png"}}) {
        const QString path = e.mediaDir.filePath(QString::fromUtf8(m.name));
        QProcess make;
        make.start(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                    QStringLiteral("lavfi"), QStringLiteral("-i"),
                    QStringLiteral("testsrc=size=160x120:rate=10"), QStringLiteral("-frames:v"),
                    QString::fromUtf8(m.frames), QStringLiteral("-c:v"), QString::fromUtf8(m.codec),
                    QStringLiteral("-q:v"), QStringLiteral("2"), path});
        ASSERT_TRUE(make.waitForFinished(60'000));
        ASSERT_EQ(make.exitCode(), 0);
        files.append(media(path, 0, MediaFileStatus::online, QFileInfo(path).size()));
    }
    e.stageThroughEngine(files);
    QTest::mouseClick(e.pane()->footerButtons().at(4), Qt::LeftButton);
    ASSERT_TRUE(e.waitForPresentation(QStringLiteral("TranscodeConfirmationSheet")));
    auto* sheet = e.window.view->presentations().current()->findChild<TranscodeConfirmationSheet*>();
    ASSERT_NE(sheet, nullptr);
    const int confirmed = sheet->plan().transcodable;
    EXPECT_EQ(confirmed, 2);
    QSet<qint64> totals;
    qint64 completed = 0;
    QObject::connect(&e.window.pm(), &ProjectManager::transcodeProgressChanged, [&] {
        const TranscodeRunProgress& p = e.window.pm().transcodeProgress();
        if (p.isTranscodeInProgress)
            totals.insert(p.transcodeTotalFiles);
        completed = std::max(completed, p.transcodeFilesCompleted);
    });
    QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return e.window.view->findChild<TranscodeCompleteOverlay*>() != nullptr; }, 300'000));
    e.window.settle();
    const TranscodeCompleteResult result = *e.window.pm().transcodeProgress().transcodeCompleteResult;
    EXPECT_EQ(totals, QSet<qint64>{confirmed});
    EXPECT_EQ(completed, confirmed);
    EXPECT_EQ(result.transcoded + result.failed, confirmed);
    EXPECT_EQ(result.skipped, 0);
    EXPECT_EQ(result.errors, QStringList{QStringLiteral("Logo_Card.png: No video track")});
}

// A Trash that cannot keep its records (the journal refuses the first lines) does not start: the
// sheet says so with the reason once, never "Complete with Errors" with a line per file, and
// offers nothing for the files, which stay where they are and in the bin.
TEST(BinEndToEnd, ATrashThatCannotKeepItsRecordsShowsAsNotStarted) {
    EndToEnd e;
    e.stageThroughEngine(
        {e.makeFile(QStringLiteral("F006.mov"), 100), e.makeFile(QStringLiteral("G007.mov"), 100)});
    AuditLogManager* audit = e.window.pm().auditLog();
    ASSERT_NE(audit, nullptr);
    audit->journal().setWriteFaultForTesting([] { return ENOSPC; });
    QTest::mouseClick(e.pane()->footerButtons().at(1), Qt::LeftButton);
    e.window.settle();
    QPushButton* trash = nullptr;
    for (QPushButton* b : e.window.view->presentations().current()->findChildren<QPushButton*>())
        if (b->accessibleName() == QStringLiteral("Move to Trash"))
            trash = b;
    ASSERT_NE(trash, nullptr);
    QTest::mouseClick(trash, Qt::LeftButton);
    ASSERT_TRUE(e.waitForPresentation(QStringLiteral("DeletionResultView")))
        << e.window.presented().toStdString();
    audit->journal().setWriteFaultForTesting({});
    auto* result = e.window.view->presentations().current()->findChild<ResultSheet*>();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->headline()->text(), QStringLiteral("Move to Trash Not Started"));
    EXPECT_EQ(result->counts()->text(),
              QStringLiteral("The run did not start because its records could not be kept (") +
                  qt_error_string(ENOSPC) + QStringLiteral(").\nNo file was changed."));
    EXPECT_EQ(result->errorScroll(), nullptr);
    EXPECT_TRUE(QFile::exists(e.mediaDir.filePath(QStringLiteral("F006.mov"))));
    EXPECT_EQ(e.window.pm().recycleBin().size(), 2);
}
