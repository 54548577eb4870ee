#pragma once

#include "model/MediaFile.h"

#include <QList>
#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <memory>

namespace tarnwick {

class CleanupOperations;
class ProjectManagerFace;

// What the window's enabled states need from the whole media list (the delete-safety check
// among it), worked out off the GUI thread once per change of the media list or the bin, never
// per paint. Results of a superseded list are dropped.
class WindowFacts : public QObject {
    Q_OBJECT
public:
    struct Facts {
        QList<MediaFile> safeToStage; // in media-list order
        bool hasExportableUnused = false;
        bool hasSearchableOffline = false; // offline (any kind) without a match
        bool hasMedia = false;
    };

    WindowFacts(ProjectManagerFace& manager, const CleanupOperations& operations, QObject* parent = nullptr);
    ~WindowFacts() override;

    const Facts& facts() const { return m_facts; }
    // True while the facts shown belong to the current media list and bin. The versions count too:
    // the manager's change signal comes a turn after the change, and facts of the old list must not
    // be acted on in between.
    bool isCurrent() const;
    // Facts of one media list, on any thread.
    static Facts compute(const QList<MediaFile>& mediaFiles, const CleanupOperations& operations);

    // Starts a computation for the manager's current lists (coalesced to one per turn).
    void refresh();

Q_SIGNALS:
    void updated();

private:
    void start();

    ProjectManagerFace& m_manager;
    const CleanupOperations& m_operations;
    QThreadPool m_pool;
    Facts m_facts;
    quint64 m_generation = 0;
    quint64 m_doneGeneration = 0;
    qint64 m_mediaVersion = -1; // the lists the facts were worked out for
    qint64 m_binVersion = -1;
    bool m_scheduled = false;
    std::shared_ptr<std::atomic_bool> m_alive = std::make_shared<std::atomic_bool>(true);
};

} // namespace tarnwick
