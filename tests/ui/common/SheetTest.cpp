#include "ui/common/Sheet.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/FilterChipToggle.h"
#include "ui/common/ModalFrame.h"
#include "ui/common/SheetBody.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

// A window with the two controls a stray key changed: a filter field and a chip.
struct Behind {
    QWidget window;
    QLineEdit* field = new QLineEdit(&window);
    FilterChipToggle* chip = new FilterChipToggle(QStringLiteral("Deleted"), &window);
    Behind() {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(chip);
        window.resize(400, 300);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        field->setFocus();
    }
};

// Content with a default "Done" at the bottom, counting its presses.
QWidget* content(int& done, QSize size = {300, 200}) {
    auto* widget = new QWidget;
    widget->setFixedSize(size);
    auto* layout = new QVBoxLayout(widget);
    layout->addStretch(1);
    auto* other = new QPushButton(QStringLiteral("Other"), widget);
    auto* button = new QPushButton(QStringLiteral("Done"), widget);
    button->setObjectName(QStringLiteral("done"));
    button->setDefault(true);
    QObject::connect(button, &QPushButton::clicked, [&done] { ++done; });
    layout->addWidget(other);
    layout->addWidget(button);
    return widget;
}

} // namespace

TEST(Sheet, HasTheKeyboardReturnPressesItsDefaultEscapeClosesIt) {
    Behind behind;
    int done = 0;
    QPointer<Sheet> sheet = Sheet::present(&behind.window, content(done));
    // Wherever the focus was left, the keys go to the sheet.
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, Qt::Key_A);
    QTest::keyClick(focus, Qt::Key_Return);
    EXPECT_EQ(done, 1);
    EXPECT_TRUE(behind.field->text().isEmpty());
    EXPECT_FALSE(behind.chip->isChecked());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(!sheet || !sheet->isVisible());
}

TEST(Sheet, DimsTheWindowBehindWhileItShowsAndDrawsAFrame) {
    Behind behind;
    int done = 0;
    QPointer<Sheet> sheet = Sheet::present(&behind.window, content(done));
    QWidget* dimming = modalFrame::dimming(behind.window);
    ASSERT_NE(dimming, nullptr);
    EXPECT_EQ(dimming->geometry(), behind.window.rect());
    // The frame lies over the sheet's edge; the content keeps its size.
    EXPECT_EQ(sheet->size(), QSize(300, 200));
    const QImage picture = sheet->grab().toImage();
    EXPECT_NE(picture.pixelColor(0, 100), picture.pixelColor(10, 100));
    sheet->close();
    EXPECT_EQ(modalFrame::dimming(behind.window), nullptr);
}

TEST(Sheet, StaysInsideASmallAvailableAreaAndScrollsToItsLastButton) {
    Behind behind;
    int done = 0;
    QPointer<Sheet> sheet = Sheet::present(&behind.window, content(done, {700, 900}));
    const QRect small(20, 10, 640, 480);
    sheet->placeWithin(small);
    QApplication::processEvents();
    EXPECT_TRUE(small.contains(sheet->geometry()));
    auto* scroll = sheet->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
    // Scrolled to the end, the last button is in view.
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    auto* button = sheet->findChild<QPushButton*>(QStringLiteral("done"));
    const QRect shown(button->mapTo(scroll->viewport(), QPoint(0, 0)), button->size());
    EXPECT_TRUE(scroll->viewport()->rect().intersects(shown))
        << shown.y() << " " << scroll->viewport()->height();
}

// Under a window manager its frame (a title bar) comes on top: a sheet as tall as the area fits with
// the frame inside it, scrolls, and its last button can still be reached.
TEST(Sheet, FitsWithTheWindowManagersFrameAndReachesItsLastButton) {
    Behind behind;
    int done = 0;
    QPointer<Sheet> sheet = Sheet::present(&behind.window, content(done, {400, 600}));
    const QRect area(0, 0, 1024, 600);
    const QMargins frame(1, 20, 1, 1);
    sheet->placeWithin(area, frame);
    QApplication::processEvents();
    EXPECT_TRUE(area.contains(sheet->geometry().marginsAdded(frame))) << sheet->geometry().y();
    auto* scroll = sheet->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    auto* button = sheet->findChild<QPushButton*>(QStringLiteral("done"));
    const QRect shown(button->mapTo(scroll->viewport(), QPoint(0, 0)), button->size());
    EXPECT_TRUE(scroll->viewport()->rect().contains(shown))
        << shown.y() << " " << scroll->viewport()->height();
}

// A body that fills once the sheet shows (a worker's answer, a list that grows): the sheet grows with
// it as far as the area goes, then the body scrolls, by Page Down too, and the button below it stays
// whole in view.
TEST(Sheet, GrowsWithItsBodyToTheAreaThenOnlyTheBodyScrolls) {
    Behind behind;
    auto* content = new QWidget;
    auto* lines = new QWidget;
    auto* lineColumn = new QVBoxLayout(lines);
    lineColumn->addWidget(new QLabel(QStringLiteral("Line")));
    auto* body = new SheetBody(lines);
    auto* done = new QPushButton(QStringLiteral("Done"));
    auto* column = new QVBoxLayout(content);
    column->addWidget(body, 1);
    column->addWidget(done);
    QPointer<Sheet> sheet = Sheet::present(&behind.window, content);
    const QRect area = sheet->screen()->availableGeometry();
    QApplication::processEvents();
    const auto addLines = [&](int count) {
        for (int i = 0; i < count; ++i)
            lineColumn->addWidget(new QLabel(QStringLiteral("Line %1").arg(i)));
        // The request to lay out again goes up one level an event-loop turn.
        for (int i = 0; i < 8; ++i)
            QApplication::processEvents();
    };
    const int least = sheet->height();
    addLines(5);
    EXPECT_GT(sheet->height(), least);
    EXPECT_FALSE(body->scrolls());
    addLines(100);
    EXPECT_TRUE(area.contains(sheet->frameGeometry())) << sheet->frameGeometry().bottom();
    EXPECT_EQ(sheet->frameGeometry().height(), area.height());
    EXPECT_TRUE(body->scrolls());
    EXPECT_TRUE(sheet->rect().contains(QRect(done->mapTo(sheet, QPoint()), done->size())));
    done->setFocus();
    QTest::keyClick(done, Qt::Key_PageDown);
    EXPECT_GT(body->verticalScrollBar()->value(), 0);
}

// Sheets and alerts ask the window manager for a title and a close button only.
TEST(Sheet, OffersOnlyWhatAModalDialogOffers) {
    Behind behind;
    int done = 0;
    QPointer<Sheet> sheet = Sheet::present(&behind.window, content(done));
    AlertDialog alert(&behind.window, QStringLiteral("Done"), {},
                      {{QStringLiteral("OK"), AlertButton::Role::normal, {}}});
    for (const QDialog* dialog : {static_cast<QDialog*>(sheet.data()), static_cast<QDialog*>(&alert)}) {
        const Qt::WindowFlags flags = dialog->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    }
}
