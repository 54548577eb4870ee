#pragma once

#include "platform/AtomicWrite.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace tarnwick {

// The file of one store. Writes are atomic (temporary file beside it, every write and the sync
// checked, then rename), so a crash or a full disk mid-write leaves the previous contents. A file that exists
// but cannot be decoded is moved aside once, before the first write, so its contents can still be recovered.
class StoreFile {
public:
    explicit StoreFile(QString path);

    const QString& path() const { return m_path; }

    // The whole file; absent when missing or unreadable (an unreadable file counts as damaged).
    std::optional<QByteArray> read();
    // The file as a JSON array or object; absent when missing, and marked damaged when it is
    // unreadable, not JSON or of the other shape.
    std::optional<QJsonArray> readArray();
    std::optional<QJsonObject> readObject();
    // The store could not decode what read() returned.
    void markDamaged();
    // The file existed at load but could not be read or decoded.
    bool wasDamaged() const { return m_wasDamaged; }
    // Where the damaged file was moved; empty until it was.
    const QString& movedAsidePath() const { return m_movedAsidePath; }

    // Replaces the file's contents; false (and logged) when the write failed or a damaged file
    // could not be kept.
    bool write(const QByteArray& bytes);
    // The same, with the contents given in pieces (a large file is never copied into one buffer).
    bool write(const QList<QByteArrayView>& pieces);

    // The steps of a save a test can make fail.
    using SaveStep = WriteStep;
    // Tests inject a failure: the hook returns an errno value for the step, or 0 to run it.
    static void setSaveFaultForTesting(std::function<int(SaveStep)> fault);

private:
    bool moveAside();
    // 0, or an errno value.
    int save(const QString& target, const QList<QByteArrayView>& pieces);

    QString m_path;
    bool m_wasDamaged = false;
    bool m_pendingMoveAside = false;
    QString m_movedAsidePath;
};

} // namespace tarnwick
