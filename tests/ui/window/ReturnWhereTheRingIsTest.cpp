// Return acts where the focus ring is, in the tool sheets and the welcome guide as in the alerts:
// on "Share My Stats" it opens the share menu, on the audit log's list it stays with the list, on a
// page dot of the guide it goes to that dot's page; Done and Next answer it where they have the ring.
#include "platform/AppLog.h"
#include "stores/AuditLogManager.h"
#include "ui/common/Sheet.h"
#include "ui/tools/AuditLogView.h"
#include "ui/tools/StatsView.h"
#include "ui/window/WelcomeView.h"
#include "ui/window/WindowTestFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

void press(Qt::Key key) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, key);
}

bool isOpen(const QPointer<Sheet>& sheet) {
    return sheet && sheet->isVisible();
}

void statistics(QWidget& window) {
    auto* view = new StatsView(AllTimeStats{}, QDateTime(QDate(2026, 6, 15), QTime(15, 0)));
    QPointer<Sheet> sheet = Sheet::present(&window, view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    view->shareButton()->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Return);
    EXPECT_TRUE(isOpen(sheet)) << "Return on Share closed the sheet";
    EXPECT_TRUE(view->shareMenu()->isVisible());
    view->shareMenu()->close();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    view->shareButton()->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Tab); // to Done
    press(Qt::Key_Return);
    EXPECT_FALSE(isOpen(sheet));
}

void auditLog(QWidget& window) {
    QTemporaryDir dir;
    AppLog::setSink([](const AppLog::Record&) {});
    AuditLogManager log(dir.path(), nullptr);
    AuditLogEntry entry;
    entry.timestamp = QDateTime::currentDateTimeUtc();
    entry.action = AuditAction::movedToTrash;
    entry.fileName = QStringLiteral("A001.mov");
    entry.filePath = QStringLiteral("/Media/A001.mov");
    AuditLogEntry second = entry;
    second.id = QUuid::createUuid();
    second.fileName = QStringLiteral("B002.mov");
    log.append({entry, second});
    log.count();
    AppLog::setSink({});
    auto* view = new AuditLogView(log);
    ASSERT_TRUE(QTest::qWaitFor([view] { return !view->isLoading(); }));
    ASSERT_EQ(view->model()->rowCount(), 2);
    QPointer<Sheet> sheet = Sheet::present(&window, view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    view->list()->setFocus(Qt::TabFocusReason);
    view->list()->setCurrentIndex(view->model()->index(1, 0));
    press(Qt::Key_Return);
    EXPECT_TRUE(isOpen(sheet)) << "Return on the list closed the sheet";
    EXPECT_EQ(view->list()->currentIndex().row(), 1);
    view->doneButton()->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Return);
    EXPECT_FALSE(isOpen(sheet));
}

void welcomeDots() {
    WindowFixture f(false);
    f.view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.view.get()));
    WelcomeView* guide = f.view->welcomeView();
    ASSERT_NE(guide, nullptr);
    guide->dots().at(3)->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Return);
    EXPECT_EQ(guide->currentStep(), 3);
    EXPECT_EQ(guide->shownDescription(), WelcomeView::steps().at(3).description);
    guide->dots().at(1)->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    EXPECT_EQ(guide->currentStep(), 1) << "Space and Return agree on a dot";
    guide->forwardButton()->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Return);
    EXPECT_EQ(guide->currentStep(), 2);
}

} // namespace

TEST(ReturnWhereTheRingIs, StatisticsAuditLogAndTheGuidesPageDots) {
    QWidget window;
    window.resize(1000, 700);
    window.show();
    {
        SCOPED_TRACE("statistics");
        statistics(window);
    }
    {
        SCOPED_TRACE("audit log");
        auditLog(window);
    }
    {
        SCOPED_TRACE("welcome guide");
        welcomeDots();
    }
}
