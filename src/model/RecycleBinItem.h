#pragma once

#include "model/FreshId.h"
#include "model/MediaFile.h"

#include <QDateTime>
#include <QUuid>

namespace tarnwick {

// A media file staged for clean-up: a copy taken when staged, with the time it was added. The copy
// keeps the use the file had when the user staged it.
struct RecycleBinItem {
    QUuid id = freshId();
    MediaFile mediaFile;
    QDateTime addedAt = QDateTime::currentDateTimeUtc();
};

// Whether `live` (the file's entry now) is used in a way the staged copy was not: more occurrences,
// a timeline it was not on, or After Effects use. A file staged knowingly while used is acted on;
// one that became used, or more used, since it was staged is kept.
bool useGrewSinceStaged(const MediaFile& staged, const MediaFile& live);

} // namespace tarnwick
