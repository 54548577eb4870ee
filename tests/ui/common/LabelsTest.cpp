#include "ui/common/Labels.h"

#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/common/ElidedLabel.h"

#include <QLabel>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

namespace tarnwick {
namespace {

TEST(Labels, BrandLabelDrawsInItsFontAndColourWithTheOptionsAsked) {
    QWidget host;
    const QFont font = Font::brandMono(11, Font::Weight::medium);
    QLabel* plain = brandLabel(QStringLiteral("<b>A001</b>"), font, Color::brandAccent(), &host);
    EXPECT_EQ(plain->parent(), &host);
    EXPECT_EQ(plain->font(), font);
    EXPECT_EQ(plain->palette().color(QPalette::WindowText), Color::brandAccent());
    EXPECT_EQ(plain->palette().color(QPalette::Inactive, QPalette::WindowText), Color::brandAccent());
    EXPECT_EQ(plain->textFormat(), Qt::AutoText);
    EXPECT_FALSE(plain->wordWrap());

    QLabel* all = brandLabel(QStringLiteral("<b>A001</b>"), font, Color::brandTextTertiary(), &host,
                             LabelOption::plainText | LabelOption::wordWrap | LabelOption::centred |
                                 LabelOption::selectable);
    EXPECT_EQ(all->textFormat(), Qt::PlainText);
    EXPECT_TRUE(all->wordWrap());
    EXPECT_EQ(all->alignment(), Qt::AlignCenter);
    EXPECT_EQ(all->textInteractionFlags(), Qt::TextSelectableByMouse);

    setTextColor(all, Color::brandAmber());
    EXPECT_EQ(all->palette().color(QPalette::WindowText), Color::brandAmber());
}

TEST(Labels, SecondaryAndTextLabelsFollowTheirParentsFont) {
    QWidget host;
    QFont base = host.font();
    base.setPointSizeF(20);
    host.setFont(base);

    QLabel* caption = secondaryLabel(QStringLiteral("Select:"), &host, LabelOption::centred, 0.85, 0.6);
    EXPECT_DOUBLE_EQ(caption->font().pointSizeF(), 17);
    EXPECT_EQ(caption->palette().color(QPalette::WindowText),
              Color::withOpacity(Color::brandTextTertiary(), 0.6));
    EXPECT_EQ(caption->alignment(), Qt::AlignCenter);
    EXPECT_FALSE(caption->wordWrap());

    QLabel* title = textLabel(QStringLiteral("Move to Trash Failed"), 1, true, &host);
    EXPECT_DOUBLE_EQ(title->font().pointSizeF(), 21);
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->textFormat(), Qt::PlainText);
    EXPECT_TRUE(title->wordWrap());
}

TEST(Labels, ElidedLabelKeepsItsWholeTextAndGivesWayInTheMiddle) {
    const QString path = QStringLiteral("/media/editor/Shoot 2024 Harbour Promo/Client Deliverables/Masters");
    std::unique_ptr<ElidedLabel> label(
        elidedLabel(path, Qt::ElideMiddle, Font::brandMono(9), Color::brandTextTertiary()));
    label->resize(160, label->sizeHint().height());
    EXPECT_EQ(label->text(), path);
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), Color::brandTextTertiary());
    EXPECT_TRUE(label->shownText().startsWith(QStringLiteral("/media")));
    EXPECT_TRUE(label->shownText().endsWith(QStringLiteral("Masters")));
    EXPECT_TRUE(label->shownText().contains(QChar(0x2026)));
}

} // namespace
} // namespace tarnwick
