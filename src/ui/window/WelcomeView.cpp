#include "ui/window/WelcomeView.h"

#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRingButton.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/FloatingCard.h"
#include "ui/common/Labels.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tarnwick {

const QList<WelcomeView::Step>& WelcomeView::steps() {
    static const QList<Step> table{
        {QStringLiteral("sparkles"), QStringLiteral("Welcome to Tarnwick"),
         QStringLiteral(
             "Find and clean up unused media across your Premiere Pro projects — safely and quickly.")},
        {QStringLiteral("folder.badge.plus"), QStringLiteral("Import Your Projects"),
         QStringLiteral(
             "Use Easy Import to scan an entire directory for .prproj files, or just drag and drop "
             "project files onto the window.")},
        {QStringLiteral("checkmark.shield.fill"), QStringLiteral("Every Clip Is Cross-Checked"),
         QStringLiteral("Media is verified against all imported projects and their linked After Effects "
                        "compositions — nothing you actually need is ever marked as unused.")},
        {QStringLiteral("magnifyingglass"), QStringLiteral("Reconnect Moved Files"),
         QStringLiteral("If media has been relocated, Search Offline Files will find and reconnect it "
                        "automatically using smart path matching.")},
        {QStringLiteral("eye.fill"), QStringLiteral("Review With Confidence"),
         QStringLiteral(
             "Filter by status, size, or usage. Preview video files right in the app before adding "
             "anything to the Virtual Recycle Bin.")},
        {QStringLiteral("arrow.3.trianglepath"), QStringLiteral("Choose How to Clean Up"),
         QStringLiteral(
             "Move files to your computer's Trash, delete permanently, or move to an archive folder "
             "that preserves the original directory structure for easy deep archiving.")},
    };
    return table;
}

QColor WelcomeView::stepColor(int index) {
    static const QList<QColor> colors{Color::systemBlue(), Color::systemGreen(), Color::systemOrange(),
                                      Color::systemPurple(), Color::systemTeal()};
    if (index >= 1 && index <= 5)
        return colors.at(index - 1);
    return QApplication::palette().color(QPalette::Highlight);
}

WelcomeView::WelcomeView(std::function<void()> onComplete, QWidget* parent)
    : QWidget(parent), m_onComplete(std::move(onComplete)) {
    setObjectName(QStringLiteral("welcomeView"));
    auto* outer = new QVBoxLayout(this);
    outer->setAlignment(Qt::AlignCenter);
    auto* card = new QWidget(this);
    card->setObjectName(QStringLiteral("welcomeCard"));
    card->setFixedSize(520, 420);
    styleFloatingCard(card, Color::withAlpha(Color::welcomeCardBackground(), 245), {0, 10},
                      Color::welcomeCardShadow());
    outer->addWidget(card, 0, Qt::AlignCenter);

    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* skipRow = new QHBoxLayout;
    skipRow->setContentsMargins(24, 16, 24, 0);
    skipRow->addStretch(1);
    m_skip = new FocusRingButton(QStringLiteral("Skip"), card);
    m_skip->setFlat(true);
    // A quiet way out: in the secondary colour, below the step's own texts.
    QPalette skipColors = m_skip->palette();
    skipColors.setColor(QPalette::ButtonText, Color::secondaryLabel());
    m_skip->setPalette(skipColors);
    m_skip->setCursor(Qt::PointingHandCursor);
    connect(m_skip, &QPushButton::clicked, this, &WelcomeView::complete);
    skipRow->addWidget(m_skip);
    auto* skipHolder = new QWidget(card);
    skipHolder->setFixedHeight(32 + 16);
    skipHolder->setLayout(skipRow);
    layout->addWidget(skipHolder);
    layout->addStretch(1);

    m_icon = new QLabel(card);
    m_icon->setAlignment(Qt::AlignCenter);
    m_title = new QLabel(card);
    m_title->setAlignment(Qt::AlignCenter);
    QFont titleFont = QApplication::font();
    titleFont.setPixelSize(22);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_description = new QLabel(card);
    m_description->setAlignment(Qt::AlignCenter);
    m_description->setWordWrap(true);
    m_description->setFixedWidth(360);
    setTextColor(m_description, Color::secondaryLabel());
    // The layout does not ask a wrapped label for its height at its width, so the box is made tall
    // enough for the longest description; the pages keep their title in one place too.
    int tallest = 0;
    for (const Step& step : steps()) {
        m_description->setText(step.description);
        tallest = std::max(tallest, m_description->heightForWidth(m_description->width()));
    }
    m_description->setMinimumHeight(tallest);
    auto* content = new QVBoxLayout;
    content->setSpacing(20);
    content->addWidget(m_icon, 0, Qt::AlignHCenter);
    content->addWidget(m_title, 0, Qt::AlignHCenter);
    content->addWidget(m_description, 0, Qt::AlignHCenter);
    layout->addLayout(content);
    layout->addStretch(1);

    auto* dotsRow = new QHBoxLayout;
    // Each dot's square holds half the 8-point gap on either side of it (and its focus ring), so
    // the squares touch and the padding below counts from the circle.
    dotsRow->setSpacing(0);
    dotsRow->setContentsMargins(0, 0, 0, 20 - (WelcomeDot::side - WelcomeDot::diameter) / 2);
    dotsRow->addStretch(1);
    for (int i = 0; i < steps().size(); ++i) {
        auto* dot = new WelcomeDot(card);
        connect(dot, &QAbstractButton::clicked, this, [this, i] { jumpToStep(i); });
        dotsRow->addWidget(dot);
        m_dots.append(dot);
    }
    dotsRow->addStretch(1);
    layout->addLayout(dotsRow);

    auto* nav = new QHBoxLayout;
    nav->setContentsMargins(32, 0, 32, 24);
    m_back = new FocusRingButton(QStringLiteral("Back"), card);
    connect(m_back, &QPushButton::clicked, this, &WelcomeView::previousStep);
    nav->addWidget(m_back);
    nav->addStretch(1);
    auto* forward = new FocusRingButton(QString(), card);
    forward->setProminent(true);
    m_forward = forward;
    m_forward->setDefault(true);
    connect(m_forward, &QPushButton::clicked, this, [this] {
        if (m_currentStep == steps().size() - 1) {
            complete();
        } else {
            nextStep();
        }
    });
    nav->addWidget(m_forward);
    layout->addLayout(nav);

    showStep(0);
}

void WelcomeView::complete() {
    if (m_onComplete)
        m_onComplete();
}

bool WelcomeView::handleKey(const QKeyEvent& key) {
    if (key.modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (key.key()) {
    case Qt::Key_Right:
        if (m_currentStep < steps().size() - 1)
            m_forward->click();
        return true;
    case Qt::Key_Left:
        if (m_back->isVisibleTo(this))
            m_back->click();
        return true;
    case Qt::Key_Escape:
        complete();
        return true;
    default:
        return false;
    }
}

void WelcomeView::nextStep() {
    jumpToStep(m_currentStep + 1);
}
void WelcomeView::previousStep() {
    jumpToStep(m_currentStep - 1);
}

void WelcomeView::jumpToStep(int index) {
    if (index < 0 || index >= steps().size())
        return;
    showStep(index);
}

QString WelcomeView::shownTitle() const {
    return m_title->text();
}
QString WelcomeView::shownDescription() const {
    return m_description->text();
}

void WelcomeView::showStep(int index) {
    m_currentStep = index;
    const Step& step = steps().at(index);
    m_icon->setPixmap(symbolIcon(step.icon, stepColor(index)).pixmap(56, 56));
    m_title->setText(step.title);
    m_description->setText(step.description);
    const bool last = index == steps().size() - 1;
    m_skip->setVisible(!last);
    m_back->setVisible(index > 0);
    m_forward->setText(last ? QStringLiteral("Get Started") : QStringLiteral("Next"));
    const QColor accent = QApplication::palette().color(QPalette::Highlight);
    for (int i = 0; i < m_dots.size(); ++i)
        m_dots[i]->setFill(i == index ? accent : Color::withOpacity(Color::systemGray(), 0.3));
}

void WelcomeView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Color::welcomeBackdrop());
}

} // namespace tarnwick
