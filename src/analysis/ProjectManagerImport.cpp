#include "analysis/EntryCombiner.h"
#include "analysis/MediaRescanner.h"
#include "analysis/ProjectImporter.h"
#include "analysis/ProjectManager.h"
#include "platform/AppLog.h"

namespace tarnwick {

QCoro::Task<void> ProjectManager::analyzeProjects(QList<QUrl> urls) {
    return ProjectImporter::analyzeProjects(*this, std::move(urls));
}

QCoro::Task<bool> ProjectManager::rescanAll() {
    if (m_gate.isBusy() || m_gate.waitingCount() > 0) {
        // The user's switch (or grant) must still be checked: once, when the queue is through.
        AppLog::info(QStringLiteral("Rescan queued until the running operation ends: ") + m_gate.reason());
        m_deferredRescan = true;
        notify(Change::progress); // the window shows that it waits
        scheduleDeferredChanges();
        co_return false;
    }
    auto rescan = MediaRescanner::rescanAll(*this);
    co_return co_await std::move(rescan);
}

QCoro::Task<bool> ProjectManager::combineEntries(QList<MediaFile> selection, std::function<void()> done) {
    return EntryCombiner::combineEntries(*this, std::move(selection), std::move(done));
}

} // namespace tarnwick
