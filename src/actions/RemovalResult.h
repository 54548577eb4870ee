#pragma once

#include "model/RecycleBinItem.h"

#include <QList>
#include <QStringList>

namespace tarnwick {

// The outcome of a Trash or permanent-deletion run over the bin.
struct RemovalResult {
    qint64 deleted = 0;
    qint64 failed = 0;
    QStringList errors;                // one per failed file, in bin order
    QList<RecycleBinItem> failedItems; // the items that stayed in the bin, in bin order
};

} // namespace tarnwick
