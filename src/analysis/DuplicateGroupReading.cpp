#include "analysis/DuplicateGroupReading.h"

#include "analysis/SideBySideRead.h"
#include "platform/HungMounts.h"
#include "platform/ReadOnlyFile.h"
#include "platform/TextKey.h"

#include <QtEndian>

#include <algorithm>

namespace tarnwick::DuplicateDetectionCore::detail {

bool SameFileTest::operator()(int a, int b) const {
    if (text::equalLowered(m_paths.value(a), m_paths.value(b)))
        return true;
    const auto ia = m_identities.constFind(a);
    const auto ib = m_identities.constFind(b);
    return ia != m_identities.constEnd() && ib != m_identities.constEnd() && ia->second != 0 && *ia == *ib;
}

bool SameFileTest::holdsTwoFiles(const QList<int>& group) const {
    return std::any_of(group.begin() + 1, group.end(),
                       [&](int other) { return !(*this)(group.first(), other); });
}

namespace {

QString finished(Sha256 sha, QByteArrayView tail, qint64 size) {
    sha.update(tail.constData(), std::size_t(tail.size()));
    const qint64 sizeLE = qToLittleEndian(size);
    sha.update(&sizeLE, sizeof sizeLE);
    return Sha256::hexString(sha.finish());
}

QString finished(Sha256 sha) {
    return Sha256::hexString(sha.finish());
}

// The files of a job, opened: one reader per physical file; a file listed again under another
// name (a hard link, a symbolic link) rides along with the reader of its first listing.
struct OpenedFiles {
    std::vector<std::unique_ptr<ReadOnlyFile>> readers;
    std::vector<QList<int>> readerFiles; // per reader, the positions of `files` it stands for
    QList<File> files;
    QHash<int, Identity> identities;
    QSet<int> skipped;
};

// `willNeed`: the stretch each file will be read from first.
OpenedFiles open(const QList<File>& files, const Touch& touch, const JobContext& context,
                 std::optional<std::pair<qint64, qint64>> willNeed = std::nullopt) {
    OpenedFiles opened;
    opened.files = files;
    QHash<Identity, int> readerOf;
    for (int i = 0; i < int(files.size()); ++i) {
        const File& f = files[i];
        if (context.hung && context.hung->covers(f.path)) {
            opened.skipped.insert(f.index);
            continue;
        }
        context.current->store(f.index);
        if (touch)
            touch();
        auto file = std::make_unique<ReadOnlyFile>(f.path);
        const auto facts = file->isOpen() ? file->facts() : std::nullopt;
        if (!facts || !facts->isRegularFile)
            continue; // a pipe or a device is never read; no digest
        const Identity identity{facts->device, facts->inode};
        opened.identities.insert(f.index, identity);
        const auto same = readerOf.constFind(identity);
        if (same != readerOf.constEnd()) {
            opened.readerFiles[std::size_t(*same)].append(i);
            continue;
        }
        readerOf.insert(identity, int(opened.readers.size()));
        // Every file's first stretch is asked for at once, so the disk works on all of them while
        // the first is read (small files on a disk that answers slowly are waits, not work).
        if (willNeed)
            file->adviseWillNeed(willNeed->first, willNeed->second);
        opened.readers.push_back(std::move(file));
        opened.readerFiles.push_back({i});
    }
    return opened;
}

// The positions of `files` a class stands for, in list order.
QList<int> positionsOf(const SideBySideRead::Class& c, const OpenedFiles& opened) {
    QList<int> positions;
    for (int r : c.readers)
        positions += opened.readerFiles[std::size_t(r)];
    std::sort(positions.begin(), positions.end());
    return positions;
}

SideBySideRead::BeforeRead beforeRead(const OpenedFiles& opened, const Touch& touch,
                                      const JobContext& context) {
    return [&opened, &touch, &context](int reader) {
        context.current->store(opened.files[opened.readerFiles[std::size_t(reader)].front()].index);
        if (touch)
            touch();
    };
}

void dropPages(SideBySideRead& read, qint64 size, const JobContext& context) {
    if (!context.dropPages || size <= keptPagesUpTo)
        return;
    for (int r = 0; r < read.size(); ++r)
        read.file(r).dropCachedPages();
}

} // namespace

JobOutcome sampleGroup(const QList<File>& group, const Touch& touch, const JobContext& context) {
    JobOutcome out;
    const qint64 size = group.first().size;
    OpenedFiles opened =
        open(group, touch, context, std::make_pair(qint64(0), std::min(size + 1, sampleBlock)));
    out.identities = opened.identities;
    out.skipped = opened.skipped;
    if (opened.readers.empty())
        return out;
    const bool small = size <= 2 * sampleBlock;
    QHash<int, QString> paths;
    for (const File& f : group)
        paths.insert(f.index, f.path);
    const SameFileTest same(paths, opened.identities);
    const auto before = beforeRead(opened, touch, context);

    SideBySideRead read(std::move(opened.readers));
    // The first sample block, hashed: it begins the sampled and the full digest alike.
    read.read(0, sampleBlock, SideBySideRead::Use::hash, before);
    // Files that ended inside the first block (shorter than recorded) are read whole one by one.
    std::vector<bool> endedEarly(std::size_t(read.size()), false);
    for (const SideBySideRead::Class& c : read.classes()) {
        for (int r : c.readers)
            endedEarly[std::size_t(r)] = c.length < sampleBlock;
    }
    if (!small)
        read.read(size - sampleBlock, size, SideBySideRead::Use::compareAndKeep, before);
    std::vector<SideBySideRead::Class> wanted; // classes of equal small samples, to read whole
    for (SideBySideRead::Class& c : read.classes()) {
        const QList<int> positions = positionsOf(c, opened);
        QList<int> indices;
        for (int p : positions)
            indices.append(group[p].index);
        const bool candidate = indices.size() >= 2 && same.holdsTwoFiles(indices);
        // A large candidate's sampled digest is made only if its full read fails.
        if (!candidate || small) {
            const QString text =
                finished(c.sha, small ? QByteArrayView() : read.kept(c.readers.front()), size);
            for (int p : positions) {
                const Identity id = opened.identities.value(group[p].index);
                out.sampled.insert(group[p].index, Digest{text, id.first, id.second});
            }
        }
        if (!candidate)
            continue;
        out.candidates.append(indices);
        if (small) {
            wanted.push_back(std::move(c));
            continue;
        }
        PendingClass pending;
        for (int p : positions)
            pending.members.append(group[p]);
        if (endedEarly[std::size_t(c.readers.front())]) {
            out.hashAlone += pending.members;
            continue;
        }
        pending.prefix = std::make_shared<const Sha256>(c.sha);
        out.pending.push_back(std::move(pending));
    }
    // The rest of small candidates, compared and hashed on from the first block.
    read.classes() = std::move(wanted);
    if (small && !read.classes().empty()) {
        read.read(sampleBlock, size, SideBySideRead::Use::hash, before);
        for (SideBySideRead::Class& c : read.classes()) {
            const bool complete = c.length == size;
            QString text;
            const std::vector<int> readers = c.readers; // a failing read leaves the class
            for (int r : readers) {
                const bool whole = complete && !read.hasByteAt(r, size, before) && !read.failed(r);
                if (whole && text.isEmpty())
                    text = finished(c.sha);
                for (int p : opened.readerFiles[std::size_t(r)]) {
                    if (whole)
                        out.full.insert(group[p].index, text);
                    else
                        out.hashAlone.append(group[p]); // changed since its size was recorded
                }
            }
        }
        // Files whose read failed on the way: read alone in the second phase, as any other.
        for (int r = 0; r < read.size(); ++r) {
            if (!read.failed(r))
                continue;
            for (int p : opened.readerFiles[std::size_t(r)]) {
                if (out.sampled.contains(group[p].index) && !out.full.contains(group[p].index))
                    out.hashAlone.append(group[p]);
            }
        }
    }
    out.bytesRead = read.bytesRead();
    dropPages(read, size, context);
    return out;
}

JobOutcome hashClass(const PendingClass& pending, const Touch& touch, const JobContext& context) {
    JobOutcome out;
    OpenedFiles opened = open(pending.members, touch, context);
    out.identities = opened.identities;
    out.skipped = opened.skipped;
    const qint64 size = pending.members.first().size;
    const auto before = beforeRead(opened, touch, context);
    SideBySideRead read(std::move(opened.readers), *pending.prefix, sampleBlock);
    read.read(sampleBlock, size, SideBySideRead::Use::hash, before);
    for (SideBySideRead::Class& c : read.classes()) {
        // As fullHash: a file that ended early has the digest of what it holds; one byte past the
        // recorded size tells a file that grew since (no digest) from one that did not.
        const bool reachedSize = c.length == size;
        QString text;
        const std::vector<int> readers = c.readers; // a failing read leaves the class
        for (int r : readers) {
            if ((reachedSize && read.hasByteAt(r, size, before)) || read.failed(r))
                continue;
            if (text.isEmpty())
                text = finished(c.sha);
            for (int p : opened.readerFiles[std::size_t(r)])
                out.full.insert(pending.members[p].index, text);
        }
    }
    // A file that could not be read whole keeps its sampled digest: the class's first block and the
    // tail they all share, read again from whichever file still answers.
    QList<int> withoutDigest;
    for (const File& f : pending.members) {
        if (!out.full.contains(f.index) && !out.skipped.contains(f.index))
            withoutDigest.append(f.index);
    }
    if (!withoutDigest.isEmpty()) {
        QByteArray tail(qsizetype(sampleBlock), Qt::Uninitialized);
        for (int r = 0; r < read.size(); ++r) {
            if (before)
                before(r);
            const qint64 n = read.file(r).readFullyAt(size - sampleBlock, tail.data(), sampleBlock);
            if (n < 0)
                continue;
            tail.truncate(qsizetype(n));
            const QString text = finished(*pending.prefix, tail, size);
            for (int index : std::as_const(withoutDigest)) {
                const Identity id = opened.identities.value(index);
                out.sampled.insert(index, Digest{text, id.first, id.second});
            }
            break;
        }
    }
    out.bytesRead = read.bytesRead();
    dropPages(read, size, context);
    return out;
}

} // namespace tarnwick::DuplicateDetectionCore::detail
