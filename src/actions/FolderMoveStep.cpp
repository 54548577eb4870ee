#include "actions/FolderMoveStep.h"

#include <cerrno>

namespace tarnwick {

namespace {

using Kind = FolderMoveOutcome::Kind;

QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

bool exists(FileOperations& files, const QString& path) {
    return files.status(path, false).kind != FileKind::missing;
}

// The first free numbered name, tried again when another writer takes it before our move.
FileOpStatus moveWithNumbering(const FolderMoveJob& job, FileOperations& files, QString& destination,
                               const FileOpProgress& progress, const std::atomic_bool* cancel) {
    const QString first = destination;
    int n = 0;
    for (int attempt = 0;; ++attempt) {
        while (job.numbering && exists(files, destination))
            destination = ArchiveDestination::candidate(first, ++n, *job.numbering, job.stagedPath);
        const FileOpStatus status = files.moveNoReplace(job.source, destination, progress, cancel);
        if (status.code != EEXIST || !job.numbering || attempt >= 3)
            return status;
    }
}

void moveProxy(const FolderMoveJob& job, FolderMoveOutcome& done, FileOperations& files,
               const ProtectedFolderTest& protection) {
    if (!job.proxy)
        return;
    const QString& proxy = *job.proxy;
    const FileOpInfo info = files.status(proxy, false);
    if (info.kind == FileKind::missing || protection.isInProtectedFolder(proxy))
        return;
    if (job.proxyInUse) {
        done.proxy = FolderMoveOutcome::Proxy::inUse;
        return;
    }
    if (info.kind != FileKind::regular) {
        done.proxy = FolderMoveOutcome::Proxy::notRegular;
        return;
    }
    const std::optional<QString> target = ArchiveDestination::destinationFor(proxy, job.folder);
    FileOpStatus status = target ? files.makeFolder(parentOf(*target), true)
                                 : FileOpStatus::failure(EINVAL, ArchiveDestination::outsideFolderText());
    if (status)
        status = files.moveNoReplace(proxy, *target);
    done.proxy = status ? FolderMoveOutcome::Proxy::moved : FolderMoveOutcome::Proxy::failed;
    done.proxyDestination = target.value_or(QString());
    done.proxyError = status.message;
}

} // namespace

FolderMoveOutcome executeFolderMove(const FolderMoveJob& job, FileOperations& files,
                                    const ProtectedFolderTest& protection, const FileOpProgress& progress,
                                    const std::atomic_bool* cancel) {
    FolderMoveOutcome done;
    if (protection.isInProtectedFolder(job.source)) {
        done.kind = Kind::protectedTarget;
        return done;
    }
    if (job.container == FolderMoveJob::Container::handled ||
        job.container == FolderMoveJob::Container::refused) {
        done.kind =
            job.container == FolderMoveJob::Container::handled ? Kind::withContainer : Kind::containerRefused;
        return done;
    }
    if (!job.destination) {
        done.kind = Kind::outsideFolder;
        return done;
    }
    const bool isContainer = job.container == FolderMoveJob::Container::proceed;
    const FileOpInfo info = files.status(job.source, false);
    // Only a container the rules derived moves with its contents.
    if (!isContainer && info.kind == FileKind::directory) {
        done.kind = Kind::isFolder;
        return done;
    }
    QString destination = *job.destination;
    const FileOpStatus folder = files.makeFolder(parentOf(destination), true);
    if (!folder && (!isContainer || job.containerFolderFailureIsFatal)) {
        done.kind = Kind::folderFailed;
        done.error = folder;
        return done;
    }
    const FileOpStatus moved = moveWithNumbering(job, files, destination, progress, cancel);
    if (moved.code == ECANCELED) {
        done.kind = Kind::cancelled;
        return done;
    }
    if (!moved) {
        done.kind = Kind::moveFailed;
        done.error = moved;
        return done;
    }
    done.kind = Kind::moved;
    done.destination = destination;
    if (!isContainer)
        moveProxy(job, done, files, protection);
    return done;
}

} // namespace tarnwick
