#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace tarnwick {

// How a volume keeps its files' times, as its file system says. FAT keeps local time to 2 s: a
// volume mounted again under another time zone, or after a daylight-saving switch, shows every
// time moved by whole quarter hours (drivers turn them with the zone's offset of the moment), and a
// FUSE FAT driver writes a rename's time to the disk. exFAT keeps local time too where its writer
// set no offset (cameras), to 10 ms (whole seconds from its FUSE driver).
struct VolumeClock {
    qint64 stepNs = 0;      // the step its times are kept to; 0: finer, or not known
    bool localTime = false; // its times move with the time zone
    bool known = false;     // the file system's type told

    // A clock of whole seconds: a file's time there tells two files of one size apart by little,
    // and after a rename proves nothing (see above).
    bool wholeSeconds() const { return stepNs >= 1'000'000'000; }

    // The clock of a file system type as the mount table names it ("vfat", "fuse.fusefat",
    // "exfat"); a FUSE block driver's ("fuseblk") by what its device `source` holds, where the
    // device database or the device itself can be read.
    static VolumeClock ofFileSystem(const QString& type, const QString& source = {});
    // The clock of the volume holding `path`, or its nearest existing folder.
    static VolumeClock ofPath(const QByteArray& path);
    // Where the type told nothing: a time this volume gave (the one a mark recorded) shows whole
    // seconds, so its clock keeps them.
    VolumeClock orShownBy(qint64 seenNs) const;
};

} // namespace tarnwick
