#include "readers/PrprojMarkerIndex.h"
#include "readers/ReaderTask.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarnwick::prproj {

namespace {

constexpr std::array<std::string_view, markerCount> kMarkerTexts = {
    "<Media ObjectUID=",
    "<Title>",
    "<RelativePath>",
    "<ActualMediaFilePath>",
    "<FilePath>",
    "</Media>",
    "<Media ",
    "<MasterClip ObjectUID=",
    "<Name>",
    "</MasterClip>",
    "<Sequence ObjectUID=",
    "<Sequence ObjectURef=",
    "<VideoClipTrackItem",
    "<AudioClipTrackItem",
    "</VideoClipTrackItem>",
    "</AudioClipTrackItem>",
    "<SubClip ObjectRef=",
    "<TrackGroups",
    "</TrackGroups>",
    "<Second ObjectRef=",
    "</Sequence>",
    "TrackGroup>",
    "TrackGroup ObjectID=",
    "<Track Index=",
    "ClipTrack>",
    "ClipTrack ObjectUID=",
    "<TrackItem Index=",
    "<SubClip ObjectID=",
    "<MasterClip ObjectURef=",
    "</SubClip>",
    "<Clip Index=",
    "Clip ObjectID=",
    "<Source ObjectRef=",
    "</VideoClip>",
    "</AudioClip>",
    "MediaSource ObjectID=",
    "<Media ObjectURef=",
    "</VideoMediaSource>",
    "</AudioMediaSource>",
    "<Infinite>",
    "SequenceSource ObjectID=",
};

// Markers ending in '=' or '>' are found from that last byte, looking back; the few others start
// with '<' and are found from it, looking ahead. Candidates are bucketed by the byte that precedes
// the anchor (or follows the '<').
struct Candidate {
    Marker marker;
    std::uint32_t edge; // the marker's last four bytes (look-back) or first four (look-ahead)
};

std::uint32_t load32(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

struct Buckets {
    std::array<std::vector<Candidate>, 256> byEquals;
    std::array<std::vector<Candidate>, 256> byGreater;
    std::array<std::vector<Candidate>, 256> byLess;
};

const Buckets& buckets() {
    static const Buckets b = [] {
        Buckets r;
        for (int i = 0; i < markerCount; ++i) {
            const std::string_view t = kMarkerTexts[static_cast<std::size_t>(i)];
            const auto m = static_cast<Marker>(i);
            const char last = t.back();
            if (last == '=' || last == '>') {
                const auto prev = static_cast<unsigned char>(t[t.size() - 2]);
                (last == '=' ? r.byEquals : r.byGreater)[prev].push_back(
                    {m, load32(t.data() + t.size() - 4)});
            } else {
                r.byLess[static_cast<unsigned char>(t[1])].push_back({m, load32(t.data())});
            }
        }
        return r;
    }();
    return b;
}

struct Scanner {
    const char* p;
    std::size_t n;
    const Buckets& b = buckets();
    MarkerIndex out;
    std::size_t lineStart = 0;
    MarkerMask mask = 0;

    void endLine(std::size_t at, std::size_t separatorLength) {
        if (mask != 0 && !out.tooDense) {
            out.lines.push_back({out.lineCount, std::string_view(p + lineStart, at - lineStart), mask});
            out.markersInText |= mask;
            // The index stays within three quarters of the text's size (real projects stay near a
            // hundredth of it), so the reader's peak stays within a few times the text on any input.
            if (out.lines.size() % 4096 == 0 &&
                out.lines.size() * sizeof(MarkedLine) > n / 4 * 3 + (std::size_t(1) << 20)) {
                out.tooDense = true;
                std::vector<MarkedLine>().swap(out.lines);
            }
        }
        mask = 0;
        ++out.lineCount;
        lineStart = at + separatorLength;
    }

    // Every marker is at least 6 bytes long, so the four-byte words below stay inside it.
    void lookBack(const std::vector<Candidate>& candidates, std::size_t at) {
        if (candidates.empty() || at < 5)
            return;
        const std::uint32_t tail = load32(p + at - 3);
        for (const Candidate& c : candidates) {
            if (c.edge != tail)
                continue;
            const std::string_view t = kMarkerTexts[static_cast<std::size_t>(c.marker)];
            if (at + 1 >= t.size() && std::memcmp(p + at + 1 - t.size(), t.data(), t.size()) == 0)
                mask |= bit(c.marker);
        }
    }

    void lookAhead(std::size_t at) {
        if (n - at < 6)
            return;
        const std::uint32_t head = load32(p + at);
        for (const Candidate& c : b.byLess[static_cast<unsigned char>(p[at + 1])]) {
            if (c.edge != head)
                continue;
            const std::string_view t = kMarkerTexts[static_cast<std::size_t>(c.marker)];
            if (n - at >= t.size() && std::memcmp(p + at, t.data(), t.size()) == 0)
                mask |= bit(c.marker);
        }
    }

    void handle(std::size_t i) {
        const auto c = static_cast<unsigned char>(p[i]);
        switch (c) {
        case '<':
            lookAhead(i);
            break;
        case '=':
            if (i > 0)
                lookBack(b.byEquals[static_cast<unsigned char>(p[i - 1])], i);
            break;
        case '>':
            if (i > 0)
                lookBack(b.byGreater[static_cast<unsigned char>(p[i - 1])], i);
            break;
        case '\n':
            if (i > 0 && p[i - 1] == '\r')
                ++out.crlfPairs;
            endLine(i, 1);
            break;
        case 0x0B:
        case 0x0C:
        case '\r':
            endLine(i, 1);
            break;
        case 0xC2: // U+0085
            if (i + 1 < n && static_cast<unsigned char>(p[i + 1]) == 0x85)
                endLine(i, 2);
            break;
        case 0xE2: // U+2028, U+2029
            if (i + 2 < n && static_cast<unsigned char>(p[i + 1]) == 0x80 &&
                (static_cast<unsigned char>(p[i + 2]) & 0xFE) == 0xA8)
                endLine(i, 3);
            break;
        default:
            break;
        }
    }

    static bool interesting(unsigned char c) {
        return c == '<' || c == '=' || c == '>' || (c >= 0x0A && c <= 0x0D) || c == 0xC2 || c == 0xE2;
    }

    void run() {
        std::size_t i = 0;
#if defined(__SSE2__)
        const __m128i lt = _mm_set1_epi8('<');
        const __m128i eq = _mm_set1_epi8('=');
        const __m128i gt = _mm_set1_epi8('>');
        const __m128i c2 = _mm_set1_epi8(static_cast<char>(0xC2));
        const __m128i e2 = _mm_set1_epi8(static_cast<char>(0xE2));
        // (c + 0x76) as a signed byte is below -124 exactly for 0x0A..0x0D.
        const __m128i shift = _mm_set1_epi8(0x76);
        const __m128i limit = _mm_set1_epi8(static_cast<char>(0x84));
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, eq));
            hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, gt));
            hit = _mm_or_si128(hit, _mm_or_si128(_mm_cmpeq_epi8(v, c2), _mm_cmpeq_epi8(v, e2)));
            hit = _mm_or_si128(hit, _mm_cmplt_epi8(_mm_add_epi8(v, shift), limit));
            auto found = static_cast<unsigned>(_mm_movemask_epi8(hit));
            while (found != 0) {
                handle(i + static_cast<std::size_t>(__builtin_ctz(found)));
                found &= found - 1;
            }
        }
#endif
        for (; i < n; ++i) {
            if (interesting(static_cast<unsigned char>(p[i])))
                handle(i);
        }
        endLine(n, 0);
    }
};

} // namespace

std::string_view markerText(Marker m) {
    return kMarkerTexts[static_cast<std::size_t>(m)];
}

MarkerIndex indexMarkers(std::string_view text, int threads) {
    // Pieces end just after a line feed: no marker, CR LF pair or cluster spans two of them.
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (int k = 1; k < threads && text.size() >= kParallelThreshold; ++k) {
        const std::size_t at =
            std::max(start, text.size() / static_cast<std::size_t>(threads) * static_cast<std::size_t>(k));
        const std::size_t lf = text.find('\n', at);
        if (lf == std::string_view::npos)
            break;
        pieces.push_back(text.substr(start, lf + 1 - start));
        start = lf + 1;
    }
    pieces.push_back(text.substr(start));

    std::vector<ReaderTask<MarkerIndex>> parts;
    for (std::string_view piece : pieces) {
        parts.emplace_back(
            [piece] {
                Scanner s{piece.data(), piece.size(), buckets(), MarkerIndex{}, 0, 0};
                s.run();
                return std::move(s.out);
            },
            pieces.size() > 1);
    }
    if (parts.size() == 1)
        return parts.front().get();
    std::vector<MarkerIndex> got;
    std::size_t marked = 0;
    for (auto& part : parts) {
        got.push_back(part.get());
        marked += got.back().lines.size();
    }
    MarkerIndex out = std::move(got.front());
    for (const MarkerIndex& part : got) {
        if (part.tooDense) {
            out.tooDense = true;
            std::vector<MarkedLine>().swap(out.lines);
            return out;
        }
    }
    out.lines.reserve(marked); // one copy of the lines, not one per doubling
    for (std::size_t k = 1; k < got.size(); ++k) {
        MarkerIndex& part = got[k];
        // The previous piece's last line is the empty one after its final line feed: this one's first.
        const std::size_t offset = out.lineCount - 1;
        for (const MarkedLine& line : part.lines)
            out.lines.push_back({line.index + offset, line.text, line.mask});
        out.lineCount = offset + part.lineCount;
        out.crlfPairs += part.crlfPairs;
        out.markersInText |= part.markersInText;
        // Each piece goes as soon as it was copied: the reserved room is only touched as it fills, so
        // the lines are held about once, not twice, while they are joined.
        std::vector<MarkedLine>().swap(part.lines);
    }
    return out;
}

} // namespace tarnwick::prproj
