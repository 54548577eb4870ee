#include "ui/window/WelcomeView.h"
#include "ui/brand/BrandPalette.h"
#include "ui/browser/FilterBar.h"
#include "ui/common/FilterChipToggle.h"
#include "ui/window/WindowTestFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <algorithm>

using namespace tarnwick;
using namespace tarnwick::testing;
using C = Command;

namespace {

ViewFactories withFilterBar() {
    ViewFactories factories = blankSheets();
    factories.filterBar = [](const WindowContext& window) { return new FilterBar(window.manager); };
    return factories;
}

void press(Qt::Key key) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, key);
}

} // namespace

TEST(WelcomeGuide, OwnsTheKeyboardSoNothingBehindItChanges) {
    WindowFixture f(true, false, withFilterBar());
    auto* bar = f.view->findChild<FilterBar*>();
    ASSERT_NE(bar, nullptr);
    FilterChipToggle* deleted = bar->chip(QStringLiteral("Deleted"));
    ASSERT_NE(deleted, nullptr);
    f.view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.view.get()));
    bar->searchField()->setFocus();
    const bool deletedBefore = deleted->isChecked();

    f.view->handleCommand(C::showWelcomeGuide);
    f.settle();
    WelcomeView* guide = f.view->welcomeView();
    ASSERT_NE(guide, nullptr);
    EXPECT_TRUE(guide->isAncestorOf(QApplication::focusWidget()));
    // Tab goes round the guide's own buttons.
    for (int i = 0; i < 8; ++i) {
        press(Qt::Key_Tab);
        f.settle();
        EXPECT_TRUE(guide->isAncestorOf(QApplication::focusWidget()));
    }
    guide->forwardButton()->setFocus();
    press(Qt::Key_A);
    bar->searchField()->setFocus(); // as if focus had been left behind
    press(Qt::Key_Space);
    // Keys sent straight to the hidden controls are dropped too.
    QTest::keyClick(bar->searchField(), Qt::Key_B);
    QTest::keyClick(deleted, Qt::Key_Space);
    f.settle();
    EXPECT_EQ(deleted->isChecked(), deletedBefore);
    EXPECT_TRUE(bar->searchField()->text().isEmpty());
    EXPECT_TRUE(f.pm().filters().filterText.isEmpty());
}

TEST(WelcomeGuide, ReturnAndRightGoOnLeftGoesBackEscapeSkips) {
    WindowFixture f(false);
    f.view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.view.get()));
    WelcomeView* guide = f.view->welcomeView();
    ASSERT_NE(guide, nullptr);
    EXPECT_TRUE(guide->forwardButton()->hasFocus());
    press(Qt::Key_Right);
    EXPECT_EQ(guide->currentStep(), 1);
    press(Qt::Key_Return);
    EXPECT_EQ(guide->currentStep(), 2);
    press(Qt::Key_Left);
    EXPECT_EQ(guide->currentStep(), 1);
    press(Qt::Key_Escape);
    f.settle();
    EXPECT_EQ(f.view->welcomeView(), nullptr);
    EXPECT_TRUE(f.prefs.value(QStringLiteral("hasCompletedWelcome")).toBool());
}

TEST(WelcomeGuide, EveryPageShowsItsWholeDescriptionInsideTheCard) {
    WindowFixture f(false);
    WelcomeView* guide = f.view->welcomeView();
    ASSERT_NE(guide, nullptr);
    QLabel* description = guide->descriptionLabel();
    const QWidget* card = description->parentWidget();
    for (int step = 0; step < int(WelcomeView::steps().size()); ++step) {
        SCOPED_TRACE(step);
        guide->jumpToStep(step);
        f.settle();
        EXPECT_GE(description->height(), description->heightForWidth(description->width()));
        EXPECT_TRUE(card->rect().contains(description->geometry()));
        EXPECT_EQ(card->size(), QSize(520, 420));
    }
}

// The description and "Skip" are quiet texts in the secondary colour, not the placeholder grey (2.9:1)
// and not the brightest text on the card; brightest pixel for brightest pixel they match.
TEST(WelcomeGuide, TheDescriptionAndSkipTakeTheSecondaryColour) {
    WindowFixture f(false);
    WelcomeView* guide = f.view->welcomeView();
    ASSERT_NE(guide, nullptr);
    f.settle();
    QWidget* card = guide->descriptionLabel()->parentWidget();
    const QImage image = card->grab().toImage();
    auto brightest = [&](QWidget* w) {
        const QRect area(w->mapTo(card, QPoint()), w->size());
        int best = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                best = std::max(best, qGray(image.pixel(x, y)));
        return best;
    };
    const int description = brightest(guide->descriptionLabel());
    const int skip = brightest(guide->skipButton());
    const int secondary = qGray(Color::secondaryLabel().rgb()) * Color::secondaryLabel().alpha() / 255;
    EXPECT_NEAR(description, skip, 24);
    EXPECT_GE(description, secondary);
    EXPECT_LT(skip, qGray(Color::brandTextPrimary().rgb()) - 24);
}
