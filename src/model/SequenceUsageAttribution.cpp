#include "model/SequenceUsageAttribution.h"

#include "platform/JsonForm.h"

#include <QJsonValue>

#include <algorithm>

namespace tarnwick {

void SequenceUsageAttribution::merge(const QHash<QString, qint64>& occurrences, qint64 unattributed) {
    // Into an empty one, counts that all stay share the given table instead of building a copy:
    // a project's many paths mostly carry the same few counts.
    const auto allCount = [&] {
        return std::all_of(occurrences.cbegin(), occurrences.cend(), [](qint64 n) { return n >= 1; });
    };
    if (occurrencesBySequenceID.isEmpty() && allCount()) {
        occurrencesBySequenceID = occurrences;
        unattributedOccurrences += std::max<qint64>(unattributed, 0);
        return;
    }
    for (auto it = occurrences.cbegin(); it != occurrences.cend(); ++it) {
        if (it.value() >= 1)
            occurrencesBySequenceID[it.key()] += it.value();
    }
    unattributedOccurrences += std::max<qint64>(unattributed, 0);
}

qint64 SequenceUsageAttribution::totalOccurrences() const {
    qint64 total = 0;
    for (qint64 count : occurrencesBySequenceID)
        total += count;
    return total;
}

QJsonObject SequenceUsageAttribution::toJson() const {
    QJsonObject counts;
    for (auto it = occurrencesBySequenceID.cbegin(); it != occurrencesBySequenceID.cend(); ++it)
        counts.insert(it.key(), it.value());
    return QJsonObject{{QStringLiteral("occurrencesBySequenceID"), counts},
                       {QStringLiteral("unattributedOccurrences"), unattributedOccurrences}};
}

std::optional<SequenceUsageAttribution> SequenceUsageAttribution::fromJson(const QJsonObject& o) {
    const QJsonValue counts = o.value(QStringLiteral("occurrencesBySequenceID"));
    const std::optional<qint64> unattributed = json::optInt64(o, QStringLiteral("unattributedOccurrences"));
    if (!counts.isObject() || !unattributed)
        return std::nullopt;
    SequenceUsageAttribution result;
    result.unattributedOccurrences = *unattributed;
    const QJsonObject map = counts.toObject();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const std::optional<qint64> n = json::optInt64(map, it.key());
        if (!n)
            return std::nullopt;
        result.occurrencesBySequenceID.insert(it.key(), *n);
    }
    return result;
}

bool operator==(const SequenceUsageAttribution& a, const SequenceUsageAttribution& b) {
    return a.unattributedOccurrences == b.unattributedOccurrences &&
           a.occurrencesBySequenceID == b.occurrencesBySequenceID;
}

size_t qHash(const SequenceUsageAttribution& a, size_t seed) {
    // Order-independent: each entry hashed on its own, the results combined by exclusive or.
    size_t entries = 0;
    for (auto it = a.occurrencesBySequenceID.cbegin(); it != a.occurrencesBySequenceID.cend(); ++it)
        entries ^= qHashMulti(0, it.key(), it.value());
    return qHashMulti(seed, entries, a.unattributedOccurrences);
}

} // namespace tarnwick
