#pragma once

#include "readers/AEPParser.h"

#include <QDateTime>
#include <QtGlobal>

#include <optional>

namespace tarnwick {

// One remembered parse of an After Effects project, valid while the file's size and modification
// date are unchanged.
struct CachedAEPParse {
    std::optional<qint64> fileSize;
    std::optional<QDateTime> modificationDate;
    AEPParser::ParseResult result;
};

} // namespace tarnwick
