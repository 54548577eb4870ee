#include "analysis/DuplicateDetectionCore.h"

#include "platform/HungMounts.h"
#include "platform/ReadOnlyFile.h"
#include "platform/Sha256.h"
#include "platform/TextKey.h"
#include "platform/WatchdogPool.h"

#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <vector>

namespace tarnwick::DuplicateDetectionCore {

namespace {

char* threadBuffer(qint64 size) {
    thread_local std::vector<char> buffer;
    if (qint64(buffer.size()) < size)
        buffer.resize(std::size_t(size));
    return buffer.data();
}

void touchIfSet(const Touch& touch) {
    if (touch)
        touch();
}

struct HashOutcome {
    std::optional<Digest> digest;
    qint64 bytesRead = 0;
    bool skipped = false; // on a mount where a read hung
    QString whole;        // the full digest, when the read covered the whole file
};

using HashFunction = std::function<HashOutcome(const File& file, const Touch& touch)>;

struct HashAllResult {
    QHash<int, Digest> digests;
    QHash<int, QString> wholes;
    QSet<int> unanswered;
    bool cancelled = false;
};

// At most `width` files are read at once, each read under the watchdog.
// Progress counts `settled` files already done before these, out of `total` (-1: these only).
HashAllResult hashAll(const QList<File>& files, int width, const HashFunction& hash, const Settings& settings,
                      Phase phase, const std::shared_ptr<HungMounts>& hung, int settled = 0, int total = -1) {
    HashAllResult all;
    if (files.isEmpty())
        return all;
    WatchdogPool pool(std::min<int>(int(files.size()), std::max(width, 1)), settings.watchdogTimeout);
    int done = settled;
    if (total < 0)
        total = int(files.size());
    pool.map<HashOutcome>(
        int(files.size()),
        [files, hash, hung](int i, WatchdogPool::Watch& watch) {
            if (hung->covers(files[i].path))
                return HashOutcome{std::nullopt, 0, true, {}};
            return hash(files[i], [&watch] { watch.touch(); });
        },
        [&](int i, WatchdogPool::Outcome outcome, const HashOutcome* result) {
            if (outcome == WatchdogPool::Outcome::abandoned) {
                all.unanswered.insert(files[i].index);
                hung->addMountOf(files[i].path);
            }
            if (outcome == WatchdogPool::Outcome::finished && result && result->skipped)
                all.unanswered.insert(files[i].index);
            if (outcome == WatchdogPool::Outcome::cancelled)
                all.cancelled = true;
            if (outcome == WatchdogPool::Outcome::finished && result) {
                if (result->digest)
                    all.digests.insert(files[i].index, *result->digest);
                if (result->digest && !result->whole.isEmpty())
                    all.wholes.insert(files[i].index, result->whole);
                if (settings.bytesRead)
                    settings.bytesRead->fetch_add(result->bytesRead);
            }
            ++done;
            if (settings.progress)
                settings.progress(phase, done, total);
        },
        settings.cancel);
    if (settings.cancel && settings.cancel->load())
        all.cancelled = true;
    return all;
}

// One file listed twice: the same path ignoring case, or the same (device, inode) under another name.
class SameFileTest {
public:
    SameFileTest(const QHash<int, const File*>& byIndex, const QHash<int, Digest>& digests)
        : m_byIndex(byIndex), m_digests(digests) {}

    bool operator()(int a, int b) const {
        if (lowered(a) == lowered(b))
            return true;
        const auto da = m_digests.constFind(a);
        const auto db = m_digests.constFind(b);
        return da != m_digests.constEnd() && db != m_digests.constEnd() && da->inode != 0 &&
               da->device == db->device && da->inode == db->inode;
    }

    // Whether a group holds at least two different files.
    bool holdsTwoFiles(const QList<int>& group) const {
        return std::any_of(group.begin() + 1, group.end(),
                           [&](int other) { return !(*this)(group.first(), other); });
    }

private:
    QString lowered(int index) const {
        auto it = m_lowered.constFind(index);
        if (it == m_lowered.constEnd())
            it = m_lowered.insert(index, text::lowered(m_byIndex.value(index)->path));
        return *it;
    }

    const QHash<int, const File*>& m_byIndex;
    const QHash<int, Digest>& m_digests;
    mutable QHash<int, QString> m_lowered;
};

bool anyRemote(const QList<File>& files) {
    return std::any_of(files.begin(), files.end(), [](const File& f) { return f.isRemote; });
}

// The files of every digest group that holds two different files, in list order.
// The files, in list order, that fall in a group of two or more holding two distinct physical files.
template <typename Key>
QList<File> filesInSharedGroups(const QList<File>& files, const QHash<Key, QList<int>>& groups,
                                const SameFileTest& same) {
    QSet<int> kept;
    for (const QList<int>& group : groups) {
        if (group.size() >= 2 && same.holdsTwoFiles(group))
            kept.unite(QSet<int>(group.begin(), group.end()));
    }
    QList<File> out;
    for (const File& file : files) {
        if (kept.contains(file.index))
            out.append(file);
    }
    return out;
}

QList<File> fullCandidates(const QList<File>& sampledFiles, const QHash<int, Digest>& sampled,
                           const SameFileTest& same) {
    QHash<QString, QList<int>> byDigest;
    for (const File& file : sampledFiles) {
        if (const auto it = sampled.constFind(file.index); it != sampled.constEnd())
            byDigest[it->text].append(file.index);
    }
    return filesInSharedGroups(sampledFiles, byDigest, same);
}

QHash<int, int> pairDuplicates(const QHash<int, Digest>& full, const SameFileTest& same) {
    QHash<QString, QList<int>> byDigest;
    for (auto it = full.constBegin(); it != full.constEnd(); ++it)
        byDigest[it->text].append(it.key());
    QHash<int, int> duplicateOf;
    for (QList<int> group : std::as_const(byDigest)) {
        if (group.size() < 2)
            continue;
        std::sort(group.begin(), group.end());
        for (int a : std::as_const(group)) {
            const auto b =
                std::find_if(group.begin(), group.end(), [&](int other) { return !same(a, other); });
            if (b != group.end())
                duplicateOf.insert(a, *b);
        }
    }
    return duplicateOf;
}

} // namespace

int samplingWidth(bool remote, int processorCount) {
    if (remote || processorCount < 4)
        return 2;
    return std::min(processorCount / 2, 8);
}

int fullHashingWidth(bool remote, int processorCount) {
    if (remote || processorCount < 8)
        return 2;
    return std::min(processorCount / 4, 4);
}

QString hexString(const QByteArray& digest) {
    return Sha256::hexString(digest);
}

namespace {

// Counts what was read, takes the file's identity and lets its cached pages go.
Digest finishDigest(ReadOnlyFile& file, Sha256& sha, qint64 total, std::atomic<qint64>* bytesRead,
                    bool dropPages) {
    if (bytesRead)
        bytesRead->fetch_add(total);
    const auto facts = file.facts();
    if (dropPages)
        file.dropCachedPages();
    return Digest{Sha256::hexString(sha.finish()), facts ? facts->device : 0, facts ? facts->inode : 0};
}

} // namespace

std::optional<Digest> sampledHash(const QString& path, qint64 size, const Touch& touch,
                                  std::atomic<qint64>* bytesRead, bool dropPages, QString* wholeDigest) {
    touchIfSet(touch);
    ReadOnlyFile file(path);
    if (!file.isOpen())
        return std::nullopt;
    file.adviseRandom();
    const qint64 sizeLE = qToLittleEndian(size);
    if (size <= 2 * sampleBlock) {
        // Small enough to read whole at once (one byte more proves the end): the sample is its first
        // block, and the full digest comes from the same read.
        char* buffer = threadBuffer(2 * sampleBlock + 1);
        touchIfSet(touch);
        const qint64 n = file.readFullyAt(0, buffer, std::max(size + 1, sampleBlock));
        if (n < 0)
            return std::nullopt;
        Sha256 sha;
        sha.update(buffer, std::size_t(std::min(n, sampleBlock)));
        sha.update(&sizeLE, sizeof sizeLE);
        if (wholeDigest && n == size) {
            Sha256 all;
            all.update(buffer, std::size_t(n));
            *wholeDigest = Sha256::hexString(all.finish());
        }
        return finishDigest(file, sha, n, bytesRead, dropPages);
    }
    char* buffer = threadBuffer(sampleBlock);
    Sha256 sha;
    touchIfSet(touch);
    qint64 n = file.readFullyAt(0, buffer, sampleBlock);
    if (n < 0)
        return std::nullopt;
    sha.update(buffer, std::size_t(n));
    qint64 total = n;
    touchIfSet(touch);
    n = file.readFullyAt(size - sampleBlock, buffer, sampleBlock);
    if (n < 0)
        return std::nullopt;
    sha.update(buffer, std::size_t(n));
    total += n;
    sha.update(&sizeLE, sizeof sizeLE);
    return finishDigest(file, sha, total, bytesRead, dropPages);
}

std::optional<Digest> fullHash(const QString& path, const Touch& touch, std::atomic<qint64>* bytesRead,
                               bool dropPages) {
    touchIfSet(touch);
    ReadOnlyFile file(path);
    if (!file.isOpen())
        return std::nullopt;
    file.adviseSequential();
    char* buffer = threadBuffer(fullBlock);
    Sha256 sha;
    qint64 total = 0;
    for (;;) {
        touchIfSet(touch);
        const qint64 n = file.readFully(buffer, fullBlock);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        sha.update(buffer, std::size_t(n));
        total += n;
        if (n < fullBlock)
            break; // readFully stops short only at the end
    }
    return finishDigest(file, sha, total, bytesRead, dropPages);
}

namespace {

// Every file of a size group holding two different paths (ignoring case), in list order.
QList<File> sampleCandidates(const QList<File>& files, const QHash<int, const File*>& byIndex) {
    QHash<qint64, QList<int>> sizeGroups;
    for (const File& file : files) {
        if (file.size >= 1)
            sizeGroups[file.size].append(file.index);
    }
    const QHash<int, Digest> noDigests;
    const SameFileTest samePath(byIndex, noDigests);
    return filesInSharedGroups(files, sizeGroups, samePath);
}

} // namespace

Result detect(const QList<File>& files, const Settings& settings) {
    Result result;
    const int processors =
        settings.processorCount > 0 ? settings.processorCount : QThread::idealThreadCount();
    QHash<int, const File*> byIndex;
    for (const File& file : files)
        byIndex.insert(file.index, &file);
    const QList<File> toSample = sampleCandidates(files, byIndex);
    result.sampledCount = int(toSample.size());

    const bool drop = settings.dropPagesAfterReading;
    const auto hung = std::make_shared<HungMounts>(settings.mountTable);
    const HashAllResult sampled = hashAll(
        toSample, samplingWidth(anyRemote(toSample), processors),
        [drop, custom = settings.sampledHasher](const File& f, const Touch& touch) {
            std::atomic<qint64> bytes{0};
            QString whole;
            auto digest =
                custom ? custom(f, touch) : sampledHash(f.path, f.size, touch, &bytes, drop, &whole);
            return HashOutcome{std::move(digest), bytes.load(), false, whole};
        },
        settings, Phase::sampling, hung);
    result.unansweredIndices = sampled.unanswered;
    if (sampled.cancelled) {
        result.cancelled = true;
        return result;
    }

    const SameFileTest sameFile(byIndex, sampled.digests);
    const QList<File> candidates = fullCandidates(toSample, sampled.digests, sameFile);
    result.fullyHashedCount = int(candidates.size());
    // Files the sample read whole already have their full digest; only the others are read again.
    QHash<int, Digest> known;
    QList<File> toHash;
    for (const File& f : candidates) {
        const auto whole = sampled.wholes.constFind(f.index);
        if (whole != sampled.wholes.constEnd()) {
            const Digest& sample = sampled.digests[f.index];
            known.insert(f.index, Digest{*whole, sample.device, sample.inode});
        } else {
            toHash.append(f);
        }
    }
    if (settings.progress) {
        for (int k = 1; k <= int(known.size()); ++k)
            settings.progress(Phase::fullHashing, k, int(candidates.size()));
    }
    HashAllResult full = hashAll(
        toHash, fullHashingWidth(anyRemote(toHash), processors),
        [drop, custom = settings.fullHasher](const File& f, const Touch& touch) {
            std::atomic<qint64> bytes{0};
            auto digest = custom ? custom(f, touch) : fullHash(f.path, touch, &bytes, drop);
            return HashOutcome{std::move(digest), bytes.load(), false, {}};
        },
        settings, Phase::fullHashing, hung, int(known.size()), int(candidates.size()));
    full.digests.insert(known);
    result.unansweredIndices.unite(full.unanswered);
    if (full.cancelled) {
        result.cancelled = true;
        return result;
    }

    for (auto it = sampled.digests.constBegin(); it != sampled.digests.constEnd(); ++it)
        result.hashByIndex.insert(it.key(), it->text);
    for (auto it = full.digests.constBegin(); it != full.digests.constEnd(); ++it)
        result.hashByIndex.insert(it.key(), it->text);
    result.duplicateOfByIndex = pairDuplicates(full.digests, SameFileTest(byIndex, full.digests));
    return result;
}

} // namespace tarnwick::DuplicateDetectionCore
