// The tour's keyboard states of the sheets: Return on "Share My Stats" and on a page dot of the
// guide, the rings of the audit log's and the bin's lists, and the table's row menu opened with
// Shift+F10.
#include "app/tour/ScreenshotTour.h"
#include "app/tour/TourKeys.h"

#include "app/MainWindow.h"

#include "ui/bin/RecycleBinView.h"
#include "ui/browser/MediaFileListView.h"
#include "ui/browser/MediaTableModel.h"
#include "ui/tools/AuditLogView.h"
#include "ui/tools/StatsView.h"
#include "ui/window/ContentView.h"
#include "ui/window/WelcomeView.h"

#include <QAbstractButton>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTableView>

namespace tarnwick {

namespace {} // namespace

// The ring on "Share My Stats", then Return: its menu opens and the sheet stays.
void ScreenshotTour::statsShareByReturn() {
    m_steps << act([this] { view().handleCommand(Command::showStats); }, 500)
            << act(
                   [this] {
                       if (auto* stats = findSheet<StatsView>()) {
                           stats->shareButton()->setFocus(Qt::TabFocusReason);
                           tourKeys::press(Qt::Key_Return);
                       }
                   },
                   400)
            << shot(QStringLiteral("sheet-stats-share-menu-by-return"));
    m_steps << act(
        [this] {
            if (auto* stats = findSheet<StatsView>())
                stats->shareMenu()->close();
        },
        200);
    closeSheet();
}

// The audit log with the keyboard on its list: the ring round the list, its second row current.
void ScreenshotTour::auditLogListFocus() {
    m_steps << act([this] { view().handleCommand(Command::viewAuditLog); }, 600)
            << act(
                   [this] {
                       auto* log = findSheet<AuditLogView>();
                       if (!log || log->model()->rowCount() < 2)
                           return;
                       log->list()->setFocus(Qt::TabFocusReason);
                       log->list()->setCurrentIndex(log->model()->index(1, 0));
                   },
                   300)
            << shot(QStringLiteral("sheet-audit-log-list-focus"));
    closeSheet();
}

// The guide shown again from its menu, the ring on the fourth page dot and Return pressed: that page.
void ScreenshotTour::welcomeDotByReturn() {
    m_steps << act(
                   [this] {
                       view().handleCommand(Command::showWelcomeGuide);
                       m_window.activateWindow(); // Return goes where the active window's focus is
                   },
                   600)
            << act(
                   [this] {
                       if (WelcomeView* guide = view().welcomeView())
                           guide->dots().at(3)->setFocus(Qt::TabFocusReason);
                   },
                   300)
            << act([] { tourKeys::press(Qt::Key_Return); }, 500)
            << shot(QStringLiteral("welcome-dot-by-return"))
            << act(
                   [this] {
                       if (WelcomeView* guide = view().welcomeView())
                           guide->skipButton()->click();
                   },
                   500);
}

// The bin's list with the keyboard on it: the ring round the list.
void ScreenshotTour::binListFocus() {
    m_steps << act(
                   [this] {
                       if (auto* bin = view().findChild<RecycleBinView*>()) {
                           m_window.activateWindow(); // the ring shows on the active window's focus
                           bin->list()->setFocus(Qt::TabFocusReason);
                       }
                   },
                   300)
            << shot(QStringLiteral("bin-list-focus"));
}

// Shift+F10 with the keyboard on the table's fourth row: the row's menu beside it.
void ScreenshotTour::tableMenuByKeyboard() {
    m_steps << act(
                   [this] {
                       view().setDetailViewMode(DetailViewMode::table);
                       m_window.activateWindow(); // the keys go where the active window's focus is
                   },
                   500)
            << act(
                   [this] {
                       auto* list = view().findChild<MediaFileListView*>();
                       if (!list || list->model()->rowCount() < 4)
                           return;
                       list->setSelectedFiles({});
                       list->table()->setFocus(Qt::TabFocusReason);
                       list->table()->selectionModel()->setCurrentIndex(
                           list->model()->index(3, MediaTableModel::fileName), QItemSelectionModel::NoUpdate);
                   },
                   300)
            << act([] { tourKeys::press(Qt::Key_F10, Qt::ShiftModifier); }, 500)
            << shot(QStringLiteral("table-menu-by-shift-f10"))
            << act(
                   [] {
                       if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
                           menu->close();
                   },
                   200);
}

} // namespace tarnwick
