#include "platform/LinuxAccessGrantBackend.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <dirent.h>
#include <sys/stat.h>

namespace tarnwick {

namespace {

struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
};

std::optional<FileIdentity> identityOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)};
}

} // namespace

std::shared_ptr<AccessGrantBackend> AccessGrantBackend::platformDefault() {
    return std::make_shared<LinuxAccessGrantBackend>();
}

AccessGrantBackend::Bookmark LinuxAccessGrantBackend::createBookmark(const QUrl& url) {
    if (!url.isLocalFile())
        return {std::nullopt, QStringLiteral("Not a local file: ") + url.toString()};
    const QString path = url.toLocalFile();
    if (!QDir::isAbsolutePath(path))
        return {std::nullopt, QStringLiteral("Not an absolute path: ") + path};

    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    const auto identity = identityOf(path);
    out << magic << version << path << identity.has_value();
    if (identity)
        out << identity->device << identity->inode;
    return {data, {}};
}

std::optional<AccessGrantBackend::Resolved> LinuxAccessGrantBackend::resolveBookmark(const QByteArray& data) {
    QDataStream in(data);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 readMagic = 0;
    quint8 readVersion = 0;
    QString path;
    bool hasIdentity = false;
    FileIdentity recorded;
    in >> readMagic >> readVersion;
    if (in.status() != QDataStream::Ok || readMagic != magic || readVersion != version)
        return std::nullopt;
    in >> path >> hasIdentity;
    if (hasIdentity)
        in >> recorded.device >> recorded.inode;
    if (in.status() != QDataStream::Ok || !in.atEnd() || !QDir::isAbsolutePath(path))
        return std::nullopt;

    // A missing path (unmounted drive) is not stale: the grant waits for the drive.
    const auto current = identityOf(path);
    const bool stale =
        current && (!hasIdentity || current->device != recorded.device || current->inode != recorded.inode);
    return Resolved{QUrl::fromLocalFile(path), stale};
}

bool LinuxAccessGrantBackend::startAccessing(const QUrl&) {
    return true;
}

void LinuxAccessGrantBackend::stopAccessing(const QUrl&) {}

bool LinuxAccessGrantBackend::isReadable(const QString& path, bool isFolder) {
    if (isFolder) {
        DIR* dir = ::opendir(QFile::encodeName(path).constData());
        if (!dir)
            return false;
        ::closedir(dir);
        return true;
    }
    return QFileInfo(path).isReadable();
}

bool LinuxAccessGrantBackend::exists(const QString& path, bool* isFolder) {
    const QFileInfo info(path);
    if (isFolder)
        *isFolder = info.isDir();
    return info.exists();
}

} // namespace tarnwick
