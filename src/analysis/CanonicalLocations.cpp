#include "analysis/CanonicalLocations.h"

#include "analysis/LowerPathCache.h"
#include "platform/FileOperations.h"
#include "platform/PathText.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace tarnwick {

namespace {

// Folders are shared by many files: one canonical lookup each.
class ParentResolver {
public:
    explicit ParentResolver(const FileOperations& files) : m_files(files) {}

    CanonicalLocations::Key keyFor(const QString& location) {
        CanonicalLocations::Key key{location, {}};
        const QString standardized = ProtectedFolderRule::standardizedLocation(location);
        if (standardized.isEmpty())
            return key;
        const QString parent = path::deletingLastPathComponent(standardized);
        auto cached = m_parents.constFind(parent);
        if (cached == m_parents.cend())
            cached = m_parents.insert(parent, m_files.canonicalPath(parent));
        const QString canonical = ProtectedFolderRule::canonicalLocation(standardized, *cached);
        if (!canonical.isEmpty() && canonical != standardized)
            key.lowerCanonical = LowerPathCache::lowerKey(canonical);
        return key;
    }

private:
    const FileOperations& m_files;
    QHash<QString, QString> m_parents;
};

} // namespace

CanonicalLocations::CanonicalLocations() : m_files(FileOperations::system()) {}

CanonicalLocations::~CanonicalLocations() = default;

CanonicalLocations::Keys CanonicalLocations::resolve(const Request& request, const FileOperations& files) {
    ParentResolver resolver(files);
    Keys keys;
    keys.reserve(request.size());
    for (const auto& [id, location] : request)
        keys.insert(id, resolver.keyFor(location));
    return keys;
}

CanonicalLocations::Keys CanonicalLocations::resolve(const QList<MediaFile>& mediaFiles,
                                                     const FileOperations& files) {
    ParentResolver resolver(files);
    Keys keys;
    keys.reserve(mediaFiles.size());
    for (const MediaFile& file : mediaFiles)
        keys.insert(file.id, resolver.keyFor(locationOf(file)));
    return keys;
}

ProtectedFolderRule CanonicalLocations::ruleFor(const QStringList& folders) const {
    // A few folders: resolved each time, so a link made or changed since counts, as it does for
    // the clean-up actions.
    return ProtectedFolderRule(folders, ProtectedFolderRule::resolvedForms(folders, *m_files));
}

const CanonicalLocations::Key* CanonicalLocations::find(const MediaFile& file) const {
    const auto found = m_keys.constFind(file.id);
    if (found == m_keys.cend() || found->source != locationOf(file))
        return nullptr;
    return &found.value();
}

void CanonicalLocations::adopt(Keys keys) {
    if (m_keys.isEmpty()) {
        m_keys.swap(keys);
        return;
    }
    for (auto it = keys.begin(); it != keys.end(); ++it)
        m_keys.insert(it.key(), std::move(it.value()));
}

void CanonicalLocations::resolveLater(Request request, QThreadPool* pool, std::function<void()> done) {
    if (m_resolving || request.isEmpty())
        return;
    if (!m_watcher) {
        m_watcher = std::make_unique<QFutureWatcher<Keys>>();
        QObject::connect(m_watcher.get(), &QFutureWatcherBase::finished, m_watcher.get(), [this] {
            m_resolving = false;
            adopt(m_watcher->result());
            // A turn later, so that a new request does not restart the watcher inside its own signal.
            QMetaObject::invokeMethod(m_watcher.get(), m_done, Qt::QueuedConnection);
        });
    }
    m_done = std::move(done);
    m_resolving = true;
    m_watcher->setFuture(QtConcurrent::run(
        pool, [request = std::move(request), files = m_files] { return resolve(request, *files); }));
}

} // namespace tarnwick
