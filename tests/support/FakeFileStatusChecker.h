#pragma once

#include "analysis/FileStatusChecking.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

namespace tarnwick::testing {

// A status check without disk access: each path answers what the test set for it, `offline`
// otherwise. Thread-safe; remembers which paths were asked and on which threads.
class FakeFileStatusChecker : public FileStatusChecking {
public:
    void setOnline(const QString& path, qint64 size, StorageType storage = StorageType::local) {
        set(path, {path, MediaFileStatus::online, path, size, storage});
    }
    void setMatching(const QString& path, const QString& foundAt, qint64 size) {
        set(path, {path, MediaFileStatus::matching, foundAt, size, StorageType::local});
    }
    void set(const QString& path, const FileStatusResult& result) {
        QMutexLocker lock(&m_mutex);
        m_results.insert(path, result);
    }
    // Runs inside every check (e.g. to block until the test lets the checks go on).
    void setHook(std::function<void(const QString&)> hook) { m_hook = std::move(hook); }

    FileStatusResult makeFileStatusResult(const QString& path, const RelativeCandidates& candidates,
                                          const Options& options) const override {
        if (m_hook)
            m_hook(path);
        ++m_calls;
        QMutexLocker lock(&m_mutex);
        m_asked.insert(path);
        m_threads.insert(QThread::currentThread());
        m_lastIgnoreFileExtension = options.ignoreFileExtension;
        if (auto found = m_results.constFind(path); found != m_results.cend())
            return found.value();
        for (const QString& alternate : candidates.value(relativeCandidateKey(path))) {
            if (alternate == path)
                continue;
            if (auto found = m_results.constFind(alternate); found != m_results.cend())
                return {path, MediaFileStatus::matching, alternate, found->size, StorageType::local};
        }
        return {path, MediaFileStatus::offline, path, 0, StorageType::local};
    }

    int calls() const { return m_calls.load(); }
    QSet<QString> asked() const {
        QMutexLocker lock(&m_mutex);
        return m_asked;
    }
    bool ranOnlyOffThread(const QThread* gui) const {
        QMutexLocker lock(&m_mutex);
        return !m_threads.isEmpty() && !m_threads.contains(const_cast<QThread*>(gui));
    }
    bool lastIgnoreFileExtension() const {
        QMutexLocker lock(&m_mutex);
        return m_lastIgnoreFileExtension;
    }

private:
    mutable QMutex m_mutex;
    QHash<QString, FileStatusResult> m_results;
    std::function<void(const QString&)> m_hook;
    mutable std::atomic<int> m_calls{0};
    mutable QSet<QString> m_asked;
    mutable QSet<QThread*> m_threads;
    mutable bool m_lastIgnoreFileExtension = false;
};

} // namespace tarnwick::testing
