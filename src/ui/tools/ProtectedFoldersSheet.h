#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

class QAbstractButton;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace tarnwick {

class FilePanel;
class ProjectManagerFace;
class ProtectedFolders;
class SecurityScopedAccess;

// The folders whose media no clean-up action may touch: listed, added several at a time from the
// file panel, removed one at a time. Changes apply at once.
class ProtectedFoldersSheet : public QWidget {
    Q_OBJECT
public:
    ProtectedFoldersSheet(ProjectManagerFace& manager, ProtectedFolders& store, FilePanel& panel,
                          SecurityScopedAccess& grants, QWidget* parent = nullptr);

    // The add flow after the panel (which granted them): each folder into the store, in the
    // panel's order.
    void addFolders(const QList<QUrl>& urls);
    // Runs the file panel, then addFolders().
    void chooseFolders();
    void removeFolder(const QString& path);

    // The paths of the rows shown, in order (empty while the empty state shows).
    QStringList shownFolders() const;
    bool showsEmptyState() const;
    QAbstractButton* addButton() const { return m_add; }
    QPushButton* doneButton() const { return m_done; }
    // The remove button of the row of `path`, or null.
    QPushButton* removeButton(const QString& path) const;

private:
    void rebuildRows();
    void followManager();

    ProjectManagerFace& m_manager;
    ProtectedFolders& m_store;
    FilePanel& m_panel;
    SecurityScopedAccess& m_grants;
    QStackedWidget* m_body = nullptr;
    QWidget* m_rowsHost = nullptr;
    QVBoxLayout* m_rows = nullptr;
    QAbstractButton* m_add = nullptr;
    QPushButton* m_done = nullptr;
    QStringList m_shown;
};

} // namespace tarnwick
