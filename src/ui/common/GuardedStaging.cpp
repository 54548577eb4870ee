#include "ui/common/GuardedStaging.h"

#include "ui/common/ViewHelpers.h"

#include <utility>

namespace tarnwick {

GuardedStaging::GuardedStaging(ConflictCheck conflicts, Stage stage, std::function<void()> staged)
    : m_conflicts(std::move(conflicts)), m_stage(std::move(stage)), m_staged(std::move(staged)) {}

void GuardedStaging::request(QWidget* alertParent, const QList<MediaFile>& files) {
    const QStringList conflicts = m_conflicts ? m_conflicts(files) : QStringList();
    if (conflicts.isEmpty()) {
        stage(files);
        return;
    }
    m_pending = files;
    m_alert = AlertDialog::present(
        alertParent, QStringLiteral("⚠️ Potentially Used Media"), deleteSafetyMessage(conflicts),
        {{QStringLiteral("Cancel"), AlertButton::Role::cancel, [this] { cancel(); }},
         {QStringLiteral("Move to Recycle Anyway"), AlertButton::Role::destructive, [this] { confirm(); }}});
}

void GuardedStaging::cancel() {
    m_pending.clear();
}

void GuardedStaging::confirm() {
    stage(std::exchange(m_pending, {}));
}

void GuardedStaging::stage(const QList<MediaFile>& files) {
    if (m_stage)
        m_stage(files, m_staged);
    else if (m_staged)
        m_staged();
}

} // namespace tarnwick
