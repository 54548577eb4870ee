#include "ui/bin/BinWidgets.h"

#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRing.h"
#include "ui/brand/FocusRingButton.h"
#include "ui/brand/FocusRingLayer.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/FloatingCard.h"
#include "ui/common/Labels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tarnwick::BinWidgets {

QLabel* symbolLabel(const QString& symbol, const QColor& color, int size, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(symbolIcon(symbol, color).pixmap(size, size));
    label->setAlignment(Qt::AlignCenter);
    label->setProperty("symbol", symbol);
    label->setProperty("symbolColor", color);
    return label;
}

ErrorBox errorBox(const QStringList& errors, int maxHeight, const QString& heading, const QColor& lineColor,
                  int maxLines) {
    ErrorBox box;
    box.frame = new QFrame;
    box.frame->setObjectName(QStringLiteral("errorBox"));
    const QColor& tint = Color::darkSystemRed();
    box.frame->setStyleSheet(
        Color::styleSheet(QStringLiteral("QFrame#errorBox { background: %1; border-radius: 8px; }"),
                          {Color::withAlpha(tint, 26)}));
    // The lines keep room for the list's ring inside the box's padding; the heading lines up with them.
    const int ringRoom = int(focusRingWidth + focusRingGap);
    auto* outer = new QVBoxLayout(box.frame);
    outer->setContentsMargins(8 - ringRoom, 8 - ringRoom, 8 - ringRoom, 8 - ringRoom);
    outer->setSpacing(4);
    if (!heading.isEmpty()) {
        auto* head = textLabel(heading, 0, false, box.frame);
        head->setContentsMargins(ringRoom, ringRoom, ringRoom, 0);
        head->setAlignment(Qt::AlignLeft);
        setTextColor(head, tint);
        outer->addWidget(head);
    }
    auto* inner = new QWidget;
    inner->setAutoFillBackground(false);
    auto* lines = new QVBoxLayout(inner);
    lines->setContentsMargins(ringRoom, ringRoom, ringRoom, ringRoom);
    lines->setSpacing(4);
    for (const QString& error : errors) {
        auto* line = textLabel(error, -2, false, inner);
        line->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        line->setTextInteractionFlags(Qt::TextSelectableByMouse);
        setTextColor(line, lineColor.isValid() ? lineColor : tint);
        if (maxLines > 0)
            line->setMaximumHeight(line->fontMetrics().lineSpacing() * maxLines);
        lines->addWidget(line);
        box.lines.append(line);
    }
    lines->addStretch(1);
    box.scroll = new QScrollArea(box.frame);
    box.scroll->setWidget(inner);
    box.scroll->setWidgetResizable(true);
    box.scroll->setFrameShape(QFrame::NoFrame);
    box.scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box.scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    box.scroll->viewport()->setAutoFillBackground(false);
    // A Tab stop (the arrows scroll the lines): it wears the ring round its edge, clear of the lines.
    FocusRingLayer::wear(*box.scroll, Color::withAlpha(tint, 26), 6);
    inner->setStyleSheet(QStringLiteral("background: transparent;"));
    if (maxHeight > 0) {
        box.scroll->setMaximumHeight(maxHeight);
        box.scroll->setMinimumHeight(std::min(maxHeight, inner->sizeHint().height()));
    } else {
        box.scroll->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
        box.scroll->setMinimumHeight(40);
    }
    outer->addWidget(box.scroll);
    return box;
}

QPushButton* tintedButton(const QString& title, const QColor& tint, bool prominent, const QString& symbol,
                          QWidget* parent) {
    // A lone "&" would turn into a mnemonic underline.
    // Its ring is its own: the style sheet's focus frame hugs the label in a dark outline.
    auto* button =
        new FocusRingButton(QString(title).replace(QLatin1Char('&'), QStringLiteral("&&")), parent);
    button->setAccessibleName(title);
    const QColor label = prominent ? Color::brandBackground() : tint;
    if (!symbol.isEmpty())
        button->setIcon(symbolIcon(symbol, label));
    const auto rgba = [](const QColor& c, int alpha) {
        return Color::styleSheetValue(Color::withAlpha(c, alpha));
    };
    button->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %3; border-radius: 6px;"
                       " padding: 6px 10px; font-weight: 600; }"
                       "QPushButton:pressed { background: %4; }"
                       "QPushButton:disabled { color: %5; background: %6; border-color: %7; }")
            .arg(label.name(), prominent ? tint.name() : rgba(tint, 40), rgba(tint, prominent ? 255 : 110),
                 prominent ? tint.darker(120).name() : rgba(tint, 90), rgba(label, 100),
                 prominent ? rgba(tint, 90) : rgba(tint, 18), rgba(tint, 50)));
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button->setProperty("tint", tint);
    button->setProperty("prominent", prominent);
    return button;
}

ModalCard::ModalCard(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoMousePropagation);
    setFocusPolicy(Qt::StrongFocus);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    m_card = new QFrame(this);
    m_card->setObjectName(QStringLiteral("modalCard"));
    styleFloatingCard(m_card, Color::withAlpha(Color::modalCardBackground(), 245), {0, 0},
                      Color::sheetCardShadow());
    m_card->setMinimumWidth(500);
    m_layout = new QVBoxLayout(m_card);
    m_layout->setContentsMargins(40, 40, 40, 40);
    m_layout->setSpacing(20);
    m_layout->setAlignment(Qt::AlignHCenter);
    row->addWidget(m_card);
    row->addStretch(1);
    outer->addLayout(row);
    outer->addStretch(1);
}

void ModalCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Color::modalBackdrop());
}

void ModalCard::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Keys go to the card, not to whatever had focus in the window behind it.
    if (auto* button = m_card->findChild<QPushButton*>())
        button->setFocus(Qt::OtherFocusReason);
    else
        setFocus(Qt::OtherFocusReason);
}

void ModalCard::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The card never grows past the window: its scrolling parts take what is left.
    m_card->setMaximumHeight(std::max(0, height() - 48));
}

} // namespace tarnwick::BinWidgets
