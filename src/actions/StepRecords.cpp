#include "actions/StepRecords.h"

#include "platform/FileOperations.h"
#include "stores/RecordRun.h"

namespace tarnwick {

void StepRecords::intend(FileRecord record) {
    const bool first = !std::exchange(m_given, true);
    if (!m_run)
        return;
    if (record.member && m_files.status(*record.member, false).kind == FileKind::missing)
        return;
    std::optional<QString> member = record.member;
    m_intents.append({m_run->intend(std::move(record)), std::move(member), first});
}

void StepRecords::settle(bool succeeded, const std::optional<QDateTime>& at,
                         const std::optional<QString>& destination) {
    for (const Intent& intent : std::as_const(m_intents)) {
        const bool gone =
            succeeded || (intent.member && m_files.status(*intent.member, false).kind == FileKind::missing);
        if (gone)
            m_run->done(intent.seq, at, intent.first ? destination : std::nullopt);
        else
            m_run->failed(intent.seq);
    }
    m_intents.clear();
}

} // namespace tarnwick
