#include "ui/common/MenuModel.h"
#include "stores/SecurityScopedAccess.h"
#include "support/FakeAccessGrantBackend.h"
#include "support/FakeSoftwareUpdater.h"
#include "ui/common/AppCommands.h"
#include "ui/common/CheckForUpdatesViewModel.h"
#include "ui/common/CommandActions.h"
#include "ui/common/CommandCenter.h"
#include "ui/common/FilePanel.h"
#include "ui/common/MenuBarBuilder.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <tuple>

using namespace tarnwick;
using Kind = MenuEntry::Kind;

namespace {

struct Row {
    QString title; // "-" for a separator
    QString shortcut;
    QString command;
};

QList<Row> rows(const MenuDefinition& menu) {
    QList<Row> result;
    for (const auto& item : menu.items) {
        if (item.kind == Kind::separator)
            result.append({"-", {}, {}});
        else
            result.append({item.title, item.shortcut.toString(QKeySequence::PortableText),
                           item.command ? text(*item.command) : QString()});
    }
    return result;
}

void expectRows(const MenuDefinition& menu, const QList<Row>& expected) {
    const auto actual = rows(menu);
    ASSERT_EQ(actual.size(), expected.size()) << menu.title.toStdString();
    for (qsizetype i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE(menu.title.toStdString() + " item " + std::to_string(i));
        EXPECT_EQ(actual[i].title.toUtf8(), expected[i].title.toUtf8());
        EXPECT_EQ(actual[i].shortcut, expected[i].shortcut);
        EXPECT_EQ(actual[i].command, expected[i].command);
    }
}

// Every panel is cancelled at once.
class NoPanel : public FilePanel {
public:
    QDialog* open(QWidget*, const OpenPanelRequest&, Chosen chosen) override {
        chosen({});
        return nullptr;
    }
};

} // namespace

TEST(MenuModel, MenusComeInOrderWithTheApplicationMenuFirst) {
    QStringList titles;
    for (const auto& menu : appMenuModel())
        titles.append(menu.title);
    EXPECT_EQ(titles, (QStringList{"Tarnwick", "File", "View", "Sweep", "Help"}));
}

TEST(MenuModel, ItemsKeepTheirTitlesShortcutsAndOrder) {
    const auto model = appMenuModel();
    ASSERT_EQ(model.size(), 5);
    expectRows(model[0], {{"About Tarnwick", "", ""},
                          {QString::fromUtf8("Check for Updates\u2026"), "", ""},
                          {"-", "", ""},
                          {"Quit Tarnwick", "Ctrl+Q", ""}});
    expectRows(model[1], {{"Open Projects...", "Ctrl+O", ""},
                          {"Easy Import from Folder...", "Ctrl+Shift+I", "easyImport"},
                          {"Import DaVinci CSV...", "Ctrl+Shift+D", ""},
                          {"Grant Access to a Drive or Folder...", "", "grantDriveAccess"},
                          {"-", "", ""},
                          {"Export Unused to CSV...", "Ctrl+Shift+E", "exportUnusedCSV"},
                          {"Search Offline Files...", "Ctrl+Shift+F", "searchOfflineFiles"},
                          {"-", "", ""},
                          {"Close Window", "Ctrl+W", ""}});
    expectRows(model[2], {{"All-Time Stats", "Ctrl+Shift+S", "showStats"},
                          {"View Audit Log", "Ctrl+Shift+L", "viewAuditLog"},
                          {"Welcome Guide", "", "showWelcomeGuide"}});
    expectRows(model[3],
               {{QString::fromUtf8("Protected Folders\u2026"), "Ctrl+Shift+P", "manageProtectedFolders"},
                {QString::fromUtf8("Sequence Usage\u2026"), "", "manageSequenceUsage"},
                {"-", "", ""},
                {"Add All Unused to Virtual Bin", "", "addAllUnused"},
                {"Move Unused to Folder...", "", "moveUnusedToFolder"},
                {"Refresh File Status", "Ctrl+R", "refreshFileStatus"},
                {"-", "", ""},
                {"Clear All", "", "clearAllProjects"}});
    expectRows(model[4], {{"Get Support", "", ""}});
    EXPECT_EQ(model[1].items[0].kind, Kind::openProjectsPanel);
    EXPECT_EQ(model[1].items[2].kind, Kind::importDaVinciCSVPanel);
    EXPECT_EQ(model[4].items[0].kind, Kind::supportMail);
}

TEST(MenuModel, NoItemOpensASecondWindow) {
    for (const auto& menu : appMenuModel()) {
        for (const auto& item : menu.items)
            EXPECT_FALSE(item.title.startsWith(QStringLiteral("New"))) << item.title.toStdString();
    }
}

// A window with the application's menu bar over fakes.
struct MenuBarFixture {
    QTemporaryDir dir;
    SecurityScopedAccess grants{dir.path(), std::make_shared<FakeAccessGrantBackend>(), false};
    CommandCenter center;
    NoPanel panel;
    FakeSoftwareUpdater updater;
    QMainWindow window;
    AppCommands commands{
        {center, panel, grants, updater, [](const QUrl&, std::function<void(bool)> done) { done(true); }}};
    CheckForUpdatesViewModel viewModel{updater};
    CommandActions actions{appMenuModel(), [this](const MenuEntry& item) { commands.run(item, &window); },
                           &window};

    MenuBarFixture() { installMenus(*window.menuBar(), actions, viewModel); }
    std::tuple<CommandCenter&, FakeSoftwareUpdater&, QMainWindow&> parts() {
        return {center, updater, window};
    }
};

TEST(MenuBar, CheckForUpdatesFollowsTheUpdaterWithoutReopeningTheMenu) {
    MenuBarFixture f;
    auto [center, updater, window] = f.parts();

    const auto menus = window.menuBar()->actions();
    ASSERT_EQ(menus.size(), 5);
    QAction* check = menus[0]->menu()->actions().at(1);
    ASSERT_EQ(check->text(), QString::fromUtf8("Check for Updates\u2026"));
    EXPECT_FALSE(check->isEnabled());
    check->trigger();
    EXPECT_EQ(updater.checks, 0);

    updater.setCanCheck(true);
    EXPECT_TRUE(f.viewModel.canCheckForUpdates());
    EXPECT_TRUE(check->isEnabled());
    check->trigger();
    EXPECT_EQ(updater.checks, 1);

    updater.setCanCheck(false);
    EXPECT_FALSE(check->isEnabled());

    // Every other item stays enabled.
    for (QAction* menu : menus) {
        for (QAction* item : menu->menu()->actions()) {
            if (item != check && !item->isSeparator()) {
                EXPECT_TRUE(item->isEnabled()) << item->text().toStdString();
            }
        }
    }
}

TEST(MenuBar, ItemsPostTheirCommands) {
    MenuBarFixture f;
    auto [center, updater, window] = f.parts();
    QStringList posted;
    QObject::connect(&center, &CommandCenter::posted,
                     [&posted](const CommandPost& post) { posted.append(text(commandOf(post))); });

    QStringList expected;
    for (QAction* menu : window.menuBar()->actions()) {
        for (QAction* item : menu->menu()->actions()) {
            const auto title = item->text();
            if (item->isSeparator() || title == "Quit Tarnwick" || title == "Close Window" ||
                title == "Get Support")
                continue;
            item->trigger();
        }
    }
    // The panels were cancelled, so only the plain commands posted.
    EXPECT_EQ(posted, (QStringList{"easyImport", "grantDriveAccess", "exportUnusedCSV", "searchOfflineFiles",
                                   "showStats", "viewAuditLog", "showWelcomeGuide", "manageProtectedFolders",
                                   "manageSequenceUsage", "addAllUnused", "moveUnusedToFolder",
                                   "refreshFileStatus", "clearAllProjects"}));
}

TEST(MenuBar, TitlesCarryMnemonicsAndF10OpensTheFirstMenu) {
    EXPECT_EQ(menuBarTitles(appMenuModel()), (QStringList{"&Tarnwick", "&File", "&View", "&Sweep", "&Help"}));
    EXPECT_EQ(menuBarTitles({{"File", {}}, {"Filter", {}}}), (QStringList{"&File", "F&ilter"}));

    MenuBarFixture f;
    auto [center, updater, window] = f.parts();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QMenuBar* bar = window.menuBar();
    const auto menus = bar->actions();
    EXPECT_EQ(QKeySequence::mnemonic(menus[1]->text()), QKeySequence(Qt::ALT | Qt::Key_F));

    QTest::keyClick(&window, Qt::Key_F10);
    EXPECT_EQ(bar->activeAction(), menus[0]);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTest::keyClick(bar, Qt::Key_Escape);
    QTest::keyClick(&window, Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(bar->activeAction(), menus[1]);
    while (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
}
