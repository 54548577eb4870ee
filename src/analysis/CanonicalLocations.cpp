#include "analysis/CanonicalLocations.h"

#include "analysis/LowerPathCache.h"
#include "platform/FileOperations.h"
#include "platform/PathText.h"

#include <QHash>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace tarnwick {

namespace {

// Folders are shared by many files: one canonical lookup each.
class ParentResolver {
public:
    explicit ParentResolver(const FileOperations& files) : m_files(files) {}

    QString lowerCanonical(const QString& location) {
        const QString standardized = ProtectedFolderRule::standardizedLocation(location);
        if (standardized.isEmpty())
            return {};
        const QString parent = path::deletingLastPathComponent(standardized);
        auto cached = m_parents.constFind(parent);
        if (cached == m_parents.cend())
            cached = m_parents.insert(parent, m_files.canonicalPath(parent));
        const QString canonical = ProtectedFolderRule::canonicalLocation(standardized, *cached);
        if (canonical.isEmpty() || canonical == standardized)
            return {};
        return LowerPathCache::lowerKey(canonical);
    }

private:
    const FileOperations& m_files;
    QHash<QString, QString> m_parents;
};

} // namespace

CanonicalLocations::CanonicalLocations() : m_files(FileOperations::system()) {}

CanonicalLocations::~CanonicalLocations() = default;

CanonicalLocations::Locations CanonicalLocations::resolve(Locations request, const FileOperations& files) {
    ParentResolver resolver(files);
    for (Location& entry : request)
        entry.lowerCanonical = resolver.lowerCanonical(entry.location);
    return request;
}

void CanonicalLocations::resolveInto(LowerPathCache& keys, const QList<MediaFile>& mediaFiles,
                                     const FileOperations& files) {
    ParentResolver resolver(files);
    for (const MediaFile& file : mediaFiles) {
        keys.keys(file);
        keys.setCanonicalLocation(file.id, locationOf(file), resolver.lowerCanonical(locationOf(file)));
    }
}

ProtectedFolderRule CanonicalLocations::ruleFor(const QStringList& folders) const {
    // A few folders: resolved each time, so a link made or changed since counts, as it does for
    // the clean-up actions.
    return ProtectedFolderRule(folders, ProtectedFolderRule::resolvedForms(folders, *m_files));
}

void CanonicalLocations::resolveLater(Locations request, QThreadPool* pool,
                                      std::function<void(const Locations&)> done) {
    if (m_resolving || request.isEmpty())
        return;
    if (!m_watcher) {
        m_watcher = std::make_unique<QFutureWatcher<Locations>>();
        QObject::connect(m_watcher.get(), &QFutureWatcherBase::finished, m_watcher.get(), [this] {
            // A turn later, so that a new request does not restart the watcher inside its own signal.
            QMetaObject::invokeMethod(
                m_watcher.get(),
                [this, resolved = m_watcher->result(), done = m_done] {
                    m_resolving = false;
                    done(resolved);
                },
                Qt::QueuedConnection);
        });
    }
    m_done = std::move(done);
    m_resolving = true;
    m_watcher->setFuture(QtConcurrent::run(
        pool, [request = std::move(request), files = m_files] { return resolve(request, *files); }));
}

} // namespace tarnwick
