#include "stores/AuditLogTail.h"

#include "platform/FullWrite.h"

#include "platform/AppLog.h"
#include "platform/JsonForm.h"
#include "platform/ThreadNames.h"

#include <QDir>
#include <QFile>
#include <QHashFunctions>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace tarnwick {

namespace {

QByteArray encoded(const AuditLogEntry& entry) {
    return json::encode(entry.toJson());
}

constexpr int sizeBits = 24;
constexpr qint64 largestSize = (qint64(1) << sizeBits) - 1;
constexpr qint64 spillLimit = qint64(1) << (64 - sizeBits);

} // namespace

quint64 AuditLogTail::placeOf(const Spilled& spilled) {
    return quint64(spilled.offset) << sizeBits | quint64(spilled.size);
}

AuditLogTail::Spilled AuditLogTail::spilledAt(quint64 place) {
    return {qint64(place >> sizeBits), qint32(place & quint64(largestSize))};
}

AuditLogTail::AuditLogTail(QString folder) : m_folder(std::move(folder)) {}

AuditLogTail::~AuditLogTail() {
    {
        std::lock_guard lock(m_spillMutex);
        m_stopping = true;
    }
    if (m_spiller.joinable())
        m_spiller.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

// Unnamed: the file goes with the process, whatever ends it.
bool AuditLogTail::openSpill() {
    if (m_fd >= 0)
        return true;
    if (m_spillFailed)
        return false;
    const QByteArray folder = QFile::encodeName(m_folder.isEmpty() ? QDir::tempPath() : m_folder);
    m_fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        QByteArray name = folder + "/.audit_tail.XXXXXX";
        m_fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (m_fd >= 0)
            ::unlink(name.constData());
    }
    if (m_fd < 0) {
        m_spillFailed = true;
        AppLog::warning(QStringLiteral("Audit entries stay in memory: no room for them in ") +
                        QFile::decodeName(folder));
    }
    return m_fd >= 0;
}

AuditLogTail::Spill AuditLogTail::spill(const QList<AuditLogEntry>& entries) {
    QByteArray bytes;
    Spill batch;
    QList<Spilled>& spilled = batch.at;
    spilled.reserve(entries.size());
    for (const AuditLogEntry& entry : entries) {
        const QByteArray one = encoded(entry);
        if (one.size() > largestSize)
            return {}; // kept in memory: no entry of ours comes near
        spilled.append({bytes.size(), qint32(one.size())});
        bytes += one;
    }
    std::lock_guard write(m_writeMutex);
    qint64 offset = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!openSpill())
            return {};
        offset = m_end;
        batch.generation = m_generation;
    }
    if (offset + bytes.size() >= spillLimit || !writeFully(m_fd, bytes.constData(), bytes.size(), offset))
        return {};
    std::lock_guard lock(m_mutex);
    m_end = offset + bytes.size();
    for (Spilled& one : spilled)
        one.offset += offset;
    return batch;
}

void AuditLogTail::add(const QList<AuditLogEntry>& entries) {
    add(entries, Spill());
}

void AuditLogTail::add(const QList<AuditLogEntry>& entries, const Spill& batch) {
    const QList<Spilled>& spilled = batch.at;
    bool waits = false;
    {
        std::lock_guard lock(m_mutex);
        const bool placed = spilled.size() == entries.size() && batch.generation == m_generation;
        if (!placed) {
            const qsizetype held = m_waiting.size() + entries.size();
            if (held > m_waiting.capacity())
                m_waiting.reserve(std::max(held, 2 * m_waiting.capacity()));
        }
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const AuditLogEntry& entry = entries[i];
            if (holds(entry.id))
                continue;
            Slot slot{waiting, entry.timestamp.toMSecsSinceEpoch(), entry.id};
            if (placed) {
                slot.place = placeOf(spilled[i]);
            } else {
                m_waiting.append({qsizetype(m_slots.size()), entry});
                waits = true;
            }
            m_slots.push_back(slot);
            index(quint32(m_slots.size() - 1));
        }
    }
    if (waits)
        startSpilling();
}

void AuditLogTail::putFirst(const QList<AuditLogEntry>& entries) {
    if (entries.isEmpty())
        return;
    {
        std::lock_guard lock(m_mutex);
        ++m_generation; // the slots move: a spill under way is made again
        QSet<QUuid> first;
        first.reserve(entries.size());
        std::deque<Slot> order;
        QList<std::pair<qsizetype, AuditLogEntry>> held;
        for (const AuditLogEntry& entry : entries) {
            if (first.contains(entry.id))
                continue;
            first.insert(entry.id);
            held.append({qsizetype(order.size()), entry});
            order.push_back({waiting, entry.timestamp.toMSecsSinceEpoch(), entry.id});
        }
        for (size_t i = 0; i < m_slots.size(); ++i) {
            const Slot& slot = m_slots[i];
            if (first.contains(slot.id))
                continue;
            if (slot.place == waiting) {
                if (const AuditLogEntry* entry = waitingEntry(qsizetype(i)))
                    held.append({qsizetype(order.size()), *entry});
            }
            order.push_back(slot);
        }
        m_slots = std::move(order);
        m_waiting = std::move(held);
        reindex();
    }
    startSpilling();
}

void AuditLogTail::clear() {
    std::lock_guard write(m_writeMutex);
    std::lock_guard lock(m_mutex);
    ++m_generation;
    m_slots = {};
    m_ids = {};
    m_waiting = {};
    m_end = 0;
    if (m_fd >= 0)
        (void)::ftruncate(m_fd, 0);
}

bool AuditLogTail::holds(const QUuid& id) const {
    if (m_ids.empty())
        return false;
    const size_t mask = m_ids.size() - 1;
    for (size_t at = qHash(id) & mask;; at = (at + 1) & mask) {
        const quint32 slot = m_ids[at];
        if (slot == empty)
            return false;
        if (m_slots[slot].id == id)
            return true;
    }
}

// At most three quarters full, so that a look-up ends soon at an empty place.
void AuditLogTail::index(quint32 slot) {
    if (4 * m_slots.size() > 3 * m_ids.size()) {
        reindex();
        return;
    }
    const size_t mask = m_ids.size() - 1;
    size_t at = qHash(m_slots[slot].id) & mask;
    while (m_ids[at] != empty)
        at = (at + 1) & mask;
    m_ids[at] = slot;
}

void AuditLogTail::reindex() {
    size_t size = 16;
    while (4 * m_slots.size() > 3 * size)
        size *= 2;
    // Doubled ahead of the next additions, not at each of them.
    if (2 * m_slots.size() > size)
        size *= 2;
    m_ids.assign(size, empty);
    m_ids.shrink_to_fit();
    const size_t mask = size - 1;
    for (size_t slot = 0; slot < m_slots.size(); ++slot) {
        size_t at = qHash(m_slots[slot].id) & mask;
        while (m_ids[at] != empty)
            at = (at + 1) & mask;
        m_ids[at] = quint32(slot);
    }
}

void AuditLogTail::startSpilling() {
    std::lock_guard lock(m_spillMutex);
    if (m_spilling || m_stopping)
        return;
    if (m_spiller.joinable())
        m_spiller.join(); // ended: it found nothing left
    m_spilling = true;
    m_spiller = std::thread([this] {
        nameCurrentThread("AuditSpiller");
        spillLoop();
    });
}

void AuditLogTail::spillLoop() {
    for (;;) {
        QList<std::pair<qsizetype, AuditLogEntry>> batch;
        quint64 generation = 0;
        {
            std::lock_guard spillLock(m_spillMutex);
            std::lock_guard lock(m_mutex);
            if (m_stopping || m_waiting.isEmpty() || m_spillFailed) {
                m_spilling = false;
                m_spillDone.notify_all();
                return;
            }
            batch = m_waiting;
            generation = m_generation;
        }
        QList<AuditLogEntry> entries;
        entries.reserve(batch.size());
        for (const auto& [slot, entry] : std::as_const(batch))
            entries.append(entry);
        const QList<Spilled> spilled = spill(entries).at;
        std::lock_guard lock(m_mutex);
        if (generation != m_generation || spilled.isEmpty()) {
            m_spillFailed = m_spillFailed || (generation == m_generation && spilled.isEmpty());
            continue;
        }
        for (qsizetype i = 0; i < batch.size(); ++i)
            m_slots[size_t(batch[i].first)].place = placeOf(spilled[i]);
        // Those added meanwhile stay.
        m_waiting.remove(0, batch.size());
        if (m_waiting.isEmpty())
            m_waiting = {};
    }
}

bool AuditLogTail::contains(const QUuid& id) const {
    std::lock_guard lock(m_mutex);
    return holds(id);
}

qsizetype AuditLogTail::size() const {
    std::lock_guard lock(m_mutex);
    return qsizetype(m_slots.size());
}

const AuditLogEntry* AuditLogTail::waitingEntry(qsizetype index) const {
    const auto hit = std::lower_bound(m_waiting.cbegin(), m_waiting.cend(), index,
                                      [](const auto& held, qsizetype i) { return held.first < i; });
    return hit != m_waiting.cend() && hit->first == index ? &hit->second : nullptr;
}

QByteArray AuditLogTail::read(const Slot& slot) const {
    const Spilled at = spilledAt(slot.place);
    QByteArray bytes(at.size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < at.size) {
        const ssize_t n = ::pread(m_fd, bytes.data() + done, size_t(at.size - done), at.offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        done += n;
    }
    return bytes;
}

AuditLogEntry AuditLogTail::entry(qsizetype index) const {
    QByteArray bytes;
    {
        std::lock_guard lock(m_mutex);
        const Slot& slot = m_slots.at(size_t(index));
        if (slot.place == waiting) {
            const AuditLogEntry* held = waitingEntry(index);
            return held ? *held : AuditLogEntry{};
        }
        bytes = read(slot);
    }
    const auto doc = json::decode(bytes);
    const auto entry = doc && doc->isObject() ? AuditLogEntry::fromJson(doc->object()) : std::nullopt;
    return entry.value_or(AuditLogEntry{});
}

qint64 AuditLogTail::timestampMs(qsizetype index) const {
    std::lock_guard lock(m_mutex);
    return m_slots.at(size_t(index)).timestampMs;
}

QByteArray AuditLogTail::json(const QSet<QUuid>& leaveOut) const {
    std::lock_guard lock(m_mutex);
    QByteArray out = "[";
    for (size_t i = 0; i < m_slots.size(); ++i) {
        const Slot& slot = m_slots[i];
        if (!leaveOut.isEmpty() && leaveOut.contains(slot.id))
            continue;
        if (out.size() > 1)
            out += ',';
        if (slot.place != waiting) {
            out += read(slot);
        } else if (const AuditLogEntry* held = waitingEntry(qsizetype(i))) {
            out += encoded(*held);
        }
    }
    out += ']';
    return out;
}

qsizetype AuditLogTail::heldInMemory() const {
    std::lock_guard lock(m_mutex);
    return m_waiting.size();
}

void AuditLogTail::waitUntilSpilled() {
    std::unique_lock lock(m_spillMutex);
    m_spillDone.wait(lock, [this] { return !m_spilling; });
}

} // namespace tarnwick
