#include "actions/FolderMoveStep.h"

#include <cerrno>

namespace tarnwick {

namespace {

using Kind = FolderMoveOutcome::Kind;

// More taken numbered names than any folder holds: only a file system that refuses every name
// gets this far.
constexpr int kMostNumbers = 100000;

QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

FolderMoveOutcome outcome(Kind kind) {
    FolderMoveOutcome done;
    done.kind = kind;
    return done;
}

} // namespace

FolderMoveSession::FolderMoveSession(FileOperations& files, ProtectedFolderTest protection, QString folder)
    : m_files(files), m_protection(std::move(protection)), m_folder(std::move(folder)) {}

RecordedIdentity RecordedIdentity::of(FileOperations& files, const QString& source,
                                      const std::optional<QString>& proxy) {
    const auto identity = [&files](const QString& path) -> std::optional<FileIdentity> {
        const FileOpInfo info = files.status(path, false);
        return info.kind == FileKind::missing ? std::nullopt : std::optional<FileIdentity>(info.identity());
    };
    return {identity(source), proxy ? identity(*proxy) : std::nullopt};
}

bool FolderMoveSession::unchanged(const std::optional<FileIdentity>& then, const FileOpInfo& now) {
    // Something that appeared since the run started is not what the user chose.
    if (!then)
        return now.kind == FileKind::missing;
    // A file that went away fails its move on its own (or a stopped move of it is finished there).
    return now.kind == FileKind::missing || isSameItem(*then, now);
}

FileOpStatus FolderMoveSession::prepareFolder(const QString& folder, const QString& sourceFolder,
                                              bool& ownFolder) {
    ownFolder = m_ownFolders.contains(folder);
    if (ownFolder || m_readyFolders.contains(folder))
        return FileOpStatus::success();
    const FileOpInfo there = m_files.status(folder, true);
    if (there.kind == FileKind::directory) {
        // Reached through a link or a mount that leads back: moving would only rename in place.
        const FileOpInfo source = m_files.status(sourceFolder, true);
        if (source.kind == FileKind::directory && source.device == there.device &&
            source.inode == there.inode) {
            m_ownFolders.insert(folder);
            ownFolder = true;
            return FileOpStatus::success();
        }
        m_leftovers.sweep(m_files, folder);
    } else if (const FileOpStatus made = m_files.makeFolder(folder, true); !made) {
        return made;
    }
    m_readyFolders.insert(folder);
    return FileOpStatus::success();
}

// A taken name gets the first free number. Each candidate is tried by the move itself, which
// finishes a stopped move of this very file that it finds there instead of numbering around it.
FileOpStatus FolderMoveSession::moveWithNumbering(const FolderMoveJob& job, QString& destination,
                                                  const FileOpProgress& progress,
                                                  const std::atomic_bool* cancel) {
    const QString first = destination;
    FileOpStatus status = m_files.moveNoReplace(job.source, destination, progress, cancel);
    for (int n = 1; status.code == EEXIST && job.numbering && n <= kMostNumbers; ++n) {
        destination = ArchiveDestination::candidate(first, n, *job.numbering, job.stagedPath);
        status = m_files.moveNoReplace(job.source, destination, progress, cancel);
    }
    return status;
}

void FolderMoveSession::moveProxy(const FolderMoveJob& job, const std::optional<FileIdentity>& recorded,
                                  FolderMoveOutcome& done) {
    if (!job.proxy)
        return;
    const QString& proxy = *job.proxy;
    const FileOpInfo info = m_files.status(proxy, false);
    if (info.kind == FileKind::missing || m_protection.isInProtectedFolder(proxy))
        return;
    if (job.proxyInUse) {
        done.proxy = FolderMoveOutcome::Proxy::inUse;
        return;
    }
    if (info.kind != FileKind::regular) {
        done.proxy = FolderMoveOutcome::Proxy::notRegular;
        return;
    }
    const std::optional<QString> target = ArchiveDestination::destinationFor(proxy, m_folder);
    bool ownFolder = false;
    FileOpStatus status = FileOpStatus::failure(EINVAL, ArchiveDestination::outsideFolderText());
    if (!unchanged(recorded, info))
        status = FileOpStatus::failure(EBUSY, changedText());
    else if (target)
        status = prepareFolder(parentOf(*target), parentOf(proxy), ownFolder);
    if (status && ownFolder)
        status = FileOpStatus::failure(EINVAL, ownFolderText());
    if (status)
        status = m_files.moveNoReplace(proxy, *target);
    done.proxy = status ? FolderMoveOutcome::Proxy::moved : FolderMoveOutcome::Proxy::failed;
    done.proxyDestination = target.value_or(QString());
    done.proxyError = status.message;
}

FolderMoveOutcome FolderMoveSession::execute(const FolderMoveJob& job, const RecordedIdentity& recorded,
                                             const FileOpProgress& progress, const std::atomic_bool* cancel) {
    if (job.decided)
        return outcome(*job.decided);
    if (m_protection.isInProtectedFolder(job.source))
        return outcome(Kind::protectedTarget);
    const bool isContainer = job.container == FolderMoveJob::Container::proceed;
    // The GUI thread may have planned a later member before this worker moved its container.
    if (job.container == FolderMoveJob::Container::handled ||
        (isContainer && m_movedContainers.contains(job.source)))
        return outcome(Kind::withContainer);
    if (job.container == FolderMoveJob::Container::refused)
        return outcome(Kind::containerRefused);
    if (!job.destination)
        return outcome(Kind::outsideFolder);
    const FileOpInfo info = m_files.status(job.source, false);
    // Only a container the rules derived moves with its contents.
    if (!isContainer && info.kind == FileKind::directory)
        return outcome(Kind::isFolder);
    if (!unchanged(recorded.source, info))
        return outcome(Kind::changed);
    // The folder the file leaves is one this run touches: our leftovers there go, once per run.
    m_leftovers.sweep(m_files, parentOf(job.source));
    QString destination = *job.destination;
    bool ownFolder = false;
    const FileOpStatus folder = prepareFolder(parentOf(destination), parentOf(job.source), ownFolder);
    if (ownFolder)
        return outcome(Kind::ownFolder);
    if (!folder && (!isContainer || job.containerFolderFailureIsFatal)) {
        FolderMoveOutcome done = outcome(Kind::folderFailed);
        done.error = folder;
        return done;
    }
    FileOpStatus moved = moveWithNumbering(job, destination, progress, cancel);
    // A folder made ready earlier in the run and removed since: made again, once.
    if (moved.code == ENOENT && folder &&
        m_files.status(parentOf(destination), true).kind == FileKind::missing) {
        m_readyFolders.remove(parentOf(*job.destination));
        destination = *job.destination;
        if (prepareFolder(parentOf(destination), parentOf(job.source), ownFolder) && !ownFolder)
            moved = moveWithNumbering(job, destination, progress, cancel);
    }
    if (moved.code == ECANCELED)
        return outcome(Kind::cancelled);
    if (!moved) {
        FolderMoveOutcome done = outcome(Kind::moveFailed);
        done.error = moved;
        return done;
    }
    FolderMoveOutcome done = outcome(Kind::moved);
    done.destination = destination;
    if (isContainer)
        m_movedContainers.insert(job.source);
    else
        moveProxy(job, recorded.proxy, done);
    return done;
}

QString FolderMoveSession::changedText() {
    return QStringLiteral("changed while moving — kept");
}

QString FolderMoveSession::ownFolderText() {
    return QStringLiteral("the destination is the file's own folder — kept");
}

} // namespace tarnwick
