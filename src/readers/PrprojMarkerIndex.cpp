#include "readers/PrprojMarkerIndex.h"

#include "readers/PrprojIdTable.h"
#include "readers/PrprojTextScan.h"
#include "readers/PrprojUtf8.h"
#include "readers/ReaderTask.h"

#include <QThread>
#include <algorithm>
#include <array>

#include <atomic>
#include <cstring>
#include <memory>

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
    "<ProxyMedia ObjectURef=",
    "<IsNumberedStills>",
    "<VideoStream ObjectRef=",
    "<VideoStream ObjectID=",
    "</VideoStream>",
    "<Duration>",
    "<FrameRate>",
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

// The index keeps within three quarters of a piece's size in line records of this many bytes each
// (real projects stay near a hundredth of it), so the reader's peak stays within a few times the
// text on any input. The figure is part of what a project is refused for: it stays as it is.
constexpr std::size_t kLineRecordBytes = 32;

bool refuses(std::size_t lines, std::size_t bytes) {
    return lines * kLineRecordBytes > bytes / 4 * 3 + (std::size_t(1) << 20);
}

std::size_t lineBound(std::size_t bytes) {
    return (bytes / 4 * 3 + (std::size_t(1) << 20)) / kLineRecordBytes + 4096;
}

// Copies of marked lines and identifiers, in blocks that never move.
class LineArena {
public:
    std::string_view copy(std::string_view s) {
        if (m_room < s.size()) {
            const std::size_t size = std::max(kBlock, s.size());
            m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
            m_next = m_blocks.back().get();
            m_room = size;
        }
        char* at = m_next;
        std::memcpy(at, s.data(), s.size());
        m_next += s.size();
        m_room -= s.size();
        return {at, s.size()};
    }
    void clear() {
        m_blocks.clear();
        m_next = nullptr;
        m_room = 0;
    }
    std::vector<std::unique_ptr<char[]>>& blocks() { return m_blocks; }

private:
    static constexpr std::size_t kBlock = std::size_t(64) << 10;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr;
    std::size_t m_room = 0;
};

// The two whole-text sequence expressions, "<Sequence ObjectUID="([^"]+)"" and
// "<Sequence ObjectURef="([^"]+)"/>": each search resumes after the previous match, and a value may
// run across lines. Matches are followed per piece from both states a piece can be entered in: free,
// or inside a match begun in an earlier piece, which then ends at this piece's first quote (the value
// holds no quote). The join picks the state the earlier pieces leave.
enum SequenceKind { sequenceDefinition, sequenceReference, sequenceKinds };

constexpr std::array<std::string_view, sequenceKinds> kSequenceAnchors = {"<Sequence ObjectUID=\"",
                                                                          "<Sequence ObjectURef=\""};
constexpr std::array<Marker, sequenceKinds> kSequenceMarkers = {sequenceUID, sequenceURef};

struct SequenceRun {
    std::size_t end = 0;   // end of the last match taken (absolute), or where the state began
    bool taken = false;    // a match was taken in this piece
    std::vector<Id> found; // distinct values, in order
    IdSet seen;

    void offer(std::size_t at, Id value, std::size_t matchEnd, LineArena* arena) {
        if (at < end)
            return;
        end = matchEnd;
        taken = true;
        if (seen.count(value) != 0)
            return;
        if (arena)
            value = arena->copy(value);
        seen.insert(value);
        found.push_back(value);
    }
};

struct PieceSequences {
    std::array<std::array<SequenceRun, 2>, sequenceKinds> runs; // [kind][0 free, 1 entered in a match]
};

struct Scanner {
    Scanner(std::string_view text, std::size_t offset, std::size_t size, LineArena* copies, char* own)
        : p(text.data() + offset), n(size), whole(text), base(offset), arena(copies), writable(own) {}

    const char* p; // the piece
    std::size_t n;
    std::string_view whole; // the text the piece is part of (values may run on past the piece)
    std::size_t base;       // the piece's offset in it
    LineArena* arena;       // copies of sequence values when the text is handed back
    // The text's own bytes when it is handed back: each marked line is moved down to keptEnd, into
    // text already read, so the lines kept take no memory of their own. Nothing before the piece's
    // head end is moved (the piece before reads it).
    char* writable;
    std::size_t keptStart = 0; // absolute, where the piece's moved lines begin
    std::size_t keptEnd = 0;   // absolute, the end of the lines moved so far
    const Buckets& b = buckets();
    MarkerIndex out;               // its lines stay empty: they are gathered in `lines`
    std::vector<MarkedLine> lines; // line numbers counted from the piece's start
    PieceSequences sequences;
    std::size_t lineStart = 0;
    MarkerMask mask = 0;
    std::size_t quoteFrom = std::string_view::npos; // the first quote at or after quoteFrom is quoteAt
    std::size_t quoteAt = std::string_view::npos;

    void endLine(std::size_t at, std::size_t separatorLength) {
        if (mask != 0 && !out.tooDense) {
            std::string_view text(p + lineStart, at - lineStart);
            if (mask & bits(sequenceUID, sequenceURef))
                readSequences(text, lineStart);
            if (writable)
                text = keep(lineStart, text.size());
            lines.push_back({out.lineCount, text, mask});
            out.markersInText |= mask;
            for (MarkerMask m = mask; m != 0; m &= m - 1)
                ++out.linesWith[static_cast<std::size_t>(__builtin_ctzll(m))];
            if (lines.size() % 4096 == 0 && refuses(lines.size(), n))
                refuse();
        }
        mask = 0;
        ++out.lineCount;
        lineStart = at + separatorLength;
    }

    void refuse() {
        out.tooDense = true;
        std::vector<MarkedLine>().swap(lines);
        if (arena)
            arena->clear();
        keptEnd = keptStart; // what was moved may be handed back
        sequences = {};
    }

    // The line at `offset` in the piece, moved down to the end of the lines kept. Lines never move up
    // (keptEnd stays at or before the line being read), and a look back from a later line stops at its
    // separator, which no move reaches, so the scan reads as over the untouched text.
    std::string_view keep(std::size_t offset, std::size_t length) {
        const std::size_t from = base + offset;
        if (from < keptEnd) { // in the head: stays where it is
            keptEnd = std::max(keptEnd, from + length);
            return whole.substr(from, length);
        }
        if (from != keptEnd)
            std::memmove(writable + keptEnd, writable + from, length);
        const std::string_view moved(writable + keptEnd, length);
        keptEnd += length;
        return moved;
    }

    // Position in `whole` of the first quote at or after `from`, or npos. Remembered, so text without
    // quotes is searched once however many matches start in it.
    std::size_t quoteAtOrAfter(std::size_t from) {
        if (quoteFrom != std::string_view::npos && from >= quoteFrom && from <= quoteAt)
            return quoteAt;
        const void* q =
            from < whole.size() ? std::memchr(whole.data() + from, '"', whole.size() - from) : nullptr;
        quoteFrom = from;
        quoteAt =
            q ? static_cast<std::size_t>(static_cast<const char*>(q) - whole.data()) : std::string_view::npos;
        return quoteAt;
    }

    void readSequences(std::string_view line, std::size_t lineOffset) {
        for (int k = 0; k < sequenceKinds; ++k) {
            if (!(mask & bit(kSequenceMarkers[static_cast<std::size_t>(k)])))
                continue;
            const std::string_view anchor = kSequenceAnchors[static_cast<std::size_t>(k)];
            for (std::size_t at = line.find(anchor); at != std::string_view::npos;
                 at = line.find(anchor, at + 1)) {
                const std::size_t start = base + lineOffset + at;
                const std::size_t value = start + anchor.size();
                const std::size_t quote = quoteAtOrAfter(value);
                if (quote == std::string_view::npos || quote == value)
                    continue;
                std::size_t matchEnd = quote + 1;
                if (k == sequenceReference) {
                    if (whole.substr(quote, 3) != "\"/>")
                        continue;
                    matchEnd = quote + 3;
                }
                const Id id = whole.substr(value, quote - value);
                for (SequenceRun& run : sequences.runs[static_cast<std::size_t>(k)])
                    run.offer(start, id, matchEnd, arena);
            }
        }
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
            if (at + 1 >= t.size() && sameBytes(p + at + 1 - t.size(), t.data(), t.size()))
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
            if (n - at >= t.size() && sameBytes(p + at, t.data(), t.size()))
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

    // Bytes [from, to) of the piece; `to` is the piece's end or just after a line feed, so no
    // separator or marker is cut.
    void run(std::size_t from, std::size_t to) {
        std::size_t i = from;
#if defined(__SSE2__)
        const __m128i lt = _mm_set1_epi8('<');
        const __m128i eq = _mm_set1_epi8('=');
        const __m128i gt = _mm_set1_epi8('>');
        const __m128i c2 = _mm_set1_epi8(static_cast<char>(0xC2));
        const __m128i e2 = _mm_set1_epi8(static_cast<char>(0xE2));
        // (c + 0x76) as a signed byte is below -124 exactly for 0x0A..0x0D.
        const __m128i shift = _mm_set1_epi8(0x76);
        const __m128i limit = _mm_set1_epi8(static_cast<char>(0x84));
        for (; i + 16 <= to; i += 16) {
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
        for (; i < to; ++i) {
            if (interesting(static_cast<unsigned char>(p[i])))
                handle(i);
        }
    }
};

// What one piece gives the join.
struct PieceScan {
    MarkerIndex index;
    std::vector<MarkedLine> lines;
    std::vector<std::unique_ptr<char[]>> copies;
    PieceSequences sequences;
    std::size_t firstQuote = std::string_view::npos; // absolute
    std::size_t characters = 0;                      // before the CR LF pairs are taken off
    bool valid = true;
};

// The UTF-8 check, the character count and the marker scan read a block at a time, while it is in
// the cache; the text's pages behind the scan are handed back as it goes.
constexpr std::size_t kBlockBytes = std::size_t(256) << 10;
constexpr std::size_t kReleaseBytes = std::size_t(2) << 20;
constexpr std::size_t kKeptSlack = std::size_t(256) << 10;

struct PieceJob {
    std::string_view whole; // the text the piece is part of
    std::size_t base = 0;   // the piece's offset in it
    std::size_t size = 0;
    TextBuffer* handBack = nullptr; // keep the lines in place and hand the rest back as it is read
    std::size_t reserveLines = 0;
    std::atomic<bool>* invalid = nullptr;
};

PieceScan scanPiece(const PieceJob& job) {
    PieceScan result;
    LineArena arena;
    const std::size_t base = job.base;
    const std::size_t size = job.size;
    const char* p = job.whole.data() + base;
    Scanner s(job.whole, base, size, job.handBack ? &arena : nullptr,
              job.handBack ? job.handBack->data() : nullptr);
    s.lines.reserve(job.reserveLines);
    // The piece's first quote ends any value an earlier piece left open, which that piece reads
    // from here: the text up to it (and the two bytes after it) is kept until the end.
    const void* q = size > 0 ? std::memchr(p, '"', size) : nullptr;
    const std::size_t head =
        q ? std::min(size, static_cast<std::size_t>(static_cast<const char*>(q) - p) + 3) : size;
    if (q)
        result.firstQuote = base + static_cast<std::size_t>(static_cast<const char*>(q) - p);
    for (int k = 0; k < sequenceKinds; ++k) {
        // Entered inside an earlier piece's match, which ends just after this quote.
        SequenceRun& entered = s.sequences.runs[static_cast<std::size_t>(k)][1];
        entered.end = result.firstQuote == std::string_view::npos
                          ? std::string_view::npos
                          : result.firstQuote + (k == sequenceReference ? 3 : 1);
    }
    std::size_t releaseFrom = base + head;
    s.keptStart = s.keptEnd = base + head;
    const auto page = static_cast<std::size_t>(TextBuffer::kPage);
    // Hands back the text read, short of the lines kept and the room they are expected to need for
    // the rest of the piece (by the share kept so far): a page handed back and then written again
    // is only a fresh page, never a wrong one.
    auto handBackRead = [&](std::size_t readTo, bool last) {
        std::size_t keepTo = s.keptEnd;
        const std::size_t passed = readTo - std::min(readTo, s.keptStart);
        if (!last && passed > 0) {
            const double share = double(s.keptEnd - s.keptStart) / double(passed);
            keepTo += static_cast<std::size_t>(share * double(base + size - readTo)) + kKeptSlack;
        }
        const std::size_t from = std::max(releaseFrom, (keepTo + page - 1) / page * page);
        const std::size_t to = last ? base + size : readTo / page * page;
        if (to < from + (last ? 0 : kReleaseBytes))
            return;
        job.handBack->release(static_cast<qsizetype>(from), static_cast<qsizetype>(to));
        releaseFrom = to;
    };
    std::size_t at = 0;
    while (at < size) {
        if (job.invalid->load(std::memory_order_relaxed))
            break;
        std::size_t to = size;
        if (size - at > kBlockBytes) {
            const void* lf = std::memchr(p + at + kBlockBytes, '\n', size - at - kBlockBytes);
            if (lf)
                to = static_cast<std::size_t>(static_cast<const char*>(lf) - p) + 1;
        }
        const std::string_view block(p + at, to - at);
        if (!isValidUtf8(block)) {
            result.valid = false;
            job.invalid->store(true, std::memory_order_relaxed);
            break;
        }
        result.characters += countCharacters(block, 0);
        s.run(at, to);
        at = to;
        // A little behind the line being read: a look back may touch the bytes just before it. Handed
        // back a few blocks at a time: each hand-back stops every thread of the process a moment.
        if (job.handBack && s.lineStart > 64)
            handBackRead(base + s.lineStart - 64, false);
    }
    s.endLine(size, 0);
    if (job.handBack)
        handBackRead(base + size, true);
    result.index = std::move(s.out);
    result.lines = std::move(s.lines);
    result.sequences = std::move(s.sequences);
    result.copies = std::move(arena.blocks());
    return result;
}

void joinSequences(std::vector<PieceScan>& pieces, const std::vector<std::size_t>& starts,
                   SequenceScan& out) {
    IdSet nested;
    IdSet defined;
    for (int k = 0; k < sequenceKinds; ++k) {
        std::size_t end = 0;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            const bool entered = end > starts[i];
            // A match left open by an earlier piece holds no quote, so it ends at this piece's first.
            Q_ASSERT(!entered || pieces[i].firstQuote == std::string_view::npos ||
                     end == pieces[i].firstQuote + (k == sequenceReference ? 3 : 1));
            SequenceRun& run = pieces[i].sequences.runs[static_cast<std::size_t>(k)][entered ? 1 : 0];
            if (run.taken)
                end = run.end;
            for (Id id : run.found) {
                if (k == sequenceReference) {
                    nested.insert(id);
                } else if (defined.insert(id)) {
                    out.sequenceIDs.push_back(id);
                }
            }
        }
    }
    out.nestedSequenceCount = nested.size();
}

// Pieces in text order, each starting where the last one ended (`starts` has one more entry: the
// end), into one scan. Each piece's lines stay where the piece wrote them.
TextScan joinPieces(std::vector<PieceScan>& got, const std::vector<std::size_t>& starts) {
    TextScan scan;
    bool tooDense = false;
    for (const PieceScan& piece : got) {
        scan.validUtf8 = scan.validUtf8 && piece.valid;
        scan.characters += piece.characters;
        tooDense = tooDense || piece.index.tooDense;
    }
    MarkerIndex& out = scan.index;
    out = std::move(got.front().index);
    out.tooDense = tooDense;
    const std::size_t count = got.size();
    const bool keepLines = scan.validUtf8 && !out.tooDense;
    if (keepLines)
        out.lines.append(std::move(got.front().lines));
    for (std::size_t k = 1; k < count; ++k) {
        MarkerIndex& part = got[k].index;
        // The previous piece's last line is the empty one after its final line feed: this one's first.
        const std::size_t offset = out.lineCount - 1;
        if (keepLines) {
            for (MarkedLine& line : got[k].lines)
                line.index += offset;
            out.lines.append(std::move(got[k].lines));
            out.markersInText |= part.markersInText;
            for (std::size_t m = 0; m < out.linesWith.size(); ++m)
                out.linesWith[m] += part.linesWith[m];
        }
        out.lineCount = offset + part.lineCount;
        out.crlfPairs += part.crlfPairs;
    }
    if (!keepLines)
        return scan;
    for (PieceScan& piece : got) {
        for (auto& block : piece.copies)
            out.ownedText.push_back(std::move(block));
    }
    joinSequences(got, starts, scan.sequences);
    scan.characters -= out.crlfPairs;
    return scan;
}

} // namespace

std::string_view markerText(Marker m) {
    return kMarkerTexts[static_cast<std::size_t>(m)];
}

int scanThreads(std::size_t bytes) {
    return bytes >= kParallelThreshold ? std::min(QThread::idealThreadCount(), 8) : 1;
}

namespace {

TextScan scanPieces(std::string_view text, int threads, TextBuffer* handBack) {
    // Pieces end just after a line feed: no marker, CR LF pair, sequence or cluster spans two of them.
    std::vector<std::size_t> starts{0};
    for (int k = 1; k < threads && text.size() >= kParallelThreshold; ++k) {
        const std::size_t at = std::max(starts.back(), text.size() / static_cast<std::size_t>(threads) *
                                                           static_cast<std::size_t>(k));
        const std::size_t lf = text.find('\n', at);
        if (lf == std::string_view::npos)
            break;
        starts.push_back(lf + 1);
    }
    starts.push_back(text.size());
    const std::size_t count = starts.size() - 1;

    // Room for every line a piece may mark before it is refused, so no index is copied while it
    // grows; only the part filled is ever touched.
    const bool large = text.size() >= (std::size_t(1) << 20);
    std::atomic<bool> invalid{false};
    std::vector<ReaderTask<PieceScan>> parts;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t size = starts[k + 1] - starts[k];
        const std::size_t reserve = large ? lineBound(size) : 0;
        const PieceJob job{text, starts[k], size, handBack, reserve, &invalid};
        parts.emplace_back([job] { return scanPiece(job); }, count > 1);
    }
    std::vector<PieceScan> got;
    got.reserve(count);
    for (auto& part : parts)
        got.push_back(part.get());
    TextScan scan = joinPieces(got, starts);
    scan.bytes = text.size();
    return scan;
}

} // namespace

TextScan scanText(std::string_view text, int threads) {
    return scanPieces(text, threads, nullptr);
}

TextScan scanText(TextBuffer&& text, int threads) {
    TextScan scan = scanPieces(text.view(), threads, &text);
    if (!scan.index.tooDense && scan.validUtf8)
        scan.index.keptText = std::move(text);
    return scan;
}

MarkerIndex indexMarkers(std::string_view text, int threads) {
    return scanText(text, threads).index;
}

} // namespace tarnwick::prproj
