#include "ui/cleanup/CleanupRun.h"

#include "ui/cleanup/CleanupTexts.h"

namespace tarnwick {

CleanupRun::CleanupRun(ProjectManager& manager, Job job, QObject* parent)
    : QObject(parent), m_manager(&manager), m_job(std::move(job)) {
    connect(&manager, &ProjectManager::changed, this, [this](ProjectManager::Changes groups) {
        if (m_state == State::running && (groups & m_job.progressGroups))
            Q_EMIT progressed(progress());
    });
}

CleanupRun::Progress CleanupRun::progress() const {
    if (m_state == State::running && m_job.progress && m_manager)
        return m_job.progress();
    if (m_state == State::finished && !m_result->isRefused()) {
        const qint64 files = m_result->kind == CleanupRunKind::transcode
                                 ? m_result->transcode.transcoded + m_result->transcode.failed
                                 : m_result->action.succeeded + m_result->action.failed;
        return {files, files};
    }
    return {};
}

void CleanupRun::start() {
    if (m_state != State::waiting)
        return;
    m_state = State::running;
    Q_EMIT started();
    // The result may come back at once (a refusal): finish() takes it whenever it comes.
    QCoro::connect(m_job.work(), this, [this](CleanupResult result) { finish(std::move(result)); });
}

void CleanupRun::cancel() {
    if (m_state == State::waiting)
        refuse(CleanupTexts::cancelledBeforeStartReason());
    else if (m_state == State::running && m_job.cancel && m_manager)
        m_job.cancel();
}

void CleanupRun::refuse(const QString& reason) {
    if (m_state == State::waiting)
        finish(CleanupResult::refused(m_job.kind, reason));
}

void CleanupRun::finish(CleanupResult result) {
    if (m_state == State::finished)
        return;
    m_state = State::finished;
    result.kind = m_job.kind;
    m_result = std::move(result);
    Q_EMIT finished(*m_result);
}

} // namespace tarnwick
