#pragma once

#include "readers/AEPParser.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tarnwick {

// Size and modification time of one file from a single stat(2), compared exactly (nanoseconds).
struct AEPFileStamp {
    qint64 size = -1;                       // -1: could not be read
    std::optional<qint64> modificationTime; // nanoseconds since the epoch; none: could not be read

    // Follows links: the facts of the file the path reaches.
    static AEPFileStamp of(const QString& path);
    friend bool operator==(const AEPFileStamp&, const AEPFileStamp&) = default;
};

// One remembered parse of an After Effects project, valid while the file's size and modification
// time are unchanged.
struct CachedAEPParse {
    qint64 fileSize = -1;
    std::optional<qint64> modificationDate; // nanoseconds since the epoch
    AEPParser::ParseResult result;

    bool isValidFor(const AEPFileStamp& stamp) const {
        return fileSize == stamp.size && modificationDate == stamp.modificationTime;
    }
};

} // namespace tarnwick
