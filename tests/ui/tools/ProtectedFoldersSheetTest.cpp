#include "ui/tools/ProtectedFoldersSheet.h"

#include "support/UiTestHelpers.h"
#include "ui/tools/ToolSheetFixture.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {
QString makeDir(const QTemporaryDir& root, const QString& name) {
    QDir(root.path()).mkpath(name);
    return QFileInfo(root.filePath(name)).canonicalFilePath();
}
} // namespace

TEST(ProtectedFoldersSheet, SeveralFoldersAtOnceAreAddedSortedLoggedAndStored) {
    ToolSheetFixture f;
    QTemporaryDir disk;
    const QString zeta = makeDir(disk, QStringLiteral("Zeta"));
    const QString alpha = makeDir(disk, QStringLiteral("alpha"));
    const QString beta = makeDir(disk, QStringLiteral("Beta"));
    ProtectedFoldersSheet sheet(f.pm(), f.harness.folders, f.panel, f.grants);
    EXPECT_TRUE(sheet.showsEmptyState());

    f.panel.choice = {QUrl::fromLocalFile(zeta), QUrl::fromLocalFile(alpha), QUrl::fromLocalFile(beta)};
    UiLogCapture log;
    sheet.addButton()->click();
    ASSERT_EQ(f.panel.requests.size(), 1);
    const OpenPanelRequest& request = f.panel.requests.first();
    EXPECT_TRUE(request.allowsMultipleSelection);
    EXPECT_TRUE(request.canChooseDirectories);
    EXPECT_FALSE(request.canChooseFiles);
    EXPECT_EQ(request.message, QStringLiteral("Choose folders to protect from all destructive actions"));
    EXPECT_EQ(request.prompt, QStringLiteral("Protect"));

    const QStringList expected{alpha, beta, zeta};
    EXPECT_EQ(sheet.shownFolders(), expected);
    EXPECT_EQ(f.harness.folders.folders(), expected);
    EXPECT_EQ(f.pm().options().protectedFolders, expected);
    EXPECT_FALSE(sheet.showsEmptyState());
    EXPECT_EQ(f.backend->bookmarksCreated, 3);
    for (const QString& path : {zeta, alpha, beta})
        EXPECT_TRUE(log.lines.contains(QStringLiteral("[UI] 👆 User: Protected folder added: ") + path))
            << log.lines.join(QLatin1Char('\n')).toStdString();
}

TEST(ProtectedFoldersSheet, ALinkedFolderIsProtectedOnceByItsResolvedPath) {
    ToolSheetFixture f;
    QTemporaryDir disk;
    const QString real = makeDir(disk, QStringLiteral("Library"));
    const QString link = disk.filePath(QStringLiteral("Shortcut"));
    ASSERT_TRUE(QFile::link(real, link));
    ProtectedFoldersSheet sheet(f.pm(), f.harness.folders, f.panel, f.grants);
    sheet.addFolders({QUrl::fromLocalFile(link)});
    sheet.addFolders({QUrl::fromLocalFile(real)});
    EXPECT_EQ(sheet.shownFolders(), QStringList{real});
}

TEST(ProtectedFoldersSheet, RemovingTheLastFolderBringsBackTheEmptyStateAndClearsTheMark) {
    ToolSheetFixture f;
    QTemporaryDir disk;
    const QString folder = makeDir(disk, QStringLiteral("Keep"));
    f.pm().edit(ProjectManager::ListChange::none).setMediaFiles({media(folder + QStringLiteral("/a.mov"))});
    ProtectedFoldersSheet sheet(f.pm(), f.harness.folders, f.panel, f.grants);
    sheet.addFolders({QUrl::fromLocalFile(folder)});
    ASSERT_TRUE(f.pm().mediaFiles().first().isProtected);
    QPushButton* remove = sheet.removeButton(folder);
    ASSERT_NE(remove, nullptr);
    EXPECT_EQ(remove->toolTip(), QStringLiteral("Remove protection"));
    remove->click();
    drainEvents();
    EXPECT_TRUE(sheet.showsEmptyState());
    EXPECT_TRUE(f.harness.folders.folders().isEmpty());
    EXPECT_FALSE(f.pm().mediaFiles().first().isProtected);
}

TEST(ProtectedFoldersSheet, ACancelledPanelChangesNothingAndEscapeCloses) {
    ToolSheetFixture f;
    ProtectedFoldersSheet sheet(f.pm(), f.harness.folders, f.panel, f.grants);
    EXPECT_EQ(sheet.size(), QSize(460, 480));
    sheet.addButton()->click();
    EXPECT_TRUE(sheet.showsEmptyState());
    EXPECT_TRUE(f.harness.folders.folders().isEmpty());
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    sheet.activateWindow();
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_FALSE(sheet.isVisible());
}

TEST(ProtectedFoldersSheet, RowsStandOnTheRaisedSurface) {
    ToolSheetFixture f;
    QTemporaryDir disk;
    ProtectedFoldersSheet sheet(f.pm(), f.harness.folders, f.panel, f.grants);
    sheet.addFolders({QUrl::fromLocalFile(makeDir(disk, QStringLiteral("Library")))});
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    const QList<QWidget*> rows = sheet.findChildren<QWidget*>(QStringLiteral("roundedRow"));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0]->grab().toImage().pixelColor(4, rows[0]->height() / 2), QColor(0x2A, 0x2A, 0x2A));
}
