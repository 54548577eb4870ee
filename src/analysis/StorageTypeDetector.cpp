#include "analysis/StorageTypeDetector.h"

#include "platform/AppLog.h"
#include "platform/FileStatProbe.h"
#include "platform/MountTable.h"

#include <array>

namespace tarnwick {

namespace {

struct CloudFragment {
    const char16_t* fragment;
    StorageType type; // its text names the provider
};

constexpr std::array<CloudFragment, 7> cloudFragments{{
    {u"/dropbox/", StorageType::dropbox},
    {u"dropbox.app", StorageType::dropbox},
    {u"/google drive/", StorageType::googleDrive},
    {u"googledrive", StorageType::googleDrive},
    {u"/icloud", StorageType::iCloud},
    {u"mobile documents", StorageType::iCloud},
    {u"/onedrive/", StorageType::oneDrive},
}};

// The fragments are ASCII, so a case-insensitive search finds what lower-casing the path would.
const CloudFragment* cloudFragmentIn(const QString& path) {
    for (const CloudFragment& cloud : cloudFragments) {
        if (path.contains(QStringView(cloud.fragment), Qt::CaseInsensitive))
            return &cloud;
    }
    return nullptr;
}

} // namespace

StorageTypeDetector::StorageTypeDetector(std::shared_ptr<const MountTable> mountTable)
    : m_mountTable(std::move(mountTable)) {}

std::optional<StorageType> StorageTypeDetector::cloudTypeFromName(const QString& path) {
    if (const CloudFragment* cloud = cloudFragmentIn(path))
        return cloud->type;
    return std::nullopt;
}

StorageType StorageTypeDetector::detect(const QString& path, const std::optional<FileFacts>& facts) const {
    if (const CloudFragment* cloud = cloudFragmentIn(path)) {
        AppLog::cloudDriveDetected(path, text(cloud->type));
        return cloud->type;
    }
    // Network shares are mounted anywhere on Linux, so every absolute path is asked about.
    if (!path.startsWith(QLatin1Char('/')))
        return StorageType::local;
    if (!facts) {
        AppLog::debug(QStringLiteral("statfs failed for ") + path +
                      QStringLiteral(", using heuristic detection"));
        return StorageType::local;
    }
    const MountEntry* mount = m_mountTable ? m_mountTable->entryForDevice(facts->device) : nullptr;
    // Devices of btrfs subvolumes and overlays are not in the table: the longest mount point decides.
    if (!mount && m_mountTable)
        mount = m_mountTable->entryForPath(path);
    if (mount && MountTable::isNetworkFileSystem(mount->fileSystemType)) {
        AppLog::networkDriveDetected(path, mount->fileSystemType);
        return StorageType::network;
    }
    return StorageType::local;
}

} // namespace tarnwick
