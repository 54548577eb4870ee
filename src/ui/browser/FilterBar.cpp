#include "ui/browser/FilterBar.h"

#include "analysis/ProjectManagerFace.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRing.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/FilterChipToggle.h"
#include "ui/common/Labels.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>

namespace tarnwick {
namespace {

struct ChipFlag {
    const char* label;
    const char* tooltip;
    bool FilterSettings::*flag;
};

const ChipFlag chipFlags[] = {
    {"Unused", nullptr, &FilterSettings::showOnlyUnused},
    {"Online", nullptr, &FilterSettings::showOnlyOnline},
    {"Deleted", "Show files that have been deleted or moved", &FilterSettings::showDeleted},
    {"> 100MB", "Show only files larger than 100MB", &FilterSettings::showLargeFilesOnly},
    {"Used", "Show only files that are used on a timeline", &FilterSettings::showOnlyUsed},
};

// The search field's rounded box, which wears the focus ring while the field inside has the focus
// (the field itself is borderless).
class SearchBox : public QFrame {
public:
    explicit SearchBox(QWidget* parent) : QFrame(parent) {
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
            if (isAncestorOf(old) || isAncestorOf(now))
                update();
        });
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QFrame::paintEvent(event);
        if (isAncestorOf(QApplication::focusWidget())) {
            QPainter painter(this);
            paintFocusRing(painter, QRectF(rect()), 6, Color::brandBackground());
        }
    }
};

// Opens the menu of the chips that gave way; it reads as on while one of them is on.
class MoreChip : public FilterChipToggle {
public:
    using FilterChipToggle::FilterChipToggle;

protected:
    void nextCheckState() override {}
};

} // namespace

FilterBar::FilterBar(ProjectManagerFace& manager, QWidget* parent) : QWidget(parent), m_manager(manager) {
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Color::brandSurfaceRaised());
    setPalette(palette);
    setFont(Font::brand(12));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 7, 10, 7);
    layout->setSpacing(10);

    auto* searchBox = new SearchBox(this);
    m_searchBox = searchBox;
    searchBox->setObjectName(QStringLiteral("searchBox"));
    searchBox->setMinimumWidth(searchLeastWidth);
    searchBox->setMaximumWidth(240);
    searchBox->setStyleSheet(
        Color::styleSheet(QStringLiteral("#searchBox{background:%1;border:1px solid %2;border-radius:6px;}"),
                          {Color::brandBackground(), Color::withAlpha(Color::brandBorder(), 127)}));
    auto* searchLayout = new QHBoxLayout(searchBox);
    searchLayout->setContentsMargins(8, 5, 8, 5);
    searchLayout->setSpacing(6);
    auto* glass = new QLabel(searchBox);
    glass->setPixmap(
        symbolIcon(QStringLiteral("magnifyingglass"), Color::brandTextTertiary()).pixmap(11, 11));
    searchLayout->addWidget(glass);
    m_search = new QLineEdit(searchBox);
    m_search->setPlaceholderText(QStringLiteral("Filter files…"));
    m_search->setFrame(false);
    m_search->setFont(Font::brand(12));
    m_search->setStyleSheet(
        Color::styleSheet(QStringLiteral("QLineEdit{background:transparent;color:%1;border:none;}"),
                          {Color::brandTextPrimary()}));
    // A dropped project path belongs to the window, not to the filter text.
    m_search->setAcceptDrops(false);
    connect(m_search, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_manager.updateFilters([&](FilterSettings& filters) { filters.filterText = text; });
    });
    searchLayout->addWidget(m_search);
    layout->addWidget(searchBox, 1);

    for (const ChipFlag& flag : chipFlags) {
        auto* chip = new FilterChipToggle(QString::fromUtf8(flag.label), this);
        if (flag.tooltip)
            chip->setToolTip(QString::fromUtf8(flag.tooltip));
        connect(chip, &QAbstractButton::clicked, this, [this, flag = flag.flag](bool checked) {
            m_manager.updateFilters([&](FilterSettings& filters) { filters.*flag = checked; });
        });
        layout->addWidget(chip);
        m_chips.append(chip);
    }
    m_more = new MoreChip(QStringLiteral("More ▾"), this);
    m_more->setToolTip(QStringLiteral("More filters"));
    m_more->hide();
    m_moreMenu = new QMenu(m_more);
    m_moreMenu->setToolTipsVisible(true);
    connect(m_more, &QAbstractButton::clicked, this, &FilterBar::showMoreMenu);
    layout->addWidget(m_more);
    layout->addStretch(1);
    // The bar's least width is the search field's with the "More" chip, not every chip's.
    layout->setSizeConstraint(QLayout::SetNoConstraint);

    m_count = brandLabel({}, Font::brandMono(11, Font::Weight::medium), Color::brandTextTertiary(), this);
    layout->addWidget(m_count);

    connect(&m_manager, &ProjectManagerFace::changed, this, [this](ProjectManagerFace::Changes groups) {
        using C = ProjectManagerFace::Change;
        if (groups & C::filters)
            syncFromManager();
        if (groups & (C::filters | C::mediaFiles | C::recycleBin | C::projects))
            syncCount();
    });
    syncFromManager();
    syncCount();
}

FilterChipToggle* FilterBar::chip(const QString& label) const {
    for (FilterChipToggle* chip : m_chips) {
        if (chip->text() == label)
            return chip;
    }
    return nullptr;
}

QString FilterBar::countText() const {
    return m_count->text();
}

QSize FilterBar::sizeHint() const {
    const auto* row = static_cast<const QHBoxLayout*>(layout());
    const QMargins margins = row->contentsMargins();
    int width = margins.left() + margins.right() + m_searchBox->maximumWidth() + row->spacing() +
                m_count->sizeHint().width();
    for (const FilterChipToggle* chip : m_chips)
        width += chip->sizeHint().width() + row->spacing();
    return {width, QWidget::sizeHint().height()};
}

QSize FilterBar::minimumSizeHint() const {
    const auto* row = static_cast<const QHBoxLayout*>(layout());
    const QMargins margins = row->contentsMargins();
    return {margins.left() + margins.right() + searchLeastWidth + m_more->sizeHint().width() +
                m_count->sizeHint().width() + 2 * row->spacing(),
            QWidget::minimumSizeHint().height()};
}

void FilterBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitChips();
}

void FilterBar::fitChips() {
    const auto* row = static_cast<const QHBoxLayout*>(layout());
    const QMargins margins = row->contentsMargins();
    const int spacing = row->spacing();
    int room =
        width() - margins.left() - margins.right() - searchLeastWidth - m_count->sizeHint().width() - spacing;
    int all = 0;
    for (const FilterChipToggle* chip : std::as_const(m_chips))
        all += spacing + chip->sizeHint().width();
    const bool fitsAll = all <= room;
    if (!fitsAll)
        room -= spacing + m_more->sizeHint().width();
    int used = 0;
    bool fits = true;
    for (FilterChipToggle* chip : std::as_const(m_chips)) {
        // In order: a chip that gives way takes the ones after it along.
        fits = fits && (fitsAll || used + spacing + chip->sizeHint().width() <= room);
        if (fits)
            used += spacing + chip->sizeHint().width();
        if (chip->isVisibleTo(this) != fits)
            chip->setVisible(fits);
    }
    if (m_more->isVisibleTo(this) == fitsAll)
        m_more->setVisible(!fitsAll);
    syncFromManager();
}

void FilterBar::showMoreMenu() {
    m_moreMenu->clear();
    for (FilterChipToggle* chip : std::as_const(m_chips)) {
        if (chip->isVisibleTo(this))
            continue;
        QAction* action = m_moreMenu->addAction(chip->text());
        action->setCheckable(true);
        action->setChecked(chip->isChecked());
        action->setToolTip(chip->toolTip());
        connect(action, &QAction::triggered, chip, &QAbstractButton::click);
    }
    m_moreMenu->popup(m_more->mapToGlobal(QPoint(0, m_more->height())));
}

void FilterBar::syncFromManager() {
    const FilterSettings& filters = m_manager.filters();
    if (m_search->text() != filters.filterText)
        m_search->setText(filters.filterText);
    qsizetype i = 0;
    bool hiddenOn = false; // a chip that gave way is on: the "More" chip reads as on
    for (const ChipFlag& flag : chipFlags) {
        const bool on = filters.*flag.flag;
        FilterChipToggle* chip = m_chips[i++];
        if (chip->isChecked() != on)
            chip->setChecked(on);
        hiddenOn = hiddenOn || (on && !chip->isVisibleTo(this));
    }
    if (m_more->isChecked() != hiddenOn)
        m_more->setChecked(hiddenOn);
}

void FilterBar::syncCount() {
    m_count->setText(QString::number(m_manager.filteredMediaRows().size()) + QStringLiteral(" files"));
}

} // namespace tarnwick
