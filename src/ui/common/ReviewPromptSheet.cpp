#include "ui/common/ReviewPromptSheet.h"

#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandPrimaryButton.h"
#include "ui/brand/BrandSecondaryButton.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/Labels.h"
#include "ui/common/ReviewPrompt.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

constexpr LabelOptions paragraph = LabelOption::plainText | LabelOption::wordWrap;

} // namespace

ReviewPromptSheet::ReviewPromptSheet(ReviewPrompt& prompt, QWidget* parent)
    : QWidget(parent), m_prompt(prompt) {
    setFixedWidth(400);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(18, 18, 18, 18);
    stack->setSpacing(14);
    stack->addWidget(brandLabel(QStringLiteral("Are you liking the app?"),
                                Font::brand(17, Font::Weight::bold), Color::brandTextPrimary(), this,
                                paragraph));
    stack->addWidget(brandLabel(
        QStringLiteral("You just reclaimed some space. If Tarnwick is working well for you, a rating "
                       "genuinely helps. If it isn't, tell me and I'll fix it."),
        Font::brand(12), Color::brandTextSecondary(), this, paragraph));

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(8);
    auto* rate = new BrandPrimaryButton(QStringLiteral("Yes, I'd love to rate it"), this);
    rate->setIcon(symbolIcon(QStringLiteral("star.fill"), Color::brandBackground()));
    rate->setIconSize(QSize(13, 13));
    auto* feedback =
        new BrandSecondaryButton(QStringLiteral("No, help me make it better"), Color::brandAmber(), this);
    feedback->setIcon(symbolIcon(QStringLiteral("envelope"), Color::brandAmber()));
    feedback->setIconSize(QSize(13, 13));
    buttons->addWidget(rate);
    buttons->addWidget(feedback);
    stack->addLayout(buttons);

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* later = new QToolButton(this);
    later->setText(QStringLiteral("Maybe later"));
    later->setAutoRaise(true);
    later->setFont(Font::brand(11));
    later->setCursor(Qt::PointingHandCursor);
    QPalette p = later->palette();
    p.setColor(QPalette::ButtonText, Color::brandTextTertiary());
    later->setPalette(p);
    row->addWidget(later);
    stack->addLayout(row);

    // A build without a rating link has no page to send the user to.
    rate->setVisible(prompt.hasRatingLink());
    m_rate = rate;
    m_feedback = feedback;
    m_maybeLater = later;
    connect(rate, &QAbstractButton::clicked, this, [this] { performAndDismiss(&ReviewPrompt::rateApp); });
    connect(feedback, &QAbstractButton::clicked, this,
            [this] { performAndDismiss(&ReviewPrompt::sendFeedback); });
    connect(later, &QAbstractButton::clicked, this, &ReviewPromptSheet::maybeLater);
}

void ReviewPromptSheet::performAndDismiss(void (ReviewPrompt::*action)()) {
    (m_prompt.*action)();
    Q_EMIT dismissRequested();
}

void ReviewPromptSheet::maybeLater() {
    m_prompt.dismiss();
    Q_EMIT dismissRequested();
}

void ReviewPromptSheet::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Color::brandSurface());
}

} // namespace tarnwick
