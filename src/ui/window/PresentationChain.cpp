#include "ui/window/PresentationChain.h"

#include <QScopeGuard>

namespace tarnwick {

void PresentationChain::schedule() {
    if (m_scheduled)
        return;
    m_scheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_scheduled = false;
            evaluate();
        },
        Qt::QueuedConnection);
}

void PresentationChain::evaluate() {
    if (m_current || (m_held && m_held()))
        return;
    if (m_evaluating) {
        // A panel's own event loop is running inside present(); look again afterwards.
        schedule();
        return;
    }
    m_evaluating = true;
    const auto done = qScopeGuard([this] { m_evaluating = false; });
    for (const Entry& entry : m_entries) {
        if (!entry.isDue())
            continue;
        QDialog* dialog = entry.present();
        if (!dialog) {
            entry.lower();
            continue;
        }
        m_current = dialog;
        m_currentName = entry.name;
        auto lower = entry.lower;
        connect(dialog, &QDialog::finished, this, [this, dialog, lower] {
            if (m_current == dialog)
                m_current = nullptr;
            lower();
            schedule();
        });
        return;
    }
}

} // namespace tarnwick
