#pragma once

#include "platform/FileOperations.h"

#include <QString>

namespace tarnwick {

// The temporary output of one transcode, beside its source: created exclusively, marked as this
// program's (the mark names the source and the temporary's own name), and held open, so that both
// routes write into exactly this file and every later step can tell it is still the file we made.
// A file of the same name that is not ours is never touched: the output takes another name.
class TranscodeTemporary {
public:
    // "<base>_transcoding.mov", or "<base>_transcoding_<n>.mov" while that name is taken.
    // Throws TranscodeError (cannotCreateWriter) when no file can be created.
    static TranscodeTemporary create(FileOperations& files, const QString& sourcePath,
                                     const FileIdentity& source);
    // Removes the file, wherever it was moved, unless it was handed over or is no longer ours.
    ~TranscodeTemporary();
    TranscodeTemporary(TranscodeTemporary&& other) noexcept;
    TranscodeTemporary& operator=(TranscodeTemporary&&) = delete;
    TranscodeTemporary(const TranscodeTemporary&) = delete;

    // Where it was created.
    const QString& path() const { return m_path; }
    int descriptor() const { return m_fd; }
    // A name that opens this very file in this process (or in a child given it as `fd`).
    static QString descriptorPath(int fd);

    // `where` names the file we created.
    bool isAt(const QString& where) const;
    // Its bytes reach the disk (before the last checks, so they sit right next to the rename).
    void sync() const;
    // It was renamed to `where` (its final name) but is not the real file yet.
    void movedTo(const QString& where) { m_at = where; }
    // Removes it now (see the destructor).
    void remove();
    // It became the real file: the mark goes, and nothing is removed any more.
    void handOver();

    // The name tried first.
    static QString preferredPath(const QString& sourcePath);

private:
    TranscodeTemporary(FileOperations* files, QString path, int fd);

    FileOperations* m_files;
    QString m_path;
    QString m_at;
    int m_fd = -1;
    quint64 m_device = 0;
    quint64 m_inode = 0;
    bool m_settled = false;
};

} // namespace tarnwick
