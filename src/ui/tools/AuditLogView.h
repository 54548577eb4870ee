#pragma once

#include "stores/AuditLogEntry.h"

#include <QAbstractListModel>
#include <QCache>
#include <QColor>
#include <QDateTime>
#include <QList>
#include <QWidget>

#include <functional>
#include <vector>

class QListView;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace tarnwick {

class AuditLogManager;

// How a row shows its action.
struct AuditActionStyle {
    QString symbol;
    QColor color;
    QString label;
};
AuditActionStyle auditActionStyle(AuditAction action);

// The positions of `count` entries newest first; entries of the same instant keep the order they
// were logged in. Linear when the times only grow, as they do when logged.
std::vector<qint32> newestFirstOrder(qsizetype count, const std::function<qint64(qsizetype)>& timestampMs);
// "2 minutes ago", "in 5 seconds", "now".
QString relativeTimeText(const QDateTime& then, const QDateTime& now);
// The folder of a destination file path ("/Archive/Day1/clip.mov" -> "/Archive/Day1").
QString destinationFolder(const QString& destinationPath);

// The log's entries as list rows, adapted from the store without a copy: an entry is decoded when its
// row is shown. The rows are the entries the store held when the model was made (or reset), newest
// first; the relative times follow `now`, refreshed by refreshTimes().
class AuditLogModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { actionLabelRole = Qt::UserRole + 1, relativeTimeRole, detailRole, destinationRole };
    // `log` must be read (isLoaded()) before the model is reset with rows; it outlives the model.
    AuditLogModel(const AuditLogManager& log, std::function<QDateTime()> now, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    AuditLogEntry entry(int row) const;
    QDateTime now() const { return m_now(); }
    // The relative times changed: repaint every row.
    void refreshTimes();
    // Takes the store's entries as they are now.
    void reload();

private:
    const AuditLogManager* m_log;
    std::vector<qint32> m_order; // row → the entry's position in the store
    std::function<QDateTime()> m_now;
    mutable QCache<int, AuditLogEntry> m_decoded{256};
};

// The audit log sheet: every entry of the log, newest first, as it was when the sheet opened. A log
// not read yet is read off the GUI thread meanwhile.
class AuditLogView : public QWidget {
    Q_OBJECT
public:
    // `now` null: the system clock.
    explicit AuditLogView(AuditLogManager& log, std::function<QDateTime()> now = {},
                          QWidget* parent = nullptr);

    AuditLogModel* model() const { return m_model; }
    QListView* list() const { return m_list; }
    QPushButton* doneButton() const { return m_done; }
    bool showsEmptyState() const;
    bool isLoading() const;
    QTimer* refreshTimer() const { return m_timer; }

Q_SIGNALS:
    void loaded();

private:
    void showRows();

    AuditLogModel* m_model = nullptr;
    QListView* m_list = nullptr;
    QPushButton* m_done = nullptr;
    QStackedWidget* m_body = nullptr;
    QTimer* m_timer = nullptr;
};

} // namespace tarnwick
