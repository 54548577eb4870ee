#include "app/MainWindow.h"
#include "platform/Preferences.h"
#include "ui/common/CommandCenter.h"

#include "support/ProjectManagerHarness.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

QString key(const char* name) {
    return QString::fromLatin1(name);
}

} // namespace

// Closed maximised, the window comes back maximised over the place it was kept in, inside the free
// area with the frame drawn round it last time. While maximised, a fit leaves it to the window
// manager (a geometry set then became the window's place, or ended the maximised state), and
// closing it keeps that place with the frame of the normal window, not the maximised one's.
TEST(MainWindowPlace, AWindowClosedMaximisedComesBackMaximisedOverItsKeptPlace) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->availableGeometry();
    const QMargins frame(1, 20, 1, 5);
    QTemporaryDir dir;
    Preferences prefs(dir.filePath(QStringLiteral("ui.ini")));
    const QRect kept(area.left() + 10, area.top() + 20, area.width() - 20, area.height() - 40);
    prefs.setValue(key(MainWindow::geometryKey), kept);
    prefs.setValue(key(MainWindow::frameKey), kept.marginsAdded(frame));
    prefs.setValue(key(MainWindow::screenKey), screen->name());
    prefs.setValue(key(MainWindow::maximizedKey), true);
    CommandCenter center;
    QRect place;
    {
        MainWindow window(center);
        window.keepGeometryIn(prefs);
        window.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.isMaximized(); }, 5000));
        place = window.normalGeometry();
        EXPECT_TRUE(area.contains(place.marginsAdded(frame)));
        const QRect maximised = window.geometry();
        window.fitWithin(area.adjusted(0, 0, -50, -50), {});
        EXPECT_TRUE(window.isMaximized());
        EXPECT_EQ(window.geometry(), maximised);
        window.close();
    }
    const QRect savedPlace = prefs.value(key(MainWindow::geometryKey)).toRect();
    const QRect savedFrame = prefs.value(key(MainWindow::frameKey)).toRect();
    EXPECT_EQ(savedPlace, place);
    EXPECT_TRUE(prefs.value(key(MainWindow::maximizedKey)).toBool());
    EXPECT_GE(savedPlace.top() - savedFrame.top(), frame.top());
    EXPECT_GE(savedFrame.bottom() - savedPlace.bottom(), frame.bottom());
}

// A first start has no place kept: until the window manager has framed the window, it places it.
// A place set before the frame is known puts the title bar where the window's top edge was meant to
// go, under a top panel; once the frame is known, the window is kept inside the free area.
TEST(MainWindowPlace, AFirstStartLeavesThePlaceToTheWindowManagerUntilTheFrameIsKnown) {
    CommandCenter center;
    MainWindow window(center);
    window.resize(1000, 600);
    const QPoint placed = window.geometry().topLeft();
    const QRect belowPanel(0, 30, 1440, 870);
    window.fitWithin(QRect(0, 30, 1440, 500), {});
    EXPECT_EQ(window.geometry().topLeft(), placed) << "not moved before the frame is known";
    EXPECT_LE(window.height(), 500) << "but never larger than the free area";
    window.fitWithin(belowPanel, QMargins(1, 20, 1, 5));
    EXPECT_GE(window.geometry().top(), 50) << "the title bar below the panel";
    EXPECT_TRUE(belowPanel.contains(window.geometry().marginsAdded(QMargins(1, 20, 1, 5))));
}
