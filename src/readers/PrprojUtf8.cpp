#include "readers/PrprojUtf8.h"

#include "platform/Graphemes.h"

#include <QString>

#include "readers/PrprojMarkerIndex.h"
#include "readers/ReaderTask.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarnwick::prproj {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// Index of the first byte at or after `i` with its high bit set, or `n`.
std::size_t skipAscii(const unsigned char* p, std::size_t i, std::size_t n) {
#if defined(__SSE2__)
    while (i + 32 <= n) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16));
        if (_mm_movemask_epi8(_mm_or_si128(a, b)) != 0)
            break;
        i += 32;
    }
#endif
    while (i + 8 <= n) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & kHighBits)
            break;
        i += 8;
    }
    while (i < n && p[i] < 0x80)
        ++i;
    return i;
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the valid sequence at i, or 0.
std::size_t sequenceLength(const unsigned char* p, std::size_t i, std::size_t n) {
    const unsigned char c = p[i];
    if (c >= 0xC2 && c <= 0xDF)
        return i + 1 < n && isContinuation(p[i + 1]) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (i + 2 >= n || !isContinuation(p[i + 1]) || !isContinuation(p[i + 2]))
            return 0;
        if (c == 0xE0 && p[i + 1] < 0xA0)
            return 0; // overlong
        if (c == 0xED && p[i + 1] >= 0xA0)
            return 0; // surrogate
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (i + 3 >= n || !isContinuation(p[i + 1]) || !isContinuation(p[i + 2]) || !isContinuation(p[i + 3]))
            return 0;
        if (c == 0xF0 && p[i + 1] < 0x90)
            return 0; // overlong
        if (c == 0xF4 && p[i + 1] >= 0x90)
            return 0; // beyond U+10FFFF
        return 4;
    }
    return 0;
}

bool isValidUtf8Piece(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (true) {
        i = skipAscii(p, i, n);
        if (i >= n)
            return true;
        const std::size_t len = sequenceLength(p, i, n);
        if (len == 0)
            return false;
        i += len;
    }
}

} // namespace

bool isValidUtf8(std::string_view text, int threads) {
    // Pieces start at a byte that is not a continuation byte: a sequence cut by a piece's end is
    // then invalid in that piece just as it is in the whole text.
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (int k = 1; k < threads && text.size() >= kParallelThreshold; ++k) {
        std::size_t at =
            std::max(start, text.size() / static_cast<std::size_t>(threads) * static_cast<std::size_t>(k));
        while (at < text.size() && isContinuation(static_cast<unsigned char>(text[at])))
            ++at;
        pieces.push_back(text.substr(start, at - start));
        start = at;
    }
    pieces.push_back(text.substr(start));
    if (pieces.size() == 1)
        return isValidUtf8Piece(text);
    std::vector<ReaderTask<bool>> others;
    for (std::size_t k = 1; k < pieces.size(); ++k)
        others.emplace_back([piece = pieces[k]] { return isValidUtf8Piece(piece); });
    bool valid = isValidUtf8Piece(pieces.front());
    for (auto& piece : others)
        valid = piece.get() && valid;
    return valid;
}

std::size_t countCharacters(std::string_view text, std::size_t crlfPairs) {
    // Every ASCII byte starts a cluster except the LF of CR LF. Each run of non-ASCII text is counted
    // exactly in a window with one ASCII neighbour on each side, which is all the context the
    // cluster rules need there, and the window's bytes are corrected from that default.
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    auto total = static_cast<std::ptrdiff_t>(n - crlfPairs);
    std::size_t i = 0;
    while (true) {
        i = skipAscii(p, i, n);
        if (i >= n)
            break;
        std::size_t end = i;
        while (end < n && p[end] >= 0x80)
            ++end;
        const std::size_t from = i > 0 ? i - 1 : i;
        const std::size_t to = end < n ? end + 1 : end;
        const qsizetype exact =
            graphemes::count(QString::fromUtf8(text.data() + from, static_cast<qsizetype>(to - from)));
        // Starts inside the window after its first byte (or from the run when it opens the text).
        const std::ptrdiff_t exactAfterFirst = from < i ? exact - 1 : exact;
        const auto defaultAfterFirst = static_cast<std::ptrdiff_t>(to - i);
        total += exactAfterFirst - defaultAfterFirst;
        i = end;
    }
    return static_cast<std::size_t>(total);
}

} // namespace tarnwick::prproj
