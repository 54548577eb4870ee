#pragma once

#include "platform/FileOperations.h"
#include "platform/VolumeClock.h"

#include <QtGlobal>

namespace tarnwick {

// What a remount leaves of a file's identity. A volume plugged back in, a loop or LVM device, or a
// reboot that numbers devices otherwise gives its files another device number; FAT and exFAT make
// their inode numbers up again at each mount (and their FUSE drivers sometimes within one); a copy
// onto such a volume keeps its times only to the volume's step (2 s on FAT, 10 ms on exFAT, whole
// seconds from some drivers); and FAT keeps local time, which a mount under another time zone or
// after a daylight-saving switch shows moved by whole quarter hours. So none of those tells two
// files apart on its own.

// One file's modification times as two file systems keep them: equal, or the finer one rounded
// either way to the coarser one's step, read off the value itself (a time on a whole number of
// 2 s, 1 s, 10 ms, 1 ms or 1 µs).
bool sameModifiedTime(qint64 aNs, qint64 bNs);

// The same where one of the two is a time of a volume with `clock`: also within one step of that
// clock, and where it keeps local time, moved by whole quarter hours (time zones are whole quarter
// hours apart, UTC-12 to UTC+14, and a daylight-saving switch moves one by 30 or 60 minutes).
bool sameModifiedTime(qint64 aNs, qint64 bNs, const VolumeClock& clock);

// Whether the item now at a path is still the file `then` describes, unchanged, judged by what a
// remount keeps: a file's size and time (as its volume's `clock` keeps them); a folder's device and
// inode, or else (a remount) its time.
bool isSameFileAfterRemount(const FileIdentity& then, const FileOpInfo& now, const VolumeClock& clock = {});

} // namespace tarnwick
