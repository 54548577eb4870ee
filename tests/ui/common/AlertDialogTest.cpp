#include "ui/common/AlertDialog.h"
#include "ui/common/DialogButtons.h"
#include "ui/common/OverlayHost.h"
#include "ui/common/Sheet.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tarnwick;
using Role = AlertButton::Role;

namespace {

QStringList titles(const AlertDialog& alert) {
    QStringList result;
    for (const auto* b : alert.buttons())
        result.append(b->accessibleName());
    return result;
}

void pressEscape(QWidget& w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &press);
}

struct ActivationCount : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::WindowActivate ? 1 : 0;
        return false;
    }
};

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
    // The first plain answer takes Return, never the destructive one before it.
    EXPECT_FALSE(alert.buttons()[0]->isDefault());
    EXPECT_FALSE(alert.buttons()[1]->isDefault());
    EXPECT_TRUE(alert.buttons()[2]->isDefault());
    // Laid out left to right as given.
    alert.show();
    // The focus, and so its ring, starts on the button Return presses.
    EXPECT_EQ(alert.focusWidget(), alert.buttons()[2]);
    EXPECT_LT(alert.buttons()[0]->x(), alert.buttons()[1]->x());
    EXPECT_LT(alert.buttons()[1]->x(), alert.buttons()[2]->x());

    alert.buttons()[2]->click();
    alert.buttons()[1]->click(); // answered already
    EXPECT_EQ(ran, QStringList{"trash"});
    EXPECT_EQ(alert.result(), QDialog::Accepted);
}

// "Delete Files" and "Potentially Used Media": a reflexive Return must not carry the deed out.
TEST(AlertDialog, ReturnTakesCancelWhereTheOnlyAnswerIsDestructive) {
    QWidget window;
    window.show();
    QStringList ran;
    AlertDialog alert(&window, "Delete Files", "Move 3 file(s) to Trash?",
                      {{"Cancel", Role::cancel, [&] { ran << "cancel"; }},
                       {"Move to Trash", Role::destructive, [&] { ran << "trash"; }}});
    alert.open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&alert));
    EXPECT_TRUE(alert.buttons()[0]->isDefault());
    EXPECT_FALSE(alert.buttons()[1]->isDefault());
    EXPECT_EQ(QApplication::focusWidget(), alert.buttons()[0]);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), alert.buttons()[1]);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(ran, QStringList{"cancel"});
}

// The window manager activates the blocked window on a click; the keyboard must not stay there.
TEST(AlertDialog, TakesTheActivationBackFromTheWindowBehind) {
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QStringList ran;
    AlertDialog alert(&window, "Delete Files", {},
                      {{"Cancel", Role::cancel, [&] { ran << "cancel"; }},
                       {"Move to Trash", Role::destructive, [&] { ran << "trash"; }}});
    alert.open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&alert));
    ActivationCount behind;
    window.installEventFilter(&behind);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return behind.count > 0; }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &alert; }));
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->window(), &alert);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(ran, QStringList{"cancel"});
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

// Every answer carries a letter of its own for Alt; Alt and the letter of an answer that acts on
// files only bring the focus there, so a slip of the fingers removes nothing.
TEST(AlertDialog, AnswersCarryMnemonicsAndOneThatActsOnFilesOnlyTakesTheFocus) {
    EXPECT_EQ(dialogButtons::withMnemonics({"Cancel", "Copy Address", "Transcode & Replace", "Cut", "OK"}),
              (QStringList{"&Cancel", "Copy &Address", "&Transcode && Replace", "C&ut", "&OK"}));
    QWidget window;
    window.show();
    QStringList ran;
    AlertDialog alert(&window, "Delete Files", "Move 3 file(s) to Trash?",
                      {{"Cancel", Role::cancel, [&] { ran << "cancel"; }},
                       {"Move to Trash", Role::destructive, [&] { ran << "trash"; }}});
    alert.open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&alert));
    EXPECT_EQ(alert.buttons()[0]->text(), QStringLiteral("&Cancel"));
    EXPECT_EQ(alert.buttons()[1]->text(), QStringLiteral("&Move to Trash"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), alert.buttons()[1]);
    EXPECT_TRUE(ran.isEmpty());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !ran.isEmpty(); }));
    EXPECT_EQ(ran, QStringList{"cancel"});
}
