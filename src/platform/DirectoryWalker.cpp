#include "platform/DirectoryWalker.h"

#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QFile>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

const QStringList& packageExtensions() {
    // Bundles that reach Linux volumes from other systems; each is one document to the user.
    static const QStringList extensions{
        QStringLiteral("app"),           QStringLiteral("bundle"),    QStringLiteral("framework"),
        QStringLiteral("plugin"),        QStringLiteral("fcpbundle"), QStringLiteral("imovielibrary"),
        QStringLiteral("photoslibrary"), QStringLiteral("aplibrary"),
    };
    return extensions;
}

bool isPackageName(const QString& name) {
    const QString extension = path::pathExtension(name);
    if (extension.isEmpty())
        return false;
    return packageExtensions().contains(text::lowered(extension));
}

namespace {

struct RawEntry {
    std::string name;
    DirectoryWalker::EntryType type;
};

// An open folder; children are opened relative to it, so no path is looked up from the root again.
class FolderHandle {
public:
    FolderHandle() = default;
    explicit FolderHandle(int fd) : m_fd(fd) {}
    FolderHandle(FolderHandle&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FolderHandle& operator=(FolderHandle&& other) noexcept {
        if (this != &other) {
            close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    ~FolderHandle() { close(); }
    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

private:
    void close() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    int m_fd = -1;
};

struct Frame {
    QString path;
    FolderHandle folder;
    std::vector<RawEntry> entries;
    size_t next = 0;
    int level = 1;
};

DirectoryWalker::EntryType typeFromMode(mode_t mode) {
    if (S_ISREG(mode))
        return DirectoryWalker::EntryType::regularFile;
    if (S_ISDIR(mode))
        return DirectoryWalker::EntryType::directory;
    if (S_ISLNK(mode))
        return DirectoryWalker::EntryType::symbolicLink;
    return DirectoryWalker::EntryType::other;
}

// Opens `name` inside `parent` (or the path itself when there is no parent) as a folder, never
// through a symbolic link.
FolderHandle openFolder(const FolderHandle* parent, const QString& path, const std::string& name) {
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    if (parent)
        return FolderHandle(::openat(parent->fd(), name.c_str(), flags));
    return FolderHandle(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// The folder's entries sorted by name bytes; false when it cannot be read.
bool readFolder(const FolderHandle& folder, bool skipHidden, std::vector<RawEntry>& out) {
    if (!folder.isOpen())
        return false;
    // The listing gets a descriptor of its own; the folder's stays open for its children.
    const int listing = ::dup(folder.fd());
    if (listing < 0)
        return false;
    DIR* dir = ::fdopendir(listing);
    if (!dir) {
        ::close(listing);
        return false;
    }
    ::rewinddir(dir);
    const int fd = ::dirfd(dir);
    while (const dirent* d = ::readdir(dir)) {
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        if (skipHidden && name[0] == '.')
            continue;
        DirectoryWalker::EntryType type = DirectoryWalker::EntryType::other;
        switch (d->d_type) {
        case DT_REG:
            type = DirectoryWalker::EntryType::regularFile;
            break;
        case DT_DIR:
            type = DirectoryWalker::EntryType::directory;
            break;
        case DT_LNK:
            type = DirectoryWalker::EntryType::symbolicLink;
            break;
        case DT_UNKNOWN: {
            // Some file systems leave the type out of the listing: ask, without following links.
            struct ::stat st {};
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                type = typeFromMode(st.st_mode);
            break;
        }
        default:
            break;
        }
        out.push_back({std::string(name), type});
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(), [](const RawEntry& a, const RawEntry& b) { return a.name < b.name; });
    return true;
}

QString joined(const QString& folder, const QString& name) {
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

} // namespace

QString DirectoryWalker::Entry::name() const {
    return QFile::decodeName(QByteArray(nameBytes.data(), nameBytes.size()));
}

QString DirectoryWalker::Entry::path() const {
    return joined(folder, name());
}

DirectoryWalker::Result DirectoryWalker::walk(const QString& folder, const Options& options,
                                              const Visitor& visit) {
    Result result;
    QString root = folder;
    while (root.size() > 1 && root.endsWith(u'/'))
        root.chop(1);
    std::vector<Frame> stack;
    stack.push_back({root, openFolder(nullptr, root, {}), {}, 0, 1});
    if (!readFolder(stack.back().folder, options.skipHidden, stack.back().entries))
        return result;
    result.rootReadable = true;

    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next >= frame.entries.size()) {
            stack.pop_back();
            continue;
        }
        if (options.cancel && options.cancel->load(std::memory_order_relaxed)) {
            result.cancelled = true;
            return result;
        }
        if (options.entryCap >= 0 && result.entriesListed >= options.entryCap) {
            result.capReached = true;
            return result;
        }
        const RawEntry& raw = frame.entries[frame.next++];
        ++result.entriesListed;
        Entry entry;
        entry.nameBytes = QByteArrayView(raw.name.data(), qsizetype(raw.name.size()));
        entry.folder = frame.path;
        entry.type = raw.type;
        entry.level = frame.level;
        entry.isPackage = raw.type == EntryType::directory && isPackageName(entry.name());
        bool delivered = true;
        if (options.regularFilesOnly && raw.type != EntryType::regularFile) {
            struct ::stat st {};
            delivered = raw.type == EntryType::symbolicLink &&
                        ::fstatat(frame.folder.fd(), raw.name.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode);
        }
        const Action action = delivered ? visit(entry) : Action::proceed;
        if (action == Action::stop)
            return result;
        const bool descend = options.recursive && entry.type == EntryType::directory &&
                             action != Action::skipDescendants &&
                             !(options.skipPackages && entry.isPackage) &&
                             (options.maxDepth <= 0 || entry.level < options.maxDepth);
        if (!descend)
            continue;
        Frame child{entry.path(), openFolder(&frame.folder, {}, raw.name), {}, 0, entry.level + 1};
        if (!readFolder(child.folder, options.skipHidden, child.entries)) {
            ++result.unreadableFolders;
            continue;
        }
        stack.push_back(std::move(child)); // `frame` is not used after this
    }
    return result;
}

} // namespace tarnwick
