#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace tarnwick {

// Occurrences of one media path per timeline identifier, plus those on no identifiable timeline.
struct SequenceUsageAttribution {
    QHash<QString, qint64> occurrencesBySequenceID;
    qint64 unattributedOccurrences = 0;

    void merge(const QHash<QString, qint64>& occurrences, qint64 unattributed);
    qint64 totalOccurrences() const;

    QJsonObject toJson() const;
    static std::optional<SequenceUsageAttribution> fromJson(const QJsonObject& o);

    friend bool operator==(const SequenceUsageAttribution& a, const SequenceUsageAttribution& b);
};

size_t qHash(const SequenceUsageAttribution& a, size_t seed = 0);

} // namespace tarnwick
