#pragma once

#include <QString>

#include <QtGlobal>
#include <memory>
#include <optional>

struct stat;

namespace tarnwick {

// What stat(2) tells about one path (symbolic links followed).
struct FileFacts {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    bool isDirectory = false;
    bool isRegularFile = false;

    bool isSameFileAs(const FileFacts& other) const { return device == other.device && inode == other.inode; }
    friend bool operator==(const FileFacts&, const FileFacts&) = default;
};

// The facts of a stat() or fstat() result.
FileFacts fileFactsFromStat(const struct ::stat& st);

// The seam through which disk checks ask about paths, so tests can count calls or make one hang.
class FileStatProbe {
public:
    virtual ~FileStatProbe() = default;
    // Absent when the path cannot be reached (missing, no permission, dangling link).
    virtual std::optional<FileFacts> stat(const QString& path) const = 0;

    // stat(2) itself.
    static std::shared_ptr<const FileStatProbe> system();
};

} // namespace tarnwick
