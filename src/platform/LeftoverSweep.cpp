#include "platform/LeftoverSweep.h"

#include "platform/CrossDeviceMove.h"
#include "platform/FileMover.h"
#include "platform/LeftoverMark.h"
#include "platform/NoReplaceRename.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace tarnwick {

namespace {

constexpr QByteArrayView kTranscodeSubject = "transcode ";

// "<base>_transcoding.mov" or "<base>_transcoding_<n>.mov".
bool isTranscodeName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^.+_transcoding(_[0-9]+)?\\.mov$"));
    return pattern.match(name).hasMatch();
}

QString nameInSubject(const QByteArray& subject) {
    if (!subject.startsWith(kTranscodeSubject))
        return {};
    qsizetype at = kTranscodeSubject.size();
    for (int field = 0; field < 4; ++field) {
        at = subject.indexOf(' ', at);
        if (at < 0)
            return {};
        ++at;
    }
    return QFile::decodeName(subject.mid(at));
}

struct Candidates {
    QStringList claims;   // first: a claim that a rename never replaced holds a destination's name
    QStringList items;    // then removed: each takes its sidecar along
    QStringList sidecars; // then what is left of those: orphans
    QStringList notes;    // last: a copy's note of its source, once its copy is settled
};

void classify(const QByteArray& folder, const char* entry, Candidates& found) {
    const QByteArray native = folder + '/' + entry;
    if (isClaimNoteName(entry)) {
        found.claims.append(QFile::decodeName(native));
        return;
    }
    if (CrossDeviceMove::isSourceNoteName(entry)) {
        found.notes.append(QFile::decodeName(native));
        return;
    }
    if (leftover::unfinishedWriteOf(entry)) {
        found.items.append(QFile::decodeName(native));
        return;
    }
    const QByteArray target = leftover::sidecarTarget(native);
    const QString name = QFile::decodeName(entry);
    if (std::strstr(entry, FileMover::temporaryMarker) && entry[0] == '.') {
        (target.isEmpty() ? found.items : found.sidecars).append(QFile::decodeName(native));
        return;
    }
    if (!target.isEmpty()) {
        // A transcode output's sidecar goes by itself only when its file is gone.
        const QString targetPath = QFile::decodeName(target);
        struct stat st {};
        if (isTranscodeName(targetPath.section(QLatin1Char('/'), -1)) &&
            ::lstat(target.constData(), &st) != 0)
            found.sidecars.append(QFile::decodeName(native));
        return;
    }
    if (!isTranscodeName(name))
        return;
    const std::optional<leftover::Mark> mark = leftover::markOf(native);
    if (mark && nameInSubject(mark->subject) == name)
        found.items.append(QFile::decodeName(native));
}

} // namespace

void LeftoverSweep::sweep(FileOperations& files, const QString& folder) {
    {
        const QMutexLocker lock(&m_mutex);
        if (m_swept.contains(folder))
            return;
        m_swept.insert(folder);
    }
    sweepFolder(files, folder);
}

void LeftoverSweep::sweepFolder(FileOperations& files, const QString& folder) {
    const QByteArray native = QFile::encodeName(folder);
    Candidates found;
    {
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.constData()), ::closedir);
        if (!dir)
            return;
        while (const dirent* entry = ::readdir(dir.get())) {
            // Every name of ours holds one of these; most names of a media folder hold neither.
            if (std::strstr(entry->d_name, ".tarnwick-") || std::strstr(entry->d_name, "_transcoding"))
                classify(native, entry->d_name, found);
        }
    }
    // removeLeftover keeps what is not ours or still being written, and settles the notes.
    for (const QString& path : std::as_const(found.claims) + found.items + found.sidecars + found.notes)
        files.removeLeftover(path);
}

QByteArray LeftoverSweep::transcodeSubject(const FileIdentity& source, const QString& name) {
    return kTranscodeSubject.toByteArray() + QByteArray::number(source.device) + ' ' +
           QByteArray::number(source.inode) + ' ' + QByteArray::number(source.size) + ' ' +
           QByteArray::number(source.modifiedNs) + ' ' + QFile::encodeName(name);
}

} // namespace tarnwick
