#include "analysis/StorageTypeDetector.h"

#include "platform/AppLog.h"
#include "platform/FileStatProbe.h"
#include "platform/MountTable.h"

#include <array>
#include <string_view>

namespace tarnwick {

namespace {

struct CloudFragment {
    std::u16string_view fragment;
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

// The characters a fragment begins with (all ASCII): any other character of a path is passed over.
constexpr std::array<bool, 128> fragmentStarts = [] {
    std::array<bool, 128> starts{};
    for (const CloudFragment& cloud : cloudFragments)
        starts[cloud.fragment.front()] = true;
    return starts;
}();

char16_t folded(char16_t c) {
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
    return QChar::toCaseFolded(c); // a few others fold to ASCII letters (U+017F to "s")
}

bool foldedMatchAt(QStringView path, qsizetype at, std::u16string_view fragment) {
    if (path.size() - at < qsizetype(fragment.size()))
        return false;
    for (std::size_t k = 0; k < fragment.size(); ++k) {
        if (folded(path[at + qsizetype(k)].unicode()) != fragment[k])
            return false;
    }
    return true;
}

// The first fragment in the list's order found anywhere in the path, letter case ignored as a
// case-insensitive contains() ignores it; one pass over the path rather than one per fragment,
// as it runs for every path a scan checks.
const CloudFragment* cloudFragmentIn(const QString& path) {
    std::size_t first = cloudFragments.size();
    for (qsizetype at = 0; at < path.size() && first > 0; ++at) {
        const char16_t c = folded(path[at].unicode());
        if (c >= fragmentStarts.size() || !fragmentStarts[c])
            continue;
        for (std::size_t f = 0; f < first; ++f) {
            const std::u16string_view fragment = cloudFragments[f].fragment;
            if (fragment.front() == c && foldedMatchAt(path, at, fragment))
                first = f;
        }
    }
    return first < cloudFragments.size() ? &cloudFragments[first] : nullptr;
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
