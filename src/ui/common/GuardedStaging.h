#pragma once

#include "model/MediaFile.h"
#include "ui/common/AlertDialog.h"

#include <QList>
#include <QPointer>
#include <QStringList>

#include <functional>

namespace tarnwick {

// Staging chosen files in the bin through the delete-safety check: at once when nothing
// conflicts, else only after the "Potentially Used Media" alert's "Move to Recycle Anyway".
// The media table and the clip cards each hold one.
class GuardedStaging {
public:
    using ConflictCheck = std::function<QStringList(const QList<MediaFile>&)>;
    // Stages the files and calls the second argument once they went to the bin: at once, or
    // later when the manager was busy and the staging waited for it.
    using Stage = std::function<void(const QList<MediaFile>&, std::function<void()>)>;

    // `staged` runs once the files went to the bin (confirmed, and after any wait).
    GuardedStaging(ConflictCheck conflicts, Stage stage, std::function<void()> staged);

    void request(QWidget* alertParent, const QList<MediaFile>& files);
    void cancel();
    void confirm();

    const QList<MediaFile>& pending() const { return m_pending; }
    AlertDialog* alert() const { return m_alert; }

private:
    void stage(const QList<MediaFile>& files);

    ConflictCheck m_conflicts;
    Stage m_stage;
    std::function<void()> m_staged;
    QList<MediaFile> m_pending;
    QPointer<AlertDialog> m_alert;
};

} // namespace tarnwick
