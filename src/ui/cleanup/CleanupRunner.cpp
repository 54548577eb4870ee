#include "ui/cleanup/CleanupRunner.h"

#include "analysis/OperationGate.h"
#include "analysis/ProjectManagerFace.h"
#include "platform/AppLog.h"
#include "ui/cleanup/CleanupOperations.h"
#include "ui/cleanup/CleanupTexts.h"

namespace tarnwick {

CleanupRunner::CleanupRunner(ProjectManagerFace& manager, CleanupOperations& operations, QObject* parent)
    : QObject(parent), m_manager(manager), m_operations(operations) {}

void CleanupRunner::request(CleanupRunKind kind, const QUrl& folder, QObject* context, Done done) {
    request(m_operations.makeRun(kind, m_manager.manager(), folder), context, std::move(done));
}

void CleanupRunner::request(std::unique_ptr<CleanupRun> owned, QObject* context, Done done) {
    CleanupRun* run = owned.release();
    run->setParent(this);
    if (done) {
        QPointer<QObject> asker(context);
        const bool bound = context != nullptr;
        connect(run, &CleanupRun::finished, this, [asker, bound, done](const CleanupResult& result) {
            if (!bound || asker)
                done(result);
        });
    }
    connect(run, &CleanupRun::finished, this,
            [this, run](const CleanupResult& result) { ended(run, result); });
    if (isBusyWith(run->kind())) {
        AppLog::warning(run->description() + QStringLiteral(": refused, asked for again while under way"));
        run->refuse(CleanupTexts::alreadyAskedReason(run->kind()));
        return;
    }
    m_waiting.append(run);
    Q_EMIT changed();
    pump();
}

void CleanupRunner::cancel(CleanupRunKind kind) {
    if (m_current && m_current->kind() == kind)
        m_current->cancel();
    for (CleanupRun* run : QList<CleanupRun*>(m_waiting)) {
        if (run->kind() == kind)
            run->refuse(CleanupTexts::cancelledBeforeStartReason());
    }
}

bool CleanupRunner::isBusyWith(CleanupRunKind kind) const {
    return (m_current && m_current->kind() == kind) ||
           std::any_of(m_waiting.cbegin(), m_waiting.cend(),
                       [kind](const CleanupRun* run) { return run->kind() == kind; });
}

bool CleanupRunner::managerIsFree() const {
    return !m_manager.isBusy() && m_manager.operationGate().waitingCount() == 0;
}

void CleanupRunner::ended(CleanupRun* run, const CleanupResult& result) {
    if (m_current == run)
        m_current = nullptr;
    m_waiting.removeOne(run);
    run->deleteLater();
    Q_EMIT finished(result);
    Q_EMIT changed();
    // A wake-up left in the manager's queue starts the next run in its turn among the user's requests.
    if (m_wakeups == 0)
        schedulePump();
}

void CleanupRunner::schedulePump() {
    if (m_pumpScheduled)
        return;
    m_pumpScheduled = true;
    QMetaObject::invokeMethod(this, &CleanupRunner::pump, Qt::QueuedConnection);
}

void CleanupRunner::pump() {
    m_pumpScheduled = false;
    if (m_waiting.isEmpty())
        return;
    if (!m_current && managerIsFree()) {
        m_current = m_waiting.takeFirst();
        Q_EMIT changed();
        m_current->start();
        return;
    }
    // Waits among the manager's queued requests, so the busy line says what waits.
    if (!managerIsFree() && m_wakeups == 0) {
        ++m_wakeups;
        m_manager.runWhenIdle(m_waiting.first()->description(), [self = QPointer<CleanupRunner>(this)] {
            if (!self)
                return;
            --self->m_wakeups;
            self->pump();
        });
    }
}

} // namespace tarnwick
