#pragma once

#include "analysis/ProtectedFolderRule.h"
#include "model/MediaFile.h"

#include <QFutureWatcher>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <memory>

class QThreadPool;

namespace tarnwick {

class FileOperations;
class LowerPathCache;

// What the protected flags need of the disk, so that refreshing the flags of 100,000 entries stats
// nothing on the GUI thread: each entry's location with its links resolved is made on a worker and
// kept with the entry's other path keys (MediaPathKeys) while its location is unchanged; the
// folders, being few, are resolved at each refresh. GUI thread only, but the static functions.
class CanonicalLocations {
public:
    struct Location {
        QUuid id;
        QString location;       // as the entry names it: matchedPath, else path
        QString lowerCanonical; // see MediaPathKeys::lowerCanonicalLocation
    };
    using Locations = QList<Location>;

    CanonicalLocations();
    ~CanonicalLocations();
    CanonicalLocations(const CanonicalLocations&) = delete;
    CanonicalLocations& operator=(const CanonicalLocations&) = delete;

    static const QString& locationOf(const MediaFile& file) {
        return file.matchedPath ? *file.matchedPath : file.path;
    }
    // Any thread; one canonical lookup per distinct folder. `request` holds id and location.
    static Locations resolve(Locations request, const FileOperations& files);
    // Resolves every entry of the list into `keys` (making the keys an entry lacks).
    static void resolveInto(LowerPathCache& keys, const QList<MediaFile>& mediaFiles,
                            const FileOperations& files);

    // The rule for these folders, their resolved forms included (a stat per folder).
    ProtectedFolderRule ruleFor(const QStringList& folders) const;

    // Resolves the request on `pool`, then calls `done` with the result on this thread, one
    // event-loop turn later. A request made while one runs is dropped: the refresh that `done`
    // runs asks again for what is still missing.
    void resolveLater(Locations request, QThreadPool* pool, std::function<void(const Locations&)> done);
    bool isResolving() const { return m_resolving; }

private:
    std::shared_ptr<FileOperations> m_files;
    std::unique_ptr<QFutureWatcher<Locations>> m_watcher;
    std::function<void(const Locations&)> m_done;
    bool m_resolving = false;
};

} // namespace tarnwick
