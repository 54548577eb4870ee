#pragma once

#include "stores/AuditLogManager.h"
#include "stores/StatsManager.h"

#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringList>

namespace tarnwick::testing {

// What a run's records must show once the journal is merged (at the end of the run, or at the next
// start after a kill): every file the run completed, as the disk shows, has exactly one audit entry
// of the run's action and counts once in the statistics; every other file has none.
struct RecordExpectation {
    AuditAction action = AuditAction::movedToTrash;
    enum class Counter { filesDeleted, filesMoved, none } counter = Counter::filesDeleted;
    AllTimeStats before;         // the totals before the run
    QHash<QString, qint64> done; // path → the bytes it adds to spaceSavedBytes
    QStringList untouched;       // paths the run did not complete
};

// The problems found, empty when the records are exact. Use it after the merge, on stores read
// afresh from the store folder:
//     RecordMerge::mergeAtStart({&audit, &stats, nullptr}, *FileOperations::system());
//     EXPECT_TRUE(checkRecords(audit, stats, expectation).isEmpty());
inline QStringList checkRecords(const AuditLogManager& audit, const StatsManager& stats,
                                const RecordExpectation& expected) {
    QStringList problems;
    QHash<QString, int> entriesByPath;
    QSet<QUuid> ids;
    for (qsizetype i = 0; i < audit.count(); ++i) {
        const AuditLogEntry entry = audit.entry(i);
        if (ids.contains(entry.id))
            problems.append("entry logged twice: " + entry.filePath);
        ids.insert(entry.id);
        if (entry.action == expected.action)
            ++entriesByPath[entry.filePath];
    }
    qint64 bytes = 0;
    for (auto it = expected.done.cbegin(); it != expected.done.cend(); ++it) {
        const int n = entriesByPath.value(it.key());
        if (n != 1)
            problems.append(QStringLiteral("%1 audit entries for the completed %2").arg(n).arg(it.key()));
        bytes += it.value();
    }
    for (const QString& path : expected.untouched) {
        if (const int n = entriesByPath.value(path))
            problems.append(QStringLiteral("%1 audit entries for the untouched %2").arg(n).arg(path));
    }
    const AllTimeStats& now = stats.stats();
    const qint64 counted = expected.counter == RecordExpectation::Counter::filesDeleted
                               ? now.filesDeleted - expected.before.filesDeleted
                           : expected.counter == RecordExpectation::Counter::filesMoved
                               ? now.filesMoved - expected.before.filesMoved
                               : qint64(expected.done.size());
    if (counted != expected.done.size())
        problems.append(QStringLiteral("statistics count %1 files for %2 completed")
                            .arg(counted)
                            .arg(expected.done.size()));
    if (now.spaceSavedBytes - expected.before.spaceSavedBytes != bytes)
        problems.append(QStringLiteral("statistics count %1 bytes for %2")
                            .arg(now.spaceSavedBytes - expected.before.spaceSavedBytes)
                            .arg(bytes));
    return problems;
}

// How often each path is listed ("    Path: ") in the trace files below `root`: a run's trace
// files list each file it completed exactly once.
inline QHash<QString, int> tracedPaths(const QString& root) {
    QHash<QString, int> listed;
    QDirIterator it(root, {QStringLiteral("Tarnwick_Trace_*.txt")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.startsWith("    Path: "))
                ++listed[QString::fromUtf8(line.mid(10))];
        }
    }
    return listed;
}

} // namespace tarnwick::testing
