#include "ui/tools/EasyImportSheet.h"

#include "platform/DirectoryWalker.h"
#include "ui/common/ElidedLabel.h"
#include "ui/tools/EasyImportRows.h"
#include "ui/tools/EasyImportScan.h"
#include "ui/tools/ToolSheetFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {
void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
}

QStringList names(const QList<DiscoveredProject>& projects) {
    QStringList out;
    for (const DiscoveredProject& p : projects)
        out << QDir(p.parentDirectory).dirName() + QLatin1Char('/') + p.fileName;
    return out;
}
} // namespace

TEST(EasyImportScan, KeepsProjectsByExtensionAndSkipsAutoSaveHiddenPackagesAndOpenOnes) {
    QTemporaryDir root;
    const QString r = root.path();
    touch(r + QStringLiteral("/Jobs/A.PRPROJ"));
    touch(r + QStringLiteral("/Jobs/b.prproj"));
    touch(r + QStringLiteral("/Jobs/c.prproj.bak"));
    touch(r + QStringLiteral("/Jobs/Adobe Premiere Pro Auto-Save/deep/x.prproj"));
    touch(r + QStringLiteral("/Jobs/adobe premiere pro auto-save/kept.prproj"));
    touch(r + QStringLiteral("/Jobs/.hidden/h.prproj"));
    touch(r + QStringLiteral("/Jobs/.h.prproj"));
    touch(r + QStringLiteral("/Jobs/Lib.") + packageExtensions().first() + QStringLiteral("/in.prproj"));
    touch(r + QStringLiteral("/Jobs/open.prproj"));
    const QSet<QUrl> open{QUrl::fromLocalFile(r + QStringLiteral("/Jobs/open.prproj"))};
    const QList<DiscoveredProject> found = EasyImportScan::scan(r, open);
    EXPECT_EQ(names(found),
              (QStringList{"Jobs/A.PRPROJ", "Jobs/b.prproj", "adobe premiere pro auto-save/kept.prproj"}));
    EXPECT_EQ(found.first().size, 1);
    EXPECT_TRUE(found.first().modificationDate.isValid());
    EXPECT_TRUE(EasyImportScan::scan(r + QStringLiteral("/missing"), {}).isEmpty());
}

TEST(EasyImportScan, FoldersAndNamesGoInCodePointOrder) {
    QTemporaryDir root;
    touch(root.filePath(QStringLiteral("alpha/z.prproj")));
    touch(root.filePath(QStringLiteral("Zeta/a.prproj")));
    touch(root.filePath(QStringLiteral("Zeta/B.prproj")));
    const QList<DiscoveredProjectFolder> groups =
        EasyImportScan::groups(EasyImportScan::scan(root.path(), {}));
    ASSERT_EQ(groups.size(), 2);
    EXPECT_TRUE(groups.at(0).directory.endsWith(QStringLiteral("/Zeta")));
    EXPECT_EQ(groups.at(0).projects.at(0).fileName, QStringLiteral("B.prproj"));
    EXPECT_EQ(groups.at(0).projects.at(1).fileName, QStringLiteral("a.prproj"));
    EXPECT_TRUE(groups.at(1).directory.endsWith(QStringLiteral("/alpha")));
}

TEST(EasyImportScan, ProgressCountsEveryEntryEvery500) {
    QTemporaryDir root;
    QDir(root.path()).mkdir(QStringLiteral("shoot"));
    for (int i = 0; i < 1233; ++i)
        touch(root.filePath(QStringLiteral("shoot/clip%1.mov").arg(i)));
    QStringList messages;
    EasyImportScan::scan(root.path(), {}, [&](const QString& text) { messages << text; });
    EXPECT_EQ(messages,
              (QStringList{QStringLiteral("Scanning ") + QDir(root.path()).dirName() + QStringLiteral("..."),
                           "Scanned 0 items...", "Scanned 500 items...", "Scanned 1000 items..."}));
}

TEST(EasyImportSheet, ScanOnAWorkerTicksEverythingAndImportsTheSelection) {
    ToolSheetFixture f;
    QTemporaryDir root;
    touch(root.filePath(QStringLiteral("Jobs/one.prproj")));
    touch(root.filePath(QStringLiteral("Jobs/two.prproj")));
    QList<QList<QUrl>> imported;
    EasyImportSheet sheet(f.pm(), f.panel, f.grants, [&](const QList<QUrl>& urls) { imported << urls; });
    EXPECT_EQ(sheet.size(), QSize(550, 450));
    EXPECT_EQ(sheet.body(), EasyImportSheet::Body::idle);

    f.panel.choice = {QUrl::fromLocalFile(root.filePath(QStringLiteral("Jobs")))};
    QSignalSpy finished(&sheet, &EasyImportSheet::scanFinished);
    sheet.chooseFolder();
    ASSERT_EQ(f.panel.requests.size(), 1);
    EXPECT_EQ(f.panel.requests.first().prompt, QStringLiteral("Scan"));
    EXPECT_FALSE(f.panel.requests.first().allowsMultipleSelection);
    EXPECT_EQ(sheet.body(), EasyImportSheet::Body::scanning); // the GUI thread is free meanwhile
    ASSERT_TRUE(finished.wait(20'000));
    EXPECT_EQ(sheet.body(), EasyImportSheet::Body::results);
    EXPECT_EQ(sheet.summaryText(), QStringLiteral("Found 2 projects in Jobs"));
    EXPECT_EQ(sheet.importButton()->text(), QStringLiteral("Import 2 Selected"));
    EXPECT_TRUE(sheet.importButton()->isEnabled());

    sheet.selectNone();
    EXPECT_EQ(sheet.importButton()->text(), QStringLiteral("Import 0 Selected"));
    EXPECT_FALSE(sheet.importButton()->isEnabled());
    // Ticking the second row through the list.
    QStandardItem* folder = sheet.model()->item(0);
    ASSERT_EQ(folder->rowCount(), 2);
    folder->child(1)->setCheckState(Qt::Checked);
    EXPECT_EQ(sheet.importButton()->text(), QStringLiteral("Import 1 Selected"));
    sheet.importButton()->click();
    ASSERT_EQ(imported.size(), 1);
    EXPECT_EQ(imported.first(),
              QList<QUrl>{QUrl::fromLocalFile(root.filePath(QStringLiteral("Jobs/two.prproj")))});
}

TEST(EasyImportSheet, OneProjectIsSingularAndACancelledPanelKeepsTheResults) {
    ToolSheetFixture f;
    QTemporaryDir root;
    touch(root.filePath(QStringLiteral("Solo/only.prproj")));
    EasyImportSheet sheet(f.pm(), f.panel, f.grants, {});
    QSignalSpy finished(&sheet, &EasyImportSheet::scanFinished);
    sheet.startScan(root.filePath(QStringLiteral("Solo")));
    ASSERT_TRUE(finished.wait(20'000));
    EXPECT_EQ(sheet.summaryText(), QStringLiteral("Found 1 project in Solo"));
    sheet.chooseFolder(); // the panel answers nothing
    EXPECT_EQ(sheet.foundProjects().size(), 1);
    EXPECT_EQ(sheet.body(), EasyImportSheet::Body::results);
}

TEST(EasyImportSheet, LongFoldersAndNamesAreElidedNeverCutOrWrapped) {
    ToolSheetFixture f;
    QTemporaryDir root;
    const QString deep =
        QStringLiteral("Shoot 2024 Harbour Promo Client Deliverables/Day 2/Editorial Projects");
    const QString name = QStringLiteral("Harbour Promo Final Edit With Extra Long Name v12.prproj");
    touch(root.filePath(deep + QLatin1Char('/') + name));
    const QString scanned = root.filePath(QStringLiteral("Shoot 2024 Harbour Promo Client Deliverables"));
    EasyImportSheet sheet(f.pm(), f.panel, f.grants, {});
    sheet.show();
    QSignalSpy finished(&sheet, &EasyImportSheet::scanFinished);
    sheet.startScan(scanned);
    ASSERT_TRUE(finished.wait(20'000));
    QApplication::processEvents();

    // The summary: the whole text when there is room, else elided in the middle, never clipped.
    ElidedLabel* summary = sheet.summary();
    EXPECT_EQ(summary->text(), sheet.summaryText());
    summary->resize(120, summary->height());
    EXPECT_TRUE(summary->shownText().contains(QChar(0x2026)));
    EXPECT_TRUE(summary->shownText().startsWith(QStringLiteral("Found 1")));
    EXPECT_LE(summary->fontMetrics().horizontalAdvance(summary->shownText()), 120);

    auto* rows = qobject_cast<EasyImportRows*>(sheet.list()->itemDelegate());
    ASSERT_NE(rows, nullptr);
    const QModelIndex header = sheet.model()->index(0, 0);
    const QModelIndex project = sheet.model()->index(0, 0, header);
    QStyleOptionViewItem option;
    option.font = sheet.list()->font();
    // The header keeps the end of the path: the folder the projects are in.
    const QStringList headerLines = rows->shownLines(option, header, 160);
    ASSERT_EQ(headerLines.size(), 1);
    EXPECT_TRUE(headerLines[0].startsWith(QChar(0x2026)));
    EXPECT_TRUE(headerLines[0].endsWith(QStringLiteral("/Editorial Projects")));
    // A project: its name on a line of its own in medium weight, size and date below.
    const QStringList projectLines = rows->shownLines(option, project, 1000);
    ASSERT_EQ(projectLines.size(), 2);
    EXPECT_EQ(projectLines[0], name);
    EXPECT_TRUE(projectLines[1].startsWith(QStringLiteral("1 byte")));
    EXPECT_EQ(EasyImportRows::nameFont(option.font).weight(), QFont::Medium);
    const QStringList narrow = rows->shownLines(option, project, 150);
    EXPECT_TRUE(narrow[0].contains(QChar(0x2026)));
    EXPECT_TRUE(narrow[0].endsWith(QStringLiteral(".prproj")));
    EXPECT_GT(rows->sizeHint(option, project).height(), rows->sizeHint(option, header).height());
}
