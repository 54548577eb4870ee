#include "analysis/DuplicateDetectionCore.h"

#include "analysis/DuplicateGroupReading.h"

#include "platform/HungMounts.h"
#include "platform/ReadOnlyFile.h"
#include "platform/Sha256.h"
#include "platform/TextKey.h"
#include "platform/WatchdogPool.h"

#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <limits>
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

bool anyRemote(const QList<File>& files) {
    return std::any_of(files.begin(), files.end(), [](const File& f) { return f.isRemote; });
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

// A pipe or a device behind a media path would be read forever: only regular files are hashed.
bool isRegular(const ReadOnlyFile& file) {
    if (!file.isOpen())
        return false;
    const auto facts = file.facts();
    return facts && facts->isRegularFile;
}

// Counts what was read, takes the file's identity and lets its cached pages go.
Digest finishDigest(ReadOnlyFile& file, Sha256& sha, qint64 total, std::atomic<qint64>* bytesRead,
                    bool dropPages) {
    if (bytesRead)
        bytesRead->fetch_add(total);
    const auto facts = file.facts();
    if (dropPages && (!facts || facts->size > keptPagesUpTo))
        file.dropCachedPages();
    return Digest{Sha256::hexString(sha.finish()), facts ? facts->device : 0, facts ? facts->inode : 0};
}

} // namespace

std::optional<Digest> sampledHash(const QString& path, qint64 size, const Touch& touch,
                                  std::atomic<qint64>* bytesRead, bool dropPages, QString* wholeDigest) {
    touchIfSet(touch);
    ReadOnlyFile file(path);
    if (!isRegular(file))
        return std::nullopt;
    file.adviseRandom();
    const qint64 sizeLE = qToLittleEndian(size);
    if (size <= 2 * sampleBlock) {
        // Small enough to read whole at once (one byte more proves the end): the sample is its first
        // block, and the full digest comes from the same read and the same hashing of that block.
        char* buffer = threadBuffer(2 * sampleBlock + 1);
        touchIfSet(touch);
        const qint64 n = file.readFullyAt(0, buffer, std::max(size + 1, sampleBlock));
        if (n < 0)
            return std::nullopt;
        Sha256 sha;
        sha.update(buffer, std::size_t(std::min(n, sampleBlock)));
        if (wholeDigest && n == size) {
            Sha256 all(sha);
            if (n > sampleBlock)
                all.update(buffer + sampleBlock, std::size_t(n - sampleBlock));
            *wholeDigest = Sha256::hexString(all.finish());
        }
        sha.update(&sizeLE, sizeof sizeLE);
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
                               bool dropPages, qint64 recordedSize) {
    touchIfSet(touch);
    ReadOnlyFile file(path);
    if (!isRegular(file))
        return std::nullopt;
    file.adviseSequential();
    char* buffer = threadBuffer(fullBlock);
    Sha256 sha;
    qint64 total = 0;
    const qint64 limit = recordedSize >= 0 ? recordedSize : std::numeric_limits<qint64>::max();
    for (;;) {
        touchIfSet(touch);
        // One byte past the recorded size tells a file that grew since from one that did not.
        const qint64 want = std::min<qint64>(fullBlock, limit - total + (limit - total < fullBlock ? 1 : 0));
        const qint64 n = file.readFully(buffer, want);
        if (n < 0)
            return std::nullopt;
        if (total + n > limit)
            return std::nullopt; // changed since it was recorded: its digest would match nothing
        if (n == 0)
            break;
        sha.update(buffer, std::size_t(n));
        total += n;
        if (n < want)
            break; // readFully stops short only at the end
    }
    return finishDigest(file, sha, total, bytesRead, dropPages);
}

namespace {

using detail::Identity;
using detail::Job;
using detail::JobOutcome;
using detail::SameFileTest;

// Every file of a size group holding two different paths (ignoring case), by group, in list order.
QList<QList<File>> sizeGroups(const QList<File>& files) {
    QHash<qint64, QList<int>> positionsBySize;
    for (int i = 0; i < int(files.size()); ++i) {
        if (files[i].size >= 1)
            positionsBySize[files[i].size].append(i);
    }
    QList<int> firsts;
    for (const QList<int>& positions : std::as_const(positionsBySize)) {
        const QString& first = files[positions.first()].path;
        if (std::any_of(positions.begin() + 1, positions.end(),
                        [&](int p) { return !text::equalLowered(files[p].path, first); }))
            firsts.append(positions.first());
    }
    std::sort(firsts.begin(), firsts.end());
    QList<QList<File>> groups;
    for (int first : std::as_const(firsts)) {
        QList<File> group;
        for (int p : positionsBySize.value(files[first].size))
            group.append(files[p]);
        groups.append(group);
    }
    return groups;
}

// A size group of local files is sampled side by side, unless it is large (or a test reads files
// its own way); other files one by one.
QList<Job> samplingJobs(const QList<QList<File>>& groups, const Settings& settings) {
    QList<Job> jobs;
    for (const QList<File>& group : groups) {
        if (!settings.sampledHasher && !anyRemote(group) && group.size() <= detail::sideBySideLimit) {
            jobs.append({Job::Kind::sampleGroup, group, {}});
            continue;
        }
        for (const File& f : group)
            jobs.append({Job::Kind::sampleFile, {f}, {}});
    }
    return jobs;
}

// What the jobs of one phase found, merged.
struct PhaseOutcome {
    JobOutcome found;
    QSet<int> unanswered;
    bool cancelled = false;
};

void merge(JobOutcome& into, JobOutcome&& from) {
    into.sampled.insert(from.sampled);
    into.full.insert(from.full);
    into.identities.insert(from.identities);
    into.candidates += from.candidates;
    for (detail::PendingClass& pending : from.pending)
        into.pending.push_back(std::move(pending));
    into.hashAlone += from.hashAlone;
    into.bytesRead += from.bytesRead;
}

JobOutcome runJob(const Job& job, const Touch& touch, const detail::JobContext& context,
                  const Settings& settings) {
    const File& first = job.files.first();
    if (job.kind == Job::Kind::sampleGroup)
        return detail::sampleGroup(job.files, touch, context);
    if (job.kind == Job::Kind::hashClass)
        return detail::hashClass({job.files, job.prefix}, touch, context);
    JobOutcome out;
    if (context.hung->covers(first.path)) {
        out.skipped.insert(first.index);
        return out;
    }
    context.current->store(first.index);
    std::atomic<qint64> bytes{0};
    std::optional<Digest> digest;
    if (job.kind == Job::Kind::sampleFile) {
        QString whole;
        digest = settings.sampledHasher
                     ? settings.sampledHasher(first, touch)
                     : sampledHash(first.path, first.size, touch, &bytes, context.dropPages, &whole);
        if (digest && !whole.isEmpty())
            out.full.insert(first.index, whole);
        if (digest)
            out.sampled.insert(first.index, *digest);
    } else {
        digest = settings.fullHasher ? settings.fullHasher(first, touch)
                                     : fullHash(first.path, touch, &bytes, context.dropPages, first.size);
        if (digest)
            out.full.insert(first.index, digest->text);
    }
    if (digest)
        out.identities.insert(first.index, {digest->device, digest->inode});
    out.bytesRead = bytes.load();
    return out;
}

qint64 bytesOf(const Job& job) {
    qint64 total = 0;
    for (const File& f : job.files)
        total += std::max<qint64>(f.size, 0);
    return total;
}

// Runs the jobs, at most `width` at once, each under the watchdog. A job whose read hangs is given
// up: the file it was reading is unanswered, its network mount written off, and the job's other
// files go to a fresh job. Progress counts files, from `settled` of `total`.
PhaseOutcome runJobs(QList<Job> jobs, int width, Phase phase, int settled, int total,
                     const Settings& settings, const std::shared_ptr<HungMounts>& hung) {
    PhaseOutcome phaseOutcome;
    if (jobs.isEmpty())
        return phaseOutcome;
    WatchdogPool pool("DuplicateReads", std::min<int>(int(jobs.size()), std::max(width, 1)),
                      settings.watchdogTimeout);
    const auto timeout =
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(settings.watchdogTimeout);
    const qint64 rate = std::max<qint64>(settings.slowestReadBytesPerSecond, 1);
    int done = settled;
    const auto report = [&](int files) {
        for (int k = 0; k < files; ++k) {
            ++done;
            if (settings.progress)
                settings.progress(phase, done, total);
        }
    };
    while (!jobs.isEmpty()) {
        std::vector<std::shared_ptr<std::atomic<int>>> current;
        for (qsizetype j = 0; j < jobs.size(); ++j)
            current.push_back(std::make_shared<std::atomic<int>>(-1));
        QList<Job> retry;
        pool.map<JobOutcome>(
            int(jobs.size()),
            [jobs, current, hung, timeout, rate, settings](int j, WatchdogPool::Watch& watch) {
                // Past its budget a job stops restarting the watchdog's clock, which then gives up on it.
                const auto budget = timeout + std::chrono::seconds(bytesOf(jobs[j]) / rate);
                const auto deadline = std::chrono::steady_clock::now() + budget;
                const Touch touch = [&watch, deadline] {
                    if (std::chrono::steady_clock::now() < deadline)
                        watch.touch();
                };
                const detail::JobContext context{settings.dropPagesAfterReading, hung,
                                                 current[std::size_t(j)]};
                return runJob(jobs[j], touch, context, settings);
            },
            [&](int j, WatchdogPool::Outcome outcome, const JobOutcome* result) {
                const Job& job = jobs[j];
                if (outcome == WatchdogPool::Outcome::cancelled) {
                    phaseOutcome.cancelled = true;
                    report(int(job.files.size()));
                    return;
                }
                if (outcome == WatchdogPool::Outcome::abandoned) {
                    const int stuck = current[std::size_t(j)]->load();
                    Job rest = job;
                    rest.files.clear();
                    for (const File& f : job.files) {
                        if (f.index == stuck || stuck < 0) {
                            phaseOutcome.unanswered.insert(f.index);
                            hung->addMountOf(f.path);
                        } else {
                            rest.files.append(f);
                        }
                    }
                    report(int(job.files.size() - rest.files.size()));
                    if (!rest.files.isEmpty())
                        retry.append(rest);
                    return;
                }
                if (result) {
                    JobOutcome found = *result;
                    phaseOutcome.unanswered.unite(found.skipped);
                    if (settings.bytesRead)
                        settings.bytesRead->fetch_add(found.bytesRead);
                    merge(phaseOutcome.found, std::move(found));
                }
                report(int(job.files.size()));
            },
            settings.cancel);
        if (settings.cancel && settings.cancel->load())
            phaseOutcome.cancelled = true;
        if (phaseOutcome.cancelled)
            break;
        jobs = std::move(retry);
    }
    return phaseOutcome;
}

// Files sampled one by one whose sampled digests match another file's, in list order.
QList<File> matchedAlone(const QList<Job>& jobs, const QHash<int, Digest>& sampled,
                         const SameFileTest& same) {
    QList<File> alone;
    QHash<QString, QList<int>> byDigest;
    for (const Job& job : jobs) {
        if (job.kind != Job::Kind::sampleFile)
            continue;
        alone.append(job.files.first());
        if (const auto it = sampled.constFind(job.files.first().index); it != sampled.constEnd())
            byDigest[it->text].append(job.files.first().index);
    }
    QSet<int> kept;
    for (const QList<int>& group : std::as_const(byDigest)) {
        if (group.size() >= 2 && same.holdsTwoFiles(group))
            kept.unite(QSet<int>(group.begin(), group.end()));
    }
    alone.removeIf([&](const File& f) { return !kept.contains(f.index); });
    std::sort(alone.begin(), alone.end(), [](const File& a, const File& b) { return a.index < b.index; });
    return alone;
}

QHash<int, int> pairDuplicates(const QHash<int, QString>& full, const SameFileTest& same) {
    QHash<QString, QList<int>> byDigest;
    for (auto it = full.constBegin(); it != full.constEnd(); ++it)
        byDigest[it.value()].append(it.key());
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

Result detect(const QList<File>& files, const Settings& settings) {
    Result result;
    const int processors =
        settings.processorCount > 0 ? settings.processorCount : QThread::idealThreadCount();
    const QList<QList<File>> groups = sizeGroups(files);
    QList<File> toSample;
    QHash<int, QString> paths; // of the files sampled: only they are compared
    for (const QList<File>& group : groups) {
        toSample += group;
        for (const File& f : group)
            paths.insert(f.index, f.path);
    }
    result.sampledCount = int(toSample.size());
    const auto hung = std::make_shared<HungMounts>(settings.mountTable);

    const QList<Job> sampling = samplingJobs(groups, settings);
    PhaseOutcome sampled = runJobs(sampling, samplingWidth(anyRemote(toSample), processors), Phase::sampling,
                                   0, result.sampledCount, settings, hung);
    result.unansweredIndices = sampled.unanswered;
    if (sampled.cancelled) {
        result.cancelled = true;
        return result;
    }
    JobOutcome& found = sampled.found;
    const SameFileTest sameFile(paths, found.identities);

    // Candidates for the full digest: classes of equal samples read side by side, and files sampled
    // alone whose digests match.
    const QList<File> alone = matchedAlone(sampling, found.sampled, sameFile);
    QSet<int> candidates;
    for (const QList<int>& c : std::as_const(found.candidates))
        candidates.unite(QSet<int>(c.begin(), c.end()));
    for (const File& f : alone)
        candidates.insert(f.index);
    result.fullyHashedCount = int(candidates.size());

    // Full digests already known (files read whole while sampled) count as done.
    QHash<int, QString> full;
    for (int index : std::as_const(candidates)) {
        if (const auto it = found.full.constFind(index); it != found.full.constEnd())
            full.insert(index, *it);
    }
    if (settings.progress) {
        for (int k = 1; k <= int(full.size()); ++k)
            settings.progress(Phase::fullHashing, k, result.fullyHashedCount);
    }
    QList<Job> hashing;
    QList<File> hashed;
    for (detail::PendingClass& pending : found.pending) {
        hashing.append({Job::Kind::hashClass, pending.members, pending.prefix});
        hashed += pending.members;
    }
    QList<File> oneByOne = alone + found.hashAlone;
    std::sort(oneByOne.begin(), oneByOne.end(),
              [](const File& a, const File& b) { return a.index < b.index; });
    for (const File& f : std::as_const(oneByOne)) {
        if (full.contains(f.index))
            continue;
        hashing.append({Job::Kind::hashFile, {f}, {}});
        hashed.append(f);
    }
    PhaseOutcome fully = runJobs(hashing, fullHashingWidth(anyRemote(hashed), processors), Phase::fullHashing,
                                 int(full.size()), result.fullyHashedCount, settings, hung);
    result.unansweredIndices.unite(fully.unanswered);
    if (fully.cancelled) {
        result.cancelled = true;
        return result;
    }
    full.insert(fully.found.full);
    found.identities.insert(fully.found.identities);
    // Sampled digests, each replaced by the full digest where one was made.
    for (auto it = found.sampled.constBegin(); it != found.sampled.constEnd(); ++it)
        result.hashByIndex.insert(it.key(), it->text);
    for (auto it = fully.found.sampled.constBegin(); it != fully.found.sampled.constEnd(); ++it)
        result.hashByIndex.insert(it.key(), it->text);
    for (auto it = full.constBegin(); it != full.constEnd(); ++it)
        result.hashByIndex.insert(it.key(), it.value());
    result.duplicateOfByIndex = pairDuplicates(full, SameFileTest(paths, found.identities));
    return result;
}

} // namespace tarnwick::DuplicateDetectionCore
