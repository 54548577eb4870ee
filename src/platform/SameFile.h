#pragma once

#include "platform/FileOperations.h"

#include <QtGlobal>

namespace tarnwick {

// What a remount leaves of a file's identity. A volume plugged back in, a loop or LVM device, or a
// reboot that numbers devices otherwise gives its files another device number; FAT and exFAT make
// their inode numbers up again at each mount (and their FUSE drivers sometimes within one); and a
// copy onto such a volume keeps its times only to the volume's step (2 s on FAT, 10 ms on exFAT,
// whole seconds from some drivers). So none of those tells two files apart on its own.

// One file's modification times as two file systems keep them: equal, or the finer one rounded
// either way to the coarser one's step, read off the value itself (a time on a whole number of
// 2 s, 1 s, 10 ms, 1 ms or 1 µs).
bool sameModifiedTime(qint64 aNs, qint64 bNs);

// Whether a time was kept to a whole second (FAT's 2 s, or a driver's whole seconds): such a clock
// tells two files apart by little, and a FUSE FAT driver even writes a rename's time to the disk,
// which the file then shows once its volume is mounted again.
bool isWholeSecond(qint64 ns);

// Whether the item now at a path is still the file `then` describes, unchanged, judged by what a
// remount keeps: a file's size and time; a folder's device and inode, or else (a remount) its time.
bool isSameFileAfterRemount(const FileIdentity& then, const FileOpInfo& now);

} // namespace tarnwick
