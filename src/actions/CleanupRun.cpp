#include "actions/CleanupRun.h"

#include "analysis/ProjectManager.h"

namespace tarnwick {

CleanupRun::CleanupRun(ProjectManager& manager, CleanupRunKind kind, QString description,
                       ProjectManager::Changes progressGroups, QObject* parent)
    : QObject(parent), m_manager(&manager), m_kind(kind), m_description(std::move(description)),
      m_progressGroups(progressGroups) {
    connect(&manager, &ProjectManager::changed, this, [this](ProjectManager::Changes groups) {
        if (m_state == State::running && (groups & m_progressGroups))
            Q_EMIT progressed(progress());
    });
}

ProjectManager* CleanupRun::manager() const {
    return m_manager;
}

CleanupRun::Progress CleanupRun::progress() const {
    if (m_state == State::running && m_manager)
        return liveProgress();
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
    QCoro::connect(work(), this, [this](CleanupResult result) { finish(std::move(result)); });
}

void CleanupRun::cancel() {
    if (m_state == State::running && m_manager)
        stop();
}

void CleanupRun::refuse(const QString& reason) {
    if (m_state == State::waiting)
        finish(CleanupResult::refused(m_kind, reason));
}

void CleanupRun::finish(CleanupResult result) {
    if (m_state == State::finished)
        return;
    m_state = State::finished;
    result.kind = m_kind;
    m_result = std::move(result);
    Q_EMIT finished(*m_result);
}

} // namespace tarnwick
