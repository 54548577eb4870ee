#pragma once

#include "platform/AccessGrantBackend.h"

namespace tarnwick {

// Bookmarks as a versioned blob: magic, version, path, and the device and inode when the path
// existed. Resolving never needs the path to exist (a drive may be unmounted); the bookmark is
// stale when the path now names another file. Access needs no starting or stopping.
class LinuxAccessGrantBackend : public AccessGrantBackend {
public:
    static constexpr quint32 magic = 0x54574142; // "TWAB"
    static constexpr quint8 version = 1;

    Bookmark createBookmark(const QUrl& url) override;
    std::optional<Resolved> resolveBookmark(const QByteArray& data) override;
    bool startAccessing(const QUrl& url) override;
    void stopAccessing(const QUrl& url) override;
    bool isReadable(const QString& path, bool isFolder) override;
    bool exists(const QString& path, bool* isFolder) override;
};

} // namespace tarnwick
