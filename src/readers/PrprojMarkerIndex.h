#pragma once

#include "readers/PrprojTextBuffer.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

// One pass over a project's XML that splits it into lines and records, for every line, which of the
// reader's plain markers it contains. Each scanner then replays only the lines carrying its markers.
namespace tarnwick::prproj {

enum Marker : int {
    mediaUID,            // <Media ObjectUID=
    mediaTitle,          // <Title>
    relativePath,        // <RelativePath>
    actualPath,          // <ActualMediaFilePath>
    filePath,            // <FilePath>
    mediaEnd,            // </Media>
    mediaBlank,          // "<Media " (with the blank)
    masterClipUID,       // <MasterClip ObjectUID=
    nameStart,           // <Name>
    masterClipEnd,       // </MasterClip>
    sequenceUID,         // <Sequence ObjectUID=
    sequenceURef,        // <Sequence ObjectURef=
    videoItem,           // <VideoClipTrackItem
    audioItem,           // <AudioClipTrackItem
    videoItemEnd,        // </VideoClipTrackItem>
    audioItemEnd,        // </AudioClipTrackItem>
    subClipRef,          // <SubClip ObjectRef=
    trackGroups,         // <TrackGroups
    trackGroupsEnd,      // </TrackGroups>
    secondRef,           // <Second ObjectRef=
    sequenceEnd,         // </Sequence>
    trackGroupClose,     // TrackGroup>
    trackGroupID,        // TrackGroup ObjectID=
    trackIndex,          // <Track Index=
    clipTrackClose,      // ClipTrack>
    clipTrackUID,        // ClipTrack ObjectUID=
    trackItemIndex,      // <TrackItem Index=
    subClipID,           // <SubClip ObjectID=
    masterClipURef,      // <MasterClip ObjectURef=
    subClipEnd,          // </SubClip>
    clipIndex,           // <Clip Index=
    clipID,              // Clip ObjectID=
    sourceRef,           // <Source ObjectRef=
    videoClipEnd,        // </VideoClip>
    audioClipEnd,        // </AudioClip>
    mediaSourceID,       // MediaSource ObjectID=
    mediaURef,           // <Media ObjectURef=
    videoMediaSourceEnd, // </VideoMediaSource>
    audioMediaSourceEnd, // </AudioMediaSource>
    infinite,            // <Infinite>
    sequenceSourceID,    // SequenceSource ObjectID=
    proxyMediaURef,      // <ProxyMedia ObjectURef=
    numberedStills,      // <IsNumberedStills>
    videoStreamRef,      // <VideoStream ObjectRef=
    videoStreamID,       // <VideoStream ObjectID=
    videoStreamEnd,      // </VideoStream>
    durationStart,       // <Duration>
    frameRateStart,      // <FrameRate>
    markerCount
};

using MarkerMask = std::uint64_t;
static_assert(markerCount <= 64);

constexpr MarkerMask bit(Marker m) {
    return MarkerMask(1) << m;
}
template <typename... M> constexpr MarkerMask bits(M... m) {
    return (bit(m) | ...);
}

std::string_view markerText(Marker m);

struct MarkedLine {
    std::size_t index = 0; // line number, from 0
    std::string_view text; // without its separator
    MarkerMask mask = 0;

    bool has(Marker m) const { return (mask & bit(m)) != 0; }
};

// The marked lines in order, kept as the runs the pieces of the scan read them in: joining them into
// one list would write every record a second time, into fresh memory.
class MarkedLines {
public:
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const MarkedLine& operator[](std::size_t i) const {
        std::size_t k = 0;
        while (i >= m_runs[k].size()) {
            i -= m_runs[k].size();
            ++k;
        }
        return m_runs[k][i];
    }

    // Appends a run of lines (their line numbers already counted from the text's start).
    void append(std::vector<MarkedLine>&& run) {
        if (run.empty())
            return;
        m_size += run.size();
        m_runs.push_back(std::move(run));
    }
    void clear() {
        m_runs.clear();
        m_size = 0;
    }

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = MarkedLine;
        using difference_type = std::ptrdiff_t;
        using pointer = const MarkedLine*;
        using reference = const MarkedLine&;

        const_iterator() = default;
        const_iterator(const std::vector<std::vector<MarkedLine>>* runs, std::size_t run,
                       std::size_t offset = 0)
            : m_runs(runs), m_run(run) {
            settle();
            m_at += offset;
        }
        const MarkedLine& operator*() const { return *m_at; }
        const MarkedLine* operator->() const { return m_at; }
        const_iterator& operator++() {
            if (++m_at == m_end) {
                ++m_run;
                settle();
            }
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator& o) const { return m_at == o.m_at; }

    private:
        void settle() {
            if (m_run < m_runs->size()) {
                m_at = (*m_runs)[m_run].data();
                m_end = m_at + (*m_runs)[m_run].size();
            } else {
                m_at = m_end = nullptr;
            }
        }
        const std::vector<std::vector<MarkedLine>>* m_runs = nullptr;
        std::size_t m_run = 0;
        const MarkedLine* m_at = nullptr;
        const MarkedLine* m_end = nullptr;
    };
    const_iterator begin() const { return {&m_runs, 0}; }
    // The i-th line's place (end() when i is size()).
    const_iterator iteratorAt(std::size_t i) const {
        std::size_t k = 0;
        while (k < m_runs.size() && i >= m_runs[k].size()) {
            i -= m_runs[k].size();
            ++k;
        }
        return {&m_runs, k, i};
    }
    const_iterator end() const { return {&m_runs, m_runs.size()}; }

private:
    std::vector<std::vector<MarkedLine>> m_runs; // none empty
    std::size_t m_size = 0;
};

struct MarkerIndex {
    std::size_t lineCount = 0;    // lines as split at every newline character
    std::size_t crlfPairs = 0;    // CR directly followed by LF
    MarkedLines lines;            // only lines with at least one marker, in order
    MarkerMask markersInText = 0; // union of every line's mask
    // How many marked lines carry each marker: the stages size their tables by it.
    std::array<std::size_t, markerCount> linesWith{};
    // The marked lines would take more memory than three quarters of the text (a text of nothing but short
    // marked lines, which no project holds): `lines` is then empty and must not be used.
    bool tooDense = false;
    // Sequence values copied out of a text handed back while it was read.
    std::vector<std::unique_ptr<char[]>> ownedText;
    // That text, down to the marked lines the index views (empty when the index views the caller's text).
    TextBuffer keptText;
};

// Calls `read(line)` for each line in [from, to) that carries one of `relevant`, in order. The
// lines' text was copied out long before a stage reads it and has left the cache by then, so the
// text of the next few lines to be read is fetched while the current one is read.
template <typename Read>
void forEachMarked(MarkedLines::const_iterator from, MarkedLines::const_iterator to, MarkerMask relevant,
                   Read&& read) {
    constexpr int kAhead = 8;
    auto ahead = from;
    int fetched = 0; // relevant lines between the current one and `ahead`
    for (auto it = from; it != to; ++it) {
        for (; fetched < kAhead && ahead != to; ++ahead) {
            if (ahead->mask & relevant) {
                __builtin_prefetch(ahead->text.data());
                if (ahead->text.size() > 64)
                    __builtin_prefetch(ahead->text.data() + 64);
                ++fetched;
            }
        }
        if (it->mask & relevant) {
            --fetched;
            read(*it);
        }
    }
}
template <typename Read> void forEachMarked(const MarkedLines& lines, MarkerMask relevant, Read&& read) {
    forEachMarked(lines.begin(), lines.end(), relevant, std::forward<Read>(read));
}

// Newline characters: U+000A to U+000D, U+0085, U+2028, U+2029; a CR LF pair leaves an empty line.
// The text must be valid UTF-8. Large texts are split into up to `threads` pieces read at once.
// The index of scanText (PrprojTextScan.h), which reads the rest of what the reader needs beside it.
inline constexpr std::size_t kParallelThreshold = std::size_t(16) << 20;
MarkerIndex indexMarkers(std::string_view text, int threads = 1);

} // namespace tarnwick::prproj
