#include "app/MainWindow.h"
#include "stores/SecurityScopedAccess.h"
#include "support/FakeAccessGrantBackend.h"
#include "support/ProjectManagerHarness.h"
#include "support/WindowActions.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/FilePanel.h"
#include "ui/window/ContentView.h"
#include "ui/window/WindowPresentations.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;

// Menu commands reach the root view through the window's subscriptions.
TEST(MainWindowContent, CommandsPostedToTheCentreRunTheRootViewsHandlers) {
    tarnwick::testing::ProjectManagerHarness harness;
    QTemporaryDir dir;
    Preferences prefs(dir.filePath(QStringLiteral("ui.ini")));
    prefs.setValue(QStringLiteral("hasCompletedWelcome"), true);
    CommandCenter center;
    SecurityScopedAccess grants{dir.filePath(QStringLiteral("grants")),
                                std::make_shared<FakeAccessGrantBackend>(), false};
    tarnwick::testing::WindowActions actions(center, FilePanel::system(), grants);
    MainWindow window(center);
    ContentView::Services services;
    services.preferences = &prefs;
    services.commands = &center;
    services.grants = &grants;
    services.actions = actions.actions();
    services.openURL = [](const QUrl&) { return true; };
    auto* view = new ContentView(std::move(harness.manager), std::move(services));
    window.setContentView(view);
    EXPECT_EQ(window.contentView(), view);
    center.post(Command::showStats);
    center.post(Command::proVideoFormatsRecommended);
    tarnwick::testing::drainEvents();
    EXPECT_TRUE(view->manager().prompts().shouldPromptForProVideoFormats);
    EXPECT_EQ(view->presentations().currentName(), QStringLiteral("Preview These Natively?"));
}
