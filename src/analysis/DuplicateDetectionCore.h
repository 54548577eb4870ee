#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

class MountTable;
class WatchdogPool;
struct FileFacts;

// Finds files of identical content: grouping by byte size, a sampled digest (at most 2 MiB read
// per file), then a full digest. Knows nothing of the media list. A size group of local files is
// read side by side: bytes are compared, each run of equal bytes is hashed once, and a digest is
// made only where the result holds it (the digests are those of reading each file alone).
namespace DuplicateDetectionCore {

constexpr qint64 sampleBlock = 1048576;
constexpr qint64 fullBlock = 4194304;
// Pages of files up to this size stay cached after reading even when pages are dropped: they cost
// the cache little, and every import hashes the whole media list again.
constexpr qint64 keptPagesUpTo = 262144;

struct File {
    int index = 0;   // unique within one run
    QString path;    // matchedPath, else path
    qint64 size = 0; // as recorded, never read from disk here
    bool isRemote = false;
};

enum class Phase { sampling, fullHashing };

// A digest and the identity of the file it was read from (one physical file may be listed twice).
struct Digest {
    QString text;
    quint64 device = 0;
    quint64 inode = 0;
};

// `touch` is called before each read (the watchdog's clock); null when unwatched.
using Touch = std::function<void()>;
using Hasher = std::function<std::optional<Digest>(const File& file, const Touch& touch)>;

struct Settings {
    int processorCount = 0; // 0: the machine's
    std::chrono::milliseconds watchdogTimeout{15000};
    // A whole read may take the watchdog timeout plus its recorded size at this rate; past that
    // it counts as hung even while bytes still trickle in (an endless stream behind the path).
    qint64 slowestReadBytesPerSecond = 1 << 20;
    bool dropPagesAfterReading = true; // of files larger than keptPagesUpTo
    // After each file hashed, on the thread running detect().
    std::function<void(Phase phase, int done, int total)> progress;
    const std::atomic_bool* cancel = nullptr;
    // Counts every byte read, for the benchmark.
    std::atomic<qint64>* bytesRead = nullptr;
    // Where a read hung, later files on the same network mount are not read; null: this process's
    // mount table, read at the first hang.
    std::shared_ptr<const MountTable> mountTable;
    // Replace the reading of files (tests: a read that hangs); empty: sampledHash and fullHash.
    Hasher sampledHasher;
    Hasher fullHasher;
};

struct Result {
    QHash<int, QString> hashByIndex;
    QHash<int, int> duplicateOfByIndex;
    int sampledCount = 0;
    int fullyHashedCount = 0;
    // Reads that hung and were abandoned, and files left unread on a mount where one hung.
    QSet<int> unansweredIndices;
    bool cancelled = false;
};

Result detect(const QList<File>& files, const Settings& settings = {});

// Sampling width and full-hashing width for these files on `processorCount` processors.
int samplingWidth(bool anyRemote, int processorCount);
int fullHashingWidth(bool anyRemote, int processorCount);

// Files of at most two sample blocks are read whole in one go: `wholeDigest` (when given) then
// receives the full digest as well, so the file need not be read a second time.
std::optional<Digest> sampledHash(const QString& path, qint64 size, const Touch& touch = {},
                                  std::atomic<qint64>* bytesRead = nullptr, bool dropPages = true,
                                  QString* wholeDigest = nullptr);
// Regular files only, checked on the open descriptor. The full digest reads at most
// `recordedSize` bytes (when not negative) and gives none when the file holds more.
std::optional<Digest> fullHash(const QString& path, const Touch& touch = {},
                               std::atomic<qint64>* bytesRead = nullptr, bool dropPages = true,
                               qint64 recordedSize = -1);
QString hexString(const QByteArray& digest);

} // namespace DuplicateDetectionCore
} // namespace tarnwick
