#pragma once

#include <QString>
#include <QtGlobal>

namespace tarnwick {

// A move to a folder as the window follows it; the run publishes it a few times a second, and the
// window's Cancel sets cancelMoveRequested.
struct MoveProgress {
    bool isMoveInProgress = false;
    double moveProgressFraction = 0;
    QString moveCurrentFile;
    qint64 moveBytesCompleted = 0;
    qint64 moveTotalBytes = 0;
    double moveMBps = 0;
    qint64 moveFilesCompleted = 0;
    qint64 moveTotalFiles = 0;
    bool cancelMoveRequested = false;

    friend bool operator==(const MoveProgress&, const MoveProgress&) = default;
};

} // namespace tarnwick
