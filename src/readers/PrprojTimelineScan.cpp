#include "readers/PrprojTimelineScan.h"

#include "readers/PrprojPatterns.h"
#include "readers/PrprojStageResults.h"
#include "readers/PrprojTextFilters.h"
#include "readers/ReaderTask.h"

#include <algorithm>
#include <optional>

namespace tarnwick::prproj {

IdMap<Id> scanMasterClipNames(const MarkerIndex& index) {
    constexpr MarkerMask relevant = bits(masterClipUID, nameStart, masterClipEnd);
    IdMap<Id> names;
    names.reserve(index.linesWith[masterClipUID]);
    std::optional<Id> current;
    forEachMarked(index.lines, relevant, [&](const MarkedLine& line) {
        if (line.has(masterClipUID)) {
            if (auto id = firstCapture(Pattern::masterClipStart, line.text))
                current = *id;
        }
        if (current && line.has(nameStart)) {
            if (auto name = textBetween(line.text, "<Name>", "</Name>", false)) {
                names[*current] = *name;
                current.reset();
            }
        }
        if (line.has(masterClipEnd))
            current.reset();
    });
    return names;
}

SequenceScan scanSequences(std::string_view text, const MarkerIndex& index) {
    // Matches run over the whole text (a value may run across lines), each search resuming after the
    // previous match, so only occurrences on marked lines can start one.
    SequenceScan out;
    IdSet seen;
    IdSet nested;
    std::size_t uidEnd = 0;
    std::size_t refEnd = 0;
    for (const MarkedLine& line : index.lines) {
        const std::size_t lineStart = static_cast<std::size_t>(line.text.data() - text.data());
        const std::size_t lineEnd = lineStart + line.text.size();
        if (line.has(sequenceUID)) {
            std::size_t from = std::max(uidEnd, lineStart);
            while (from < lineEnd) {
                const auto m = findPattern(Pattern::sequenceStart, text, from, lineEnd);
                if (!m)
                    break;
                if (seen.insert(m->capture))
                    out.sequenceIDs.push_back(m->capture);
                from = uidEnd = m->end;
            }
        }
        if (line.has(sequenceURef)) {
            std::size_t from = std::max(refEnd, lineStart);
            while (from < lineEnd) {
                const auto m = findPattern(Pattern::nestedSequenceRef, text, from, lineEnd);
                if (!m)
                    break;
                nested.insert(m->capture);
                from = refEnd = m->end;
            }
        }
    }
    out.nestedSequenceCount = nested.size();
    return out;
}

void addCount(TimelineCounts& counts, Id timeline, qint64 n) {
    for (auto& [id, count] : counts) {
        if (id == timeline) {
            count += n;
            return;
        }
    }
    counts.emplace_back(timeline, n);
}

namespace {

// Independent parts of the timeline reading: each keeps its own state and tables.
enum class TimelinePart { items, timelines, tracks };

constexpr MarkerMask markersOf(TimelinePart part) {
    switch (part) {
    case TimelinePart::items:
        return bits(videoItem, audioItem, videoItemEnd, audioItemEnd, subClipRef);
    case TimelinePart::timelines:
        return bits(sequenceUID, trackGroups, trackGroupsEnd, secondRef, nameStart, sequenceEnd);
    case TimelinePart::tracks:
        return bits(trackGroupClose, trackGroupID, trackIndex, clipTrackClose, clipTrackUID, trackItemIndex);
    }
    return 0;
}

// The per-line state machine over track items, timelines, track groups and clip tracks.
class TimelineReader {
public:
    void read(const MarkedLine& line) {
        readTrackItem(line);
        readSubClipRef(line);
        readTimeline(line);
        readTrackGroup(line);
        readClipTrack(line);
    }

    void readPart(const MarkerIndex& index, TimelinePart part) {
        const MarkerMask relevant = markersOf(part);
        if (part == TimelinePart::items)
            reserveItems(index);
        forEachMarked(index.lines, relevant, [&](const MarkedLine& line) {
            switch (part) {
            case TimelinePart::items:
                readTrackItem(line);
                readSubClipRef(line);
                break;
            case TimelinePart::timelines:
                readTimeline(line);
                break;
            case TimelinePart::tracks:
                readTrackGroup(line);
                readClipTrack(line);
                break;
            }
        });
    }

    // Takes the tables of a part another reader read.
    void adopt(TimelineReader&& other, TimelinePart part) {
        switch (part) {
        case TimelinePart::items:
            m_videoClipCounts = std::move(other.m_videoClipCounts);
            m_audioClipCounts = std::move(other.m_audioClipCounts);
            m_itemSubClipRefs = std::move(other.m_itemSubClipRefs);
            break;
        case TimelinePart::timelines:
            m_sequenceTrackGroups = std::move(other.m_sequenceTrackGroups);
            m_sequenceNameByID = std::move(other.m_sequenceNameByID);
            break;
        case TimelinePart::tracks:
            m_trackGroupTracks = std::move(other.m_trackGroupTracks);
            m_trackItemsByTrack = std::move(other.m_trackItemsByTrack);
            break;
        }
    }

    void reserveItems(const MarkerIndex& index) {
        const auto& n = index.linesWith;
        m_itemSubClipRefs.reserve(std::min(n[subClipRef], n[videoItem] + n[audioItem]));
        m_videoClipCounts.reserve(std::min(n[subClipRef], n[videoItem]));
        m_audioClipCounts.reserve(std::min(n[subClipRef], n[audioItem]));
    }

    TimelineClips finish(const std::vector<Id>& sequenceIDs) {
        TimelineClips out;
        out.sequenceOccurrencesBySubClip.reserve(m_itemSubClipRefs.size());
        for (const auto& [timeline, groups] : m_sequenceTrackGroups) {
            for (Id group : groups) {
                const auto tracks = m_trackGroupTracks.find(group);
                if (tracks == m_trackGroupTracks.end())
                    continue;
                for (Id track : tracks->second) {
                    const auto items = m_trackItemsByTrack.find(track);
                    if (items == m_trackItemsByTrack.end())
                        continue;
                    for (Id item : items->second) {
                        const auto sub = m_itemSubClipRefs.find(item);
                        if (sub != m_itemSubClipRefs.end())
                            addCount(out.sequenceOccurrencesBySubClip[sub->second], timeline, 1);
                    }
                }
            }
        }
        out.timelines.reserve(static_cast<qsizetype>(sequenceIDs.size()));
        for (Id id : sequenceIDs) {
            const auto name = m_sequenceNameByID.find(id);
            out.timelines.append(
                {toQString(id), name == m_sequenceNameByID.end() ? QString() : toQString(name->second)});
        }
        std::stable_sort(out.timelines.begin(), out.timelines.end(), sequenceListedBefore);
        out.videoClipCounts = std::move(m_videoClipCounts);
        out.audioClipCounts = std::move(m_audioClipCounts);
        return out;
    }

private:
    void readTrackItem(const MarkedLine& line) {
        if (line.has(videoItem) || line.has(audioItem)) {
            const auto id = firstCapture(Pattern::trackItemStart, line.text);
            m_itemID = id ? std::optional<Id>(*id) : std::nullopt;
            m_video = line.has(videoItem);
            m_audio = !m_video;
        } else if (line.has(videoItemEnd)) {
            m_video = false;
            m_itemID.reset();
        } else if (line.has(audioItemEnd)) {
            m_audio = false;
            m_itemID.reset();
        }
    }

    void readSubClipRef(const MarkedLine& line) {
        if (!line.has(subClipRef))
            return;
        const auto id = firstCapture(Pattern::subClipRef, line.text);
        if (!id)
            return;
        if (m_video)
            ++m_videoClipCounts[*id];
        else if (m_audio)
            ++m_audioClipCounts[*id];
        if (m_itemID)
            m_itemSubClipRefs[*m_itemID] = *id;
    }

    void readTimeline(const MarkedLine& line) {
        if (line.has(sequenceUID)) {
            if (auto id = firstCapture(Pattern::sequenceStart, line.text)) {
                m_timeline = *id;
                m_inTrackGroups = false;
            }
        }
        if (!m_timeline)
            return;
        if (line.has(trackGroups))
            m_inTrackGroups = true;
        if (line.has(trackGroupsEnd)) {
            m_inTrackGroups = false;
        } else if (m_inTrackGroups && line.has(secondRef)) {
            if (auto group = firstCapture(Pattern::trackGroupRef, line.text))
                m_sequenceTrackGroups[*m_timeline].push_back(*group);
        }
        if (line.has(nameStart)) {
            if (auto name = textBetween(line.text, "<Name>", "</Name>", false))
                m_sequenceNameByID[*m_timeline] = *name;
        }
        if (line.has(sequenceEnd)) {
            m_inTrackGroups = false;
            m_timeline.reset();
        }
    }

    void readTrackGroup(const MarkedLine& line) {
        if (line.has(trackGroupClose)) {
            m_group.reset();
        } else if (line.has(trackGroupID)) {
            const auto id = firstCapture(Pattern::trackGroupStart, line.text);
            m_group = id ? std::optional<Id>(*id) : std::nullopt;
        }
        if (m_group && line.has(trackIndex)) {
            if (auto track = firstCapture(Pattern::trackRef, line.text))
                m_trackGroupTracks[*m_group].push_back(*track);
        }
    }

    void readClipTrack(const MarkedLine& line) {
        if (line.has(clipTrackClose)) {
            m_track.reset();
            return;
        }
        if (line.has(clipTrackUID)) {
            const auto id = firstCapture(Pattern::clipTrackStart, line.text);
            if (!id) {
                m_track.reset();
                return;
            }
            m_track = *id;
        }
        if (m_track && line.has(trackItemIndex)) {
            if (auto item = firstCapture(Pattern::trackItemRef, line.text))
                m_trackItemsByTrack[*m_track].push_back(*item);
        }
    }

    std::optional<Id> m_itemID;
    bool m_video = false;
    bool m_audio = false;
    std::optional<Id> m_timeline;
    bool m_inTrackGroups = false;
    std::optional<Id> m_group;
    std::optional<Id> m_track;

    IdMap<qint64> m_videoClipCounts;
    IdMap<qint64> m_audioClipCounts;
    IdMap<Id> m_itemSubClipRefs;
    IdMap<std::vector<Id>> m_sequenceTrackGroups;
    IdMap<std::vector<Id>> m_trackGroupTracks;
    IdMap<std::vector<Id>> m_trackItemsByTrack;
    IdMap<Id> m_sequenceNameByID;
};

} // namespace

TimelineClips findTimelineClipReferences(const MarkerIndex& index, const std::vector<Id>& sequenceIDs,
                                         bool parallel) {
    TimelineReader reader;
    if (parallel) {
        // The three parts share no state, so each replays its own lines on its own thread.
        TimelineReader timelines;
        TimelineReader tracks;
        ReaderTask<void> t([&] { timelines.readPart(index, TimelinePart::timelines); });
        ReaderTask<void> k([&] { tracks.readPart(index, TimelinePart::tracks); });
        reader.readPart(index, TimelinePart::items);
        t.get();
        k.get();
        reader.adopt(std::move(timelines), TimelinePart::timelines);
        reader.adopt(std::move(tracks), TimelinePart::tracks);
        return reader.finish(sequenceIDs);
    }
    constexpr MarkerMask relevant =
        markersOf(TimelinePart::items) | markersOf(TimelinePart::timelines) | markersOf(TimelinePart::tracks);
    reader.reserveItems(index);
    forEachMarked(index.lines, relevant, [&](const MarkedLine& line) { reader.read(line); });
    return reader.finish(sequenceIDs);
}

} // namespace tarnwick::prproj
