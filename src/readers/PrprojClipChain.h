#pragma once

#include "readers/PrprojMarkerIndex.h"
#include "readers/PrprojStageResults.h"
#include "readers/PrprojTimelineScan.h"

#include <vector>

namespace tarnwick::prproj {

// Timeline sub-clips to their master clips, with usage counts and per-timeline attribution.
MasterClipMapping mapSubClipsToMasterClips(const TimelineClips& clips, const MarkerIndex& index);

// The same in two steps: the master-clip references of sub-clip blocks, in order (needs no timeline,
// so it can be read beside the timelines), then the mapping over them.
struct SubClipMasterRef {
    Id subClip;
    Id masterClip;
};
std::vector<SubClipMasterRef> collectSubClipMasterRefs(const MarkerIndex& index);
MasterClipMapping mapSubClipsToMasterClips(const TimelineClips& clips,
                                           const std::vector<SubClipMasterRef>& refs);

// Master clip -> clips -> media sources -> Media objects, read in one replay of the lines. Paths
// are joined only for the master clips that are asked for; the count covers every master clip.
class MasterClipMediaChain {
public:
    // `parallel` reads the three block kinds on three threads.
    explicit MasterClipMediaChain(const MarkerIndex& index, bool parallel = false);
    // Joins with the media read from the Media blocks; call before the queries below.
    void attach(const IdMap<QStringList>& mediaPathsByMediaUID);

    qsizetype resolvedCount() const { return m_resolvedCount; }
    QStringList pathsOf(Id masterClip) const;
    ReferenceChain asReferenceChain() const;

private:
    const IdMap<QStringList>* m_mediaPaths = nullptr;
    IdMap<std::vector<Id>> m_mediaRefsByMasterClip; // Media identifiers each master clip leads to
    qsizetype m_resolvedCount = 0;
};

} // namespace tarnwick::prproj
