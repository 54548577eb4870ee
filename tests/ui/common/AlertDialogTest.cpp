#include "ui/common/AlertDialog.h"
#include "ui/common/OverlayHost.h"
#include "ui/common/Sheet.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tarnwick;
using Role = AlertButton::Role;

namespace {

QStringList titles(const AlertDialog& alert) {
    QStringList result;
    for (const auto* b : alert.buttons())
        result.append(b->text());
    return result;
}

void pressEscape(QWidget& w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &press);
}

} // namespace

TEST(AlertDialog, KeepsTheButtonsInTheGivenOrderWithTheirRoles) {
    QWidget window;
    QStringList ran;
    AlertDialog alert(&window, "Move to Trash?", "3 files",
                      {{"Cancel", Role::cancel, [&] { ran << "cancel"; }},
                       {"Delete Permanently", Role::destructive, [&] { ran << "delete"; }},
                       {"Move to Trash", Role::normal, [&] { ran << "trash"; }}});
    EXPECT_EQ(titles(alert), (QStringList{"Cancel", "Delete Permanently", "Move to Trash"}));
    EXPECT_EQ(alert.windowModality(), Qt::WindowModal);
    // The first button that is not a cancel button answers Return.
    EXPECT_FALSE(alert.buttons()[0]->isDefault());
    EXPECT_TRUE(alert.buttons()[1]->isDefault());
    EXPECT_FALSE(alert.buttons()[2]->isDefault());
    // Laid out left to right as given.
    alert.show();
    EXPECT_LT(alert.buttons()[0]->x(), alert.buttons()[1]->x());
    EXPECT_LT(alert.buttons()[1]->x(), alert.buttons()[2]->x());

    alert.buttons()[2]->click();
    alert.buttons()[1]->click(); // answered already
    EXPECT_EQ(ran, QStringList{"trash"});
    EXPECT_EQ(alert.result(), QDialog::Accepted);
}

TEST(AlertDialog, EscapeRunsTheCancelButton) {
    QWidget window;
    QStringList ran;
    AlertDialog alert(&window, "Import CSV?", {},
                      {{"Import", Role::normal, [&] { ran << "import"; }},
                       {"Cancel", Role::cancel, [&] { ran << "cancel"; }}});
    alert.open();
    pressEscape(alert);
    EXPECT_EQ(ran, QStringList{"cancel"});
    EXPECT_FALSE(alert.isVisible());
}

TEST(AlertDialog, EscapeWithoutACancelButtonOnlyClosesALoneAcknowledgement) {
    QWidget window;
    int oks = 0;
    AlertDialog lone(&window, "Done", {}, {{"OK", Role::normal, [&] { ++oks; }}});
    lone.open();
    pressEscape(lone);
    EXPECT_EQ(oks, 1);

    QStringList ran;
    AlertDialog choice(&window, "Which?", {},
                       {{"A", Role::normal, [&] { ran << "a"; }}, {"B", Role::normal, [&] { ran << "b"; }}});
    choice.open();
    pressEscape(choice);
    EXPECT_TRUE(ran.isEmpty());
    EXPECT_TRUE(choice.isVisible());
}

TEST(Sheet, OpensWindowModalWithoutBlockingAndReportsDismissal) {
    QWidget window;
    window.show();
    auto* content = new QLabel("content");
    Sheet* sheet = Sheet::present(&window, content); // returns at once
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->content(), content);
    int dismissed = 0;
    QObject::connect(sheet, &Sheet::dismissed, [&dismissed] { ++dismissed; });
    sheet->close();
    EXPECT_EQ(dismissed, 1);
}

TEST(OverlayHost, CoversTheWholeWindowAndFollowsItsSize) {
    QWidget window;
    window.resize(300, 200);
    window.show();
    OverlayHost host(&window);
    auto* overlay = new QWidget;
    host.setOverlay(overlay);
    EXPECT_EQ(overlay->parentWidget(), &window);
    EXPECT_EQ(overlay->geometry(), QRect(0, 0, 300, 200));
    window.resize(640, 480);
    EXPECT_EQ(overlay->geometry(), QRect(0, 0, 640, 480));
    // A child added later stays underneath.
    auto* late = new QWidget(&window);
    late->show();
    EXPECT_EQ(window.children().last(), overlay);
    host.clear();
    EXPECT_EQ(host.overlay(), nullptr);
}
