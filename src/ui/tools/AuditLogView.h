#pragma once

#include "stores/AuditLogEntry.h"

#include <QAbstractListModel>
#include <QColor>
#include <QDateTime>
#include <QList>
#include <QWidget>

#include <functional>

class QListView;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace tarnwick {

// How a row shows its action.
struct AuditActionStyle {
    QString symbol;
    QColor color;
    QString label;
};
AuditActionStyle auditActionStyle(AuditAction action);

// Newest first; entries of the same instant keep the order they were logged in.
QList<AuditLogEntry> newestFirst(QList<AuditLogEntry> entries);
// "2 minutes ago", "in 5 seconds", "now".
QString relativeTimeText(const QDateTime& then, const QDateTime& now);
// The folder of a destination file path ("/Archive/Day1/clip.mov" -> "/Archive/Day1").
QString destinationFolder(const QString& destinationPath);

// The entries as list rows; the relative times follow `now`, refreshed by refreshTimes().
class AuditLogModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { actionLabelRole = Qt::UserRole + 1, relativeTimeRole, detailRole, destinationRole };
    AuditLogModel(QList<AuditLogEntry> entries, std::function<QDateTime()> now, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    const AuditLogEntry& entry(int row) const { return m_entries.at(row); }
    QDateTime now() const { return m_now(); }
    // The relative times changed: repaint every row.
    void refreshTimes();

private:
    QList<AuditLogEntry> m_entries;
    std::function<QDateTime()> m_now;
};

// The audit log sheet: every entry of the shared log, newest first, read once when made.
class AuditLogView : public QWidget {
    Q_OBJECT
public:
    // `entries` as stored (oldest first); `now` null: the system clock.
    explicit AuditLogView(const QList<AuditLogEntry>& entries, std::function<QDateTime()> now = {},
                          QWidget* parent = nullptr);

    AuditLogModel* model() const { return m_model; }
    QListView* list() const { return m_list; }
    QPushButton* doneButton() const { return m_done; }
    bool showsEmptyState() const;
    QTimer* refreshTimer() const { return m_timer; }

private:
    AuditLogModel* m_model = nullptr;
    QListView* m_list = nullptr;
    QPushButton* m_done = nullptr;
    QStackedWidget* m_body = nullptr;
    QTimer* m_timer = nullptr;
};

} // namespace tarnwick
