#include "ui/bin/RecycleBinView.h"

#include "actions/RecycleBin.h"
#include "analysis/ProjectManagerFace.h"
#include "platform/ByteCountText.h"
#include "platform/MemoryRelease.h"
#include "ui/bin/BinTexts.h"
#include "ui/bin/BinWidgets.h"
#include "ui/brand/BrandFonts.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/FocusRingLayer.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/common/EmptyStateView.h"
#include "ui/common/KeyboardContextMenu.h"
#include "ui/common/Labels.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <utility>

namespace tarnwick {

// ---- Model ------------------------------------------------------------------------------------

void RecycleBinModel::setItems(QList<RecycleBinItem> items) {
    constexpr qsizetype largeList = 5000;
    beginResetModel();
    QList<RecycleBinItem> old = std::exchange(m_items, std::move(items));
    endResetModel();
    // The manager's old bin may be held last here: freeing 100,000 items would stall the window, and
    // a bin emptied in place (all restored) still has the block of all it held.
    if (old.capacity() >= largeList)
        memory::releaseLater(std::move(old));
}

int RecycleBinModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant RecycleBinModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const RecycleBinItem& item = m_items.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return QFileInfo(item.mediaFile.path).fileName();
    case Qt::ToolTipRole:
        return item.mediaFile.path;
    case itemIdRole:
        return item.id;
    case sizeTextRole:
        return BinTexts::rowSizeText(item.mediaFile.size);
    case timeTextRole:
        return QLocale().toString(item.addedAt.toLocalTime().time(), QLocale::ShortFormat);
    default:
        return {};
    }
}

// ---- Row --------------------------------------------------------------------------------------

void RecycleBinRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    if (selected)
        painter->fillRect(option.rect, Color::withOpacity(Color::brandAccent(), 0.25));
    else if (option.state & QStyle::State_MouseOver)
        painter->fillRect(option.rect, Color::withOpacity(Color::brandControl(), 0.6));
    const QRect area = option.rect.adjusted(10, 5, -10, -5);
    QFont nameFont = option.font;
    painter->setFont(nameFont);
    painter->setPen(Color::brandTextPrimary());
    const QFontMetrics nameMetrics(nameFont);
    const QString name =
        nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, area.width());
    painter->drawText(QRect(area.left(), area.top(), area.width(), nameMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, name);
    QFont caption = option.font;
    caption.setPointSizeF(caption.pointSizeF() - 2);
    painter->setFont(caption);
    painter->setPen(Color::brandTextSecondary());
    const QFontMetrics captionMetrics(caption);
    const QRect line(area.left(), area.top() + nameMetrics.height() + 2, area.width(),
                     captionMetrics.height());
    painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                      index.data(RecycleBinModel::sizeTextRole).toString());
    painter->drawText(line, Qt::AlignRight | Qt::AlignVCenter,
                      index.data(RecycleBinModel::timeTextRole).toString());
    painter->restore();
}

QSize RecycleBinRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    QFont caption = option.font;
    caption.setPointSizeF(caption.pointSizeF() - 2);
    return {200, QFontMetrics(option.font).height() + 2 + QFontMetrics(caption).height() + 10};
}

// ---- Pane -------------------------------------------------------------------------------------

RecycleBinView::RecycleBinView(ProjectManagerFace& manager, QSet<QUuid>& selection, Actions raise,
                               QWidget* parent)
    : QWidget(parent), m_manager(manager), m_selection(selection) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QWidget(this);
    header->setAutoFillBackground(true);
    QPalette hp = header->palette();
    hp.setColor(QPalette::Window, Color::brandSurfaceRaised());
    header->setPalette(hp);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(10, 8, 10, 8);
    headerRow->setSpacing(6);
    auto* icon = new QLabel(header);
    icon->setPixmap(symbolIcon(QStringLiteral("trash"), Color::brandAccent()).pixmap(15, 15));
    headerRow->addWidget(icon);
    auto* title = brandLabel(QStringLiteral("Virtual Recycle Bin"), Font::brand(13, Font::Weight::semibold),
                             Color::brandTextPrimary(), header);
    headerRow->addWidget(title);
    headerRow->addStretch(1);
    m_total = new QLabel(header);
    m_total->setObjectName(QStringLiteral("binTotal"));
    m_total->setFont(Font::brandMono(11, Font::Weight::medium));
    headerRow->addWidget(m_total);
    layout->addWidget(header);

    auto divider = [this] {
        auto* line = new QFrame(this);
        line->setFixedHeight(1);
        line->setStyleSheet(
            Color::styleSheet(QStringLiteral("background: %1;"), {Color::brandSurfaceSunken()}));
        return line;
    };
    layout->addWidget(divider());

    m_content = new QStackedWidget(this);
    m_content->addWidget(new EmptyStateView(QStringLiteral("trash"), QStringLiteral("Empty"),
                                            QStringLiteral("Add unused files here before deleting"),
                                            m_content));
    m_list = new QListView(m_content);
    m_list->setObjectName(QStringLiteral("recycleBinList"));
    m_model = new RecycleBinModel(m_list);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new RecycleBinRowDelegate(m_list));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setUniformItemSizes(true);
    m_list->setMouseTracking(true);
    m_list->setFrameShape(QFrame::NoFrame);
    // Without a frame the style shows no focus: the list wears the ring round its edge.
    FocusRingLayer::wear(*m_list, Color::brandBackground(), 4);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QListView::customContextMenuRequested, this, &RecycleBinView::showRowMenu);
    KeyboardContextMenu::install(*m_list, [this](const QPoint& at) { showRowMenu(at); });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_refreshing)
            return;
        m_selection.clear();
        for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes())
            m_selection.insert(index.data(RecycleBinModel::itemIdRole).toUuid());
    });
    m_content->addWidget(m_list);
    layout->addWidget(m_content, 1);
    layout->addWidget(divider());

    auto* footer = new QWidget(this);
    footer->setAutoFillBackground(true);
    QPalette fp = footer->palette();
    fp.setColor(QPalette::Window, Color::brandSurface());
    footer->setPalette(fp);
    auto* buttons = new QVBoxLayout(footer);
    buttons->setContentsMargins(10, 10, 10, 10);
    buttons->setSpacing(8);
    struct Action {
        QString title;
        QString symbol;
        QColor tint;
        bool prominent;
        std::function<void()> run;
    };
    const QList<Action> actions{
        {QStringLiteral("Restore All"), QStringLiteral("arrow.uturn.backward"), Color::brandAccent(), false,
         [this] { (void)RecycleBin(m_manager.manager()).restoreAllFromRecycleBin(); }},
        {QStringLiteral("Move to Trash"), QStringLiteral("trash"), Color::brandAmber(), true,
         raise.moveToTrash},
        {QStringLiteral("Move to Folder..."), QStringLiteral("folder.badge.plus"), Color::brandCyan(), false,
         raise.moveToFolder},
        {QStringLiteral("Delete Permanently"), QStringLiteral("trash.slash"), Color::brandRed(), false,
         raise.deletePermanently},
        {QStringLiteral("Transcode & Replace"), QStringLiteral("arrow.trianglehead.swap"),
         Color::brandAccentDeep(), false, raise.transcode},
    };
    for (int i = 0; i < actions.size(); ++i) {
        const Action& action = actions.at(i);
        if (i == 4)
            buttons->addWidget(divider());
        QPushButton* button =
            BinWidgets::tintedButton(action.title, action.tint, action.prominent, action.symbol, footer);
        connect(button, &QPushButton::clicked, this, action.run);
        buttons->addWidget(button);
        m_buttons.append(button);
    }
    layout->addWidget(footer);

    connect(&m_manager, &ProjectManagerFace::changed, this, [this](ProjectManagerFace::Changes groups) {
        if (groups & (ProjectManagerFace::Change::recycleBin | ProjectManagerFace::Change::summary))
            refresh();
    });
    refresh();
}

bool RecycleBinView::showsEmptyState() const {
    return m_content->currentIndex() == 0;
}

void RecycleBinView::refresh() {
    const ProjectManagerFace& pm = m_manager;
    const bool empty = pm.recycleBin().isEmpty();
    m_total->setText(formatFileByteCount(pm.summary().recycleBinSize));
    setTextColor(m_total, empty ? Color::brandTextTertiary() : Color::brandAmber());
    m_content->setCurrentIndex(empty ? 0 : 1);
    for (QPushButton* button : m_buttons)
        button->setEnabled(!empty);
    if (m_shownVersion == pm.recycleBinVersion())
        return;
    m_shownVersion = pm.recycleBinVersion();
    m_refreshing = true;
    m_model->setItems(pm.recycleBin());
    // The window's selection survives a rebuild; identifiers no longer staged match no row.
    const QSet<QUuid>& selected = m_selection;
    QItemSelection selection;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (selected.contains(m_model->items().at(row).id))
            selection.select(m_model->index(row), m_model->index(row));
    }
    m_list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    m_refreshing = false;
}

void RecycleBinView::restoreItems(const QSet<QUuid>& ids) {
    QList<RecycleBinItem> chosen;
    for (const RecycleBinItem& item : m_manager.recycleBin()) {
        if (ids.contains(item.id))
            chosen.append(item);
    }
    // The selection goes once the items really left the bin (a restore may wait for a running
    // operation).
    (void)RecycleBin(m_manager.manager())
        .removeFromRecycleBin(chosen, [self = QPointer<RecycleBinView>(this)] {
            if (!self)
                return;
            self->m_selection.clear();
            self->m_refreshing = true;
            self->m_list->clearSelection();
            self->m_refreshing = false;
        });
}

QSet<QUuid> RecycleBinView::menuItemsAt(const QPoint& pos) const {
    QSet<QUuid> ids;
    const QModelIndex at = m_list->indexAt(pos);
    if (!at.isValid())
        return ids;
    if (!m_list->selectionModel()->isSelected(at)) {
        ids.insert(at.data(RecycleBinModel::itemIdRole).toUuid());
        return ids;
    }
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes())
        ids.insert(index.data(RecycleBinModel::itemIdRole).toUuid());
    return ids;
}

void RecycleBinView::showRowMenu(const QPoint& pos) {
    const QSet<QUuid> ids = menuItemsAt(pos);
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Restore"), this, [this, ids] { restoreItems(ids); });
    menu->popup(m_list->viewport()->mapToGlobal(pos));
}

} // namespace tarnwick
