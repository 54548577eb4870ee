#pragma once

#include "actions/CleanupRun.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

namespace tarnwick {

class CleanupOperations;
class ProjectManagerFace;

// The one place clean-up runs start. It owns which run is going: one at a time, the others waiting
// in the order asked while a run goes or the manager is busy (the window's busy line names the one
// next in turn); a run asked for while another of its kind goes or waits is refused. Every run ends
// with exactly one result, refusals included, handed on through `finished` to the result sheet.
class CleanupRunner : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const CleanupResult&)>;

    CleanupRunner(ProjectManagerFace& manager, CleanupOperations& operations, QObject* parent = nullptr);

    // Asks for a run, made by the operations' factory; `folder` is the destination of the moves.
    // `done` (while `context` lives) has the result first, then `finished`, so the asker can close
    // before the result sheet shows.
    void request(CleanupRunKind kind, const QUrl& folder = {}, QObject* context = nullptr, Done done = {});
    // Takes a run made elsewhere (tests); the same rules.
    void request(std::unique_ptr<CleanupRun> run, QObject* context = nullptr, Done done = {});
    // Cancels the going or waiting run of that kind.
    void cancel(CleanupRunKind kind);

    CleanupRun* current() const { return m_current; }
    const QList<CleanupRun*>& waiting() const { return m_waiting; }
    // A run of that kind goes or waits: asking again is refused.
    bool isBusyWith(CleanupRunKind kind) const;

Q_SIGNALS:
    // Every run's one result, in the order the runs end.
    void finished(const CleanupResult& result);
    // A run was queued, started or ended (enabled states follow it).
    void changed();

private:
    void ended(CleanupRun* run, const CleanupResult& result);
    void schedulePump();
    void pump();
    bool managerIsFree() const;

    ProjectManagerFace& m_manager;
    CleanupOperations& m_operations;
    CleanupRun* m_current = nullptr;
    QList<CleanupRun*> m_waiting;
    int m_wakeups = 0; // requests left in the manager's queue to call pump()
    bool m_pumpScheduled = false;
};

} // namespace tarnwick
