#pragma once

#include "analysis/ProtectedFolderRule.h"
#include "model/MediaFile.h"

#include <QFutureWatcher>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <memory>
#include <utility>

class QThreadPool;

namespace tarnwick {

class FileOperations;

// The protected-folder rule of the media list and what it needs of the disk, so that refreshing
// the flags of 100,000 entries stats nothing on the GUI thread: each entry's canonical location
// (links resolved) is made on a worker and kept while the entry's location is unchanged; the
// folders, being few, are resolved at each refresh. GUI thread only, but resolve().
class CanonicalLocations {
public:
    struct Key {
        QString source;         // the location the key was made from (matchedPath, else path)
        QString lowerCanonical; // lower-cased; empty when it equals the lexical form or did not resolve
    };
    using Keys = QHash<QUuid, Key>;
    using Request = QList<std::pair<QUuid, QString>>; // entry id, its location

    CanonicalLocations();
    ~CanonicalLocations();
    CanonicalLocations(const CanonicalLocations&) = delete;
    CanonicalLocations& operator=(const CanonicalLocations&) = delete;

    static const QString& locationOf(const MediaFile& file) {
        return file.matchedPath ? *file.matchedPath : file.path;
    }
    // Any thread; one canonical lookup per distinct folder.
    static Keys resolve(const Request& request, const FileOperations& files);
    static Keys resolve(const QList<MediaFile>& mediaFiles, const FileOperations& files);

    // The rule for these folders, their resolved forms included (a stat per folder).
    ProtectedFolderRule ruleFor(const QStringList& folders) const;
    // The key made for the entry's current location; null when there is none yet.
    const Key* find(const MediaFile& file) const;
    // Adds keys made elsewhere.
    void adopt(Keys keys);
    // Takes over keys made for the whole list; `keys` receives the previous ones.
    void swapKeys(Keys& keys) { m_keys.swap(keys); }

    // Resolves the request on `pool`, adopts the keys and calls `done` on this thread. A request
    // made while one runs is dropped: `done` runs the refresh that asks again for what is missing.
    void resolveLater(Request request, QThreadPool* pool, std::function<void()> done);
    bool isResolving() const { return m_resolving; }

private:
    std::shared_ptr<FileOperations> m_files;
    Keys m_keys;
    std::unique_ptr<QFutureWatcher<Keys>> m_watcher;
    std::function<void()> m_done;
    bool m_resolving = false;
};

} // namespace tarnwick
