#pragma once

#include "actions/ArchiveDestination.h"
#include "actions/ProtectedFolderTest.h"
#include "platform/FileOperations.h"
#include "platform/LeftoverSweep.h"
#include "stores/RecordJournal.h"

#include <QSet>
#include <QString>

#include <atomic>
#include <optional>

namespace tarnwick {

struct FolderMoveOutcome {
    enum class Kind {
        moved,
        withContainer,
        containerRefused,
        protectedTarget,
        isFolder,
        outsideFolder,
        ownFolder, // the destination folder is the source's own folder
        changed,   // not the file the run started with
        folderFailed,
        moveFailed,
        cancelled,
        offline,        // decided on the GUI thread: nothing touched
        nowInUse,       // decided on the GUI thread: nothing touched
        keptForRecords, // not touched: the run's records had stopped being kept
    };
    enum class Proxy { none, moved, failed, notRegular, inUse };
    Kind kind = Kind::moveFailed;
    QString destination; // where the file or container now is
    FileOpStatus error;
    Proxy proxy = Proxy::none;
    QString proxyDestination;
    QString proxyError;
};

// The disk half of moving one staged file to a folder, decided on the GUI thread and run on a
// worker: no manager access. The protection test comes first, as the rules order it for moves.
struct FolderMoveJob {
    enum class Container { none, proceed, handled, refused };
    qsizetype index = 0; // the file's place in the run's input
    QString name;        // the staged file's name
    QString stagedPath;  // its path (the bin numbering reads it)
    QString source;      // working path, or the container
    qint64 size = 0;     // the staged file's size, for progress
    Container container = Container::none;
    std::optional<QString> destination;                     // nothing: the source would leave the folder
    std::optional<ArchiveDestination::Numbering> numbering; // nothing: no collision test
    bool containerFolderFailureIsFatal = true;
    std::optional<QString> proxy; // set, and not the source
    bool proxyInUse = false;
    std::optional<FolderMoveOutcome::Kind> decided; // refused before the disk is touched
    // What the records journal keeps of the move: the file's own record first, then, for a
    // container, one per other staged file inside it, so that they are written and decided together.
    QList<FileRecord> records;
    // A plain file's intent line, made as the job is planned: the worker writes it with those of
    // the jobs around it.
    std::optional<RecordJournal::PreparedLine> intentLine;
};

// What was at a job's source and proxy when the run started (nothing where nothing was).
struct RecordedIdentity {
    std::optional<FileIdentity> source;
    std::optional<FileIdentity> proxy;

    static RecordedIdentity of(FileOperations& files, const QString& source,
                               const std::optional<QString>& proxy);
};

// What the worker of one run keeps from file to file: the destination folders it has made ready
// (created, or swept of our abandoned temporaries) and the containers it has moved. One instance
// per run, used by one thread at a time.
class FolderMoveSession {
public:
    FolderMoveSession(FileOperations& files, ProtectedFolderTest protection, QString folder);

    // `recorded` is what the run found at the job's paths when it started; a path whose file is
    // not that one any more is kept.
    FolderMoveOutcome execute(const FolderMoveJob& job, const RecordedIdentity& recorded,
                              const FileOpProgress& progress, const std::atomic_bool* cancel);

    // The texts after "name: " of the two refusals this session makes on its own.
    static QString changedText();
    static QString ownFolderText();

private:
    // The file there now is still the one the run started with.
    static bool unchanged(const std::optional<FileIdentity>& then, const FileOpInfo& now);
    // Makes the destination folder exist, once per run; sweeps a folder that was already there.
    FileOpStatus prepareFolder(const QString& folder, const QString& sourceFolder, bool& ownFolder);
    FileOpStatus moveWithNumbering(const FolderMoveJob& job, QString& destination,
                                   const FileOpProgress& progress, const std::atomic_bool* cancel);
    void moveProxy(const FolderMoveJob& job, const std::optional<FileIdentity>& recorded,
                   FolderMoveOutcome& done);

    FileOperations& m_files;
    ProtectedFolderTest m_protection;
    QString m_folder;
    QSet<QString> m_readyFolders;
    QSet<QString> m_ownFolders;
    QSet<QString> m_movedContainers;
    LeftoverSweep m_leftovers;
};

} // namespace tarnwick
