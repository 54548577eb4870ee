#include "readers/PrprojDecompression.h"

#include "readers/PrprojTextBuffer.h"
#include "readers/PrprojUtf8.h"

#include <QThread>
#include <zlib.h>

#include <algorithm>
#include <limits>
#include <memory>

#include <unistd.h>

#if defined(TARNWICK_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#endif

namespace tarnwick::prproj {

namespace {

constexpr unsigned char kFHCRC = 0x02;
constexpr unsigned char kFEXTRA = 0x04;
constexpr unsigned char kFNAME = 0x08;
constexpr unsigned char kFCOMMENT = 0x10;

unsigned char byteAt(QByteArrayView d, qsizetype i) {
    return static_cast<unsigned char>(d[i]);
}

// Header walk shared by the first member and the members that follow it; returns the body start.
std::optional<qsizetype> gzipHeaderEnd(QByteArrayView d, qsizetype at) {
    const qsizetype n = d.size();
    if (n - at <= 10 || byteAt(d, at) != 0x1F || byteAt(d, at + 1) != 0x8B)
        return std::nullopt;
    const unsigned char flags = byteAt(d, at + 3);
    qsizetype p = at + 10;
    if (flags & kFEXTRA) {
        if (n - at < 13)
            return std::nullopt;
        p = at + 12 + byteAt(d, at + 10) + 256 * qsizetype(byteAt(d, at + 11));
    }
    for (unsigned char field : {kFNAME, kFCOMMENT}) {
        if (flags & field) {
            while (p < n && d[p] != '\0')
                ++p;
            p += 1;
        }
    }
    if (flags & kFHCRC)
        p += 2;
    return p;
}

// ISIZE of the last member: the exact size for the usual single member below 4 GiB. A damaged file
// may claim anything, so it is capped by DEFLATE's largest possible ratio.
qint64 gzipSizeHint(QByteArrayView d) {
    if (d.size() < 18)
        return 0;
    const qsizetype n = d.size();
    const qint64 isize = qint64(byteAt(d, n - 4)) | qint64(byteAt(d, n - 3)) << 8 |
                         qint64(byteAt(d, n - 2)) << 16 | qint64(byteAt(d, n - 1)) << 24;
    return std::min<qint64>(isize, qint64(n) * 1032 + 1024);
}

struct ZStream {
    z_stream s{};
    bool ready = false;
    ZStream() { ready = inflateInit2(&s, -MAX_WBITS) == Z_OK; }
    ~ZStream() {
        if (ready)
            inflateEnd(&s);
    }
    ZStream(const ZStream&) = delete;
    ZStream& operator=(const ZStream&) = delete;
};

// The output is a QByteArray, or a TextBuffer for a text that is scanned once and handed back.
bool resizeBuffer(QByteArray& out, qsizetype size) {
    out.resize(size);
    return true;
}
bool resizeBuffer(TextBuffer& out, qsizetype size) {
    return out.resize(size);
}

// The room about to be inflated into, mapped ahead for a text buffer. Only as far as the input could
// plausibly inflate to: a damaged size claim must not map memory no text will fill.
void prefault(QByteArray&, qsizetype, qsizetype, qsizetype) {}
void prefault(TextBuffer& out, qsizetype begin, qsizetype end, qsizetype inputSize) {
    constexpr qsizetype kPlausibleRatio = 40;
    out.prefault(begin, std::min(end, begin + inputSize * kPlausibleRatio));
}

// Grows by doubling; QByteArray reallocates in place where it can and a TextBuffer remaps its pages,
// so no second copy is held.
template <typename Buffer> bool growTo(Buffer& out, qint64 wanted, qint64 limit) {
    if (wanted > limit + 1)
        wanted = limit + 1; // one byte past the limit tells a too-large stream from one that fits
    if (wanted <= out.size())
        return false;
    return resizeBuffer(out, static_cast<qsizetype>(wanted));
}

template <typename Buffer>
std::optional<qsizetype> inflateWithZlib(QByteArrayView input, Buffer& out, qint64 sizeHint, qint64 limit,
                                         bool& overLimit) {
    ZStream z;
    if (!z.ready)
        return std::nullopt;
    const qsizetype base = out.size();
    // Without a hint start small: most failed attempts stop within the first bytes.
    const qint64 capacity =
        sizeHint > 0 ? sizeHint : std::min<qint64>(qint64(input.size()) * 4 + 4096, 1 << 20);
    if (!growTo(out, base + std::min(capacity, limit + 1), base + limit)) {
        overLimit = true;
        return std::nullopt;
    }
    const auto* in = reinterpret_cast<const Bytef*>(input.data());
    qsizetype inPos = 0;
    qsizetype outPos = base;
    constexpr qsizetype chunk = qsizetype(1) << 30;
    while (true) {
        // Checked while inflating: a bomb is refused once it passes the limit, never after.
        if (outPos == out.size()) {
            if (out.size() - base > limit || !growTo(out, base + (out.size() - base) * 2, base + limit)) {
                overLimit = true;
                return std::nullopt;
            }
        }
        const qsizetype inAvail = std::min(chunk, input.size() - inPos);
        const qsizetype outAvail = std::min(chunk, out.size() - outPos);
        z.s.next_in = const_cast<Bytef*>(in + inPos);
        z.s.avail_in = static_cast<uInt>(inAvail);
        z.s.next_out = reinterpret_cast<Bytef*>(out.data() + outPos);
        z.s.avail_out = static_cast<uInt>(outAvail);
        const int rc = inflate(&z.s, Z_NO_FLUSH);
        inPos += inAvail - static_cast<qsizetype>(z.s.avail_in);
        outPos += outAvail - static_cast<qsizetype>(z.s.avail_out);
        if (rc == Z_STREAM_END) {
            if (outPos - base > limit) {
                overLimit = true;
                return std::nullopt;
            }
            resizeBuffer(out, outPos);
            return inPos;
        }
        if (rc == Z_BUF_ERROR && inPos == input.size())
            return std::nullopt; // the input ends before the stream does
        if (rc != Z_OK && rc != Z_BUF_ERROR)
            return std::nullopt;
    }
}

#if defined(TARNWICK_HAVE_LIBDEFLATE)
struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

enum class Outcome { done, failed, needsMoreRoom };

template <typename Buffer>
Outcome inflateWithLibdeflate(QByteArrayView input, Buffer& out, qint64 capacity, qint64 limit,
                              qsizetype& used, bool& overLimit) {
    const std::unique_ptr<libdeflate_decompressor, DecompressorFree> d(libdeflate_alloc_decompressor());
    if (!d)
        return Outcome::needsMoreRoom;
    const qsizetype base = out.size();
    capacity = std::min(capacity, limit);
    if (!resizeBuffer(out, base + static_cast<qsizetype>(capacity)))
        return Outcome::needsMoreRoom;
    prefault(out, base, base + static_cast<qsizetype>(capacity), input.size());
    size_t inUsed = 0;
    size_t produced = 0;
    const libdeflate_result rc = libdeflate_deflate_decompress_ex(
        d.get(), input.data(), static_cast<size_t>(input.size()), out.data() + base,
        static_cast<size_t>(capacity), &inUsed, &produced);
    if (rc == LIBDEFLATE_SUCCESS) {
        resizeBuffer(out, base + static_cast<qsizetype>(produced));
        used = static_cast<qsizetype>(inUsed);
        return Outcome::done;
    }
    resizeBuffer(out, base);
    if (rc == LIBDEFLATE_INSUFFICIENT_SPACE && capacity >= limit)
        overLimit = true;
    return rc == LIBDEFLATE_INSUFFICIENT_SPACE && capacity < limit ? Outcome::needsMoreRoom : Outcome::failed;
}
#endif

int checkThreads() {
    return std::min(QThread::idealThreadCount(), 4);
}

} // namespace

std::optional<ByteRange> gzipBody(QByteArrayView data) {
    const std::optional<qsizetype> p = gzipHeaderEnd(data, 0);
    if (!p || *p >= data.size() - 8)
        return std::nullopt;
    return ByteRange{*p, data.size() - 8};
}

namespace {

template <typename Buffer>
std::optional<qsizetype> inflateRawWithin(QByteArrayView input, Buffer& out, qint64 sizeHint,
                                          InflateEngine engine, qint64 limit, bool& overLimit) {
#if defined(TARNWICK_HAVE_LIBDEFLATE)
    // libdeflate needs the whole output room up front: try the hinted size, else stream with zlib.
    if (engine == InflateEngine::fastest && sizeHint > 0) {
        qsizetype used = 0;
        const Outcome o = inflateWithLibdeflate(input, out, sizeHint, limit, used, overLimit);
        if (o == Outcome::done)
            return used;
        if (o == Outcome::failed)
            return std::nullopt;
    }
#else
    Q_UNUSED(engine);
#endif
    return inflateWithZlib(input, out, sizeHint, limit, overLimit);
}

} // namespace

std::optional<qsizetype> inflateRaw(QByteArrayView input, QByteArray& out, qint64 sizeHint,
                                    InflateEngine engine, qint64 limit, bool* overLimit) {
    bool over = false;
    std::optional<qsizetype> used =
        inflateRawWithin(input, out, sizeHint, engine, std::max<qint64>(limit, 0), over);
    if (overLimit)
        *overLimit = over;
    return used;
}

qint64 inflatedSizeCap() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return maxInflatedSize;
    return std::min(maxInflatedSize, qint64(pages) * qint64(pageSize) / 4);
}

namespace {

// Raw DEFLATE first, then the body of a gzip member (and the members after it). `accept` decides
// whether a raw stream that inflated completely is the text.
template <typename Buffer, typename Accept>
std::optional<Buffer> inflateRoutes(QByteArrayView data, InflateEngine engine, qint64 limit, bool* overLimit,
                                    const Accept& accept) {
    if (limit < 0)
        limit = inflatedSizeCap();
    if (overLimit)
        *overLimit = false;
    Buffer out;
    // Raw DEFLATE: whatever follows the end of the stream is ignored.
    bool full = false;
    {
        bool over = false;
        if (inflateRawWithin(data, out, 0, engine, std::max<qint64>(limit, 0), over) && accept(out))
            return out;
        full = over;
    }
    out = Buffer(); // gives the memory back before the second route
    if (full && overLimit)
        *overLimit = true;

    const std::optional<ByteRange> body = gzipBody(data);
    if (!body)
        return std::nullopt;
    const qsizetype window = body->end;
    const qint64 hint = gzipSizeHint(data);
    qsizetype p = body->begin;
    while (true) {
        const qint64 room = std::max<qint64>(hint - out.size(), 0);
        bool over = false;
        const std::optional<qsizetype> used =
            inflateRawWithin(data.sliced(p, window - p), out, room > 0 ? room : 0, engine,
                             std::max<qint64>(limit - out.size(), 0), over);
        if (!used) {
            if (over && overLimit)
                *overLimit = true;
            return std::nullopt;
        }
        // After the stream's end: its 8-byte trailer, then maybe another member; anything else is ignored.
        const qsizetype next = p + *used + 8;
        if (next + 1 >= data.size() || byteAt(data, next) != 0x1F || byteAt(data, next + 1) != 0x8B) {
            if (!accept(out))
                return std::nullopt;
            return out;
        }
        const std::optional<qsizetype> nextBody = gzipHeaderEnd(data, next);
        if (!nextBody || *nextBody >= window)
            return std::nullopt;
        p = *nextBody;
    }
}

} // namespace

std::optional<QByteArray> decompressProjectData(QByteArrayView data, InflateEngine engine, qint64 limit,
                                                bool* overLimit) {
    return inflateRoutes<QByteArray>(data, engine, limit, overLimit, [](const QByteArray& out) {
        return isValidUtf8(std::string_view(out.constData(), size_t(out.size())), checkThreads());
    });
}

std::optional<TextBuffer> inflateProjectText(QByteArrayView data, qint64 limit, bool* overLimit) {
    // A raw stream that inflates completely is the text or nothing: a gzip member's first byte (0x1F)
    // reads as a reserved DEFLATE block type, so data that inflates raw never has a gzip header and
    // the second route would fail on it. The UTF-8 check is the caller's.
    return inflateRoutes<TextBuffer>(data, InflateEngine::fastest, limit, overLimit,
                                     [](const TextBuffer&) { return true; });
}

} // namespace tarnwick::prproj
