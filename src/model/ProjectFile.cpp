#include "model/ProjectFile.h"

namespace tarnwick {

qint64 ProjectFile::countDerived() const {
    qint64 total = 0;
    for (const SequenceUsageAttribution& usage : sequenceUsageByPath)
        total += usage.unattributedOccurrences;
    return total;
}

size_t qHash(const ProjectFile& p, size_t seed) {
    return qHash(p.id, seed);
}

} // namespace tarnwick
