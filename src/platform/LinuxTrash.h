#pragma once

#include "platform/FileOperations.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <mutex>

namespace tarnwick {

// The freedesktop.org Trash as the desktop's file managers keep it: the home trash for items on
// the home's volume, else "$topdir/.Trash/$uid" (a real, sticky .Trash folder) or
// "$topdir/.Trash-$uid". The .trashinfo is created first and exclusively, then the item is renamed
// into files/ without replacing anything; if that fails the .trashinfo goes again. Never copies
// across volumes: an item whose volume has no usable trash stays where it is. Thread-safe.
class LinuxTrash {
public:
    TrashOutcome moveToTrash(const QString& path);

    // $XDG_DATA_HOME/Trash (when absolute), else $HOME/.local/share/Trash.
    static QByteArray homeTrashPath();
    // The trashinfo text for `originalPath` (absolute, or relative to the volume's top folder).
    static QByteArray trashInfo(const QByteArray& originalPath, const QDateTime& deletedAt);

private:
    struct TrashDir {
        QByteArray root;   // .../Trash, holds files/ and info/
        QByteArray topdir; // empty for the home trash: its Path= lines are absolute
    };
    // The trash for items on `device`; an error text when none is usable.
    bool trashFor(quint64 device, const QByteArray& absolutePath, TrashDir& dir, FileOpStatus& error);
    bool homeTrashFor(quint64 device, TrashDir& dir, FileOpStatus& error);
    void forget(quint64 device);

    std::mutex m_mutex;
    QByteArray m_homeTrash;
    quint64 m_homeDevice = 0;
    bool m_homeDeviceKnown = false;
    bool m_homeReady = false;
    QHash<quint64, TrashDir> m_byDevice;
};

} // namespace tarnwick
