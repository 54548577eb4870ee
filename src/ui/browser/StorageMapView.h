#pragma once

#include "analysis/FilterCacheKey.h"
#include "ui/browser/StorageMapModel.h"

#include <QThreadPool>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace tarnwick {

class ElidedLabel;
class ProjectManagerFace;
class StorageMapCanvas;

// The "Map" mode: projects, or the clips of one project, as a squarified treemap sized by bytes on
// disk and coloured by how much is reclaimable. Projects too small to read merge into one tile,
// which opens onto the projects it holds. Reads the manager only.
class StorageMapView : public QWidget {
    Q_OBJECT
public:
    using IsolateHandler = std::function<void(const QUuid& projectID)>;
    StorageMapView(ProjectManagerFace& manager, IsolateHandler onIsolate, QWidget* parent = nullptr);
    ~StorageMapView() override;

    const std::optional<QString>& drilledProjectName() const { return m_drilledProjectName; }
    void drillInto(const QString& projectName);
    // One level up: from a project's clips to the projects shown before, from the projects of a
    // merged tile to the projects around it.
    void drillOut();
    // The projects of a merged tile, shown as a map of their own; pushes a level.
    void openMerged(const QStringList& projectNames);
    // The project names of the merged tiles opened, outermost first.
    const QList<QStringList>& openedGroups() const { return m_groups; }
    // The project shown at the clip level, or none at the project level.
    const ProjectFile* drilledProject() const;

    // Computed once per (filtered list, projects, drilled name); resizing reuses them.
    const QList<ProjectFootprint>& footprints() const { return m_footprints; }
    const ProjectClips& clips() const { return m_clips; }
    const QList<MapTreemapTile>& tiles() const;
    const StorageMap::MapTotals& totals() const { return m_totals; }
    int computeCount() const { return m_computeCount; }

    void clickTile(int index);
    // From how many filtered rows the footprints are worked out on a worker (tests lower it).
    void setBackgroundRows(qsizetype rows) { m_backgroundRows = rows; }

protected:
    // The map's state belongs to the mode: leaving it starts again at the project level.
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // What one level shows, and what it was worked out for.
    struct Content {
        QList<ProjectFootprint> footprints;
        StorageMap::MapTotals totals;
        ProjectClips clips;
    };
    struct Request {
        FilterCacheKey key;
        std::optional<QString> level;
        QList<QStringList> groups;
        bool operator==(const Request&) const = default;
    };
    static Content compute(const MediaRows& filtered, const QList<ProjectFile>& projects,
                           const std::optional<QString>& level, const QList<QStringList>& groups);
    void apply(Content content, Request request);

    void build();
    void buildProjectHeader();
    void buildClipHeader();
    void buildProjectLegend();
    void buildClipLegend();
    void buildBody();
    void refresh();
    void rebuildHeader();
    void fitRows();
    void openInTable();
    void resetLevels();

    ProjectManagerFace& m_manager;
    IsolateHandler m_onIsolate;
    std::optional<QString> m_drilledProjectName;
    std::optional<FilterCacheKey> m_cacheKey;
    std::optional<QString> m_cacheDrilledName;
    QList<QStringList> m_groups;
    QList<QStringList> m_cacheGroups;
    QList<ProjectFootprint> m_footprints;
    StorageMap::MapTotals m_totals;
    ProjectClips m_clips;
    int m_computeCount = 0;
    std::optional<Request> m_requested;
    quint64 m_generation = 0;
    qsizetype m_backgroundRows = 5000;
    QThreadPool m_pool;

    QStackedWidget* m_headerStack = nullptr;
    QLabel* m_projectSubtitle = nullptr;
    QLabel* m_projectReclaimable = nullptr;
    QLabel* m_projectTotal = nullptr;
    ElidedLabel* m_sharedNote = nullptr;
    QPushButton* m_openInTable = nullptr;
    QPushButton* m_back = nullptr;
    StorageMap::RowPart m_backWidths;
    ElidedLabel* m_clipProjectName = nullptr;
    QLabel* m_clipReclaimable = nullptr;
    QLabel* m_clipTotal = nullptr;
    QString m_clipTotalWhole; // shown whole where the header has room
    QStackedWidget* m_legendStack = nullptr;
    QLabel* m_projectLegendNote = nullptr;
    QLabel* m_clipLegendNote = nullptr;
    QStackedWidget* m_bodyStack = nullptr;
    StorageMapCanvas* m_canvas = nullptr;
    QLabel* m_clipEmpty = nullptr;
    QWidget* m_projectEmpty = nullptr;
};

} // namespace tarnwick
