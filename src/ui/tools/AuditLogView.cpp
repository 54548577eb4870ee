#include "ui/tools/AuditLogView.h"
#include "ui/brand/FocusRingLayer.h"

#include "platform/ByteCountText.h"
#include "platform/ThreadPools.h"
#include "stores/AuditLogManager.h"
#include "ui/brand/BrandPalette.h"
#include "ui/brand/SymbolIcons.h"
#include "ui/tools/ToolSheetParts.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace tarnwick {

AuditActionStyle auditActionStyle(AuditAction action) {
    switch (action) {
    case AuditAction::movedToTrash:
        return {QStringLiteral("trash"), Color::systemOrange(), QStringLiteral("Moved to Trash")};
    case AuditAction::deletedPermanently:
        return {QStringLiteral("trash.slash"), Color::systemRed(), QStringLiteral("Deleted Permanently")};
    case AuditAction::movedToFolder:
        return {QStringLiteral("folder"), Color::systemBlue(), QStringLiteral("Moved to Folder")};
    case AuditAction::restored:
        return {QStringLiteral("arrow.uturn.backward"), Color::systemGreen(), QStringLiteral("Restored")};
    case AuditAction::transcoded:
        return {QStringLiteral("arrow.trianglehead.swap"), Color::systemIndigo(),
                QStringLiteral("Transcoded & Replaced")};
    }
    return {};
}

std::vector<qint32> newestFirstOrder(qsizetype count, const std::function<qint64(qsizetype)>& timestampMs) {
    std::vector<qint32> order;
    order.reserve(size_t(count));
    bool growing = true;
    for (qsizetype i = 1; i < count && growing; ++i)
        growing = timestampMs(i - 1) <= timestampMs(i);
    if (growing) {
        // Runs of one instant from the newest back, each in logged order.
        qsizetype end = count;
        while (end > 0) {
            qsizetype start = end - 1;
            const qint64 instant = timestampMs(start);
            while (start > 0 && timestampMs(start - 1) == instant)
                --start;
            for (qsizetype i = start; i < end; ++i)
                order.push_back(qint32(i));
            end = start;
        }
        return order;
    }
    std::vector<qint64> times(static_cast<size_t>(count));
    for (qsizetype i = 0; i < count; ++i) {
        order.push_back(qint32(i));
        times[size_t(i)] = timestampMs(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](qint32 a, qint32 b) { return times[a] > times[b]; });
    return order;
}

QString relativeTimeText(const QDateTime& then, const QDateTime& now) {
    const qint64 seconds = then.secsTo(now);
    const qint64 magnitude = seconds < 0 ? -seconds : seconds;
    if (magnitude < 1)
        return QStringLiteral("now");
    struct Unit {
        qint64 seconds;
        const char* singular;
    };
    static const Unit units[] = {
        {365LL * 86400, "year"}, {30LL * 86400, "month"}, {7LL * 86400, "week"}, {86400, "day"},
        {3600, "hour"},          {60, "minute"},          {1, "second"}};
    for (const Unit& unit : units) {
        if (magnitude < unit.seconds)
            continue;
        const qint64 count = magnitude / unit.seconds;
        const QString amount = QString::number(count) + QLatin1Char(' ') + QLatin1String(unit.singular) +
                               (count == 1 ? QString() : QStringLiteral("s"));
        return seconds < 0 ? QStringLiteral("in ") + amount : amount + QStringLiteral(" ago");
    }
    return QStringLiteral("now");
}

QString destinationFolder(const QString& destinationPath) {
    const qsizetype slash = destinationPath.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : destinationPath.left(slash);
}

// ---- Model ------------------------------------------------------------------------------------

AuditLogModel::AuditLogModel(const AuditLogManager& log, std::function<QDateTime()> now, QObject* parent)
    : QAbstractListModel(parent), m_log(&log),
      m_now(now ? std::move(now) : [] { return QDateTime::currentDateTimeUtc(); }) {
    if (log.isLoaded())
        reload();
}

void AuditLogModel::reload() {
    beginResetModel();
    m_decoded.clear();
    const AuditLogManager& log = *m_log;
    m_order = newestFirstOrder(log.count(), [&log](qsizetype i) { return log.timestampMs(i); });
    endResetModel();
}

int AuditLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_order.size());
}

AuditLogEntry AuditLogModel::entry(int row) const {
    if (row < 0 || size_t(row) >= m_order.size())
        return {};
    // A row is asked for several roles in turn: decode it once.
    if (const AuditLogEntry* cached = m_decoded.object(row))
        return *cached;
    auto* decoded = new AuditLogEntry(m_log->entry(m_order[size_t(row)]));
    const AuditLogEntry copy = *decoded;
    m_decoded.insert(row, decoded);
    return copy;
}

QVariant AuditLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= m_order.size())
        return {};
    const AuditLogEntry e = entry(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return e.fileName;
    case actionLabelRole:
        return auditActionStyle(e.action).label;
    case relativeTimeRole:
        return relativeTimeText(e.timestamp, m_now());
    case detailRole: {
        QString text = formatFileByteCount(e.fileSize);
        if (!e.projectNames.isEmpty())
            text += QStringLiteral("  •  ") + e.projectNames.join(QStringLiteral(", "));
        return text;
    }
    case destinationRole:
        return e.destinationPath ? QVariant(QStringLiteral("→ ") + destinationFolder(*e.destinationPath))
                                 : QVariant();
    case Qt::ToolTipRole:
        return QLocale().toString(e.timestamp.toLocalTime(), QLocale::LongFormat);
    default:
        return {};
    }
}

void AuditLogModel::refreshTimes() {
    if (!m_order.empty())
        Q_EMIT dataChanged(index(0), index(int(m_order.size()) - 1), {relativeTimeRole});
}

namespace {

// Paints one entry: action line, file name, detail line, destination.
class AuditRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // One height for every row, room for a destination included: a million rows are laid out
    // without asking each for its size.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        const QFontMetrics body(option.font);
        const QFontMetrics caption(captionFont(option.font));
        const int height =
            8 + body.height() + 4 + body.height() + 4 + caption.height() + 4 + caption.height();
        return {300, height + 8};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const auto* model = static_cast<const AuditLogModel*>(index.model());
        const AuditLogEntry entry = model->entry(index.row());
        const AuditActionStyle style = auditActionStyle(entry.action);
        painter->save();
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.text.clear();
        QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

        const QPalette& pal = option.palette;
        const QColor secondary = pal.color(QPalette::PlaceholderText);
        const QFont caption = captionFont(option.font);
        QRect r = option.rect.adjusted(12, 8, -12, -8);
        const QFontMetrics body(option.font);
        const QFontMetrics cap(caption);

        // Action line.
        const int iconSize = body.height() - 2;
        symbolIcon(style.symbol, style.color)
            .paint(painter, QRect(r.left(), r.top() + 1, iconSize, iconSize));
        QFont medium = option.font;
        medium.setWeight(QFont::Medium);
        painter->setFont(medium);
        painter->setPen(pal.color(QPalette::Text));
        painter->drawText(QRect(r.left() + iconSize + 6, r.top(), r.width(), body.height()),
                          Qt::AlignLeft | Qt::AlignVCenter, style.label);
        painter->setFont(caption);
        painter->setPen(secondary);
        painter->drawText(QRect(r.left(), r.top(), r.width(), body.height()),
                          Qt::AlignRight | Qt::AlignVCenter,
                          index.data(AuditLogModel::relativeTimeRole).toString());
        int y = r.top() + body.height() + 4;

        // File name.
        painter->setFont(option.font);
        painter->setPen(pal.color(QPalette::Text));
        painter->drawText(QRect(r.left(), y, r.width(), body.height()), Qt::AlignLeft | Qt::AlignVCenter,
                          body.elidedText(entry.fileName, Qt::ElideMiddle, r.width()));
        y += body.height() + 4;

        // Size, then the projects.
        painter->setFont(caption);
        painter->setPen(secondary);
        const QString size = formatFileByteCount(entry.fileSize);
        painter->drawText(QRect(r.left(), y, r.width(), cap.height()), Qt::AlignLeft | Qt::AlignVCenter,
                          size);
        if (!entry.projectNames.isEmpty()) {
            int x = r.left() + cap.horizontalAdvance(size) + 8;
            QColor tertiary = secondary;
            tertiary.setAlphaF(0.5);
            painter->setPen(tertiary);
            painter->drawText(QRect(x, y, r.right() - x, cap.height()), Qt::AlignLeft | Qt::AlignVCenter,
                              QStringLiteral("•"));
            x += cap.horizontalAdvance(QStringLiteral("•")) + 8;
            painter->setPen(secondary);
            painter->drawText(
                QRect(x, y, r.right() - x, cap.height()), Qt::AlignLeft | Qt::AlignVCenter,
                cap.elidedText(entry.projectNames.join(QStringLiteral(", ")), Qt::ElideRight, r.right() - x));
        }
        y += cap.height() + 4;

        if (entry.destinationPath) {
            painter->setPen(Color::systemBlue());
            painter->drawText(QRect(r.left(), y, r.width(), cap.height()), Qt::AlignLeft | Qt::AlignVCenter,
                              cap.elidedText(index.data(AuditLogModel::destinationRole).toString(),
                                             Qt::ElideMiddle, r.width()));
        }
        painter->restore();
    }

private:
    static QFont captionFont(const QFont& base) {
        QFont f = base;
        f.setPointSizeF(base.pointSizeF() * 0.85);
        return f;
    }
};

} // namespace

// ---- View -------------------------------------------------------------------------------------

AuditLogView::AuditLogView(AuditLogManager& log, std::function<QDateTime()> now, QWidget* parent)
    : QWidget(parent) {
    setMinimumSize(500, 400);
    m_model = new AuditLogModel(log, std::move(now), this);

    m_done = new QPushButton(QStringLiteral("Done"), this);
    m_done->setDefault(true);
    connect(m_done, &QPushButton::clicked, this, [this] { dismissSheet(this); });

    m_list = new QListView(this);
    FocusRingLayer::wear(*m_list, m_list->palette().color(QPalette::Base), 4);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new AuditRowDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAlternatingRowColors(true);

    m_body = new QStackedWidget(this);
    m_body->addWidget(contentUnavailable(QStringLiteral("doc.text"), QStringLiteral("No Entries"),
                                         QStringLiteral("File operations will be logged here")));
    m_body->addWidget(m_list);
    m_body->addWidget(
        contentUnavailable(QStringLiteral("doc.text"), QStringLiteral("Reading the Audit Log…"), QString()));

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(systemHeaderBar(QStringLiteral("Audit Log"), m_done));
    column->addWidget(divider());
    column->addWidget(m_body, 1);

    // Relative times ("2 minutes ago") stay current while the sheet is open.
    m_timer = new QTimer(this);
    m_timer->setInterval(30'000);
    connect(m_timer, &QTimer::timeout, m_model, &AuditLogModel::refreshTimes);
    m_timer->start();
    resize(560, 520);

    if (log.isLoaded()) {
        showRows();
        return;
    }
    m_body->setCurrentIndex(2);
    auto* watcher = new QFutureWatcher<AuditLogManager::Loaded>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, &log] {
        log.install(watcher->future().takeResult());
        watcher->deleteLater();
        m_model->reload();
        showRows();
        Q_EMIT loaded();
    });
    watcher->setFuture(QtConcurrent::run(&auditLogReadPool(), &AuditLogManager::readFiles, log.fileName(),
                                         log.journalFileName()));
}

void AuditLogView::showRows() {
    m_body->setCurrentIndex(m_model->rowCount() == 0 ? 0 : 1);
}

bool AuditLogView::showsEmptyState() const {
    return m_body->currentIndex() == 0;
}

bool AuditLogView::isLoading() const {
    return m_body->currentIndex() == 2;
}

} // namespace tarnwick
