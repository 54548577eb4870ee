#pragma once

#include "stores/AuditLogEntry.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QUuid>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tarnwick {

// The audit entries not yet in the log file, in the order they were shown, without holding them:
// each is encoded (as the log encodes it) into an unnamed spill file and read back when asked
// for; memory keeps 24 bytes an entry and its id. Entries wait in memory only until the spill
// thread has written them (or for good when the spill cannot be written: nothing is lost).
// Adding, counting and reading are for the main thread; spill() for any.
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
    struct Slot {
        qint64 offset = -1; // in the spill file; -1: still in `m_waiting`
        qint32 size = 0;
        qint64 timestampMs = 0;
        QUuid id;
    };

    bool openSpill();
    QByteArray read(const Slot& slot) const;
    const AuditLogEntry* waiting(qsizetype index) const;
    void spillLoop();
    void startSpilling();

    QString m_folder;
    std::mutex m_writeMutex; // one write at a time; clear() waits for it
    mutable QMutex m_mutex;  // the slots, the waiting entries and the spill file's end
    int m_fd = -1;
    bool m_spillFailed = false;
    qint64 m_end = 0;
    quint64 m_generation = 0; // bumped by clear(): a spill of older entries is dropped
    std::vector<Slot> m_slots;
    QList<std::pair<qsizetype, AuditLogEntry>> m_waiting; // slot index → entry, by slot index
    QSet<QUuid> m_ids;

    std::thread m_spiller;
    std::mutex m_spillMutex;
    std::condition_variable m_spillDone;
    bool m_spilling = false;
    bool m_stopping = false;
};

} // namespace tarnwick
