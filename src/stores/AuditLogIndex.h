#pragma once

#include "stores/AuditLogEntry.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QUuid>

#include <optional>
#include <vector>

namespace tarnwick {

// The audit log file held as read, with where each entry lies: a million entries take the file's
// bytes plus 16 bytes each, and an entry is decoded only when it is shown.
class AuditLogIndex {
public:
    struct Span {
        quint32 offset = 0;
        quint32 length = 0;
        qint64 timestampMs = 0;
    };

    // Checks every entry as the decoder would (a file with any undecodable entry is rejected
    // whole) and notes where each lies. `lookFor`: ids whose presence is reported in `found`.
    // Absent when the file is not a list of decodable entries.
    static std::optional<AuditLogIndex> build(QByteArray bytes, const QSet<QUuid>& lookFor = {},
                                              QSet<QUuid>* found = nullptr);

    qsizetype size() const { return m_spans.empty() ? m_decoded.size() : qsizetype(m_spans.size()); }
    AuditLogEntry entry(qsizetype index) const;
    qint64 timestampMs(qsizetype index) const;
    // The file is in the encoder's compact form, so new entries can be spliced in before its "]".
    bool isCompact() const { return m_compact; }
    const QByteArray& bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
    std::vector<Span> m_spans;
    // A file in a form the quick reader does not take (escapes where ours has none, numbers
    // written as fractions, ...) is decoded whole instead.
    QList<AuditLogEntry> m_decoded;
    bool m_compact = false;
};

} // namespace tarnwick
