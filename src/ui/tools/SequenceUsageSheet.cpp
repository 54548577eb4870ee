#include "ui/tools/SequenceUsageSheet.h"
#include "ui/brand/FocusRingLayer.h"

#include "analysis/ProjectManagerFace.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandSecondaryButton.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/Labels.h"
#include "ui/common/ViewHelpers.h"
#include "ui/tools/SequenceUsageModel.h"
#include "ui/tools/ToolSheetParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

QToolButton* plainIconButton(const QString& symbol, const QColor& tint, const QString& help,
                             QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setIcon(symbolIcon(symbol, tint));
    button->setAutoRaise(true);
    button->setToolTip(help);
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    return button;
}

// Geometry shared by painting and clicking.
struct TimelineRowRects {
    QRect card, check, stateIcon, texts, protect, ignore;
    explicit TimelineRowRects(const QRect& r) {
        card = r.adjusted(8, 2, -8, -2);
        const QRect inner = card.adjusted(9, 6, -9, -6);
        const int mid = inner.center().y();
        check = QRect(inner.left(), mid - 7, 14, 14);
        stateIcon = QRect(check.right() + 8, mid - 7, 14, 14);
        ignore = QRect(inner.right() - 16, mid - 8, 16, 16);
        protect = QRect(ignore.left() - 7 - 16, mid - 8, 16, 16);
        texts = QRect(stateIcon.right() + 8, inner.top(), protect.left() - stateIcon.right() - 16,
                      inner.height());
    }
};

class TimelineDelegate : public QStyledItemDelegate {
public:
    TimelineDelegate(SequenceUsageModel* model, QObject* parent)
        : QStyledItemDelegate(parent), m_model(model) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
        return {300,
                index.data(SequenceUsageModel::isHeaderRole).toBool() ? (index.row() == 0 ? 24 : 33) : 44};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->fillRect(option.rect, Color::brandBackground());
        if (index.data(SequenceUsageModel::isHeaderRole).toBool()) {
            const QRect r = option.rect.adjusted(12, option.rect.height() - 20, -12, 0);
            const QFont font = Font::brandMono(9, Font::Weight::bold);
            painter->setFont(font);
            painter->setPen(Color::brandTextTertiary());
            symbolIcon(QStringLiteral("film"), Color::brandTextTertiary())
                .paint(painter, QRect(r.left(), r.top() + 2, 12, 12));
            const qint64 unattributed = index.data(SequenceUsageModel::unattributedRole).toLongLong();
            int right = r.right();
            if (unattributed >= 1) {
                const QString text = QString::number(unattributed) + QStringLiteral(" protected");
                const int w = QFontMetrics(font).horizontalAdvance(text);
                painter->setPen(Color::brandAmber());
                painter->drawText(QRect(right - w, r.top(), w, 16), Qt::AlignRight | Qt::AlignVCenter, text);
                symbolIcon(QStringLiteral("exclamationmark.shield.fill"), Color::brandAmber())
                    .paint(painter, QRect(right - w - 16, r.top() + 2, 12, 12));
                right -= w + 22;
                painter->setPen(Color::brandTextTertiary());
            }
            const QRect name(r.left() + 18, r.top(), right - r.left() - 18, 16);
            painter->drawText(
                name, Qt::AlignLeft | Qt::AlignVCenter,
                QFontMetrics(font).elidedText(index.data().toString(), Qt::ElideRight, name.width()));
            painter->restore();
            return;
        }
        const TimelineRowRects rects(option.rect);
        QPainterPath card;
        card.addRoundedRect(rects.card, 5, 5);
        painter->fillPath(card, Color::withOpacity(Color::brandSurfaceRaised(), 0.7));

        const auto decision = SequenceUsageDecision(index.data(SequenceUsageModel::decisionRole).toInt());
        const bool checked = decision != SequenceUsageDecision::ignored;
        const bool enabled = decision != SequenceUsageDecision::protected_;
        QPainterPath box;
        box.addRoundedRect(rects.check, 3, 3);
        painter->setOpacity(enabled ? 1.0 : 0.45);
        if (checked) {
            painter->fillPath(box, Color::brandAccent());
            painter->setPen(QPen(Color::brandBackground(), 2));
            const QRect c = rects.check;
            painter->drawPolyline(
                QPolygon({QPoint(c.left() + 3, c.center().y()), QPoint(c.left() + 6, c.bottom() - 3),
                          QPoint(c.right() - 3, c.top() + 3)}));
        } else {
            painter->setPen(QPen(Color::brandBorder(), 1));
            painter->drawPath(box);
        }
        painter->setOpacity(1.0);

        QString symbol = QStringLiteral("circle");
        QColor tint = Color::brandTextTertiary();
        if (decision == SequenceUsageDecision::protected_) {
            symbol = QStringLiteral("shield.fill");
            tint = Color::brandGreen();
        } else if (decision == SequenceUsageDecision::ignored) {
            symbol = QStringLiteral("eye.slash");
            tint = Color::brandAmber();
        }
        symbolIcon(symbol, tint).paint(painter, rects.stateIcon);

        const QFont nameFont = Font::brand(11);
        const QFont idFont = Font::brandMono(9);
        painter->setFont(nameFont);
        painter->setPen(Color::brandTextSecondary());
        const QFontMetrics nm(nameFont);
        const QRect nameRect(rects.texts.left(), rects.texts.top(), rects.texts.width(), nm.height());
        painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                          nm.elidedText(index.data().toString(), Qt::ElideRight, nameRect.width()));
        painter->setFont(idFont);
        painter->setPen(Color::brandTextTertiary()); // dimmer than this does not read on the row's card
        painter->drawText(QRect(rects.texts.left(), nameRect.bottom() + 1, rects.texts.width(),
                                QFontMetrics(idFont).height()),
                          Qt::AlignLeft | Qt::AlignVCenter,
                          index.data(SequenceUsageModel::captionRole).toString());

        painter->setOpacity(m_model->canAddNameRule(index.row()) ? 1.0 : 0.35);
        symbolIcon(QStringLiteral("shield"), Color::brandTextSecondary()).paint(painter, rects.protect);
        symbolIcon(QStringLiteral("eye.slash"), Color::brandTextSecondary()).paint(painter, rects.ignore);
        painter->restore();
    }

    bool editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (event->type() != QEvent::MouseButtonRelease ||
            index.data(SequenceUsageModel::isHeaderRole).toBool())
            return false;
        const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
        const TimelineRowRects rects(option.rect);
        const int row = index.row();
        if (rects.check.adjusted(-4, -4, 4, 4).contains(pos)) {
            const bool counted = m_model->decision(row) != SequenceUsageDecision::ignored;
            m_model->setCounted(row, !counted);
            return true;
        }
        if (rects.protect.contains(pos)) {
            m_model->protectName(row);
            return true;
        }
        if (rects.ignore.contains(pos)) {
            m_model->ignoreName(row);
            return true;
        }
        return false;
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (!index.data(SequenceUsageModel::isHeaderRole).toBool()) {
            const TimelineRowRects rects(option.rect);
            if (rects.protect.contains(event->pos())) {
                view->setToolTip(QStringLiteral("Protect names containing this title"));
                return QStyledItemDelegate::helpEvent(event, view, option, index);
            }
            if (rects.ignore.contains(event->pos())) {
                view->setToolTip(QStringLiteral("Auto-ignore names containing this title"));
                return QStyledItemDelegate::helpEvent(event, view, option, index);
            }
        } else if (index.data(SequenceUsageModel::unattributedRole).toLongLong() >= 1) {
            view->setToolTip(QStringLiteral("Unattributed occurrences always remain counted"));
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        }
        view->setToolTip(QString());
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }

private:
    SequenceUsageModel* m_model;
};

const QSize preferredSize(680, 570);

} // namespace

SequenceUsageSheet::SequenceUsageSheet(ProjectManagerFace& manager, QWidget* parent)
    : QWidget(parent), m_manager(manager) {
    setFixedWidth(preferredSize.width());
    setMinimumHeight(360);
    setMaximumHeight(preferredSize.height());
    resize(preferredSize);
    fillBackground(this, Color::brandBackground());
    m_model = new SequenceUsageModel(manager, this);

    auto* done = brandDoneButton();
    connect(done, &QPushButton::clicked, this, [this] { dismissSheet(this); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, done, &QPushButton::click);

    QWidget* entry = buildRuleEntry();
    QWidget* rulesPane = buildRulesPane();
    QWidget* timelinesPane = buildTimelinesPane();
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(rulesPane);
    split->addWidget(timelinesPane);
    split->setStretchFactor(1, 1);
    split->setSizes({240, 440});

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(
        brandHeaderBar(QStringLiteral("Sequence Usage"), QStringLiteral("list.bullet.rectangle"), done));
    column->addWidget(divider(Color::brandSurfaceSunken()));
    column->addWidget(entry);
    column->addWidget(divider(Color::brandSurfaceSunken()));
    column->addWidget(split, 1);

    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_model->setSearchText(text);
        updateControls();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, &SequenceUsageSheet::updateControls);
    connect(&m_manager, &ProjectManagerFace::policyChanged, this, &SequenceUsageSheet::rebuildRules);
    connect(m_model, &SequenceUsageModel::rulesChanged, this, &SequenceUsageSheet::rebuildRules);
    rebuildRules();
    updateControls();
}

// The introduction, the search field and the buttons that make a rule of what it holds.
QWidget* SequenceUsageSheet::buildRuleEntry() {
    auto* entry = new QWidget(this);
    auto* entryColumn = new QVBoxLayout(entry);
    entryColumn->setContentsMargins(14, 14, 14, 14);
    entryColumn->setSpacing(10);
    auto* intro =
        brandLabel(QStringLiteral("Ignored timelines do not prove their clips are used. Protect rules "
                                  "always win over project checkboxes and ignore rules; unattributed "
                                  "parser usage also stays protected."),
                   Font::brand(11), Color::brandTextTertiary(), entry);
    intro->setWordWrap(true);
    entryColumn->addWidget(intro);
    entryColumn->addWidget(buildSearchField(entry));
    entryColumn->addLayout(buildRuleActions(entry));
    return entry;
}

QWidget* SequenceUsageSheet::buildSearchField(QWidget* entry) {
    auto* field = new QWidget(entry);
    field->setObjectName(QStringLiteral("searchBox"));
    field->setAttribute(Qt::WA_StyledBackground);
    field->setStyleSheet(
        QStringLiteral("#searchBox { background: %1; border: 1px solid %2; border-radius: 7px; }")
            .arg(Color::brandSurfaceRaised().name(), Color::brandSurfaceSunken().name()));
    auto* fieldRow = new QHBoxLayout(field);
    fieldRow->setContentsMargins(10, 8, 10, 8);
    fieldRow->setSpacing(8);
    auto* glass = new QLabel(field);
    glass->setPixmap(
        symbolIcon(QStringLiteral("magnifyingglass"), Color::brandTextTertiary()).pixmap(14, 14));
    m_search = new QLineEdit(field);
    m_search->setPlaceholderText(QStringLiteral("Sequence name contains…"));
    m_search->setFrame(false);
    m_search->setFont(Font::brand(12));
    m_search->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; color: %1; }")
                                .arg(Color::brandTextPrimary().name()));
    m_clear =
        plainIconButton(QStringLiteral("xmark.circle.fill"), Color::brandTextTertiary(), QString(), field);
    connect(m_clear, &QAbstractButton::clicked, m_search, &QLineEdit::clear);
    fieldRow->addWidget(glass);
    fieldRow->addWidget(m_search, 1);
    fieldRow->addWidget(m_clear);
    return field;
}

QHBoxLayout* SequenceUsageSheet::buildRuleActions(QWidget* entry) {
    auto* actions = new QHBoxLayout;
    auto* protect =
        new BrandSecondaryButton(QStringLiteral("Always Protect"), Color::brandTextSecondary(), entry);
    protect->setIcon(symbolIcon(QStringLiteral("shield.fill"), Color::brandTextSecondary()));
    auto* ignore =
        new BrandSecondaryButton(QStringLiteral("Auto-ignore"), Color::brandTextSecondary(), entry);
    ignore->setIcon(symbolIcon(QStringLiteral("eye.slash"), Color::brandTextSecondary()));
    m_protect = protect;
    m_ignore = ignore;
    connect(m_protect, &QAbstractButton::clicked, this, [this] { addRuleFromSearch(true); });
    connect(m_ignore, &QAbstractButton::clicked, this, [this] { addRuleFromSearch(false); });
    // A push button draws its menu arrow in a margin of its own, clear of the text.
    m_presets = new QPushButton(QStringLiteral("Common"), entry);
    auto* menu = new QMenu(m_presets);
    for (int i = 0; i < presetIgnorePatterns().size(); ++i) {
        menu->addAction(QStringLiteral("Ignore names containing “%1”").arg(presetIgnorePatterns().at(i)),
                        this, [this, i] {
                            applyPresetRule(i, [this](const QString& pattern) {
                                m_manager.addSequenceRule(pattern, SequenceRuleAction::ignore);
                            });
                            rebuildRules();
                            m_model->refresh();
                        });
    }
    m_presets->setMenu(menu);
    actions->addWidget(m_protect);
    actions->addWidget(m_ignore);
    actions->addStretch(1);
    actions->addWidget(m_presets);
    return actions;
}

QWidget* SequenceUsageSheet::buildRulesPane() {
    auto* rulesPane = new QWidget(this);
    rulesPane->setMinimumWidth(210);
    auto* rulesColumn = new QVBoxLayout(rulesPane);
    rulesColumn->setContentsMargins(0, 0, 0, 0);
    rulesColumn->setSpacing(0);
    auto* rulesTitle = brandLabel(QStringLiteral("ACTIVE NAME RULES"), Font::brandMono(9, Font::Weight::bold),
                                  Color::brandTextTertiary(), rulesPane);
    rulesTitle->setContentsMargins(10, 10, 10, 10);
    rulesColumn->addWidget(rulesTitle);
    auto* rulesScroll = new QScrollArea(rulesPane);
    rulesScroll->setWidgetResizable(true);
    rulesScroll->setFrameShape(QFrame::NoFrame);
    m_rulesHost = new QWidget;
    fillBackground(m_rulesHost, Color::brandBackground());
    m_rules = new QVBoxLayout(m_rulesHost);
    m_rules->setContentsMargins(8, 0, 8, 8);
    m_rules->setSpacing(5);
    rulesScroll->setWidget(m_rulesHost);
    fillBackground(rulesScroll, Color::brandBackground());
    FocusRingLayer::wear(*rulesScroll, Color::brandBackground(), 4);
    rulesColumn->addWidget(rulesScroll, 1);
    return rulesPane;
}

QWidget* SequenceUsageSheet::buildTimelinesPane() {
    auto* timelinesPane = new QWidget(this);
    timelinesPane->setMinimumWidth(300);
    auto* timelinesColumn = new QVBoxLayout(timelinesPane);
    timelinesColumn->setContentsMargins(0, 0, 0, 0);
    timelinesColumn->setSpacing(0);
    m_timelinesTitle = brandLabel(QString(), Font::brandMono(9, Font::Weight::bold),
                                  Color::brandTextTertiary(), timelinesPane);
    m_timelinesTitle->setContentsMargins(10, 10, 10, 10);
    timelinesColumn->addWidget(m_timelinesTitle);
    m_timelines = new QListView(timelinesPane);
    m_timelines->setModel(m_model);
    m_timelines->setItemDelegate(new TimelineDelegate(m_model, m_timelines));
    m_timelines->setFrameShape(QFrame::NoFrame);
    FocusRingLayer::wear(*m_timelines, Color::brandBackground(), 4);
    m_timelines->setSelectionMode(QAbstractItemView::NoSelection);
    m_timelines->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_timelines->setMouseTracking(true);
    fillBackground(m_timelines->viewport(), Color::brandBackground());
    auto* empty = new QWidget(timelinesPane);
    auto* emptyColumn = new QVBoxLayout(empty);
    emptyColumn->addStretch(1);
    auto* emptyIcon = new QLabel(empty);
    emptyIcon->setPixmap(
        symbolIcon(QStringLiteral("list.bullet.rectangle"), Color::brandTextTertiary()).pixmap(20, 20));
    emptyIcon->setAlignment(Qt::AlignCenter);
    m_emptyText = brandLabel(QString(), Font::brand(11), Color::brandTextTertiary(), empty);
    m_emptyText->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(emptyIcon);
    emptyColumn->addSpacing(7);
    emptyColumn->addWidget(m_emptyText);
    emptyColumn->addStretch(1);
    m_timelineBody = new QStackedWidget(timelinesPane);
    m_timelineBody->addWidget(m_timelines);
    m_timelineBody->addWidget(empty);
    timelinesColumn->addWidget(m_timelineBody, 1);
    return timelinesPane;
}

void SequenceUsageSheet::addRuleFromSearch(bool protect) {
    const QString pattern = m_search->text().trimmed();
    if (pattern.isEmpty())
        return;
    m_manager.addSequenceRule(pattern, protect ? SequenceRuleAction::protect : SequenceRuleAction::ignore);
    rebuildRules();
    m_model->refresh();
}

void SequenceUsageSheet::updateControls() {
    const bool hasText = !m_search->text().trimmed().isEmpty();
    m_protect->setEnabled(hasText);
    m_ignore->setEnabled(hasText);
    m_clear->setVisible(!m_search->text().isEmpty());
    m_timelinesTitle->setText(QStringLiteral("TIMELINES IN OPEN PROJECTS • ") +
                              QString::number(m_model->visibleTimelineCount()));
    const bool any = m_model->visibleProjectCount() > 0;
    m_timelineBody->setCurrentIndex(any ? 0 : 1);
    m_emptyText->setText(any ? QString()
                         : m_manager.projects().isEmpty()
                             ? QStringLiteral("Import a project to see timelines")
                             : QStringLiteral("No matching timelines"));
}

void SequenceUsageSheet::rebuildRules() {
    while (QLayoutItem* item = m_rules->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->setProperty("stale", true);
            widget->deleteLater();
        }
        delete item;
    }
    const QList<SequenceNameRule>& rules = m_manager.policy().sequenceRules;
    if (rules.isEmpty()) {
        auto* none =
            brandLabel(QStringLiteral("No rules"), Font::brand(11), Color::brandTextTertiary(), m_rulesHost);
        none->setObjectName(QStringLiteral("ruleText"));
        none->setContentsMargins(4, 4, 4, 4);
        m_rules->addWidget(none);
    }
    for (const SequenceNameRule& rule : rules) {
        const bool ignore = rule.action == SequenceRuleAction::ignore;
        QWidget* row = roundedRow(m_rulesHost, 8, 8, 7);
        auto* line = static_cast<QHBoxLayout*>(row->layout());
        auto* icon = new QLabel(row);
        icon->setPixmap(symbolIcon(ignore ? QStringLiteral("eye.slash") : QStringLiteral("shield.fill"),
                                   ignore ? Color::brandAmber() : Color::brandGreen())
                            .pixmap(14, 14));
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto* pattern =
            brandLabel(rule.pattern, Font::brand(11, Font::Weight::medium), Color::brandTextPrimary(), row);
        pattern->setObjectName(QStringLiteral("ruleText"));
        pattern->setTextFormat(Qt::PlainText);
        texts->addWidget(pattern);
        texts->addWidget(
            brandLabel(ignore ? QStringLiteral("automatically ignored") : QStringLiteral("always counted"),
                       Font::brandMono(9), Color::brandTextTertiary(), row));
        const bool required = SequenceUsagePolicyStore::isBuiltInProtectRule(rule);
        auto* remove = plainIconButton(QStringLiteral("minus.circle.fill"), Color::brandRed(),
                                       required ? QStringLiteral("Final protection is required")
                                                : QStringLiteral("Remove this rule"),
                                       row);
        remove->setProperty("rulePattern", rule.pattern);
        remove->setEnabled(!required);
        connect(remove, &QAbstractButton::clicked, this, [this, rule] {
            m_manager.removeSequenceRule(rule);
            rebuildRules();
            m_model->refresh();
        });
        line->addWidget(icon);
        line->addLayout(texts, 1);
        line->addWidget(remove);
        m_rules->addWidget(row);
    }
    m_rules->addStretch(1);
}

QStringList SequenceUsageSheet::shownRules() const {
    QStringList out;
    for (const QLabel* label : m_rulesHost->findChildren<QLabel*>(QStringLiteral("ruleText")))
        if (!label->property("stale").toBool() &&
            !(label->parentWidget() && label->parentWidget()->property("stale").toBool()))
            out << label->text();
    return out;
}

QAbstractButton* SequenceUsageSheet::removeButton(const QString& pattern) const {
    for (QAbstractButton* button : m_rulesHost->findChildren<QAbstractButton*>())
        if (button->property("rulePattern").toString() == pattern &&
            !button->parentWidget()->property("stale").toBool())
            return button;
    return nullptr;
}

QSize SequenceUsageSheet::sizeHint() const {
    return preferredSize;
}

QString SequenceUsageSheet::emptyStateText() const {
    return m_timelineBody->currentIndex() == 1 ? m_emptyText->text() : QString();
}

} // namespace tarnwick
