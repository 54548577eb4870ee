#pragma once

#include "platform/FileStatProbe.h"
#include "platform/MountTable.h"

#include <QString>

#include <memory>

namespace tarnwick::test {

// A mount table that claims the file system holding `folder` (a real temporary folder) is of
// `type`, mounted at `folder`, over a plain local root.
inline std::shared_ptr<const MountTable> fakeMountTable(const QString& folder, const QString& type) {
    QList<MountEntry> entries{{1, QStringLiteral("/"), QStringLiteral("ext4"), QStringLiteral("/dev/sda1")}};
    if (const auto facts = FileStatProbe::system()->stat(folder))
        entries.append({facts->device, folder, type, QStringLiteral("//server/share")});
    return std::make_shared<const MountTable>(entries);
}

} // namespace tarnwick::test
