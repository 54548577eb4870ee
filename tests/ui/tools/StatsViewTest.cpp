#include "ui/tools/StatsView.h"

#include "platform/ByteCountText.h"
#include "ui/common/Sheet.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {
const QDateTime now(QDate(2026, 6, 15), QTime(15, 0));

QStringList values(const QList<StatItem>& items) {
    QStringList out;
    for (const StatItem& item : items)
        out << item.value;
    return out;
}
QStringList labels(const QList<StatItem>& items) {
    QStringList out;
    for (const StatItem& item : items)
        out << item.label;
    return out;
}

QPushButton* doneButtonOf(const StatsView& view) {
    for (QPushButton* button : view.findChildren<QPushButton*>())
        if (button->text().remove(u'&') == QStringLiteral("Done"))
            return button;
    return nullptr;
}

} // namespace

TEST(StatsView, AFreshRecordShowsZerosAndTheShareTextSaysSo) {
    const AllTimeStats fresh;
    StatsView view(fresh, now);
    EXPECT_EQ(view.sizeHint(), QSize(420, 600));
    EXPECT_EQ(values(view.items()), (QStringList{"0", "0", "0", "0%", "0", "0"}));
    EXPECT_EQ(labels(view.items()), (QStringList{"Files Deleted", "Files Moved", "Projects Imported",
                                                 "Avg. Usage", "Files Analyzed", "Days Active"}));
    EXPECT_EQ(view.heroText(), formatFileByteCount(0));
    EXPECT_EQ(shareText(fresh), QStringLiteral("I reclaimed ") + formatFileByteCount(0) +
                                    QStringLiteral(" with Tarnwick — 0 files deleted across 0 projects. ") +
                                    makerSite());
}

TEST(StatsView, AverageUsageDaysAndTheShareCardLabels) {
    AllTimeStats stats;
    stats.totalMediaFilesAnalyzed = 200;
    stats.totalUsedFiles = 150;
    stats.filesDeleted = 1234;
    stats.projectsImported = 12;
    stats.spaceSavedBytes = 5'000'000'000;
    stats.firstUsedDate = now.addDays(-10);
    QList<StatItem> items = statItems(stats, now, false);
    EXPECT_EQ(items.at(3).value, QStringLiteral("75%"));
    EXPECT_EQ(items.at(5).value, QStringLiteral("10"));
    EXPECT_EQ(items.at(0).value, QStringLiteral("1234"));
    EXPECT_EQ(statItems(stats, now, true).at(3).label, QStringLiteral("Avg. Media Usage"));
    stats.totalUsedFiles = 3;
    stats.totalMediaFilesAnalyzed = 7;
    stats.firstUsedDate = QDateTime(now.date(), QTime(9, 0));
    items = statItems(stats, now, false);
    EXPECT_EQ(items.at(3).value, QStringLiteral("43%"));
    EXPECT_EQ(items.at(5).value, QStringLiteral("1"));
    EXPECT_EQ(shareText(stats),
              QStringLiteral("I reclaimed ") + formatFileByteCount(5'000'000'000) +
                  QStringLiteral(" with Tarnwick — 1234 files deleted across 12 projects. ") + makerSite());
}

TEST(StatsView, TheCardIsRenderedOncePerOpeningAt810By1440) {
    AllTimeStats stats;
    stats.spaceSavedBytes = 123'456'789;
    StatsView view(stats, now);
    EXPECT_EQ(view.shareRenders(), 0); // nothing rendered while the sheet is built
    const QImage& image = view.shareImage();
    EXPECT_EQ(image.size(), QSize(810, 1440));
    EXPECT_EQ(image.devicePixelRatio(), 3.0);
    // The top of the card is the gradient's start, #1E1E1E.
    EXPECT_EQ(QColor(image.pixel(405, 0)).name(), QStringLiteral("#1e1e1e"));
    QMenu* menu = view.shareMenu();
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_EQ(menu->actions().at(0)->text(), QStringLiteral("Copy Image"));
    EXPECT_EQ(menu->actions().at(1)->text(), QStringLiteral("Save Image…"));
    EXPECT_EQ(menu->actions().at(2)->text(), QStringLiteral("Copy Text"));
    menu->actions().at(0)->trigger();
    view.update();
    QApplication::processEvents();
    EXPECT_EQ(view.shareRenders(), 1);
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(810, 1440));
    menu->actions().at(2)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), shareText(stats));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stats.png"));
    ASSERT_TRUE(view.saveImage(path));
    EXPECT_EQ(QImage(path).size(), QSize(810, 1440));
    EXPECT_EQ(view.shareRenders(), 1);
}

TEST(StatsView, CardsAndTheHeroEndStandOnTheRaisedSurface) {
    StatsView view(AllTimeStats{}, now);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QList<QWidget*> cards = view.findChildren<QWidget*>(QStringLiteral("statCard"));
    ASSERT_EQ(cards.size(), 6);
    for (QWidget* card : cards)
        EXPECT_EQ(card->grab().toImage().pixelColor(2, card->height() / 2), QColor(0x2A, 0x2A, 0x2A));
    // The hero's gradient runs from faint amber at the top left to the raised surface.
    auto* hero = view.findChild<QWidget*>(QStringLiteral("hero"));
    ASSERT_NE(hero, nullptr);
    const QColor end = hero->grab().toImage().pixelColor(hero->width() - 8, hero->height() - 8);
    EXPECT_NEAR(end.red(), 0x2A, 5);
    EXPECT_NEAR(end.green(), 0x2A, 5);
    EXPECT_NEAR(end.blue(), 0x2A, 5);
}

TEST(StatsView, TheShareCardShowsTheApplicationIcon) {
    StatsShareCard card(AllTimeStats{}, now);
    const QImage image = card.render3x().convertToFormat(QImage::Format_ARGB32);
    // The icon sits centred above the name: its violet tile shows in the upper third, left of centre.
    int violet = 0;
    for (int y = 0; y < image.height() / 3; ++y) {
        for (int x = 300; x < 405; ++x) {
            const QColor c = image.pixelColor(x, y);
            violet += (c.blue() > 170 && c.red() > 100 && c.green() < c.blue() - 40) ? 1 : 0;
        }
    }
    EXPECT_GT(violet, 400);
}

// On a 1024 × 600 screen under a title bar the sheet is shorter than the figures: they scroll in the
// one scroll area, between the header with Done and the share bar, which stay in view.
TEST(StatsView, OnAShortScreenOnlyTheFiguresScrollAndDoneAndShareStayInView) {
    QWidget window;
    window.resize(1000, 540);
    window.show();
    auto* view = new StatsView(AllTimeStats{}, now);
    QPointer<Sheet> sheet = Sheet::present(&window, view);
    const QRect screen(0, 0, 1024, 600);
    const QMargins frame(1, 28, 1, 1);
    sheet->placeWithin(screen, frame);
    QApplication::processEvents();
    EXPECT_TRUE(screen.contains(sheet->geometry().marginsAdded(frame)));
    const QList<QScrollArea*> scrolls = sheet->findChildren<QScrollArea*>();
    ASSERT_EQ(scrolls.size(), 1);
    EXPECT_GT(scrolls.first()->verticalScrollBar()->maximum(), 0);
    QPushButton* done = doneButtonOf(*view);
    ASSERT_NE(done, nullptr);
    for (QWidget* kept : {static_cast<QWidget*>(done), static_cast<QWidget*>(view->shareButton())}) {
        const QRect shown(kept->mapTo(sheet, QPoint(0, 0)), kept->size());
        EXPECT_TRUE(sheet->rect().contains(shown)) << shown.y() << " in " << sheet->height();
        EXPECT_FALSE(scrolls.first()->isAncestorOf(kept));
    }
    sheet->close();
}

// The sheet opens on Done, its ring showing, and Tab goes between Done and "Share My Stats" only:
// the figures are no stop where the focus would sit unseen.
TEST(StatsView, OpensOnDoneAndTabGoesBetweenItsTwoButtonsOnly) {
    QWidget window;
    window.resize(1000, 700);
    window.show();
    auto* view = new StatsView(AllTimeStats{}, now);
    QPointer<Sheet> sheet = Sheet::present(&window, view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    QPushButton* done = doneButtonOf(*view);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(QApplication::focusWidget(), done);
    QStringList stops;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        auto* button = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
        stops << (button ? button->text().remove(u'&') : QStringLiteral("(not a button)"));
    }
    EXPECT_EQ(stops.join(u'|'), QStringLiteral("Share My Stats|Done|Share My Stats|Done"));
    sheet->close();
}
