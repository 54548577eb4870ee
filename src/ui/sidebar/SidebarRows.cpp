#include "ui/sidebar/SidebarRows.h"

#include "analysis/ProjectManagerFace.h"
#include "stores/SequenceUsagePolicyStore.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/BrandSectionHeader.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/Labels.h"
#include "ui/sidebar/SidebarTexts.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHash>
#include <QHelpEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

constexpr LabelOptions plain = LabelOption::plainText;

// Rows are built by the hundred; draw each symbol once per colour and size.
QPixmap symbolPixmap(const QString& symbol, const QColor& color, int size) {
    static QHash<QString, QPixmap> cache;
    // Pixmaps must go before the application does.
    static const bool hooked = QObject::connect(qApp, &QObject::destroyed, [] { cache.clear(); });
    Q_UNUSED(hooked);
    const QString key =
        symbol + QLatin1Char('|') + color.name(QColor::HexArgb) + QLatin1Char('|') + QString::number(size);
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.insert(key, symbolIcon(symbol, color).pixmap(size, size));
    return it.value();
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
    layout->addWidget(
        new BrandSectionHeader(QStringLiteral("Reclaimable"), QStringLiteral("internaldrive"), this));
    m_size = brandLabel(QString(), Font::brandMono(26, Font::Weight::bold), Color::brandAmber(), this, plain);
    layout->addWidget(m_size);
    m_count = brandLabel(QString(), Font::brandMono(11), Color::brandTextTertiary(), this, plain);
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

QString ReclaimableCallout::sizeText() const {
    return m_size->text();
}
QString ReclaimableCallout::countText() const {
    return m_count->text();
}

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
    m_label = brandLabel(QString(), Font::brandMono(12), Color::brandTextSecondary(), this, plain);
    m_value = brandLabel(QString(), Font::brandMono(12), Color::brandTextPrimary(), this, plain);
    layout->addWidget(m_label);
    layout->addStretch(1);
    layout->addWidget(m_value);
}

void SummaryRow::set(const QString& label, const QString& value, bool highlight,
                     std::optional<QColor> color) {
    m_label->setText(label);
    m_value->setText(value);
    m_value->setFont(Font::brandMono(12, highlight ? Font::Weight::bold : Font::Weight::medium));
    setTextColor(m_value, color ? *color : highlight ? Color::brandAmber() : Color::brandTextPrimary());
}

QString SummaryRow::label() const {
    return m_label->text();
}
QString SummaryRow::value() const {
    return m_value->text();
}
QColor SummaryRow::valueColor() const {
    return m_value->palette().color(QPalette::WindowText);
}
bool SummaryRow::isBold() const {
    return m_value->font().bold();
}

// ---- DropZoneRow --------------------------------------------------------------------------------

DropZoneRow::DropZoneRow(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 8, 4, 8);
    layout->setSpacing(12);
    m_icon = new QLabel(this);
    layout->addWidget(m_icon);
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    m_title = brandLabel(QStringLiteral("Drop Projects Here"), Font::brand(13, Font::Weight::medium),
                         Color::brandTextSecondary(), this, plain);
    column->addWidget(m_title);
    column->addWidget(brandLabel(QStringLiteral(".prproj files"), Font::brand(11), Color::brandTextTertiary(),
                                 this, plain));
    layout->addLayout(column);
    layout->addStretch(1);
    setDragging(false);
}

void DropZoneRow::setDragging(bool dragging) {
    m_dragging = dragging;
    m_icon->setPixmap(symbolPixmap(QStringLiteral("arrow.down.doc.fill"),
                                   dragging ? Color::darkSystemBlue() : Color::brandTextSecondary(), 24));

    setTextColor(m_title, dragging ? Color::brandTextPrimary() : Color::brandTextSecondary());
    update();
}

void DropZoneRow::paintEvent(QPaintEvent*) {
    if (m_dragging)
        roundedFill(this, 6, Color::withOpacity(Color::darkSystemBlue(), 0.15));
}

// ---- DisclosureChevron --------------------------------------------------------------------------

DisclosureChevron::DisclosureChevron(const QColor& tint, QWidget* parent)
    : QAbstractButton(parent), m_tint(tint) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void DisclosureChevron::paintEvent(QPaintEvent*) {
    // The symbol at about the size of a 9-point bold glyph, drawn sharp at the screen's pixel ratio.
    constexpr int side = 11;
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap = symbolIcon(QStringLiteral("chevron.right"), m_tint).pixmap(QSize(side, side), ratio);
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.translate(QRectF(rect()).center());
    if (isChecked())
        p.rotate(90);
    p.drawPixmap(QRectF(-side / 2.0, -side / 2.0, side, side), pixmap, QRectF(pixmap.rect()));
}

// ---- ProjectDisclosureRow -----------------------------------------------------------------------

namespace {
constexpr int chevronWidth = 14;
constexpr int barLeft = chevronWidth + 4;
constexpr int textLeft = barLeft + 3 + 4 + 3;
const QFont& rowFont(Font::Weight weight, int size) {
    static QHash<int, QFont> fonts;
    static const bool hooked = QObject::connect(qApp, &QObject::destroyed, [] { fonts.clear(); });
    Q_UNUSED(hooked);
    const int key = int(weight) * 100 + size;
    auto it = fonts.find(key);
    if (it == fonts.end())
        it = fonts.insert(key, Font::brandMono(size, weight));
    return it.value();
}
} // namespace

ProjectDisclosureRow::ProjectDisclosureRow(ProjectManagerFace& manager, const ProjectFile& project,
                                           bool expanded, QWidget* parent, bool countNow)
    : QWidget(parent), m_manager(&manager), m_project(project), m_expanded(expanded) {
    const bool hasTimelines = !project.sequences.isEmpty();
    m_chevron = new DisclosureChevron(hasTimelines ? Color::brandTextTertiary()
                                                   : Color::withOpacity(Color::brandTextTertiary(), 0.45),
                                      this);
    // Centred on the row, as the name and counts lines are between them.
    m_chevron->setGeometry(0, (sizeHint().height() - 24) / 2, chevronWidth, 24);
    m_chevron->setChecked(expanded);
    m_chevron->setEnabled(hasTimelines);
    m_chevron->setToolTip(hasTimelines ? QStringLiteral("Show project timelines")
                                       : QStringLiteral("No timelines found"));
    connect(m_chevron, &QAbstractButton::toggled, this, [this](bool on) {
        m_expanded = on;
        Q_EMIT expandToggled(m_expanded);
    });
    if (const auto timelines = SidebarTexts::timelinesText(int(project.sequences.size())))
        m_timelines = *timelines;
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (countNow)
        refreshCounts();
    refreshSelection();
}

QSize ProjectDisclosureRow::sizeHint() const {
    const int second = m_project.parseError ? QFontMetrics(rowFont(Font::Weight::regular, 11)).height()
                                            : QFontMetrics(rowFont(Font::Weight::regular, 10)).height();
    return {240, 4 + QFontMetrics(rowFont(Font::Weight::regular, 13)).height() + 2 + second + 4};
}

void ProjectDisclosureRow::refreshCounts() {
    if (!m_manager || m_project.parseError)
        return;
    m_counts = SidebarTexts::projectCountsText(int(m_project.mediaFiles.size()),
                                               m_manager->effectiveUsedFileCount(m_project));
    update();
}

void ProjectDisclosureRow::refreshSelection() {
    if (!m_manager)
        return;
    const bool selected = m_manager->filters().selectedProjectIDs.contains(m_project.id);
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
}

void ProjectDisclosureRow::setReviewNote(const QString& note) {
    m_reviewNote = note;
    update();
}

QString ProjectDisclosureRow::warningText() const {
    QStringList lines = m_project.parseWarnings;
    if (!m_reviewNote.isEmpty())
        lines.append(m_reviewNote);
    return lines.join(QLatin1Char('\n'));
}

QRect ProjectDisclosureRow::warningRect() const {
    if (m_project.parseWarnings.isEmpty() && m_reviewNote.isEmpty())
        return {};
    return {width() - 4 - 14, 6, 12, 12};
}

bool ProjectDisclosureRow::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (warningRect().contains(help->pos()))
            QToolTip::showText(help->globalPos(), warningText(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void ProjectDisclosureRow::toggleSelection() {
    if (!m_manager)
        return;
    m_manager->updateFilters([this](FilterSettings& filters) {
        QSet<QUuid>& ids = filters.selectedProjectIDs;
        if (ids.contains(m_project.id))
            ids.remove(m_project.id);
        else
            ids.insert(m_project.id);
    });
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
    QPointer<ProjectManagerFace> pm = m_manager;
    m_menu->addAction(QStringLiteral("Show Only This Project"), this, [pm, id] {
        if (pm)
            pm->updateFilters([id](FilterSettings& filters) { filters.selectedProjectIDs = {id}; });
    });
    QAction* remove = m_menu->addAction(QStringLiteral("Remove from Filter"), this, [pm, id] {
        if (!pm)
            return;
        pm->updateFilters([id](FilterSettings& filters) { filters.selectedProjectIDs.remove(id); });
    });
    remove->setEnabled(pm && pm->filters().selectedProjectIDs.contains(id));
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Remove Project"), this, [pm, project = m_project] {
        if (pm)
            (void)pm->removeProject(project);
    });
    return m_menu;
}

void ProjectDisclosureRow::contextMenuEvent(QContextMenuEvent* event) {
    contextMenu()->popup(event->globalPos());
}

void ProjectDisclosureRow::paintEvent(QPaintEvent*) {
    if (m_selected)
        roundedFill(this, 6, Color::withOpacity(Color::brandAccent(), 0.14),
                    Color::withOpacity(Color::brandAccent(), 0.35));
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_selected) {
        QPainterPath bar;
        bar.addRoundedRect(QRectF(barLeft, 6, 3, height() - 12), 2, 2);
        p.fillPath(bar, Color::brandAccent());
    }
    const QFont& nameFont = rowFont(m_selected ? Font::Weight::semibold : Font::Weight::regular, 13);
    const QFontMetrics nameMetrics(nameFont);
    int x = textLeft;
    const int lineTop = 4;
    p.drawPixmap(x, lineTop + (nameMetrics.height() - 13) / 2,
                 symbolPixmap(QStringLiteral("film.fill"),
                              m_selected ? Color::brandAccent() : Color::brandTextTertiary(), 13));
    x += 13 + 6;
    const bool warned = !warningRect().isNull();
    const int nameRight = width() - 4 - (warned ? 18 : 0);
    p.setFont(nameFont);
    p.setPen(m_selected ? Color::brandTextPrimary() : Color::brandTextSecondary());
    p.drawText(QRect(x, lineTop, nameRight - x, nameMetrics.height()), Qt::AlignVCenter | Qt::AlignLeft,
               nameMetrics.elidedText(m_project.name, Qt::ElideRight, nameRight - x));
    if (warned)
        p.drawPixmap(warningRect().topLeft(),
                     symbolPixmap(QStringLiteral("exclamationmark.triangle.fill"), Color::brandAmber(), 12));
    const int second = lineTop + nameMetrics.height() + 2;
    x = textLeft;
    if (m_project.parseError) {
        p.setFont(rowFont(Font::Weight::regular, 11));
        p.setPen(Color::brandRed());
        p.drawText(QRect(x, second, width() - x - 4, height() - second), Qt::AlignLeft | Qt::AlignTop,
                   QFontMetrics(p.font()).elidedText(*m_project.parseError, Qt::ElideRight, width() - x - 4));
        return;
    }
    const QFont& small = rowFont(Font::Weight::regular, 10);
    const QFontMetrics smallMetrics(small);
    p.setFont(small);
    p.setPen(Color::brandTextTertiary());
    p.drawText(QPoint(x, second + smallMetrics.ascent()), m_counts);
    if (!m_timelines.isEmpty()) {
        x += smallMetrics.horizontalAdvance(m_counts) + 4;
        p.setPen(Color::brandCyan());
        p.drawText(QPoint(x, second + smallMetrics.ascent()), m_timelines);
    }
}

// ---- SequenceRow --------------------------------------------------------------------------------

SequenceRow::SequenceRow(ProjectManagerFace& manager, const ProjectFile& project,
                         const ProjectSequence& sequence, QWidget* parent)
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
    m_name =
        brandLabel(sequence.displayName(), Font::brandMono(11), Color::brandTextSecondary(), this, plain);
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
    const auto decision = SequenceUsagePolicyStore::decision(
        m_sequence.id, m_sequence.name, m_manager->sequencePolicy().snapshot(m_project.url));
    m_ignored = decision == SequenceUsageDecision::ignored;
    {
        const QSignalBlocker block(m_check);
        m_check->setChecked(!m_ignored);
    }
    m_check->setEnabled(decision != SequenceUsageDecision::protected_);
    setTextColor(m_name, m_ignored ? Color::brandTextTertiary() : Color::brandTextSecondary());
    if (decision == SequenceUsageDecision::protected_) {
        m_badge->setPixmap(symbolPixmap(QStringLiteral("shield.fill"), Color::brandGreen(), 11));
        m_badge->setToolTip(QStringLiteral("Protected by a name rule; its usage always counts"));
    } else if (m_ignored) {
        m_badge->setPixmap(symbolPixmap(QStringLiteral("eye.slash"), Color::brandAmber(), 11));
        m_badge->setToolTip(QStringLiteral("Usage from this timeline is ignored"));
    } else {
        m_badge->clear();
        m_badge->setToolTip(QString());
    }
    update();
}

QString SequenceRow::badgeTip() const {
    return m_badge->toolTip();
}

QMenu* SequenceRow::contextMenu() {
    delete m_menu;
    m_menu = new QMenu(this);
    m_menu->addAction(QStringLiteral("Use Automatic Rule"), this, [this] {
        if (m_manager)
            m_manager->clearSequenceOverride(m_sequence, m_project);
    });
    return m_menu;
}

void SequenceRow::contextMenuEvent(QContextMenuEvent* event) {
    contextMenu()->popup(event->globalPos());
}

void SequenceRow::paintEvent(QPaintEvent*) {
    if (m_ignored)
        roundedFill(this, 4, Color::withOpacity(Color::brandAmber(), 0.07));
}

} // namespace tarnwick
