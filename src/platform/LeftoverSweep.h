#pragma once

#include "platform/FileOperations.h"

#include <QByteArray>
#include <QMutex>
#include <QSet>
#include <QString>

namespace tarnwick {

// Sweeps this program's abandoned temporaries out of the folders an operation touches, whatever
// operation left them: the copies of moves between devices and transcode outputs, with their marks'
// sidecars, and the claims and notes of renames and moves a kill stopped (a claim first: it holds a
// destination's name). Only a name made like one of ours that carries our mark (a transcode output
// under the very name it was made with) goes, and only once its writer is gone: FileOperations::
// removeLeftover decides and logs. A folder costs one read of its names.
class LeftoverSweep {
public:
    // The first call for `folder` on this instance sweeps it; later ones do nothing. One instance
    // per run; calls may come from any thread.
    void sweep(FileOperations& files, const QString& folder);

    // Sweeps `folder` now.
    static void sweepFolder(FileOperations& files, const QString& folder);

    // What a transcode output's mark says: the source it is made from and its own name, so that a
    // file renamed into place just before a crash (marked under another name) is no leftover.
    static QByteArray transcodeSubject(const FileIdentity& source, const QString& name);

private:
    QMutex m_mutex;
    QSet<QString> m_swept;
};

} // namespace tarnwick
