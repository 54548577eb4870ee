#pragma once

#include "platform/DirectoryWalker.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>

namespace tarnwick {

// .aep files found near imported projects, each once, in the order found; by lower-cased (NFC)
// file name, every file of that name (several folders often hold an "Untitled Project.aep").
struct FoundAEPFiles {
    QStringList paths;
    QStringList names; // the distinct names, in the order first found
    QHash<QString, QStringList> pathsByName;

    bool isEmpty() const { return paths.isEmpty(); }
};

// The searches for After Effects projects on disk. Only regular files (or links to them) count:
// a folder named like a project is never one.
namespace AEPFileSearch {

// The key a found file and a linked path are compared by: last component, NFC, lower-cased.
QString nameKey(const QString& path);
// Whether the path's extension, lower-cased, is "aep".
bool isAEPPath(const QString& path);
// Whether a walked entry is a regular file, following a link to see (one stat for links only).
bool isRegularFile(const DirectoryWalker::Entry& entry);

// The folders' own entries (hidden ones included); with `deepSearch`, then their trees to
// `maxDepth` levels (hidden entries and package contents skipped), scanning at most `fileCap`
// entries over all folders. Folders are visited in the given order, each once.
FoundAEPFiles findAEPFilesForRelocation(const QStringList& folders, bool deepSearch, int maxDepth,
                                        qint64 fileCap);

// Every .aep file below `folder` (hidden entries and package contents skipped), in walk order.
QStringList findAEPFiles(const QString& folder, const std::atomic_bool* cancel = nullptr);

} // namespace AEPFileSearch

} // namespace tarnwick
