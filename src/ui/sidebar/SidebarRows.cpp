#include "ui/sidebar/SidebarRows.h"

#include "analysis/ProjectManager.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "ui/BrandFonts.h"
#include "ui/BrandPalette.h"
#include "ui/BrandSectionHeader.h"
#include "ui/SymbolIcons.h"
#include "ui/sidebar/SidebarTexts.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

QLabel* text(const QString& value, const QFont& font, const QColor& color, QWidget* parent) {
    auto* label = new QLabel(value, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
    return label;
}

void recolor(QLabel* label, const QColor& color) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
}

void roundedFill(QWidget* w, qreal radius, const QBrush& fill, const QColor& border = QColor()) {
    QPainter p(w);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(w->rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.fillPath(path, fill);
    if (border.isValid() && border.alpha() > 0) {
        p.setPen(QPen(border, 1));
        p.drawPath(path);
    }
}

} // namespace

// ---- ReclaimableCallout -------------------------------------------------------------------------

ReclaimableCallout::ReclaimableCallout(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(4);
    layout->addWidget(new BrandSectionHeader(QStringLiteral("Reclaimable"), QStringLiteral("internaldrive"), this));
    m_size = text(QString(), Font::brandMono(26, Font::Weight::bold), Color::brandAmber(), this);
    layout->addWidget(m_size);
    m_count = text(QString(), Font::brandMono(11), Color::brandTextTertiary(), this);
    layout->addWidget(m_count);
}

void ReclaimableCallout::set(const QString& size, int count) {
    m_size->setText(size);
    // Shrinks to fit, down to 0.6 of its size.
    QFont font = Font::brandMono(26, Font::Weight::bold);
    const int room = std::max(40, width() - 28);
    for (qreal scale = 1.0; scale >= 0.6; scale -= 0.05) {
        font.setPixelSize(int(26 * scale));
        if (QFontMetrics(font).horizontalAdvance(size) <= room)
            break;
    }
    m_size->setFont(font);
    m_count->setText(SidebarTexts::reclaimableCountText(count));
}

QString ReclaimableCallout::sizeText() const { return m_size->text(); }
QString ReclaimableCallout::countText() const { return m_count->text(); }

void ReclaimableCallout::paintEvent(QPaintEvent*) {
    QLinearGradient gradient(rect().topLeft(), rect().bottomRight());
    gradient.setColorAt(0, Color::withOpacity(Color::brandAmber(), 0.14));
    gradient.setColorAt(1, Color::brandSurfaceRaised());
    roundedFill(this, 6, gradient, Color::withOpacity(Color::brandAmber(), 0.28));
}

// ---- SummaryRow ---------------------------------------------------------------------------------

SummaryRow::SummaryRow(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 1, 10, 1);
    m_label = text(QString(), Font::brandMono(12), Color::brandTextSecondary(), this);
    m_value = text(QString(), Font::brandMono(12), Color::brandTextPrimary(), this);
    layout->addWidget(m_label);
    layout->addStretch(1);
    layout->addWidget(m_value);
}

void SummaryRow::set(const QString& label, const QString& value, bool highlight, std::optional<QColor> color) {
    m_label->setText(label);
    m_value->setText(value);
    m_value->setFont(Font::brandMono(12, highlight ? Font::Weight::bold : Font::Weight::medium));
    recolor(m_value, color ? *color : highlight ? Color::brandAmber() : Color::brandTextPrimary());
}

QString SummaryRow::label() const { return m_label->text(); }
QString SummaryRow::value() const { return m_value->text(); }
QColor SummaryRow::valueColor() const { return m_value->palette().color(QPalette::WindowText); }
bool SummaryRow::isBold() const { return m_value->font().bold(); }

// ---- DropZoneRow --------------------------------------------------------------------------------

DropZoneRow::DropZoneRow(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 8, 4, 8);
    layout->setSpacing(12);
    m_icon = new QLabel(this);
    layout->addWidget(m_icon);
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    m_title = text(QStringLiteral("Drop Projects Here"), Font::brand(13, Font::Weight::medium), Color::brandTextSecondary(), this);
    column->addWidget(m_title);
    column->addWidget(text(QStringLiteral(".prproj files"), Font::brand(11), Color::brandTextTertiary(), this));
    layout->addLayout(column);
    layout->addStretch(1);
    setDragging(false);
}

void DropZoneRow::setDragging(bool dragging) {
    m_dragging = dragging;
    static const QColor blue(0x0A, 0x84, 0xFF);
    m_icon->setPixmap(symbolIcon(QStringLiteral("arrow.down.doc.fill"), dragging ? blue : Color::brandTextSecondary())
                          .pixmap(24, 24));
    recolor(m_title, dragging ? Color::brandTextPrimary() : Color::brandTextSecondary());
    update();
}

void DropZoneRow::paintEvent(QPaintEvent*) {
    if (m_dragging)
        roundedFill(this, 6, Color::withOpacity(QColor(0x0A, 0x84, 0xFF), 0.15));
}

// ---- ProjectDisclosureRow -----------------------------------------------------------------------

ProjectDisclosureRow::ProjectDisclosureRow(ProjectManager& manager, const ProjectFile& project, bool expanded,
                                           QWidget* parent)
    : QWidget(parent), m_manager(&manager), m_project(project), m_expanded(expanded) {
    const bool hasTimelines = !project.sequences.isEmpty();
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 2, 4, 2);
    row->setSpacing(4);

    m_chevron = new QToolButton(this);
    m_chevron->setAutoRaise(true);
    m_chevron->setFixedSize(14, 24);
    m_chevron->setText(expanded ? QStringLiteral("▾") : QStringLiteral("▸"));
    m_chevron->setEnabled(hasTimelines);
    m_chevron->setToolTip(hasTimelines ? QStringLiteral("Show project timelines") : QStringLiteral("No timelines found"));
    m_chevron->setStyleSheet(QStringLiteral("QToolButton { border: none; color: rgba(120,117,112,%1); font-weight: bold; }")
                                 .arg(hasTimelines ? 255 : 115));
    connect(m_chevron, &QToolButton::clicked, this, [this] {
        m_expanded = !m_expanded;
        m_chevron->setText(m_expanded ? QStringLiteral("▾") : QStringLiteral("▸"));
        Q_EMIT expandToggled(m_expanded);
    });
    row->addWidget(m_chevron);

    m_bar = new QWidget(this);
    m_bar->setFixedWidth(3);
    row->addWidget(m_bar);

    auto* column = new QVBoxLayout;
    column->setContentsMargins(3, 0, 0, 0);
    column->setSpacing(2);
    auto* top = new QHBoxLayout;
    m_icon = new QLabel(this);
    top->addWidget(m_icon);
    m_name = text(project.name, Font::brandMono(13), Color::brandTextSecondary(), this);
    m_name->setMinimumWidth(40);
    m_name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    top->addWidget(m_name, 1);
    if (!project.parseWarnings.isEmpty()) {
        auto* warn = new QLabel(this);
        warn->setPixmap(symbolIcon(QStringLiteral("exclamationmark.triangle.fill"), Color::brandAmber()).pixmap(12, 12));
        warn->setToolTip(project.parseWarnings.join(QLatin1Char('\n')));
        top->addWidget(warn);
    }
    column->addLayout(top);
    if (project.parseError) {
        m_error = text(*project.parseError, Font::brandMono(11), Color::brandRed(), this);
        m_error->setWordWrap(true);
        column->addWidget(m_error);
    } else {
        auto* counts = new QHBoxLayout;
        counts->setSpacing(4);
        m_counts = text(QString(), Font::brandMono(10), Color::brandTextTertiary(), this);
        counts->addWidget(m_counts);
        if (const auto timelines = SidebarTexts::timelinesText(int(project.sequences.size()))) {
            m_timelines = text(*timelines, Font::brandMono(10), Color::brandCyan(), this);
            counts->addWidget(m_timelines);
        }
        counts->addStretch(1);
        column->addLayout(counts);
    }
    row->addLayout(column, 1);
    refreshCounts();
    refreshSelection();
}

void ProjectDisclosureRow::refreshCounts() {
    if (!m_counts || !m_manager)
        return;
    m_counts->setText(
        SidebarTexts::projectCountsText(int(m_project.mediaFiles.size()), m_manager->effectiveUsedFileCount(m_project)));
}

void ProjectDisclosureRow::refreshSelection() {
    if (!m_manager)
        return;
    m_selected = m_manager->selectedProjectIDs().contains(m_project.id);
    m_icon->setPixmap(symbolIcon(QStringLiteral("film.fill"), m_selected ? Color::brandAccent() : Color::brandTextTertiary())
                          .pixmap(13, 13));
    m_name->setFont(Font::brandMono(13, m_selected ? Font::Weight::semibold : Font::Weight::regular));
    recolor(m_name, m_selected ? Color::brandTextPrimary() : Color::brandTextSecondary());
    m_bar->setStyleSheet(m_selected ? QStringLiteral("background: #9D8AE8; border-radius: 1px;") : QString());
    update();
}

QString ProjectDisclosureRow::countsText() const { return m_counts ? m_counts->text() : QString(); }
QString ProjectDisclosureRow::errorText() const { return m_error ? m_error->text() : QString(); }

void ProjectDisclosureRow::toggleSelection() {
    if (!m_manager)
        return;
    QSet<QUuid> ids = m_manager->selectedProjectIDs();
    if (ids.contains(m_project.id))
        ids.remove(m_project.id);
    else
        ids.insert(m_project.id);
    m_manager->setSelectedProjectIDs(ids);
}

void ProjectDisclosureRow::mousePressEvent(QMouseEvent* event) {
    // Taken here so the release comes back to the row, which is the tap's hit area.
    event->setAccepted(event->button() == Qt::LeftButton);
}

void ProjectDisclosureRow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        toggleSelection();
}

QMenu* ProjectDisclosureRow::contextMenu() {
    delete m_menu;
    m_menu = new QMenu(this);
    const QUuid id = m_project.id;
    QPointer<ProjectManager> pm = m_manager;
    m_menu->addAction(QStringLiteral("Show Only This Project"), this, [pm, id] {
        if (pm)
            pm->setSelectedProjectIDs({id});
    });
    QAction* remove = m_menu->addAction(QStringLiteral("Remove from Filter"), this, [pm, id] {
        if (!pm)
            return;
        QSet<QUuid> ids = pm->selectedProjectIDs();
        ids.remove(id);
        pm->setSelectedProjectIDs(ids);
    });
    remove->setEnabled(pm && pm->selectedProjectIDs().contains(id));
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Remove Project"), this, [pm, project = m_project] {
        if (pm)
            (void)pm->removeProject(project);
    });
    return m_menu;
}

void ProjectDisclosureRow::contextMenuEvent(QContextMenuEvent* event) { contextMenu()->popup(event->globalPos()); }

void ProjectDisclosureRow::paintEvent(QPaintEvent*) {
    if (m_selected)
        roundedFill(this, 6, Color::withOpacity(Color::brandAccent(), 0.14), Color::withOpacity(Color::brandAccent(), 0.35));
}

// ---- SequenceRow --------------------------------------------------------------------------------

SequenceRow::SequenceRow(ProjectManager& manager, const ProjectFile& project, const ProjectSequence& sequence,
                         QWidget* parent)
    : QWidget(parent), m_manager(&manager), m_project(project), m_sequence(sequence) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(24, 3, 6, 3);
    row->setSpacing(6);
    m_check = new QCheckBox(this);
    m_check->setAccessibleName(sequence.displayName());
    connect(m_check, &QCheckBox::clicked, this, [this](bool counted) {
        if (m_manager)
            m_manager->setSequenceCounted(counted, m_sequence, m_project);
    });
    row->addWidget(m_check);
    m_name = text(sequence.displayName(), Font::brandMono(11), Color::brandTextSecondary(), this);
    m_name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(m_name, 1);
    row->addSpacing(4);
    m_badge = new QLabel(this);
    row->addWidget(m_badge);
    refresh();
}

void SequenceRow::refresh() {
    if (!m_manager)
        return;
    const auto decision = SequenceUsagePolicyStore::decision(m_sequence.id, m_sequence.name,
                                                             m_manager->sequencePolicy().snapshot(m_project.url));
    m_ignored = decision == SequenceUsageDecision::ignored;
    {
        const QSignalBlocker block(m_check);
        m_check->setChecked(!m_ignored);
    }
    m_check->setEnabled(decision != SequenceUsageDecision::protected_);
    recolor(m_name, m_ignored ? Color::brandTextTertiary() : Color::brandTextSecondary());
    if (decision == SequenceUsageDecision::protected_) {
        m_badge->setPixmap(symbolIcon(QStringLiteral("shield.fill"), Color::brandGreen()).pixmap(11, 11));
        m_badge->setToolTip(QStringLiteral("Protected by a name rule; its usage always counts"));
    } else if (m_ignored) {
        m_badge->setPixmap(symbolIcon(QStringLiteral("eye.slash"), Color::brandAmber()).pixmap(11, 11));
        m_badge->setToolTip(QStringLiteral("Usage from this timeline is ignored"));
    } else {
        m_badge->clear();
        m_badge->setToolTip(QString());
    }
    update();
}

QString SequenceRow::badgeTip() const { return m_badge->toolTip(); }

QMenu* SequenceRow::contextMenu() {
    delete m_menu;
    m_menu = new QMenu(this);
    m_menu->addAction(QStringLiteral("Use Automatic Rule"), this, [this] {
        if (m_manager)
            m_manager->clearSequenceOverride(m_sequence, m_project);
    });
    return m_menu;
}

void SequenceRow::contextMenuEvent(QContextMenuEvent* event) { contextMenu()->popup(event->globalPos()); }

void SequenceRow::paintEvent(QPaintEvent*) {
    if (m_ignored)
        roundedFill(this, 4, Color::withOpacity(Color::brandAmber(), 0.07));
}

} // namespace tarnwick
