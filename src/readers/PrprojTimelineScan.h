#pragma once

#include "model/ProjectSequence.h"
#include "readers/PrprojIdTable.h"
#include "readers/PrprojMarkerIndex.h"

#include <QHash>
#include <QList>
#include <QString>

#include <string_view>
#include <vector>

// Master clips, sequences, and the clips that sit on timelines.
namespace tarnwick::prproj {

// Master clip identifier -> the first name after its start (the text between the name tags).
IdMap<Id> scanMasterClipNames(const MarkerIndex& index);

struct SequenceScan {
    std::vector<Id> sequenceIDs; // distinct, in order of appearance
    std::size_t nestedSequenceCount = 0;
};

// Over the whole text: sequence identifiers and the distinct nested sequence references.
SequenceScan scanSequences(std::string_view text, const MarkerIndex& index);

// Timeline identifier -> count, for the few timelines one clip sits on.
using TimelineCounts = std::vector<std::pair<Id, qint64>>;
void addCount(TimelineCounts& counts, Id timeline, qint64 n);

struct TimelineClips {
    IdMap<qint64> videoClipCounts; // SubClip id -> references inside video track items
    IdMap<qint64> audioClipCounts;
    IdMap<TimelineCounts> sequenceOccurrencesBySubClip; // SubClip id -> timeline id -> track items
    QList<ProjectSequence> timelines;                   // sorted for listing
};

// `parallel` reads track items, timelines and tracks on three threads (the result is the same).
TimelineClips findTimelineClipReferences(const MarkerIndex& index, const std::vector<Id>& sequenceIDs,
                                         bool parallel = false);

} // namespace tarnwick::prproj
