#include "readers/AEPParser.h"

#include "platform/AppLog.h"
#include "platform/NumberText.h"
#include "platform/PathText.h"
#include "platform/RegularFile.h"
#include "platform/ThreadPools.h"
#include "readers/AEPFileBuffer.h"
#include "readers/AEPPathText.h"
#include "readers/ReaderTask.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <array>
#include <cerrno>
#include <exception>
#include <numeric>

#include <unistd.h>

namespace tarnwick {

namespace {

QString seconds2(qint64 nanoseconds) {
    return number::fixed(static_cast<double>(nanoseconds) / 1e9, 2) + QLatin1Char('s');
}

[[noreturn]] void throwReadError(const QString& reason) {
    throw AEPParser::AEPParserError::readError(QStringLiteral("Cannot read file: ") + reason);
}

constexpr qint64 parallelReadBytes = 32 << 20;

// Reads one slice at its offset; false on an error or when the file ended early.
bool readSlice(int fd, char* into, qint64 offset, qint64 count) {
    while (count > 0) {
        const ssize_t n = ::pread(fd, into, static_cast<size_t>(std::min<qint64>(count, 64 << 20)), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        into += n;
        offset += n;
        count -= n;
    }
    return true;
}

// Large files are read in a few slices at once: faulting in and filling fresh pages is then spread
// over several cores. False when any slice came up short; the caller then reads it all in order.
bool readSlicesInParallel(int fd, AEPFileBuffer& buffer) {
    if (fd < 0)
        return false;
    constexpr int slices = 4;
    const qint64 size = buffer.capacity();
    const qint64 step = size / slices;
    std::array<ReaderTask<bool>, slices - 1> others;
    for (int k = 1; k < slices; ++k) {
        const qint64 from = k * step;
        const qint64 count = k + 1 == slices ? size - from : step;
        char* into = buffer.data() + from;
        others[k - 1] =
            ReaderTask<bool>([fd, into, from, count] { return readSlice(fd, into, from, count); });
    }
    bool complete = readSlice(fd, buffer.data(), 0, step);
    for (ReaderTask<bool>& other : others)
        complete = other.get() && complete;
    return complete;
}

// Plain reads, never a mapping: a mapped file on a network share kills the process when it shrinks
// under it. A file that changes while being read is taken as far as it could be read. Only regular
// files are read: a pipe would block the open and a device may never end.
AEPFileBuffer readWholeFile(const QString& path) {
    RegularFile file(path);
    if (!file.isOpen())
        throwReadError(file.errorString());
    const int fd = file.handle();
    AEPFileBuffer buffer(file.size());
    qint64 got = 0;
    if (buffer.capacity() >= parallelReadBytes && readSlicesInParallel(fd, buffer)) {
        got = buffer.capacity();
        if (::lseek(fd, got, SEEK_SET) != got)
            throwReadError(qt_error_string(errno));
    }
    const auto readSome = [fd](char* into, qint64 count) {
        ssize_t n = 0;
        do {
            n = ::read(fd, into, static_cast<size_t>(count));
        } while (n < 0 && errno == EINTR);
        if (n < 0)
            throwReadError(qt_error_string(errno));
        return qint64(n);
    };
    while (got < buffer.capacity()) {
        const qint64 n = readSome(buffer.data() + got, std::min<qint64>(buffer.capacity() - got, 64 << 20));
        if (n == 0)
            break;
        got += n;
    }
    buffer.resize(got);
    if (got == buffer.capacity()) {
        // A file growing under us reports a size that is too small: read to the end.
        char probe[4096];
        qint64 n = 0;
        while ((n = readSome(probe, sizeof probe)) > 0)
            buffer.append(probe, n);
    }
    return buffer;
}

QString asciiOrEmpty(QByteArrayView four) {
    for (char c : four) {
        if (static_cast<uchar>(c) >= 0x80)
            return {};
    }
    return QString::fromLatin1(four);
}

constexpr qint64 scanSegmentBytes = 8 << 20;
// Chunk ranges from this size on have their lists walked in parallel.
constexpr qint64 walkSplitBytes = 8 << 20;

bool isAsciiIdentifier(const uchar* p) {
    return p[0] < 0x80 && p[1] < 0x80 && p[2] < 0x80 && p[3] < 0x80;
}

qint64 bigEndian32(const uchar* p) {
    return (qint64(p[0]) << 24) | (qint64(p[1]) << 16) | (qint64(p[2]) << 8) | qint64(p[3]);
}

} // namespace

AEPParser::AEPParserError::AEPParserError(Kind kind, QString text)
    : Error((kind == Kind::invalidFormat ? QStringLiteral("Invalid AEP format: ")
                                         : QStringLiteral("Read error: ")) +
            text),
      m_kind(kind), m_text(std::move(text)) {}

const QSet<QString>& AEPParser::projectFileExtensions() {
    static const QSet<QString> extensions{
        QStringLiteral("aep"), QStringLiteral("aet"),    QStringLiteral("aepx"),  QStringLiteral("ffx"),
        QStringLiteral("jsx"), QStringLiteral("jsxbin"), QStringLiteral("mogrt"), QStringLiteral("aegraphic"),
    };
    return extensions;
}

AEPParser::ParseResult AEPParser::parse(const QString& path) {
    const std::lock_guard<std::mutex> lock(m_busy);
    QElapsedTimer total;
    total.start();
    const QString name = path::deletingPathExtension(path::lastPathComponent(path));
    AppLog::info(QStringLiteral("AEP Parser: Starting parse of ") + name);

    const AEPFileBuffer buffer = readWholeFile(path);
    const QByteArrayView data = buffer.view();
    AppLog::info(QStringLiteral("⏱ AEP read ") + name + QStringLiteral(": ") +
                 seconds2(total.nsecsElapsed()));

    if (data.size() < 12) {
        throw AEPParserError::invalidFormat(QStringLiteral("File too small (") +
                                            QString::number(data.size()) + QStringLiteral(" bytes)"));
    }
    const QString form = asciiOrEmpty(data.first(4));
    const QString type = asciiOrEmpty(data.sliced(8, 4));
    if (form != QLatin1String("RIFX") || type != QLatin1String("Egg!")) {
        throw AEPParserError::invalidFormat(QStringLiteral("Missing RIFX/Egg! header (got ") + form +
                                            QLatin1Char('/') + type + QLatin1Char(')'));
    }
    AppLog::info(QStringLiteral("AEP Parser: Valid RIFX header, file size: ") + QString::number(data.size()) +
                 QStringLiteral(" bytes"));

    // The walk and the scans only read the bytes: on large files the walk runs beside the scans.
    qint64 walkNanos = 0;
    QList<ImageSequence> sequences;
    QStringList compositions;
    const auto walkAll = [this, data, &walkNanos, &sequences, &compositions] {
        QElapsedTimer stage;
        stage.start();
        QSet<QString> walked;
        walkChunks(data, 12, data.size(), walked, 0);
        sequences = readSequences(data);
        compositions = readCompositions(data);
        walkNanos = stage.nsecsElapsed();
        return walked;
    };
    // No thread to spare: walk first, then scan.
    ReaderTask<QSet<QString>> walking(walkAll, data.size() >= scanSegmentBytes);
    const bool beside = walking.started();
    QSet<QString> walked = beside ? QSet<QString>() : walking.get();
    QElapsedTimer stage;
    stage.start();
    QSet<QString> scanned = extractPaths(data);
    const qint64 scanNanos = stage.nsecsElapsed();
    if (beside)
        walked = walking.get();

    AppLog::info(QStringLiteral("⏱ AEP chunks ") + name + QStringLiteral(": ") + seconds2(walkNanos) +
                 QStringLiteral(", ") + QString::number(walked.size()) + QStringLiteral(" paths"));
    AppLog::info(QStringLiteral("⏱ AEP scan ") + name + QStringLiteral(": ") + seconds2(scanNanos) +
                 QStringLiteral(", ") + QString::number(scanned.size()) + QStringLiteral(" paths"));
    // Insert the smaller set into the larger one.
    if (walked.size() < scanned.size())
        std::swap(walked, scanned);
    QSet<QString> result = std::move(walked);
    result.unite(scanned);
    result.removeIf([](const QString& path) { return isRenderLog(path); });

    AppLog::info(QStringLiteral("⏱ AEP total ") + name + QStringLiteral(": ") +
                 seconds2(total.nsecsElapsed()) + QStringLiteral(", ") + QString::number(result.size()) +
                 QStringLiteral(" unique paths"));
    return ParseResult{name, result, sequences, compositions};
}

void AEPParser::walkChunks(QByteArrayView data, qint64 from, qint64 to, QSet<QString>& into, int depth) {
    if (to - from < walkSplitBytes) {
        walkRange(data, from, to, into, depth, nullptr);
        return;
    }
    // Large ranges: their lists are collected first, then walked in parallel. Paths form a set, so
    // the order of the walk does not matter.
    std::vector<ListRange> lists;
    walkRange(data, from, to, into, depth, &lists);
    walkListsInParallel(data, lists, into);
}

void AEPParser::walkListsInParallel(QByteArrayView data, const std::vector<ListRange>& lists,
                                    QSet<QString>& into) {
    if (lists.empty())
        return;
    const qint64 bytes = std::accumulate(lists.begin(), lists.end(), qint64(0),
                                         [](qint64 sum, const ListRange& r) { return sum + r.to - r.from; });
    const qint64 batchBytes = std::max<qint64>(walkSplitBytes / 8, bytes / aepScanPool().maxThreadCount());
    QList<QFuture<QSet<QString>>> parts;
    for (size_t first = 0; first < lists.size();) {
        size_t last = first;
        for (qint64 batch = 0; last < lists.size() && batch < batchBytes; ++last)
            batch += lists[last].to - lists[last].from;
        parts.append(QtConcurrent::run(&aepScanPool(), [this, data, &lists, first, last] {
            QSet<QString> found;
            for (size_t k = first; k < last; ++k)
                walkChunks(data, lists[k].from, lists[k].to, found, lists[k].depth);
            return found;
        }));
        first = last;
    }
    // Every part is waited for before anything is thrown: they read the caller's bytes.
    std::exception_ptr failure;
    for (QFuture<QSet<QString>>& part : parts) {
        try {
            into.unite(part.takeResult());
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void AEPParser::walkRange(QByteArrayView data, qint64 from, qint64 to, QSet<QString>& into, int depth,
                          std::vector<ListRange>* deferred) {
    if (depth >= maxDepth)
        return;
    const qint64 fileSize = data.size();
    const auto* d = reinterpret_cast<const uchar*>(data.data());
    // Offsets are 64-bit: a 32-bit size plus its header does not fit 32 bits.
    qint64 p = std::max<qint64>(from, 0);
    qint64 prefetched = p;
    while (p + 8 <= to) {
        // Headers lie a few hundred bytes apart in file order: stream the lines ahead into the
        // cache instead of waiting for memory at every hop.
        prefetched = std::max(prefetched, p);
        for (const qint64 ahead = std::min(p + 8192, to); prefetched < ahead; prefetched += 64)
            __builtin_prefetch(d + prefetched);
        if (fileSize - p < 4 || !isAsciiIdentifier(d + p)) {
            ++p; // resynchronise over damaged or unknown data
            continue;
        }
        const qint64 size = p + 8 <= fileSize ? bigEndian32(d + p + 4) : 0;
        const qint64 end = p + 8 + size;
        if (end > to)
            return;
        if (std::equal(d + p, d + p + 4, "LIST")) {
            if (p + 12 > to)
                return;
            if (deferred == nullptr)
                walkChunks(data, p + 12, end, into, depth + 1);
            else if (end - (p + 12) >= walkSplitBytes)
                walkRange(data, p + 12, end, into, depth + 1, deferred);
            else
                deferred->push_back({p + 12, end, depth + 1});
        } else if (size > 0 && end <= fileSize) {
            examinePayload(data, p + 8, size, into);
        }
        p = end + ((size % 2 == 1 && end < to) ? 1 : 0);
    }
}

void AEPParser::examinePayload(QByteArrayView data, qint64 start, qint64 size, QSet<QString>& into) {
    const auto* b = reinterpret_cast<const uchar*>(data.data()) + start;
    const bool utf8Start =
        b[0] == '/' ||
        (size > 1 && ((b[0] == '\\' && b[1] == '\\') || (b[1] == ':' && aep::isAsciiLetter(b[0]))));
    if (utf8Start) {
        const qint64 limit = std::min(size, runLimit);
        qint64 run = 0;
        while (run < limit && aep::continuesRun(b[run]))
            ++run;
        const bool candidate = run < limit ? run >= 5 : (size >= 5 && size <= runLimit);
        if (candidate)
            aep::addIfPlausible(aep::decodeUtf8(data.sliced(start, run)), into);
    }
    if (size >= 2) {
        const bool utf16Start = (b[0] == 0 && b[1] == '/') ||
                                (size >= 4 && b[0] == 0 && b[1] == '\\' && b[2] == 0 && b[3] == '\\');
        if (utf16Start)
            aep::addIfPlausible(readUTF16BEPath(data, start, size), into);
    }
}

QSet<QString> AEPParser::extractPaths(QByteArrayView data) {
    const qint64 size = data.size();
    const qint64 segments = std::clamp<qint64>(size / scanSegmentBytes, 1, aepScanPool().maxThreadCount());
    if (segments == 1) {
        QSet<QString> found;
        scanUTF8Paths(data, found);
        scanUTF16BEPaths(data, found);
        return found;
    }
    // Large files: both scans over even-aligned segments at once; each segment reads past its end
    // as far as its candidates need, so the union is the same as one pass.
    const qint64 step = (size / segments) & ~qint64(1);
    QList<QFuture<QSet<QString>>> parts;
    for (qint64 k = 0; k < segments; ++k) {
        const qint64 from = k * step;
        const qint64 to = k + 1 == segments ? size : from + step;
        parts.append(QtConcurrent::run(&aepScanPool(), [data, from, to] {
            QSet<QString> found;
            aep::scanUtf8Range(data, from, to, found);
            aep::scanUtf16Range(data, from, to, found);
            return found;
        }));
    }
    // Every segment is waited for before anything is thrown: they read the caller's bytes.
    QSet<QString> found;
    std::exception_ptr failure;
    for (QFuture<QSet<QString>>& part : parts) {
        try {
            QSet<QString> segment = part.takeResult();
            if (found.isEmpty())
                found = std::move(segment);
            else
                found.unite(segment);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
    return found;
}

} // namespace tarnwick
