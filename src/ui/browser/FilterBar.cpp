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
    searchBox->setObjectName(QStringLiteral("searchBox"));
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
    layout->addWidget(searchBox);

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
    layout->addStretch();

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

void FilterBar::syncFromManager() {
    const FilterSettings& filters = m_manager.filters();
    if (m_search->text() != filters.filterText)
        m_search->setText(filters.filterText);
    qsizetype i = 0;
    for (const ChipFlag& flag : chipFlags) {
        const bool on = filters.*flag.flag;
        FilterChipToggle* chip = m_chips[i++];
        if (chip->isChecked() != on)
            chip->setChecked(on);
    }
}

void FilterBar::syncCount() {
    m_count->setText(QString::number(m_manager.filteredMediaRows().size()) + QStringLiteral(" files"));
}

} // namespace tarnwick
