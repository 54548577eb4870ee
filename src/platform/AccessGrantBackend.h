#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace tarnwick {

// Persistent access grants to files and folders chosen by the user (bookmarks). On Linux a
// bookmark records the path with its device and inode; access needs no starting or stopping.
class AccessGrantBackend {
public:
    struct Bookmark {
        std::optional<QByteArray> data; // absent when it could not be created
        QString errorDescription;       // why not, for the log
    };
    struct Resolved {
        QUrl url;
        bool stale = false; // the recorded file was replaced since the bookmark was made
    };

    virtual ~AccessGrantBackend() = default;

    virtual Bookmark createBookmark(const QUrl& url) = 0;
    // Absent only when the data cannot be decoded: a bookmark of an unmounted drive resolves.
    virtual std::optional<Resolved> resolveBookmark(const QByteArray& data) = 0;
    virtual bool startAccessing(const QUrl& url) = 0;
    virtual void stopAccessing(const QUrl& url) = 0;
    // A folder must list its contents; anything else must be readable.
    virtual bool isReadable(const QString& path, bool isFolder) = 0;
    virtual bool exists(const QString& path, bool* isFolder) = 0;

    // The backend of this platform.
    static std::shared_ptr<AccessGrantBackend> platformDefault();
};

} // namespace tarnwick
