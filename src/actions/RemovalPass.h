#pragma once

#include "actions/ProtectedFolderTest.h"
#include "model/RecycleBinItem.h"
#include "platform/FileOperations.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwick {

class RecordRun;

// The removal run's pass over the disk and what it works from and hands back: the plan (one entry
// per staged file, decided before the disk is touched) and each file's outcome.

// Move to Trash sends every staged file to the freedesktop.org Trash of its own volume; permanent
// deletion removes each target from disk instead (an .RDC container with everything below it,
// never following symbolic links).
enum class RemovalMethod { trash, deletePermanently };

struct PlannedRemoval {
    enum class Verdict { proceed, nowInUse, containerRefused };
    RecycleBinItem item;
    QString name;
    Verdict verdict = Verdict::proceed;
    QString refusal;        // the error text of a refusal
    QString usedMemberName; // containerRefused: the member that blocks
    bool isContainer = false;
    QString target;
    std::optional<QString> proxy; // set, and not the target
    bool proxyInUse = false;
};

struct ExecutedRemoval {
    // keptForRecords: not touched, the run's records had stopped being kept.
    enum class Outcome {
        notRun,
        withContainer,
        protectedTarget,
        isFolder,
        changed,
        failed,
        removed,
        keptForRecords
    };
    enum class Proxy { none, removed, failed, notRegular, inUse };
    Outcome outcome = Outcome::notRun;
    FileOpStatus error;
    QDateTime recordTime;
    Proxy proxy = Proxy::none;
    QString proxyError;
};

// What each path a run may remove (targets and proxies) held when the user confirmed the run: its
// identity, or nothing where nothing was. Only that item is removed.
using SeenItems = QHash<QString, std::optional<FileIdentity>>;

// The paths of the staged items a run records as it is confirmed: each target and proxy.
QStringList watchedPaths(const QList<RecycleBinItem>& bin);
// What is at each path now: a stat each, so off the GUI thread.
SeenItems recordSeen(const FileOperations& files, const QStringList& paths);

// The disk half: no manager access, safe on any thread (the protection test is its own copy).
// Each removed file's record goes to `records` (may be null) around its disk step; synced at the end.
// A path missing from `seen` is recorded before the first file is touched.
QList<ExecutedRemoval> executeRemovals(const QList<PlannedRemoval>& plan, FileOperations& files,
                                       ProtectedFolderTest protection, RemovalMethod method,
                                       RecordRun* records = nullptr, SeenItems seen = {});

} // namespace tarnwick
