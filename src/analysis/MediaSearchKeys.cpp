#include "analysis/MediaSearchKeys.h"

#include "analysis/LowerPathCache.h"
#include "platform/PathText.h"

#include <QHash>

namespace tarnwick {

MediaSearchKeys MediaSearchKeys::make(const QList<MediaFile>& files) {
    MediaSearchKeys keys;
    QHash<QString, qint32> folderIndex;
    keys.nameStart.reserve(size_t(files.size()) + 1);
    keys.folderOfRow.reserve(size_t(files.size()));
    for (const MediaFile& f : files) {
        const QString lowerPath = LowerPathCache::lowerKey(f.path);
        keys.nameStart.push_back(keys.names.size());
        keys.names.append(path::lastPathComponent(lowerPath));
        const QString folder = path::deletingLastPathComponent(lowerPath);
        auto found = folderIndex.constFind(folder);
        if (found == folderIndex.cend()) {
            found = folderIndex.insert(folder, qint32(keys.folders.size()));
            keys.folders.append(folder);
        }
        keys.folderOfRow.push_back(found.value());
    }
    keys.nameStart.push_back(keys.names.size());
    return keys;
}

} // namespace tarnwick
