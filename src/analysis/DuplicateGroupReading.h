#pragma once

#include "analysis/DuplicateDetectionCore.h"
#include "platform/Sha256.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

namespace tarnwick {

class HungMounts;

// The reading jobs of duplicate detection. A size group of local files is read side by side
// (SideBySideRead): each run of identical bytes is hashed once, files are told apart by comparing
// bytes, and only the digests the result needs are made. Other files are read one by one.
namespace DuplicateDetectionCore::detail {

using Identity = std::pair<quint64, quint64>; // device, inode

// More files of one size than this are sampled one by one: each sample is then held only while it
// is hashed (image sequences give thousands of files of one size, rarely equal).
constexpr int sideBySideLimit = 16;

// A class of large files whose samples are equal: read whole, side by side, in the second phase.
struct PendingClass {
    QList<File> members;                  // in list order, one physical file possibly listed twice
    std::shared_ptr<const Sha256> prefix; // over their (equal) first sample block
};

struct Job {
    enum class Kind { sampleFile, sampleGroup, hashFile, hashClass };
    Kind kind = Kind::sampleFile;
    QList<File> files;
    std::shared_ptr<const Sha256> prefix; // hashClass
};

// What one job found; merged in the thread running detect().
struct JobOutcome {
    QHash<int, Digest> sampled;        // sampled digests, with the identity of the file read
    QHash<int, QString> full;          // full digests
    QHash<int, Identity> identities;   // every file opened
    QList<QList<int>> candidates;      // side by side: the files of each class of equal samples
    std::vector<PendingClass> pending; // side by side: classes to read whole in the second phase
    QList<File> hashAlone;             // side by side: candidates to read whole one by one
    QSet<int> skipped;                 // on a mount where a read hung
    qint64 bytesRead = 0;
};

struct JobContext {
    bool dropPages = true;
    std::shared_ptr<HungMounts> hung;
    // Which file the job is reading (its index), for a read that hangs.
    std::shared_ptr<std::atomic<int>> current;
};

// Same file: the same path ignoring case, or the same (device, inode) under another name.
class SameFileTest {
public:
    SameFileTest(const QHash<int, QString>& paths, const QHash<int, Identity>& identities)
        : m_paths(paths), m_identities(identities) {}

    bool operator()(int a, int b) const;
    // Whether a group holds at least two different files.
    bool holdsTwoFiles(const QList<int>& group) const;

private:
    const QHash<int, QString>& m_paths;
    const QHash<int, Identity>& m_identities;
};

// Samples a size group of local files side by side.
JobOutcome sampleGroup(const QList<File>& group, const Touch& touch, const JobContext& context);
// Reads a class of equal samples whole, side by side, carrying on after the first sample block.
JobOutcome hashClass(const PendingClass& pending, const Touch& touch, const JobContext& context);

} // namespace DuplicateDetectionCore::detail
} // namespace tarnwick
