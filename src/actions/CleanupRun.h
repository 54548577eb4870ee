#pragma once

#include "actions/CleanupResult.h"
#include "analysis/ProjectManagerFace.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <qcoro/qcorotask.h>

#include <optional>

namespace tarnwick {

class ProjectManager;

// One clean-up run (Trash, deletion, a move, the transcode): started once, cancelled where its
// operation allows it, progress in files, and exactly one result whatever happens, a refusal or a
// cancellation before it started included. The runner starts and cancels it; the run itself
// decides nothing. Each kind of run says what it does by overriding work() and, where its
// operation allows, stop() and liveProgress().
class CleanupRun : public QObject {
    Q_OBJECT
public:
    enum class State { waiting, running, finished };
    struct Progress {
        qint64 done = 0;
        qint64 total = 0; // 0: not known (Trash and deletion report only their end)
        friend bool operator==(const Progress&, const Progress&) = default;
    };

    // `description` names the run while it waits, in the window's busy line; `progressGroups` are
    // the manager's changes that move its progress.
    CleanupRun(ProjectManager& manager, CleanupRunKind kind, QString description,
               ProjectManagerFace::Changes progressGroups = {}, QObject* parent = nullptr);

    CleanupRunKind kind() const { return m_kind; }
    const QString& description() const { return m_description; }
    State state() const { return m_state; }
    Progress progress() const;
    const std::optional<CleanupResult>& result() const { return m_result; }

    void start();
    // Running: asks the operation to stop before its next file. A waiting run is refused instead.
    void cancel();
    // Ends a waiting run with a refusal, without starting it.
    void refuse(const QString& reason);

Q_SIGNALS:
    void started();
    void progressed(CleanupRun::Progress progress);
    void finished(const CleanupResult& result);

protected:
    // The operation, run once from start(); the manager is there when it starts.
    virtual QCoro::Task<CleanupResult> work() = 0;
    // Empty: once started it runs to its end.
    virtual void stop() {}
    // While it runs; none until it ends by default.
    virtual Progress liveProgress() const { return {}; }
    ProjectManager* manager() const;

private:
    void finish(CleanupResult result);

    QPointer<ProjectManager> m_manager;
    const CleanupRunKind m_kind;
    const QString m_description;
    const ProjectManagerFace::Changes m_progressGroups;
    State m_state = State::waiting;
    std::optional<CleanupResult> m_result;
};

} // namespace tarnwick
