#pragma once

#include "model/StorageType.h"

#include <QString>

#include <memory>
#include <optional>

namespace tarnwick {

class MountTable;
struct FileFacts;

// Classifies where a path lives: one of four cloud folders by its name, else network or local by
// the file system its device belongs to. Logs what it detects; caches nothing.
class StorageTypeDetector {
public:
    // Null mount table: every present file is local.
    explicit StorageTypeDetector(std::shared_ptr<const MountTable> mountTable);

    // `facts`: the path's stat(2), absent when the path could not be reached.
    StorageType detect(const QString& path, const std::optional<FileFacts>& facts) const;

    // The cloud folder named in the path, if any (no logging).
    static std::optional<StorageType> cloudTypeFromName(const QString& path);

private:
    std::shared_ptr<const MountTable> m_mountTable;
};

} // namespace tarnwick
