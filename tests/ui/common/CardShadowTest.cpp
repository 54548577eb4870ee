#include "ui/common/CardShadow.h"
#include "ui/common/FloatingCard.h"

#include <QColor>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

int alphaAt(const QImage& image, int x, int y) {
    return qAlpha(image.pixel(x, y));
}

} // namespace

// The shadow is a picture blurred once: dense under the card, fading to nothing at its edge.
TEST(CardShadow, FadesFromUnderTheCardToNothingAtItsEdge) {
    const QColor color(0, 0, 0, 84);
    const QImage image = CardShadow::shadowImage(QSize(200, 100), color);
    const int room = CardShadow::blurRadius;
    ASSERT_EQ(image.size(), QSize(200 + 2 * room, 100 + 2 * room));
    const int middle = room + 50;
    EXPECT_EQ(alphaAt(image, room + 100, middle), 84);
    EXPECT_EQ(alphaAt(image, 0, middle), 0);
    int previous = 0;
    for (int x = 0; x <= room + 20; ++x) { // from the edge in, never lighter
        EXPECT_GE(alphaAt(image, x, middle), previous) << x;
        previous = alphaAt(image, x, middle);
    }
    EXPECT_GT(alphaAt(image, room - 10, middle), 0); // the blur reaches past the card
    EXPECT_LT(alphaAt(image, room, middle), 84);
}

// A floating card has no live effect: its shadow is a sibling just below it that follows it.
TEST(CardShadow, FollowsTheCardAsASiblingBelowIt) {
    QWidget window;
    window.resize(600, 400);
    auto* card = new QWidget(&window);
    card->setObjectName(QStringLiteral("card"));
    styleFloatingCard(card, QColor(40, 40, 40), {0, 10}, QColor(0, 0, 0, 84));
    card->setGeometry(100, 80, 300, 200);
    window.show();
    EXPECT_EQ(card->graphicsEffect(), nullptr);
    auto* shadow = window.findChild<CardShadow*>();
    ASSERT_TRUE(shadow);
    const int room = CardShadow::blurRadius;
    EXPECT_EQ(shadow->geometry(), card->geometry().adjusted(-room, -room, room, room).translated(0, 10));
    EXPECT_EQ(shadow->image().size(), shadow->size());
    const QObjectList& siblings = window.children();
    EXPECT_EQ(siblings.indexOf(shadow) + 1, siblings.indexOf(card)); // painted just before it

    card->resize(320, 240);
    EXPECT_EQ(shadow->size(), QSize(320 + 2 * room, 240 + 2 * room));
    EXPECT_EQ(shadow->image().size(), shadow->size());
    card->hide();
    EXPECT_TRUE(shadow->isHidden());
    card->show();
    EXPECT_FALSE(shadow->isHidden());
}
