#pragma once

#include "stores/RecordJournal.h"

#include <QDateTime>
#include <QList>

#include <optional>

namespace tarnwick {

class FileOperations;
class RecordRun;

// The records one disk step writes: intended right before the step, settled right after it. A
// record of a file inside a container (its `member`) goes by that file's own place: one already
// gone when the step begins was recorded by the run that removed it (a kill halfway through its
// container) and is not written again; after a failed step, one that is gone counts as done.
class StepRecords {
public:
    // A null run writes nothing.
    StepRecords(RecordRun* run, FileOperations& files) : m_run(run), m_files(files) {}

    void intend(FileRecord record);
    // `at` goes to every record; `destination` to the first one given, the step's own file.
    void settle(bool succeeded, const std::optional<QDateTime>& at = {},
                const std::optional<QString>& destination = {});

private:
    struct Intent {
        int seq = 0;
        std::optional<QString> member;
        bool first = false;
    };
    RecordRun* m_run;
    FileOperations& m_files;
    QList<Intent> m_intents;
    bool m_given = false;
};

} // namespace tarnwick
