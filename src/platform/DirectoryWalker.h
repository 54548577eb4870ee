#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace tarnwick {

// Folders that hold one document rather than a tree of the user's files (bundles copied from
// other systems: applications, plug-ins, photo and editing libraries). A walk lists such a folder
// but never enters it. Compared lower-cased, without the dot.
const QStringList& packageExtensions();
// Whether a folder of this name is a package (its extension, lower-cased, is in the list).
bool isPackageName(const QString& name);

// One directory walk: entries are streamed to a visitor as they are read, folder by folder, in
// byte order of their names within each folder, depth first (a folder's contents follow its
// entry). The entry type comes from the listing itself; nothing is stat'ed except on file systems
// that do not report it. Symbolic links are reported as links and never followed, so a link loop
// cannot trap the walk. Folders that cannot be read are passed over.
class DirectoryWalker {
public:
    enum class EntryType { regularFile, directory, symbolicLink, other };
    enum class Action { proceed, skipDescendants, stop };

    struct Entry {
        QString folder;           // the folder that lists the entry
        QByteArrayView nameBytes; // last component as listed (file-name encoding); valid during the visit
        EntryType type = EntryType::other;
        int level = 1; // 1 for entries directly inside the walked folder
        bool isPackage = false;

        // Last component, decoded; made on demand like the path, since most entries never need them.
        QString name() const;
        // The folder's path + "/" + the name.
        QString path() const;
    };

    struct Options {
        bool recursive = true;
        bool skipHidden = true;   // names starting with "."; a hidden folder is not entered either
        bool skipPackages = true; // packages are listed, their contents are not
        // Only regular files reach the visitor, and links that lead to one (one stat per link);
        // folders are still walked, and every listed entry still counts against the cap.
        bool regularFilesOnly = false;
        // Entries deeper than this level are neither listed nor entered (0: no limit).
        int maxDepth = 0;
        // At most this many entries are listed; one more sets capReached instead (negative: no cap).
        qint64 entryCap = -1;
        const std::atomic_bool* cancel = nullptr;
    };

    struct Result {
        bool rootReadable = false;
        bool capReached = false;
        bool cancelled = false;
        qint64 entriesListed = 0;
        qint64 unreadableFolders = 0;
    };

    using Visitor = std::function<Action(const Entry&)>;

    static Result walk(const QString& folder, const Options& options, const Visitor& visit);
};

} // namespace tarnwick
