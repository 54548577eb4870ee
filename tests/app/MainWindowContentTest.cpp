#include "app/MainWindow.h"
#include "platform/Preferences.h"
#include "stores/SecurityScopedAccess.h"
#include "support/FakeAccessGrantBackend.h"
#include "support/ProjectManagerHarness.h"
#include "support/WindowActions.h"
#include "ui/bin/BinViews.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/FilePanel.h"
#include "ui/sidebar/SidebarViews.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

#include <QApplication>
#include <QPushButton>
#include <QScrollArea>

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

// A main window round the application's own sidebar and bin pane, on temporary stores.
struct ScreenFixture {
    tarnwick::testing::ProjectManagerHarness harness;
    QTemporaryDir dir;
    Preferences prefs{dir.filePath(QStringLiteral("ui.ini"))};
    CommandCenter center;
    SecurityScopedAccess grants{dir.filePath(QStringLiteral("grants")),
                                std::make_shared<FakeAccessGrantBackend>(), false};
    tarnwick::testing::WindowActions actions{center, FilePanel::system(), grants};
    MainWindow window{center};
    ContentView* view = nullptr;

    explicit ScreenFixture(bool welcomeDone) {
        prefs.setValue(QStringLiteral("hasCompletedWelcome"), welcomeDone);
        ContentView::Services services;
        services.preferences = &prefs;
        services.commands = &center;
        services.grants = &grants;
        services.actions = actions.actions();
        services.openURL = [](const QUrl&) { return true; };
        installSidebarView(services.factories);
        installBinViews(services.factories);
        view = new ContentView(std::move(harness.manager), std::move(services));
        window.setContentView(view);
        window.show();
        tarnwick::testing::drainEvents();
    }

    QScrollArea* scroll() const { return window.findChild<QScrollArea*>(QStringLiteral("contentScroll")); }
    // Scrolled to as the keyboard's focus would scroll to it, it lies whole inside the window's view.
    bool reachable(QWidget* widget) const {
        scroll()->ensureWidgetVisible(widget, 0, 0);
        QApplication::processEvents();
        const QRect shown(widget->mapTo(scroll()->viewport(), QPoint(0, 0)), widget->size());
        return widget->isVisible() && scroll()->viewport()->rect().contains(shown);
    }
};

QPushButton* binButton(const MainWindow& window, const QString& title) {
    auto* bin = window.findChild<QWidget*>(QStringLiteral("recycleBinPane"));
    for (QPushButton* button : bin ? bin->findChildren<QPushButton*>() : QList<QPushButton*>())
        if (button->accessibleName() == title)
            return button;
    return nullptr;
}

} // namespace

// Menu commands reach the root view through the window's subscriptions.
TEST(MainWindowContent, CommandsPostedToTheCentreRunTheRootViewsHandlers) {
    ScreenFixture f(true);
    EXPECT_EQ(f.window.contentView(), f.view);
    f.center.post(Command::showStats);
    f.center.post(Command::proVideoFormatsRecommended);
    tarnwick::testing::drainEvents();
    EXPECT_TRUE(f.view->manager().prompts().shouldPromptForProVideoFormats);
    EXPECT_EQ(f.view->presentations().currentName(), QStringLiteral("Preview These Natively?"));
}

// The preferred least size counts the menu bar; a screen with less room gets what it leaves.
TEST(MainWindowScreen, TheLeastSizeNeverExceedsWhatTheScreenLeaves) {
    const QMargins titleBar(1, 30, 1, 1);
    EXPECT_EQ(MainWindow::minimumSizeWithin(QRect(0, 0, 1440, 900), titleBar), QSize(1280, 700));
    // 1366 × 768 under a 44-point panel.
    EXPECT_EQ(MainWindow::minimumSizeWithin(QRect(0, 44, 1366, 724), titleBar), QSize(1280, 693));
    EXPECT_EQ(MainWindow::minimumSizeWithin(QRect(0, 0, 1024, 600), titleBar), QSize(1022, 569));
    EXPECT_EQ(MainWindow::minimumSizeWithin(QRect(0, 0, 1280, 700), {}), QSize(1280, 700));
}

// On a 1024 × 600 screen the window fits with its frame, and the bin's actions and the welcome card
// can all be reached, scrolling where the window is too small for them.
TEST(MainWindowScreen, OnASmallScreenEveryBinActionAndTheWelcomeCardCanBeReached) {
    const QRect screen(0, 0, 1024, 600);
    const QMargins titleBar(1, 30, 1, 1);
    {
        ScreenFixture f(true);
        f.window.fitWithin(screen, titleBar);
        QApplication::processEvents();
        const QSize room = screen.marginsRemoved(titleBar).size();
        EXPECT_LE(f.window.width(), room.width());
        EXPECT_LE(f.window.height(), room.height());
        EXPECT_EQ(f.window.minimumSize(), room);
        ASSERT_NE(f.scroll(), nullptr);
        for (const QString& title : {QStringLiteral("Move to Trash"), QStringLiteral("Delete Permanently"),
                                     QStringLiteral("Transcode & Replace")}) {
            SCOPED_TRACE(title.toStdString());
            QPushButton* button = binButton(f.window, title);
            ASSERT_NE(button, nullptr);
            EXPECT_TRUE(f.reachable(button));
        }
        // Back on a large screen the preferred least size holds again.
        f.window.fitWithin(QRect(0, 0, 1920, 1080), titleBar);
        EXPECT_EQ(f.window.minimumSize(), QSize(1280, 700));
    }
    ScreenFixture f(false);
    f.window.fitWithin(screen, titleBar);
    QApplication::processEvents();
    auto* card = f.window.findChild<QWidget*>(QStringLiteral("welcomeCard"));
    ASSERT_NE(card, nullptr);
    EXPECT_TRUE(f.reachable(card));
}
