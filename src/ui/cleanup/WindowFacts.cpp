#include "ui/cleanup/WindowFacts.h"

#include "analysis/ProjectManagerFace.h"
#include "platform/IdleThreads.h"
#include "platform/MemoryRelease.h"
#include "platform/ThreadNames.h"
#include "ui/cleanup/CleanupOperations.h"

#include <QCoreApplication>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace tarnwick {

WindowFacts::WindowFacts(ProjectManagerFace& manager, const CleanupOperations& operations, QObject* parent)
    : QObject(parent), m_manager(manager), m_operations(operations) {
    nameThreads(m_pool, "WindowFacts");
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(idleThreadExpiryMs);
    connect(&manager, &ProjectManagerFace::changed, this, [this](ProjectManagerFace::Changes groups) {
        if (groups & (ProjectManagerFace::Change::mediaFiles | ProjectManagerFace::Change::recycleBin |
                      ProjectManagerFace::Change::aeLinks))
            refresh();
    });
    refresh();
}

WindowFacts::~WindowFacts() {
    *m_alive = false;
    m_pool.waitForDone();
}

WindowFacts::Facts WindowFacts::compute(const QList<MediaFile>& mediaFiles,
                                        const CleanupOperations& operations) {
    Facts facts;
    facts.hasMedia = !mediaFiles.isEmpty();
    for (const MediaFile& file : mediaFiles) {
        if (!facts.hasExportableUnused && CleanupOperations::isExportableUnused(file))
            facts.hasExportableUnused = true;
        if (!facts.hasSearchableOffline && !file.matchedPath &&
            (file.status == MediaFileStatus::offline || file.status == MediaFileStatus::networkOffline))
            facts.hasSearchableOffline = true;
    }
    facts.safeToStage = operations.unusedFilesSafeToStage(mediaFiles);
    return facts;
}

bool WindowFacts::isCurrent() const {
    return m_doneGeneration == m_generation && m_mediaVersion == m_manager.mediaFilesVersion() &&
           m_binVersion == m_manager.recycleBinVersion();
}

void WindowFacts::refresh() {
    ++m_generation;
    if (m_scheduled)
        return;
    m_scheduled = true;
    QMetaObject::invokeMethod(this, &WindowFacts::start, Qt::QueuedConnection);
}

void WindowFacts::start() {
    m_scheduled = false;
    const quint64 generation = m_generation;
    const QList<MediaFile> snapshot = m_manager.mediaFiles(); // shared, not copied
    const qint64 mediaVersion = m_manager.mediaFilesVersion();
    const qint64 binVersion = m_manager.recycleBinVersion();
    QPointer<WindowFacts> self(this);
    const CleanupOperations* operations = &m_operations;
    (void)QtConcurrent::run(
        &m_pool, [self, snapshot, operations, generation, mediaVersion, binVersion, alive = m_alive] {
            if (!*alive)
                return;
            Facts facts = compute(snapshot, *operations);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, facts = std::move(facts), generation, mediaVersion, binVersion]() mutable {
                    // Facts of a list that is no more, or the facts replaced, may hold the last
                    // copy of 400,000 unused records.
                    if (!self || generation != self->m_generation) {
                        memory::releaseLater(std::move(facts));
                        return;
                    }
                    memory::releaseLater(std::exchange(self->m_facts, std::move(facts)));
                    self->m_doneGeneration = generation;
                    self->m_mediaVersion = mediaVersion;
                    self->m_binVersion = binVersion;
                    Q_EMIT self->updated();
                },
                Qt::QueuedConnection);
        });
}

} // namespace tarnwick
