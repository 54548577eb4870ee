#include "analysis/MediaConsolidator.h"

#include "analysis/FileNameGroups.h"

#include "model/PathComponents.h"
#include "platform/AppLog.h"
#include "platform/FileStatProbe.h"
#include "platform/HungMounts.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "platform/WatchdogPool.h"

#include <QHash>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <deque>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tarnwick {

namespace {

int usageRank(MediaUsageType type) {
    switch (type) {
    case MediaUsageType::videoAndAudio:
        return 4;
    case MediaUsageType::videoOnly:
        return 3;
    case MediaUsageType::audioOnly:
        return 2;
    case MediaUsageType::usedInAfterEffects:
        return 1;
    case MediaUsageType::unused:
        return 0;
    }
    return 0;
}

void appendMissing(QStringList& target, const QStringList& source) {
    for (const QString& value : source) {
        if (!target.contains(value))
            target.append(value);
    }
}

QString effectivePath(const MediaFile& file) {
    return file.matchedPath ? *file.matchedPath : file.path;
}

// Two paths name the same file by the path rule when their last two components agree (lower-cased,
// "\" read as "/"); a path of fewer components only when the whole lower-cased text is equal.
QString tailKey(const QString& path) {
    const QStringList components = pathComponentsHelper(path);
    if (components.size() >= 2)
        return components[components.size() - 2] + QLatin1Char('/') + components.last();
    return QLatin1Char('\x01') + text::lowered(path);
}

// The tail keys of one entry, kept in step with its merges.
struct EntryKeys {
    QString path;
    QString matched; // empty when there is no matched path
    QSet<QString> alternatives;
    qsizetype alternativesSeen = 0;

    void refresh(const MediaFile& file) {
        if (path.isEmpty())
            path = tailKey(file.path);
        matched = file.matchedPath ? tailKey(*file.matchedPath) : QString();
        for (; alternativesSeen < file.alternativePaths.size(); ++alternativesSeen)
            alternatives.insert(tailKey(file.alternativePaths[alternativesSeen]));
    }
};

// The pairs of the path rule: (a.path | a.matched | a.alternatives, b.path), (a.path | a.matched,
// b.matched), (a.path, b.alternatives).
bool keysAgree(const EntryKeys& a, const EntryKeys& b) {
    if (b.path == a.path || (!a.matched.isEmpty() && b.path == a.matched) || a.alternatives.contains(b.path))
        return true;
    if (!b.matched.isEmpty() && (b.matched == a.path || b.matched == a.matched))
        return true;
    return b.alternatives.contains(a.path);
}

bool sizesAgree(const MediaFile& a, const MediaFile& b) {
    return a.size >= 1 && b.size >= 1 && a.size == b.size;
}

void logMerge(const MediaFile& survivor, const MediaFile& merged) {
    AppLog::info(QStringLiteral("Consolidated: ") + path::lastPathComponent(survivor.path) +
                 QStringLiteral(" — merged ") + merged.path + QStringLiteral(" into ") + survivor.path);
}

} // namespace

MediaConsolidator::MediaConsolidator(std::shared_ptr<const FileStatProbe> probe,
                                     std::chrono::milliseconds timeout)
    : m_probe(probe ? std::move(probe) : FileStatProbe::system()), m_timeout(timeout) {}

std::optional<FileFacts> MediaConsolidator::identityOf(const MediaFile& file) const {
    return file.isOnDisk() ? m_probe->stat(effectivePath(file)) : std::nullopt;
}

bool MediaConsolidator::namesAndSizeAgree(const MediaFile& a, const MediaFile& b) {
    if (!sizesAgree(a, b))
        return false;
    EntryKeys keysA;
    EntryKeys keysB;
    keysA.refresh(a);
    keysB.refresh(b);
    return keysAgree(keysA, keysB);
}

bool MediaConsolidator::isSamePhysicalFile(const MediaFile& a, const MediaFile& b) const {
    if (a.isOnDisk() && b.isOnDisk()) {
        const auto factsA = identityOf(a);
        const auto factsB = factsA ? identityOf(b) : std::nullopt;
        if (factsA && factsB && factsA->isSameFileAs(*factsB))
            return true;
    }
    return namesAndSizeAgree(a, b);
}

void MediaConsolidator::mergeEntry(const MediaFile& source, MediaFile& target) {
    QSet<QString> known{text::lowered(target.path)};
    for (const QString& alternative : std::as_const(target.alternativePaths))
        known.insert(text::lowered(alternative));
    if (target.matchedPath)
        known.insert(text::lowered(*target.matchedPath));
    QStringList sourcePaths{source.path};
    sourcePaths += source.alternativePaths;
    if (source.matchedPath)
        sourcePaths.append(*source.matchedPath);
    for (const QString& candidate : std::as_const(sourcePaths)) {
        const QString key = text::lowered(candidate);
        if (!known.contains(key)) {
            target.alternativePaths.append(candidate);
            known.insert(key);
        }
    }

    target.usageCount += source.usageCount;
    if (usageRank(source.usageType) > usageRank(target.usageType))
        target.usageType = source.usageType;
    target.isAEFootage = target.isAEFootage || source.isAEFootage;
    target.hasUnresolvedAELink = target.hasUnresolvedAELink || source.hasUnresolvedAELink;
    target.isFromDaVinciCSV = target.isFromDaVinciCSV || source.isFromDaVinciCSV;
    target.needsReview = target.needsReview || source.needsReview;
    target.isProtected = target.isProtected || source.isProtected;
    appendMissing(target.sequenceNames, source.sequenceNames);
    appendMissing(target.linkedAEProjects, source.linkedAEProjects);
    appendMissing(target.projectNames, source.projectNames);

    if (!target.isOnDisk() && source.isOnDisk()) {
        const MediaFileStatus s = target.status;
        if (s != MediaFileStatus::inRecycleBin && s != MediaFileStatus::deleted &&
            s != MediaFileStatus::moved && s != MediaFileStatus::transcoded)
            target.status = source.status;
        const QString found = effectivePath(source);
        if (text::lowered(found) == text::lowered(target.path))
            target.matchedPath.reset();
        else
            target.matchedPath = found;
    }

    if (!target.proxyPath)
        target.proxyPath = source.proxyPath;
    if (target.size == 0 && source.size >= 1)
        target.size = source.size;
    const auto isPlain = [](StorageType t) { return t == StorageType::local || t == StorageType::unknown; };
    if (isPlain(target.storageType) && !isPlain(source.storageType))
        target.storageType = source.storageType;
}

namespace {

// One consolidation over a list it does not change: the identities (one stat per entry on disk)
// and path keys it compares with, the survivors' changed records and which positions were merged
// away.
class ConsolidationRun {
public:
    // `identities`: per position, the stat of the entry's file when it is on disk.
    ConsolidationRun(const QList<MediaFile>& files, std::vector<std::optional<FileFacts>> identities)
        : m_files(files), m_identity(std::move(identities)) {}

    // A group can merge only when one of its entries is on disk: the other names are not grouped.
    void mergeByName() {
        const auto groups =
            FileNameGroups::of(m_files, [](const MediaFile& file) { return file.isOnDisk(); });
        for (const FileNameGroups::Group& group : groups) {
            if (holdsTwoPathTexts(group))
                mergeGroup(group);
        }
    }

    // A symbolic or hard link under another name is the same file too: merge by (device, inode).
    void mergeByIdentity() {
        QHash<std::pair<quint64, quint64>, qsizetype> firstWithIdentity;
        for (qsizetype i = 0; i < m_files.size(); ++i) {
            const auto& id = m_identity[std::size_t(i)];
            if (!id || mergedAway(i) || !at(i).isOnDisk())
                continue;
            const std::pair<quint64, quint64> key{id->device, id->inode};
            const auto it = firstWithIdentity.constFind(key);
            if (it == firstWithIdentity.constEnd())
                firstWithIdentity.insert(key, i);
            else if (at(it.value()).path != at(i).path)
                merge(it.value(), i);
        }
    }

    MediaConsolidator::Consolidation result() {
        MediaConsolidator::Consolidation out;
        if (m_mergedCount == 0)
            return out;
        AppLog::info(QStringLiteral("Consolidated ") + QString::number(m_mergedCount) +
                     QStringLiteral(" cross-project duplicate(s)"));
        out.survivors.reserve(m_survivors.size());
        for (auto& survivor : m_survivors)
            out.survivors.push_back(std::move(survivor));
        std::sort(out.survivors.begin(), out.survivors.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        out.mergedAway = std::move(m_mergedAway);
        out.mergedCount = m_mergedCount;
        return out;
    }

private:
    // The entry as the merges so far left it.
    const MediaFile& at(qsizetype i) const {
        if (m_slot.empty())
            return m_files[i];
        const qsizetype slot = m_slot[std::size_t(i)];
        return slot < 0 ? m_files[i] : m_survivors[std::size_t(slot)].second;
    }

    // The survivor at `i`, changed in a copy of its own: the list stays as it was.
    MediaFile& survivorAt(qsizetype i) {
        if (m_slot.empty()) {
            m_slot.resize(std::size_t(m_files.size()), -1);
            m_mergedAway.resize(std::size_t(m_files.size()), false);
        }
        qsizetype& slot = m_slot[std::size_t(i)];
        if (slot < 0) {
            slot = qsizetype(m_survivors.size());
            m_survivors.emplace_back(i, m_files[i]);
        }
        return m_survivors[std::size_t(slot)].second;
    }

    bool mergedAway(qsizetype i) const { return !m_mergedAway.empty() && m_mergedAway[std::size_t(i)]; }

    bool holdsTwoPathTexts(const FileNameGroups::Group& group) const {
        return std::any_of(group.begin() + 1, group.end(),
                           [&](qsizetype i) { return at(i).path != at(group.front()).path; });
    }

    void mergeGroup(const FileNameGroups::Group& group) {
        for (qsizetype i : group)
            m_keys[i].refresh(at(i));
        for (std::size_t gi = 0; gi < group.size(); ++gi) {
            const qsizetype i = group[gi];
            if (mergedAway(i))
                continue;
            for (std::size_t gj = gi + 1; gj < group.size(); ++gj) {
                const qsizetype j = group[gj];
                if (mergedAway(j) || !(at(i).isOnDisk() || at(j).isOnDisk()))
                    continue;
                if (samePhysicalFile(i, j))
                    merge(i, j);
            }
        }
    }

    bool samePhysicalFile(qsizetype i, qsizetype j) const {
        const MediaFile& a = at(i);
        const MediaFile& b = at(j);
        const auto& idA = m_identity[std::size_t(i)];
        const auto& idB = m_identity[std::size_t(j)];
        if (a.isOnDisk() && b.isOnDisk() && idA && idB && idA->isSameFileAs(*idB))
            return true;
        return sizesAgree(a, b) && keysAgree(m_keys.at(i), m_keys.at(j));
    }

    void merge(qsizetype i, qsizetype j) {
        MediaFile& survivor = survivorAt(i);
        const bool wasOnDisk = survivor.isOnDisk();
        logMerge(survivor, at(j));
        MediaConsolidator::mergeEntry(at(j), survivor);
        // The survivor now reads the other entry's file.
        if (!wasOnDisk && survivor.isOnDisk())
            m_identity[std::size_t(i)] = m_identity[std::size_t(j)];
        m_keys[i].refresh(survivor);
        m_mergedAway[std::size_t(j)] = true;
        ++m_mergedCount;
    }

    const QList<MediaFile>& m_files;
    std::vector<std::optional<FileFacts>> m_identity;
    std::unordered_map<qsizetype, EntryKeys> m_keys; // of the entries in a group of one name
    std::vector<qsizetype> m_slot; // per position, its survivor's slot or -1; empty until the first merge
    std::deque<std::pair<qsizetype, MediaFile>>
        m_survivors;                // as merged so far, in order of their first merge
    std::vector<bool> m_mergedAway; // empty until the first merge
    qsizetype m_mergedCount = 0;
};

// A stretch of the list stat'ed by one job. The job may be abandoned mid-way and go on later, so
// only the first `done` facts are final.
struct IdentityChunk {
    QList<qsizetype> positions;
    QStringList paths;
    std::vector<std::optional<FileFacts>> facts;
    std::atomic<qsizetype> done{0};
    std::atomic<bool> abandoned{false}; // a job that comes back later stats nothing more
};

// The rest of a chunk whose stat hung is asked again, so chunks only need to keep hand-overs rare.
constexpr qsizetype identityChunkSize = 4096;

// The stats of a round, a chunk per job.
std::vector<std::shared_ptr<IdentityChunk>> identityChunks(const QList<qsizetype>& pending,
                                                           const QList<MediaFile>& files) {
    std::vector<std::shared_ptr<IdentityChunk>> chunks;
    for (qsizetype i : pending) {
        if (chunks.empty() || chunks.back()->positions.size() == identityChunkSize)
            chunks.push_back(std::make_shared<IdentityChunk>());
        chunks.back()->positions.append(i);
        chunks.back()->paths.append(effectivePath(files[i]));
    }
    for (const auto& chunk : chunks)
        chunk->facts.resize(std::size_t(chunk->paths.size()));
    return chunks;
}

} // namespace

// A list of many files on disk (a CSV of present clips: a million stats) is stat'ed on a few
// threads; a mount that stops answering is given up once, whichever of them met it first.
std::vector<std::optional<FileFacts>> MediaConsolidator::identitiesOf(const QList<MediaFile>& files,
                                                                      const KnownFacts& known) const {
    std::vector<std::optional<FileFacts>> identities(std::size_t(files.size()));
    QList<qsizetype> pending;
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (!files[i].isOnDisk())
            continue;
        if (const auto it = known.constFind(effectivePath(files[i])); it != known.constEnd())
            identities[std::size_t(i)] = *it;
        else
            pending.append(i);
    }
    auto hung = std::make_shared<HungMounts>();
    const int width = pending.size() > identityChunkSize ? std::clamp(QThread::idealThreadCount(), 1, 4) : 1;
    WatchdogPool pool("Consolidation", width, m_timeout);
    // Each round drops at least the stat that hung; the rest of its chunk goes to the next round.
    while (!pending.isEmpty()) {
        const std::vector<std::shared_ptr<IdentityChunk>> chunks = identityChunks(pending, files);
        pending.clear();
        pool.map<int>(
            int(chunks.size()),
            [chunks, hung, probe = m_probe](int c, WatchdogPool::Watch& watch) {
                IdentityChunk& chunk = *chunks[std::size_t(c)];
                for (qsizetype k = 0; k < chunk.paths.size() && !chunk.abandoned.load(); ++k) {
                    if (!hung->covers(chunk.paths[k])) {
                        watch.touch();
                        chunk.facts[std::size_t(k)] = probe->stat(chunk.paths[k]);
                    }
                    chunk.done.store(k + 1, std::memory_order_release);
                }
                return 0;
            },
            [&](int c, WatchdogPool::Outcome outcome, const int*) {
                IdentityChunk& chunk = *chunks[std::size_t(c)];
                if (outcome == WatchdogPool::Outcome::abandoned)
                    chunk.abandoned = true;
                const qsizetype done = chunk.done.load(std::memory_order_acquire);
                for (qsizetype k = 0; k < done; ++k)
                    identities[std::size_t(chunk.positions[k])] = chunk.facts[std::size_t(k)];
                if (outcome != WatchdogPool::Outcome::abandoned || done >= chunk.paths.size())
                    return;
                pending += chunk.positions.mid(done + 1);
                // Chunks side by side may hang on one mount: it is reported once.
                if (hung->covers(chunk.paths[done]))
                    return;
                const qsizetype stuck = chunk.positions[done];
                if (files[stuck].storageType == StorageType::network)
                    AppLog::networkDriveOffline(chunk.paths[done]);
                else
                    AppLog::warning(QStringLiteral("No answer from ") + chunk.paths[done] +
                                    QStringLiteral("; compared by name and size"));
                hung->addMountOf(chunk.paths[done]);
            });
    }
    return identities;
}

MediaConsolidator::Consolidation MediaConsolidator::consolidationOf(const QList<MediaFile>& files,
                                                                    const KnownFacts& known) const {
    AppLog::info(QStringLiteral("Consolidating cross-project duplicate entries among ") +
                 QString::number(files.size()) + QStringLiteral(" files"));
    ConsolidationRun run(files, identitiesOf(files, known));
    run.mergeByName();
    run.mergeByIdentity();
    return run.result();
}

QList<MediaFile> MediaConsolidator::consolidateCrossProjectDuplicates(QList<MediaFile> files,
                                                                      const KnownFacts& known) const {
    Consolidation consolidation = consolidationOf(files, known);
    std::move(consolidation).applyTo(files);
    return files;
}

void MediaConsolidator::Consolidation::applyTo(QList<MediaFile>& files) && {
    if (mergedCount == 0)
        return;
    if (!files.isDetached()) {
        // Someone else holds the list too: copy what is kept rather than all of it.
        QList<MediaFile> kept;
        kept.reserve(files.size() - mergedCount);
        auto survivor = survivors.begin();
        for (qsizetype i = 0; i < files.size(); ++i) {
            const bool changed = survivor != survivors.end() && survivor->first == i;
            if (!mergedAway[std::size_t(i)])
                kept.append(changed ? std::move(survivor->second) : std::as_const(files)[i]);
            survivor += changed;
        }
        files = std::move(kept);
        return;
    }
    MediaFile* data = files.data();
    for (auto& [position, file] : survivors)
        data[position] = std::move(file);
    qsizetype kept = 0;
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (mergedAway[std::size_t(i)])
            continue;
        if (kept != i)
            data[kept] = std::move(data[i]);
        ++kept;
    }
    files.resize(kept);
    // Many merged away: the room they held goes back (a copy of the rest, as building a new list
    // would make).
    constexpr qsizetype manyMerged = 4096;
    if (mergedCount >= manyMerged && mergedCount * 4 > files.size())
        files.squeeze();
}

} // namespace tarnwick
