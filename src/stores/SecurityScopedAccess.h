#pragma once

#include "stores/StoreFile.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <atomic>
#include <memory>
#include <optional>

namespace tarnwick {

class AccessGrantBackend;

// Saved grants to the drives and folders the user chose ("granted_bookmarks.json"), restored at
// launch; file-reading code reaches a file through the granted root that covers it.
// Thread-safe: grantedRoot() and ensureAccess() may be called from any thread. A grant changes the
// grants in memory at once; the file is written on a writer thread of its own, once for a burst of
// grants (hundreds of dropped projects must not each rewrite and sync it on the caller's thread).
class SecurityScopedAccess {
public:
    static SecurityScopedAccess& shared();
    // Whether the process runs sandboxed ("APP_SANDBOX_CONTAINER_ID" set), determined once.
    static bool isSandboxed();

    // Loads "granted_bookmarks.json" from `folder`; `sandboxed` drives the sandbox branches.
    SecurityScopedAccess(const QString& folder, std::shared_ptr<AccessGrantBackend> backend, bool sandboxed);
    // Waits for the last save.
    ~SecurityScopedAccess();
    SecurityScopedAccess(const SecurityScopedAccess&) = delete;
    SecurityScopedAccess& operator=(const SecurityScopedAccess&) = delete;

    // True when the item can be used (an item chosen in an open panel, dropped or picked).
    bool grant(const QUrl& url);
    // Grants each in order; returns those that failed, in order (to name them to the user).
    QList<QUrl> grant(const QList<QUrl>& urls);
    // Once, when launch has finished.
    void restoreGrants();
    // Waits until the grants made so far are on disk (on the way out, and for tests).
    void flush();

    // The key path of the longest granted root covering `path` (letter case ignored).
    std::optional<QString> grantedRoot(const QString& path) const;
    // The longest of `roots` covering `path` (equal, or a prefix followed by "/"), letter case ignored;
    // among equally long roots the first in `roots` wins.
    static std::optional<QString> longestCoveringRoot(const QStringList& roots, const QString& path);
    // The URL to open `path` through so that its root's access applies; absent: open the plain
    // file URL. Rewrites only when the root matches exactly or names the same file on disk.
    std::optional<QUrl> ensureAccess(const QString& path) const;

    bool sandboxed() const { return m_sandboxed; }
    const QString& fileName() const { return m_file.path(); }
    bool fileWasDamaged() const;
    // Key paths with stored bookmarks, and with access started in this run.
    QStringList bookmarkedPaths() const;
    QStringList sessionPaths() const;

    // Symbolic links resolved, standardised.
    static QString keyPath(const QString& path);

private:
    void load();
    // `stored`: whether a bookmark was kept (the file then needs a save).
    bool grantOne(const QUrl& url, bool& stored);
    // Queues a save unless one is queued and not yet started: that one will see these changes too.
    void scheduleSave();
    void saveNow();
    void storeGrantLocked(const QString& key, const QByteArray& bookmark, const QUrl& url, bool held);
    std::optional<QUrl> sessionURL(const QString& key) const;

    mutable QMutex m_lock;
    mutable QMutex m_fileLock; // the file is read at construction, then written by the writer only
    StoreFile m_file;
    std::shared_ptr<AccessGrantBackend> m_backend;
    bool m_sandboxed = false;
    QHash<QString, QByteArray> m_bookmarks;
    QHash<QString, QUrl> m_sessionURLs;
    std::atomic<bool> m_saveQueued{false};
    QThreadPool m_writer; // last: it is stopped before the state its saves read
};

} // namespace tarnwick
