#pragma once

#include "analysis/ProjectManager.h"
#include "ui/cleanup/CleanupResult.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

namespace tarnwick {

// One clean-up run (Trash, deletion, a move, the transcode): started once, cancelled where its
// operation allows it, progress in files, and exactly one result whatever happens, a refusal or a
// cancellation before it started included. The runner starts it; the run itself decides nothing.
class CleanupRun : public QObject {
    Q_OBJECT
public:
    enum class State { waiting, running, finished };
    struct Progress {
        qint64 done = 0;
        qint64 total = 0; // 0: not known (Trash and deletion report only their end)
        friend bool operator==(const Progress&, const Progress&) = default;
    };
    // What the run does, made by CleanupRuns.
    struct Job {
        CleanupRunKind kind = CleanupRunKind::trash;
        QString description; // while it waits, in the window's busy line
        std::function<QCoro::Task<CleanupResult>()> work;
        std::function<void()> cancel;       // empty: once started it runs to its end
        std::function<Progress()> progress; // empty: none until it ends
        ProjectManager::Changes progressGroups;
    };

    CleanupRun(ProjectManager& manager, Job job, QObject* parent = nullptr);

    CleanupRunKind kind() const { return m_job.kind; }
    const QString& description() const { return m_job.description; }
    State state() const { return m_state; }
    Progress progress() const;
    const std::optional<CleanupResult>& result() const { return m_result; }

    void start();
    // Waiting: ends it at once with a refusal. Running: asks the operation to stop before its next file.
    void cancel();
    // Ends a waiting run with a refusal, without starting it.
    void refuse(const QString& reason);

Q_SIGNALS:
    void started();
    void progressed(CleanupRun::Progress progress);
    void finished(const CleanupResult& result);

private:
    void finish(CleanupResult result);

    QPointer<ProjectManager> m_manager;
    Job m_job;
    State m_state = State::waiting;
    std::optional<CleanupResult> m_result;
};

} // namespace tarnwick
