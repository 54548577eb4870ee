#pragma once

#include "ui/common/ViewHelpers.h"

#include <QList>
#include <QSet>
#include <QUrl>
#include <QUuid>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QStackedWidget;
class QStandardItemModel;
class QTreeView;

namespace tarnwick {

class ElidedLabel;
class FilePanel;
class ProjectManagerFace;
class SecurityScopedAccess;

// Picks a folder, finds the Premiere Pro projects in it that are not open yet (on a worker), and
// imports the ticked ones through `import`.
class EasyImportSheet : public QWidget {
    Q_OBJECT
public:
    using Import = std::function<void(const QList<QUrl>& urls)>;
    EasyImportSheet(ProjectManagerFace& manager, FilePanel& panel, SecurityScopedAccess& grants,
                    Import import, QWidget* parent = nullptr);
    ~EasyImportSheet() override;

    enum class Body { idle, scanning, results };
    Body body() const;
    const QString& scanProgress() const { return m_scanProgress; }
    const QList<DiscoveredProject>& foundProjects() const { return m_found; }
    QString summaryText() const;
    QPushButton* importButton() const { return m_import; }
    QTreeView* list() const { return m_list; }
    ElidedLabel* summary() const { return m_summary; }
    QStandardItemModel* model() const { return m_model; }

    void chooseFolder();
    // Scans `folder` on a worker; `scanFinished` when the results are in.
    void startScan(const QString& folder);
    void selectAll();
    void selectNone();
    void setSelected(const QUuid& id, bool on);
    void importSelected();

Q_SIGNALS:
    void scanFinished();
    void progressShown(const QString& text);

private:
    void setProgress(const QString& text);
    void showResults();
    void updateBody();
    void updateImportButton();

    ProjectManagerFace& m_manager;
    FilePanel& m_panel;
    SecurityScopedAccess& m_grants;
    Import m_importer;
    bool m_isScanning = false;
    QString m_scanProgress;
    QList<DiscoveredProject> m_found;
    QSet<QUuid> m_selected;
    QString m_scannedDirectory;
    std::shared_ptr<std::atomic_bool> m_cancel = std::make_shared<std::atomic_bool>(false);

    QStackedWidget* m_body = nullptr;
    QLabel* m_progressLabel = nullptr;
    ElidedLabel* m_summary = nullptr;
    QTreeView* m_list = nullptr;
    QStandardItemModel* m_model = nullptr;
    QPushButton* m_import = nullptr;
    bool m_updatingChecks = false;
};

} // namespace tarnwick
