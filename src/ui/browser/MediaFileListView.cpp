#include "ui/browser/MediaFileListView.h"

#include "analysis/ProjectManagerFace.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/browser/MediaTableDelegate.h"
#include "ui/browser/MediaTableModel.h"
#include "ui/browser/MediaThumbnailStore.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/KeyboardContextMenu.h"
#include "ui/common/Labels.h"
#include "ui/common/ViewHelpers.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

namespace tarnwick {
namespace {

// Least, minimum and ideal widths of the columns; the name column is the flexible one and takes
// the rest. Below their minimums only the columns whose texts elide give way, down to their least.
constexpr int leastWidths[] = {80, 0, 60, 92, 60, 60, 60};
constexpr int minimumWidths[] = {80, 0, 60, 92, 80, 90, 100};
constexpr int columnWidths[] = {100, 0, 80, 120, 110, 160, 150};
// The width a name, its third line and its folder need before the other columns widen past their
// minimums.
constexpr int nameWidthFirst = 340;
// The width the name keeps before the other columns shrink below their minimums.
constexpr int nameWidthLeast = 240;
// The least the name column ever takes.
constexpr int nameWidthFloor = 160;

// The status column never cuts a status short, nor the size column a size: they widen to the
// longest one in the table's font.
int measured(int column, int width) {
    static const int status = MediaTableDelegate::statusColumnWidths().minimum;
    static const int size = MediaTableDelegate::sizeColumnWidth();
    if (column == MediaTableModel::status)
        return std::max(width, status);
    if (column == MediaTableModel::size)
        return std::max(width, size);
    return width;
}

// Never so narrow that the column's title is cut (in the bold face a sorted title takes).
int columnLeast(int column, const QHeaderView& header) {
    QFont bold = header.font();
    bold.setBold(true);
    const QString title = header.model()->headerData(column, Qt::Horizontal).toString();
    const int titled = QFontMetrics(bold).horizontalAdvance(title) +
                       2 * header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header) + 2;
    return std::max(measured(column, leastWidths[column]), titled);
}

int columnMinimum(int column) {
    return measured(column, minimumWidths[column]);
}

int columnIdeal(int column) {
    static const int status = MediaTableDelegate::statusColumnWidths().ideal;
    return column == MediaTableModel::status ? std::max(columnWidths[column], status)
                                             : measured(column, columnWidths[column]);
}

} // namespace

MediaFileListView::MediaFileListView(ProjectManagerFace& manager, MediaBrowserActions actions,
                                     MediaThumbnailStore* thumbnails, QWidget* parent)
    : QWidget(parent), m_manager(manager), m_actions(std::move(actions)),
      // The selection stays until the staging really happened (it may wait for a running operation).
      m_staging(m_actions.deleteSafetyConflicts, m_actions.addToRecycleBin,
                [self = QPointer<MediaFileListView>(this)] {
                    if (self)
                        self->clearSelection();
                }),
      m_thumbnails(thumbnails) {
    build();
    connectTable();

    connect(&m_manager, &ProjectManagerFace::changed, this, [this](ProjectManagerFace::Changes groups) {
        using C = ProjectManagerFace::Change;
        if (groups & (C::mediaFiles | C::recycleBin | C::projects | C::filters))
            refresh();
    });
    refresh();
}

MediaFileListView::~MediaFileListView() = default;

void MediaFileListView::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildHeader());
    auto* divider = new QFrame(this);
    divider->setFixedHeight(1);
    divider->setStyleSheet(
        Color::styleSheet(QStringLiteral("background:%1;"), {Color::brandSurfaceSunken()}));
    layout->addWidget(divider);

    m_body = new QStackedWidget(this);
    buildEmptyPage();
    buildTable();
    layout->addWidget(m_body, 1);
}

QWidget* MediaFileListView::buildHeader() {
    auto* header = new QWidget(this);
    header->setAutoFillBackground(true);
    QPalette headerPalette = header->palette();
    headerPalette.setColor(QPalette::Window, Color::brandSurfaceRaised());
    header->setPalette(headerPalette);
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(10, 6, 10, 6);
    m_selectionLabel =
        brandLabel({}, Font::brandMono(11, Font::Weight::medium), Color::brandAccent(), header);
    headerLayout->addWidget(m_selectionLabel);
    headerLayout->addStretch();
    m_activity = new QWidget(header);
    auto* activityLayout = new QHBoxLayout(m_activity);
    activityLayout->setContentsMargins(0, 0, 0, 0);
    activityLayout->setSpacing(4);
    auto* spinner = new QLabel(m_activity);
    spinner->setPixmap(
        symbolIcon(QStringLiteral("arrow.triangle.2.circlepath"), Color::brandTextTertiary()).pixmap(14, 14));
    activityLayout->addWidget(spinner);
    m_activityCount = brandLabel({}, Font::brandMono(10), Color::brandTextTertiary(), m_activity);
    activityLayout->addWidget(m_activityCount);
    m_activity->hide();
    headerLayout->addWidget(m_activity);
    m_addButton = new QPushButton(symbolIcon(QStringLiteral("trash"), Color::brandAccent()),
                                  QStringLiteral("Add to Virtual Bin"), header);
    m_addButton->setStyleSheet(
        Color::styleSheet(QStringLiteral("QPushButton{color:%1;} QPushButton:disabled{color:%2;}"),
                          {Color::brandAccent(), Color::brandTextMuted()}));
    connect(m_addButton, &QPushButton::clicked, this, &MediaFileListView::addHeaderSelectionToBin);
    headerLayout->addWidget(m_addButton);
    return header;
}

void MediaFileListView::buildEmptyPage() {
    auto* empty = new QWidget(m_body);
    auto* emptyLayout = new QVBoxLayout(empty);
    emptyLayout->addStretch();
    auto* emptyIcon = new QLabel(empty);
    emptyIcon->setPixmap(
        symbolIcon(QStringLiteral("doc.questionmark"), Color::brandTextTertiary()).pixmap(40, 40));
    emptyIcon->setAlignment(Qt::AlignCenter);
    emptyLayout->addWidget(emptyIcon);
    m_emptyTitle = brandLabel(QStringLiteral("No Files"), Font::brand(17, Font::Weight::bold),
                              Color::brandTextPrimary(), empty, LabelOption::centred);
    emptyLayout->addWidget(m_emptyTitle);
    m_emptyDescription =
        brandLabel({}, Font::brand(12), Color::brandTextTertiary(), empty, LabelOption::centred);
    emptyLayout->addWidget(m_emptyDescription);
    emptyLayout->addStretch();
    m_body->addWidget(empty);
}

void MediaFileListView::buildTable() {
    m_model = new MediaTableModel(m_manager, this);
    m_delegate = new MediaTableDelegate(m_thumbnails, this);
    m_table = new QTableView(m_body);
    m_table->setModel(m_model);
    m_table->setItemDelegate(m_delegate);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // One Tab stop: the arrows move inside the table, Tab goes on to the next control.
    m_table->setTabKeyNavigation(false);
    m_table->setSortingEnabled(true);
    m_table->horizontalHeader()->setSortIndicator(MediaTableModel::size, Qt::DescendingOrder);
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->verticalHeader()->hide();
    // Fixed row heights (set per row only where a row is taller) keep scrolling through 100,000 rows
    // cheap.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(MediaTableDelegate::rowHeight);
    m_table->setShowGrid(false);
    m_table->setWordWrap(false);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    // The delegate paints a selected row's texts in the selection's text colour: white, which reads
    // on the violet at 5.9:1 (the row and its cells each lay the translucent violet down once).
    m_table->setStyleSheet(
        Color::styleSheet(QStringLiteral("QTableView{selection-background-color:%1;selection-color:%2;}"),
                          {Color::withAlpha(Color::brandAccent(), 89), QColor(Qt::white)}));

    QHeaderView* columns = m_table->horizontalHeader();
    columns->setMinimumSectionSize(60);
    for (int column = 0; column < MediaTableModel::columnCount_; ++column) {
        if (columnWidths[column] > 0)
            columns->resizeSection(column, columnIdeal(column));
    }
    // The name takes what the other columns leave (fitColumns), never less than its least.
    m_body->addWidget(m_table);
}

void MediaFileListView::connectTable() {
    connect(m_table, &QWidget::customContextMenuRequested, this, &MediaFileListView::showContextMenu);
    KeyboardContextMenu::install(*m_table, [this](const QPoint& at) { showContextMenu(at); });
    connect(m_table, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { activateRow(index.row()); });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MediaFileListView::readSelectionFromTable);
    // The keyboard's row wears its ring across the whole row: both rows repaint whole.
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& now, const QModelIndex& before) {
                for (const QModelIndex& index : {now, before}) {
                    if (index.isValid())
                        m_table->viewport()->update(0, m_table->rowViewportPosition(index.row()),
                                                    m_table->viewport()->width(),
                                                    m_table->rowHeight(index.row()));
                }
            });
    connect(m_model, &QAbstractItemModel::modelReset, this, &MediaFileListView::fitRowHeights);
    connect(m_model, &QAbstractItemModel::modelReset, this, &MediaFileListView::syncSelectionToTable);
    connect(m_table->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &MediaFileListView::dropHiddenThumbnailRequests);
    m_table->viewport()->installEventFilter(this);
    m_table->installEventFilter(this);
    if (m_thumbnails) {
        connect(m_thumbnails, &MediaThumbnailStore::thumbnailReady, this, [this](const QUuid& id) {
            // Thumbnails are asked for by the rows being painted: only those are looked at (an
            // index of 400,000 ids cost the window 75 ms after each sort).
            const int row =
                m_model->rowOf(id, m_table->rowAt(0), m_table->rowAt(m_table->viewport()->height() - 1));
            if (row >= 0)
                m_table->update(m_model->index(row, MediaTableModel::status));
        });
    }
}

void MediaFileListView::fitRowHeights() {
    // A reset keeps the heights the rows had: the rows that were tall go back, the tall ones now
    // are set, and no other row is looked at. The header's repaints wait, so each row set costs no
    // walk over the rows above it.
    const QList<int>& tall = m_model->tallRows();
    if (tall.isEmpty() && m_tallRows.isEmpty())
        return;
    QHeaderView* rows = m_table->verticalHeader();
    const int count = m_model->rowCount();
    rows->setUpdatesEnabled(false);
    // Both lists ascend: a row tall before and now keeps its height untouched.
    auto now = tall.cbegin();
    for (const int row : std::as_const(m_tallRows)) {
        while (now != tall.cend() && *now < row)
            ++now;
        if (row < count && (now == tall.cend() || *now != row))
            rows->resizeSection(row, MediaTableDelegate::rowHeight);
    }
    for (const int row : tall)
        rows->resizeSection(row, MediaTableDelegate::threeLineHeight());
    m_tallRows = tall;
    rows->setUpdatesEnabled(true);
}

void MediaFileListView::updateSight() {
    m_model->setInSight(isVisible() || !window()->isVisible());
}

void MediaFileListView::refresh() {
    updateSight();
    m_model->refresh();
    const bool empty = m_manager.filteredMediaRows().isEmpty();
    m_emptyDescription->setText(m_manager.mediaFiles().isEmpty()
                                    ? QStringLiteral("Add projects to see media files")
                                    : QStringLiteral("No files match current filters"));
    m_body->setCurrentIndex(empty ? 0 : 1);
    syncHeader();
}

bool MediaFileListView::showsEmptyState() const {
    return m_body->currentIndex() == 0;
}

QString MediaFileListView::emptyTitle() const {
    return m_emptyTitle->text();
}

QString MediaFileListView::emptyDescription() const {
    return m_emptyDescription->text();
}

QString MediaFileListView::selectionText() const {
    return m_selectionLabel->isVisibleTo(this) ? m_selectionLabel->text() : QString();
}

void MediaFileListView::setThumbnailActivity(int activeOperations) {
    m_activity->setVisible(activeOperations >= 1);
    m_activityCount->setText(QString::number(activeOperations));
    m_activity->setToolTip(QStringLiteral("Generating %1 thumbnail(s)...").arg(activeOperations));
}

// The header counts, and its button stages, the selected rows the table shows: not those the
// filter hides.
void MediaFileListView::syncHeader() {
    m_selectionLabel->setVisible(m_shownSelected > 0);
    m_selectionLabel->setText(QString::number(m_shownSelected) + QStringLiteral(" selected"));
    m_addButton->setEnabled(m_shownSelected > 0);
}

void MediaFileListView::setSelectedFiles(const QSet<QUuid>& ids) {
    if (ids == m_selected)
        return;
    m_selected = ids;
    syncSelectionToTable();
    Q_EMIT selectedFilesChanged(m_selected);
}

void MediaFileListView::clearSelection() {
    setSelectedFiles({});
}

void MediaFileListView::syncSelectionToTable() {
    // One pass over the rows, merging runs of selected rows into ranges.
    QItemSelection selection;
    const MediaRows& rows = m_model->rows();
    const int lastColumn = MediaTableModel::columnCount_ - 1;
    int runStart = -1;
    m_shownSelected = 0;
    for (int row = 0; row <= rows.size(); ++row) {
        const bool selected = row < rows.size() && !m_selected.isEmpty() && m_selected.contains(rows[row].id);
        m_shownSelected += selected ? 1 : 0;
        if (selected && runStart < 0)
            runStart = row;
        if (!selected && runStart >= 0) {
            selection.select(m_model->index(runStart, 0), m_model->index(row - 1, lastColumn));
            runStart = -1;
        }
    }
    m_syncingSelection = true;
    m_table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    m_syncingSelection = false;
    syncHeader();
}

void MediaFileListView::readSelectionFromTable() {
    if (m_syncingSelection)
        return;
    QSet<QUuid> ids;
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    ids.reserve(rows.size());
    for (const QModelIndex& index : rows)
        ids.insert(m_model->file(index.row()).id);
    if (ids == m_selected)
        return;
    m_selected = std::move(ids);
    m_shownSelected = m_selected.size();
    syncHeader();
    Q_EMIT selectedFilesChanged(m_selected);
}

void MediaFileListView::dropHiddenThumbnailRequests() {
    if (!m_thumbnails)
        return;
    const int first = m_table->rowAt(0);
    int last = m_table->rowAt(m_table->viewport()->height() - 1);
    if (last < 0)
        last = m_model->rowCount() - 1;
    QSet<QUuid> visible;
    for (int row = std::max(first, 0); row >= 0 && row <= last; ++row)
        visible.insert(m_model->file(row).id);
    m_thumbnails->keepPendingOnly(visible);
}

QList<MediaFile> MediaFileListView::contextRows(int row) const {
    if (row < 0 || row >= m_model->rowCount())
        return {};
    const MediaFile& clicked = m_model->file(row);
    if (!m_selected.contains(clicked.id))
        return {clicked};
    QList<MediaFile> files;
    for (const MediaFile& file : m_model->rows()) {
        if (m_selected.contains(file.id))
            files.append(file);
    }
    return files;
}

QMenu* MediaFileListView::buildContextMenu(const QList<MediaFile>& files, QWidget* parent) {
    auto* menu = new QMenu(parent);
    QAction* add = menu->addAction(QStringLiteral("Add to Virtual Recycle Bin"));
    add->setEnabled(
        std::any_of(files.cbegin(), files.cend(), [](const MediaFile& f) { return f.isOnDisk(); }));
    connect(add, &QAction::triggered, this, [this, files] { addSelectionToBin(files); });
    menu->addSeparator();
    if (files.size() == 1) {
        QAction* reveal = menu->addAction(QStringLiteral("Show in File Manager"));
        reveal->setEnabled(!files.first().isOffline());
        connect(reveal, &QAction::triggered, this, [this, file = files.first()] {
            if (m_actions.reveal)
                m_actions.reveal(file);
        });
    }
    QAction* copy = menu->addAction(QStringLiteral("Copy Path(s)"));
    connect(copy, &QAction::triggered, this, [this, files] {
        if (m_actions.copyPaths)
            m_actions.copyPaths(files);
    });
    if (files.size() >= 2) {
        menu->addSeparator();
        QAction* combine = menu->addAction(QStringLiteral("Combine %1 Files").arg(files.size()));
        combine->setToolTip(QStringLiteral(
            "Merge these entries as the same physical file — combines usage counts and project names"));
        connect(combine, &QAction::triggered, this, [this, files] {
            if (!m_actions.combine)
                return;
            // The selection stays until the merge happened: a combine waiting for the manager
            // leaves the rows it will merge in view.
            m_actions.combine(files, [self = QPointer<MediaFileListView>(this)] {
                if (self)
                    self->clearSelection();
            });
        });
    }
    menu->setToolTipsVisible(true);
    return menu;
}

void MediaFileListView::showContextMenu(const QPoint& pos) {
    const QModelIndex index = m_table->indexAt(pos);
    QMenu* menu = buildContextMenu(contextRows(index.isValid() ? index.row() : -1), this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_table->viewport()->mapToGlobal(pos));
}

void MediaFileListView::addSelectionToBin(const QList<MediaFile>& files) {
    m_staging.request(window(), files);
}

void MediaFileListView::addHeaderSelectionToBin() {
    QList<MediaFile> files;
    for (const MediaFile& file : m_manager.filteredMediaRows()) {
        if (m_selected.contains(file.id))
            files.append(file);
    }
    addSelectionToBin(files);
}

void MediaFileListView::activateRow(int row) {
    if (row < 0 || row >= m_model->rowCount())
        return;
    const MediaFile& file = m_model->file(row);
    if (file.isOnDisk() && m_actions.reveal)
        m_actions.reveal(file);
}

void MediaFileListView::previewRow(int row) {
    if (row >= 0 && row < m_model->rowCount() && m_actions.preview)
        m_actions.preview(m_model->file(row));
}

void MediaFileListView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateSight();
}

void MediaFileListView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) {
        updateSight();
        m_table->horizontalHeader()->setSortIndicator(MediaTableModel::size, Qt::DescendingOrder);
        m_model->resetSortOrder();
    }
}

void MediaFileListView::fitColumns() {
    // Width goes to the name first: the other columns grow from their minimums toward their ideals
    // only once the name has its width, and all beyond their ideals is the name's. In a narrow pane
    // the columns whose texts elide shrink below their minimums before the name does.
    const int available = m_table->viewport()->width();
    QHeaderView* columns = m_table->horizontalHeader();
    int leasts[MediaTableModel::columnCount_] = {};
    int least = 0;
    int minimum = 0;
    int ideal = 0;
    for (int column = 0; column < MediaTableModel::columnCount_; ++column) {
        if (column != MediaTableModel::fileName)
            leasts[column] = std::min(columnLeast(column, *columns), columnMinimum(column));
        least += leasts[column];
        minimum += columnMinimum(column);
        ideal += columnIdeal(column);
    }
    const auto share = [](int room, int from, int to) {
        return to > from ? std::clamp(double(room - from) / double(to - from), 0.0, 1.0) : 1.0;
    };
    const bool squeezed = available - minimum < nameWidthLeast;
    const double grow = share(available - nameWidthFirst, minimum, ideal);
    const double keep = share(available - nameWidthLeast, least, minimum);
    int others = 0;
    for (int column = 0; column < MediaTableModel::columnCount_; ++column) {
        if (column == MediaTableModel::fileName)
            continue;
        const int width =
            squeezed ? leasts[column] + int(keep * (columnMinimum(column) - leasts[column]))
                     : columnMinimum(column) + int(grow * (columnIdeal(column) - columnMinimum(column)));
        columns->resizeSection(column, width);
        others += width;
    }
    // Where even the least widths leave the name too little, it keeps its own least and the table
    // scrolls sideways.
    columns->resizeSection(MediaTableModel::fileName, std::max(available - others, nameWidthFloor));
}

bool MediaFileListView::eventFilter(QObject* watched, QEvent* event) {
    // Space previews the keyboard's row, as a click on its thumbnail does (there only for files on
    // disk); elsewhere it keeps selecting the row.
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QModelIndex current = m_table->currentIndex();
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier && current.isValid() &&
            m_model->file(current.row()).isOnDisk()) {
            previewRow(current.row());
            return true;
        }
    }
    if (watched == m_table->viewport() && event->type() == QEvent::Resize)
        fitColumns();
    if (watched == m_table->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex index = m_table->indexAt(mouse->position().toPoint());
        if (mouse->button() == Qt::LeftButton && index.isValid() &&
            index.column() == MediaTableModel::status) {
            const MediaFile& file = m_model->file(index.row());
            for (const MediaTableDelegate::Mark& mark :
                 m_delegate->marks(file, index.column(), m_table->visualRect(index))) {
                if (mark.isThumbnail && mark.rect.contains(mouse->position())) {
                    previewRow(index.row());
                    break;
                }
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tarnwick
