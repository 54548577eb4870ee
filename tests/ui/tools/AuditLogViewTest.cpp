#include "ui/tools/AuditLogView.h"

#include "platform/AppLog.h"
#include "stores/AuditLogManager.h"
#include "ui/common/Sheet.h"

#include <QApplication>

#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {
const QDateTime base = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);

AuditLogEntry entry(const QString& name, qint64 secondsAfterBase,
                    AuditAction action = AuditAction::movedToTrash) {
    AuditLogEntry e;
    e.timestamp = base.addSecs(secondsAfterBase);
    e.action = action;
    e.fileName = name;
    e.filePath = QStringLiteral("/Media/") + name;
    return e;
}

// A log holding `entries`, already read, as the window's store is once the sheet has been open.
struct StoredLog {
    explicit StoredLog(const QList<AuditLogEntry>& entries) {
        AppLog::setSink([](const AppLog::Record&) {});
        manager.append(entries);
        manager.count();
        AppLog::setSink({});
    }
    QTemporaryDir dir;
    AuditLogManager manager{dir.path(), nullptr};
};
} // namespace

TEST(AuditLogView, NewestFirstWithEntriesOfOneInstantInLoggedOrder) {
    const QList<AuditLogEntry> logged{entry(QStringLiteral("a"), 0), entry(QStringLiteral("b"), 60),
                                      entry(QStringLiteral("c"), 60), entry(QStringLiteral("d"), 30)};
    StoredLog log(logged);
    AuditLogView view(log.manager, [] { return base.addSecs(120); });
    QStringList names;
    for (int row = 0; row < view.model()->rowCount(); ++row)
        names << view.model()->index(row).data().toString();
    EXPECT_EQ(names, (QStringList{"b", "c", "d", "a"}));
    EXPECT_FALSE(view.showsEmptyState());
    // Times that only grow, as logged, take the linear path to the same order.
    const std::vector<qint64> growing{0, 60, 60, 90};
    EXPECT_EQ(newestFirstOrder(4, [&](qsizetype i) { return growing[size_t(i)]; }),
              (std::vector<qint32>{3, 1, 2, 0}));
}

TEST(AuditLogView, EachActionHasItsLabelSymbolAndColour) {
    const QList<std::tuple<AuditAction, QString, QString, QColor>> table{
        {AuditAction::movedToTrash, "trash", "Moved to Trash", QColor(0xFF, 0x95, 0x00)},
        {AuditAction::deletedPermanently, "trash.slash", "Deleted Permanently", QColor(0xFF, 0x3B, 0x30)},
        {AuditAction::movedToFolder, "folder", "Moved to Folder", QColor(0x00, 0x7A, 0xFF)},
        {AuditAction::restored, "arrow.uturn.backward", "Restored", QColor(0x34, 0xC7, 0x59)},
        {AuditAction::transcoded, "arrow.trianglehead.swap", "Transcoded & Replaced",
         QColor(0x58, 0x56, 0xD6)}};
    for (const auto& [action, symbol, label, colour] : table) {
        const AuditActionStyle style = auditActionStyle(action);
        EXPECT_EQ(style.symbol, symbol);
        EXPECT_EQ(style.label, label);
        EXPECT_EQ(style.color, colour);
    }
}

TEST(AuditLogView, RowsShowSizeProjectsAndTheDestinationFolder) {
    AuditLogEntry moved = entry(QStringLiteral("clip.mov"), 0, AuditAction::movedToFolder);
    moved.fileSize = 0;
    moved.destinationPath = QStringLiteral("/Archive/Day1/clip.mov");
    moved.projectNames = {QStringLiteral("Promo"), QStringLiteral("Teaser")};
    AuditLogEntry trashed = entry(QStringLiteral("b.mov"), -10);
    trashed.fileSize = 2'000'000;
    StoredLog log({moved, trashed});
    AuditLogView view(log.manager, [] { return base; });
    const QModelIndex first = view.model()->index(0);
    EXPECT_EQ(first.data(AuditLogModel::actionLabelRole).toString(), QStringLiteral("Moved to Folder"));
    EXPECT_TRUE(
        first.data(AuditLogModel::detailRole).toString().endsWith(QStringLiteral("•  Promo, Teaser")));
    EXPECT_FALSE(first.data(AuditLogModel::detailRole).toString().isEmpty());
    EXPECT_EQ(first.data(AuditLogModel::destinationRole).toString(), QStringLiteral("→ /Archive/Day1"));
    const QModelIndex second = view.model()->index(1);
    EXPECT_FALSE(second.data(AuditLogModel::detailRole).toString().contains(QStringLiteral("•")));
    EXPECT_FALSE(second.data(AuditLogModel::destinationRole).isValid());
}

TEST(AuditLogView, RelativeTimesFollowTheClockWhenTheTimerFires) {
    QDateTime now = base.addSecs(59);
    StoredLog log({entry(QStringLiteral("a"), 0)});
    AuditLogView view(log.manager, [&now] { return now; });
    EXPECT_EQ(view.model()->index(0).data(AuditLogModel::relativeTimeRole).toString(),
              QStringLiteral("59 seconds ago"));
    EXPECT_TRUE(view.refreshTimer()->isActive());
    QSignalSpy changed(view.model(), &QAbstractItemModel::dataChanged);
    now = base.addSecs(3 * 3600 + 5);
    QMetaObject::invokeMethod(view.refreshTimer(), "timeout");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(view.model()->index(0).data(AuditLogModel::relativeTimeRole).toString(),
              QStringLiteral("3 hours ago"));
    EXPECT_EQ(relativeTimeText(base, base.addDays(1)), QStringLiteral("1 day ago"));
    EXPECT_EQ(relativeTimeText(base, base), QStringLiteral("now"));
}

TEST(AuditLogView, AnEmptyLogShowsNoEntriesAndReturnCloses) {
    StoredLog log({});
    QWidget window;
    window.show();
    auto* view = new AuditLogView(log.manager);
    EXPECT_TRUE(view->showsEmptyState());
    QStringList texts;
    for (const QLabel* label : view->findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("No Entries")));
    EXPECT_TRUE(texts.contains(QStringLiteral("File operations will be logged here")));
    QPointer<Sheet> sheet = Sheet::present(&window, view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(!sheet || !sheet->isVisible());
}

TEST(AuditLogView, DestinationFolderDropsTheFileName) {
    EXPECT_EQ(destinationFolder(QStringLiteral("/Archive/Day1/clip.mov")), QStringLiteral("/Archive/Day1"));
    EXPECT_EQ(destinationFolder(QStringLiteral("/clip.mov")), QStringLiteral("/"));
}

// The sheet opens at once on a log not read yet, reads it off the GUI thread, then shows its rows.
TEST(AuditLogView, AnUnreadLogIsReadOffTheGuiThread) {
    QTemporaryDir dir;
    AppLog::setSink([](const AppLog::Record&) {});
    {
        AuditLogManager writer(dir.path(), nullptr);
        writer.append({entry(QStringLiteral("a"), 0), entry(QStringLiteral("b"), 10)});
        ASSERT_TRUE(writer.compact());
        writer.append(entry(QStringLiteral("c"), 20)); // still in the journal
    }
    AuditLogManager log(dir.path(), nullptr);
    AuditLogView view(log, [] { return base; });
    EXPECT_TRUE(view.isLoading());
    QSignalSpy loaded(&view, &AuditLogView::loaded);
    ASSERT_TRUE(loaded.wait(10000));
    EXPECT_FALSE(view.isLoading());
    ASSERT_EQ(view.model()->rowCount(), 3);
    EXPECT_EQ(view.model()->index(0).data().toString(), QStringLiteral("c"));
    EXPECT_EQ(view.model()->index(2).data().toString(), QStringLiteral("a"));
    AppLog::setSink({});
}
