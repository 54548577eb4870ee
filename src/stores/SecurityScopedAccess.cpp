#include "stores/SecurityScopedAccess.h"

#include "platform/AccessGrantBackend.h"
#include "platform/AppLog.h"
#include "platform/IdleThreads.h"
#include "platform/JsonForm.h"
#include "platform/PathText.h"
#include "platform/SandboxEnvironment.h"
#include "platform/StoreFolder.h"
#include "platform/ThreadNames.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QMutexLocker>

#include <sys/stat.h>

#include <utility>

namespace tarnwick {

namespace {

QString flagText(bool flag) {
    return flag ? QStringLiteral("true") : QStringLiteral("false");
}

bool sameFileOnDisk(const QString& a, const QString& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(QFile::encodeName(a).constData(), &first) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

QUrl appendingComponents(QUrl url, const QString& relative) {
    QString path = url.path();
    const QStringList pieces = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& piece : pieces)
        path = path::appendingPathComponent(path, piece);
    url.setPath(path);
    return url;
}

} // namespace

SecurityScopedAccess& SecurityScopedAccess::shared() {
    static SecurityScopedAccess instance(storeFolder(), AccessGrantBackend::platformDefault(), isSandboxed());
    return instance;
}

bool SecurityScopedAccess::isSandboxed() {
    return sandbox::isSandboxed();
}

SecurityScopedAccess::SecurityScopedAccess(const QString& folder, std::shared_ptr<AccessGrantBackend> backend,
                                           bool sandboxed)
    : m_file(QDir(folder).filePath(QStringLiteral("granted_bookmarks.json"))), m_backend(std::move(backend)),
      m_sandboxed(sandboxed) {
    m_writer.setMaxThreadCount(1);
    m_writer.setExpiryTimeout(idleThreadExpiryMs);
    nameThreads(m_writer, "GrantWriter");
    QDir().mkpath(folder);
    load();
}

SecurityScopedAccess::~SecurityScopedAccess() {
    flush();
}

bool SecurityScopedAccess::fileWasDamaged() const {
    QMutexLocker locker(&m_fileLock);
    return m_file.wasDamaged();
}

QString SecurityScopedAccess::keyPath(const QString& path) {
    return path::resolvingSymlinksInPath(path);
}

void SecurityScopedAccess::load() {
    const auto read = m_file.readObject();
    if (!read)
        return;
    QHash<QString, QByteArray> bookmarks;
    const QJsonObject& object = *read;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const auto decoded = it.value().isString()
                                 ? QByteArray::fromBase64Encoding(it.value().toString().toLatin1(),
                                                                  QByteArray::AbortOnBase64DecodingErrors)
                                 : QByteArray::FromBase64Result{};
        if (!it.value().isString() || !decoded) {
            m_file.markDamaged();
            return;
        }
        bookmarks.insert(it.key(), *decoded);
    }
    m_bookmarks = std::move(bookmarks);
}

void SecurityScopedAccess::scheduleSave() {
    if (m_saveQueued.exchange(true))
        return;
    m_writer.start([this] { saveNow(); });
}

void SecurityScopedAccess::saveNow() {
    // Cleared before the grants are read: a grant made from here on queues a save of its own.
    m_saveQueued = false;
    QJsonObject object;
    {
        QMutexLocker locker(&m_lock);
        for (auto it = m_bookmarks.cbegin(); it != m_bookmarks.cend(); ++it)
            object.insert(it.key(), QString::fromLatin1(it.value().toBase64()));
    }
    const QByteArray bytes = json::encode(object);
    QMutexLocker locker(&m_fileLock);
    m_file.write(bytes);
}

void SecurityScopedAccess::flush() {
    m_writer.waitForDone();
}

bool SecurityScopedAccess::grant(const QUrl& url) {
    bool stored = false;
    const bool granted = grantOne(url, stored);
    if (stored)
        scheduleSave();
    return granted;
}

bool SecurityScopedAccess::grantOne(const QUrl& url, bool& stored) {
    const QString path = url.toLocalFile();
    bool isFolder = false;
    const bool exists = m_backend->exists(path, &isFolder);
    const QString key = keyPath(path);
    const bool held = m_backend->startAccessing(url);
    if (m_sandboxed && !held) {
        AppLog::error(QStringLiteral("Security-scoped access was denied for ") + key);
        return false;
    }
    const AccessGrantBackend::Bookmark bookmark = m_backend->createBookmark(url);
    if (!bookmark.data) {
        if (held)
            m_backend->stopAccessing(url);
        AppLog::info(QStringLiteral("Bookmark not created for ") + key + QStringLiteral(" (sandboxed=") +
                     flagText(m_sandboxed) + QStringLiteral("): ") + bookmark.errorDescription);
        return !m_sandboxed;
    }
    if (m_sandboxed && !(exists && m_backend->isReadable(path, isFolder))) {
        m_backend->stopAccessing(url);
        AppLog::error(QStringLiteral("Granted item is not readable: ") + key);
        return false;
    }
    {
        QMutexLocker locker(&m_lock);
        storeGrantLocked(key, *bookmark.data, url, held);
    }
    stored = true;
    if (m_sandboxed)
        AppLog::info(QStringLiteral("Grant for ") + key + QStringLiteral(": held=") + flagText(held) +
                     QStringLiteral(", readable=true"));
    return true;
}

void SecurityScopedAccess::storeGrantLocked(const QString& key, const QByteArray& bookmark, const QUrl& url,
                                            bool held) {
    m_bookmarks.insert(key, bookmark);
    const auto older = m_sessionURLs.constFind(key);
    if (older != m_sessionURLs.cend() && *older != url) {
        m_backend->stopAccessing(*older);
        // A URL whose access was stopped must not be handed out again.
        if (!held)
            m_sessionURLs.remove(key);
    }
    if (held)
        m_sessionURLs.insert(key, url);
}

QList<QUrl> SecurityScopedAccess::grant(const QList<QUrl>& urls) {
    QList<QUrl> failed;
    bool anyStored = false;
    for (const QUrl& url : urls) {
        bool stored = false;
        if (!grantOne(url, stored))
            failed.append(url);
        anyStored = anyStored || stored;
    }
    if (anyStored)
        scheduleSave();
    return failed;
}

void SecurityScopedAccess::restoreGrants() {
    QHash<QString, QByteArray> bookmarks;
    {
        QMutexLocker locker(&m_lock);
        bookmarks = m_bookmarks;
    }
    int restored = 0;
    bool changed = false;
    for (auto it = bookmarks.cbegin(); it != bookmarks.cend(); ++it) {
        const QString& key = it.key();
        const auto resolved = m_backend->resolveBookmark(it.value());
        if (!resolved) {
            AppLog::error(QStringLiteral("Could not resolve bookmark for ") + key +
                          QStringLiteral("; dropping"));
            QMutexLocker locker(&m_lock);
            m_bookmarks.remove(key);
            changed = true;
            continue;
        }
        const bool held = m_backend->startAccessing(resolved->url);
        if (!held && m_sandboxed) {
            AppLog::error(QStringLiteral("startAccessingSecurityScopedResource denied for ") + key);
            continue;
        }
        if (held && m_sandboxed) {
            const QString path = resolved->url.toLocalFile();
            bool isFolder = false;
            if (!(m_backend->exists(path, &isFolder) && m_backend->isReadable(path, isFolder))) {
                m_backend->stopAccessing(resolved->url);
                AppLog::error(QStringLiteral("Restored grant is not currently readable for ") + key);
                continue;
            }
        }
        {
            QMutexLocker locker(&m_lock);
            m_sessionURLs.insert(key, resolved->url);
            if (resolved->stale) {
                const AccessGrantBackend::Bookmark fresh = m_backend->createBookmark(resolved->url);
                if (fresh.data) {
                    m_bookmarks.insert(key, *fresh.data);
                    changed = true;
                }
            }
        }
        ++restored;
    }
    if (changed)
        scheduleSave();
    AppLog::info(QStringLiteral("Restored ") + QString::number(restored) + QLatin1Char('/') +
                 QString::number(bookmarks.size()) + QStringLiteral(" security-scoped grant(s)"));
}

std::optional<QString> SecurityScopedAccess::grantedRoot(const QString& path) const {
    QStringList roots;
    {
        QMutexLocker locker(&m_lock);
        roots = m_sandboxed ? m_sessionURLs.keys() : m_bookmarks.keys();
    }
    // Hash order is arbitrary; sorting makes the choice among equally long roots stable.
    roots.sort();
    return longestCoveringRoot(roots, path);
}

std::optional<QString> SecurityScopedAccess::longestCoveringRoot(const QStringList& roots,
                                                                 const QString& path) {
    if (roots.isEmpty())
        return std::nullopt;
    const QString standardized = path::standardizingPath(path);
    std::optional<QString> best;
    for (const QString& root : roots) {
        const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
        const bool covers = standardized.compare(root, Qt::CaseInsensitive) == 0 ||
                            standardized.startsWith(prefix, Qt::CaseInsensitive);
        if (covers && (!best || root.size() > best->size()))
            best = root;
    }
    return best;
}

std::optional<QUrl> SecurityScopedAccess::sessionURL(const QString& key) const {
    QMutexLocker locker(&m_lock);
    const auto it = m_sessionURLs.constFind(key);
    if (it == m_sessionURLs.cend())
        return std::nullopt;
    return *it;
}

std::optional<QUrl> SecurityScopedAccess::ensureAccess(const QString& path) const {
    const auto root = grantedRoot(path);
    if (!root)
        return std::nullopt;
    const QString rootKey = keyPath(*root);
    const auto rootURL = sessionURL(rootKey);
    if (!rootURL)
        return std::nullopt;

    const QString standardRoot = path::standardizingPath(rootKey);
    const QString standardPath = path::standardizingPath(path);
    // File names are case-sensitive here: a root that matches only when letter case is ignored
    // may name another file, so rewrite only when both name the same file on disk.
    if (standardPath.compare(standardRoot, Qt::CaseInsensitive) == 0) {
        if (standardPath == standardRoot || sameFileOnDisk(standardPath, rootURL->toLocalFile()))
            return rootURL;
        return std::nullopt;
    }
    const QString prefix =
        standardRoot.endsWith(QLatin1Char('/')) ? standardRoot : standardRoot + QLatin1Char('/');
    if (!standardPath.startsWith(prefix, Qt::CaseInsensitive))
        return std::nullopt;
    const QUrl rewritten = appendingComponents(*rootURL, standardPath.mid(prefix.size()));
    if (standardPath.startsWith(prefix) || sameFileOnDisk(standardPath, rewritten.toLocalFile()))
        return rewritten;
    return std::nullopt;
}

QStringList SecurityScopedAccess::bookmarkedPaths() const {
    QMutexLocker locker(&m_lock);
    QStringList keys = m_bookmarks.keys();
    keys.sort();
    return keys;
}

QStringList SecurityScopedAccess::sessionPaths() const {
    QMutexLocker locker(&m_lock);
    QStringList keys = m_sessionURLs.keys();
    keys.sort();
    return keys;
}

} // namespace tarnwick
