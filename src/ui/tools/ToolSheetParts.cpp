#include "ui/tools/ToolSheetParts.h"

#include "stores/SecurityScopedAccess.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandSectionHeader.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/FilePanel.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnwick {

QWidget* makeSystemImageLabel(const QString& title, const QString& symbol, int iconSize, const QColor& tint,
                              QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* icon = new QLabel(box);
    icon->setPixmap(symbolIcon(symbol, tint).pixmap(iconSize, iconSize));
    auto* text = new QLabel(title, box);
    text->setObjectName(QStringLiteral("title"));
    row->addWidget(icon);
    row->addWidget(text);
    return box;
}

QWidget* systemHeaderBar(const QString& title, QWidget* trailing, QWidget* leadingBelowTitle) {
    auto* bar = new QWidget;
    bar->setAutoFillBackground(true);
    bar->setBackgroundRole(QPalette::Window);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(16, 12, 16, 12);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto* label = new QLabel(title, bar);
    QFont headline = label->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() + 1);
    label->setFont(headline);
    titles->addWidget(label);
    if (leadingBelowTitle)
        titles->addWidget(leadingBelowTitle);
    row->addLayout(titles);
    row->addStretch(1);
    row->addWidget(trailing);
    return bar;
}

QWidget* brandHeaderBar(const QString& title, const QString& symbol, QWidget* trailing) {
    auto* bar = new QWidget;
    bar->setAutoFillBackground(true);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, Color::brandSurface());
    bar->setPalette(palette);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(14, 10, 14, 10);
    row->addWidget(new BrandSectionHeader(title, symbol, bar));
    row->addStretch(1);
    row->addWidget(trailing);
    return bar;
}

QWidget* roundedRow(QWidget* parent, int hMargin, int vMargin, int spacing) {
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("roundedRow"));
    row->setAttribute(Qt::WA_StyledBackground);
    row->setStyleSheet(QStringLiteral("#roundedRow { background: %1; border-radius: 6px; }")
                           .arg(Color::brandSurfaceRaised().name()));
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(hMargin, vMargin, hMargin, vMargin);
    line->setSpacing(spacing);
    return row;
}

QHBoxLayout* scanAgainFooter(QWidget* parent, std::function<void()> scanAgain, QList<QWidget*> trailing) {
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(16, 12, 16, 12);
    // Apart enough that each button's focus ring stands clear of its neighbour.
    footer->setSpacing(12);
    auto* again = new QPushButton(QStringLiteral("Scan Another Folder..."), parent);
    QObject::connect(again, &QPushButton::clicked, parent, std::move(scanAgain));
    footer->addWidget(again);
    footer->addStretch(1);
    for (QWidget* widget : trailing)
        footer->addWidget(widget);
    return footer;
}

QWidget* divider(const QColor& color) {
    auto* line = new QFrame;
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, color.isValid() ? color : palette.color(QPalette::Mid));
    line->setPalette(palette);
    return line;
}

QWidget* contentUnavailable(const QString& symbol, const QString& label, const QString& description) {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->addStretch(1);
    auto* icon = new QLabel(page);
    icon->setPixmap(symbolIcon(symbol, page->palette().color(QPalette::PlaceholderText)).pixmap(40, 40));
    icon->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(label, page);
    title->setObjectName(QStringLiteral("unavailableLabel"));
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() + 3);
    title->setFont(bold);
    title->setAlignment(Qt::AlignCenter);
    auto* text = new QLabel(description, page);
    text->setObjectName(QStringLiteral("unavailableDescription"));
    text->setAlignment(Qt::AlignCenter);
    text->setForegroundRole(QPalette::PlaceholderText);
    column->addWidget(icon);
    column->addWidget(title);
    column->addWidget(text);
    column->addStretch(1);
    return page;
}

QPushButton* brandDoneButton() {
    auto* done = new QPushButton(QStringLiteral("Done"));
    done->setFont(Font::brand(12, Font::Weight::medium));
    done->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; background: transparent; border: 1px solid %1;"
                       " border-radius: 5px; padding: 3px 12px; }"
                       "QPushButton:pressed { background: %2; }")
            .arg(Color::brandAccent().name(),
                 Color::withOpacity(Color::brandAccent(), 0.2).name(QColor::HexArgb)));
    return done;
}

void dismissSheet(QWidget* content) {
    content->window()->close();
}

void fillBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void chooseFolderToScan(FilePanel& panel, SecurityScopedAccess& grants, QWidget* window,
                        const QString& message, const QString& prompt, QObject* context,
                        std::function<void(const QString& folder)> chosen) {
    OpenPanelRequest request;
    request.canChooseFiles = false;
    request.canChooseDirectories = true;
    request.allowsMultipleSelection = false;
    request.message = message;
    request.prompt = prompt;
    chooseWithAccess(panel, grants, window, request, context,
                     [chosen = std::move(chosen)](const GrantedChoice& choice) {
                         chosen(choice.urls.first().toLocalFile());
                     });
}

std::function<void(const QString&)> progressOnGuiThread(QObject* receiver,
                                                        std::function<void(const QString&)> show) {
    return [alive = QPointer<QObject>(receiver), show = std::move(show)](const QString& text) {
        QMetaObject::invokeMethod(
            qApp,
            [alive, show, text] {
                if (alive)
                    show(text);
            },
            Qt::QueuedConnection);
    };
}

} // namespace tarnwick
