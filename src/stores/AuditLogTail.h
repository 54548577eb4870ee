#pragma once

#include "stores/AuditLogEntry.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace tarnwick {

// The audit entries not yet in the log file, in the order they were shown, without holding them:
// each is encoded (as the log encodes it) into an unnamed spill file and read back when asked
// for. Memory keeps an entry's id, time and place in that file (32 bytes, in blocks) and its place
// in the id table (4 bytes a place, at most three quarters of the places taken): 40 to 45 bytes an
// entry as measured, for as long as the tail holds it, which is until the next start folds the
// journal into the log (a session that records a million entries holds about 43 MB). Entries wait
// decoded in memory only until the spill thread has written them (or for good when the spill
// cannot be written: nothing is lost). Adding, counting and reading are for the main thread;
// spill() and json() for any.
class AuditLogTail {
public:
    // Where spill() put one entry.
    struct Spilled {
        qint64 offset = -1;
        qint32 size = 0;
    };

    // The spill file goes in `folder` (the system's temporary folder when empty).
    explicit AuditLogTail(QString folder = {});
    ~AuditLogTail();
    AuditLogTail(const AuditLogTail&) = delete;
    AuditLogTail& operator=(const AuditLogTail&) = delete;

    // Where spill() put a batch; void once the tail was cleared since.
    struct Spill {
        QList<Spilled> at;
        quint64 generation = 0;
    };

    // Any thread: encodes and writes `entries`, for add() with the same entries; empty when the
    // spill cannot be written.
    Spill spill(const QList<AuditLogEntry>& entries);
    // Appends those of `entries` not already in the tail. `spilled`: spill()'s answer for them.
    void add(const QList<AuditLogEntry>& entries);
    void add(const QList<AuditLogEntry>& entries, const Spill& spilled);
    // Puts `entries` before those already here, which keep their order; one already here moves to
    // its place among `entries`.
    void putFirst(const QList<AuditLogEntry>& entries);
    void clear();

    qsizetype size() const;
    bool contains(const QUuid& id) const;
    bool isEmpty() const { return size() == 0; }
    AuditLogEntry entry(qsizetype index) const;
    qint64 timestampMs(qsizetype index) const;
    // The entries in order as the log's JSON array, "[…]" (empty array: "[]"), but for those in
    // `leaveOut`. Any thread.
    QByteArray json(const QSet<QUuid>& leaveOut = {}) const;

    // Entries held decoded in memory, waiting for the spill thread (tests).
    qsizetype heldInMemory() const;
    // Returns once the spill thread has nothing left to write (tests).
    void waitUntilSpilled();

private:
    // Where an entry lies: its offset in the spill file (40 bits) and its size (24 bits), or
    // `waiting` while it is held in `m_waiting`.
    static constexpr quint64 waiting = ~quint64(0);
    struct Slot {
        quint64 place = waiting;
        qint64 timestampMs = 0;
        QUuid id;
    };
    static quint64 placeOf(const Spilled& spilled);
    static Spilled spilledAt(quint64 place);

    bool openSpill();
    QByteArray read(const Slot& slot) const;
    const AuditLogEntry* waitingEntry(qsizetype index) const;
    // The id table: each id's slot, found by its hash (open addressing); `empty` where none is.
    static constexpr quint32 empty = ~quint32(0);
    bool holds(const QUuid& id) const;
    void index(quint32 slot);
    void reindex();
    void spillLoop();
    void startSpilling();

    QString m_folder;
    // Lock order: m_writeMutex, then m_mutex; m_spillMutex, then m_mutex. m_mutex is taken last.
    std::mutex m_writeMutex;    // one write to the spill file at a time; clear() waits for it
    mutable std::mutex m_mutex; // the slots, the id table, the waiting entries, the file's end
    int m_fd = -1;
    bool m_spillFailed = false;
    qint64 m_end = 0;
    quint64 m_generation = 0;   // bumped by clear(): a spill of older entries is dropped
    std::deque<Slot> m_slots;   // in blocks: a session's growth never doubles it
    std::vector<quint32> m_ids; // slot indices by id hash; a power of two in size
    QList<std::pair<qsizetype, AuditLogEntry>> m_waiting; // slot index → entry, by slot index

    std::thread m_spiller;
    std::mutex m_spillMutex; // m_spilling, m_stopping and the thread's start and end
    std::condition_variable m_spillDone;
    bool m_spilling = false;
    bool m_stopping = false;
};

} // namespace tarnwick
