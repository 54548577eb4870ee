#pragma once

#include "model/MediaFile.h"

#include <QDateTime>
#include <QUuid>

namespace tarnwick {

// A media file staged for clean-up: a copy taken when staged, with the time it was added.
struct RecycleBinItem {
    QUuid id = QUuid::createUuid();
    MediaFile mediaFile;
    QDateTime addedAt = QDateTime::currentDateTimeUtc();
};

} // namespace tarnwick
