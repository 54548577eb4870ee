#pragma once

#include "platform/AccessGrantBackend.h"

#include <QFileInfo>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

namespace tarnwick {

// Bookmarks are "fake:" + path; each failure is switched on per path. Existence comes from the
// real disk unless `missing` names the path.
class FakeAccessGrantBackend : public AccessGrantBackend {
public:
    QSet<QString> deniedStart;   // startAccessing fails
    QSet<QString> bookmarkFails; // createBookmark fails
    QSet<QString> stale;         // resolves as stale
    QSet<QString> unreadable;    // isReadable false
    QSet<QString> missing;       // exists false
    QList<QString> started;
    QList<QString> stopped;
    int bookmarksCreated = 0;

    static QByteArray dataFor(const QString& path) { return "fake:" + path.toUtf8(); }

    Bookmark createBookmark(const QUrl& url) override {
        const QString path = url.toLocalFile();
        if (bookmarkFails.contains(path))
            return {std::nullopt, QStringLiteral("The file couldn't be opened.")};
        ++bookmarksCreated;
        return {dataFor(path), {}};
    }
    std::optional<Resolved> resolveBookmark(const QByteArray& data) override {
        if (!data.startsWith("fake:"))
            return std::nullopt;
        const QString path = QString::fromUtf8(data.mid(5));
        return Resolved{QUrl::fromLocalFile(path), stale.contains(path)};
    }
    bool startAccessing(const QUrl& url) override {
        const QString path = url.toLocalFile();
        if (deniedStart.contains(path))
            return false;
        started.append(path);
        return true;
    }
    void stopAccessing(const QUrl& url) override { stopped.append(url.toLocalFile()); }
    bool isReadable(const QString& path, bool) override { return !unreadable.contains(path); }
    bool exists(const QString& path, bool* isFolder) override {
        const QFileInfo info(path);
        if (isFolder)
            *isFolder = info.isDir();
        return !missing.contains(path) && info.exists();
    }
};

} // namespace tarnwick
