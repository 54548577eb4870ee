#pragma once

#include "platform/FileOperations.h"
#include "platform/VolumeClock.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

struct stat;

namespace tarnwick {

class UnnamedFileStock;

// A .trashinfo on its way into a trash's info/ folder. Where the file system offers unnamed files
// and user attributes it is written and marked before it gets a name, then linked in whole: a kill
// at any moment leaves nothing or a complete, marked file. Elsewhere it is created exclusively and
// marked at once (by a sidecar where there are no attributes). The mark names the item the info is
// made for by what a remount keeps of it (whether it is a folder, its size and time), so that a
// sweep after a kill can tell it from another program's item that took the name in files/. One
// thread at a time.
class PendingTrashInfo {
public:
    // What a mark says of its item. `known` is false for the marks of the version before, whose
    // items were named by their device and inode too: a folder's size and time are not compared.
    struct MarkedItem {
        bool folder = false;
        bool known = true;
        qint64 size = 0;
        qint64 modifiedNs = 0;
    };

    PendingTrashInfo(QByteArray infoDir, QByteArray text, const MarkedItem& item, UnnamedFileStock& stock);
    ~PendingTrashInfo();
    PendingTrashInfo(const PendingTrashInfo&) = delete;
    PendingTrashInfo& operator=(const PendingTrashInfo&) = delete;

    // Bytes a name needs beyond its ".trashinfo": the sidecar's, when one may be written.
    qsizetype extraRoom() const;
    // Gives the info the name `path`: 0, or the errno value (EEXIST when the name is taken).
    int claim(const QByteArray& path);
    // Links the unnamed info as `path` and nothing else: 0, or the errno value (EEXIST when the
    // name is taken, EOPNOTSUPP without an unnamed file).
    int linkAhead(const QByteArray& path);
    // The item is in files/: the info is a real one now.
    static void finished(const QByteArray& path);
    // The item could not be moved: the info named `path` goes, and another may be claimed.
    void withdraw(const QByteArray& path);

    // The item an info's mark names, in a few bytes (see LeftoverMark.h: the whole mark stays in
    // the info's inode on ext4). None for a mark that names none (one of an earlier version).
    static MarkedItem itemOf(const struct stat& st);
    static QByteArray markSubject(const MarkedItem& item);
    static std::optional<MarkedItem> markedItem(QByteArrayView subject);
    // Whether `now` may be the item a mark names: only a folder where a file was, or a file of
    // another size or time (as the volume's `clock` keeps it), is proven to be another item. On a
    // clock of whole seconds (the file system's, or where its type tells nothing, one the mark's own
    // time shows) size alone tells: a FUSE FAT driver writes a rename's time. A remount's new
    // device and inode numbers prove nothing.
    static bool mayBeMarkedItem(const MarkedItem& marked, const struct stat& now, const VolumeClock& clock);

private:
    void prepareUnnamed();
    void closeUnnamed();
    int createNamed(const QByteArray& path);

    QByteArray m_dir;
    QByteArray m_text;
    QByteArray m_subject;
    QByteArray m_markValue;
    UnnamedFileStock& m_stock;
    int m_fd = -1;
    bool m_unnamedRefused = false;
    bool m_sidecar = false;
};

} // namespace tarnwick
