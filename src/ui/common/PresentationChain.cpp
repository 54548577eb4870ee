#include "ui/common/PresentationChain.h"

#include <utility>

namespace tarnwick {

void PresentationChain::request(Presentation which, Present present) {
    m_slots[which].requested = std::move(present);
    schedule();
}

bool PresentationChain::isRequested(Presentation which) const {
    const auto it = m_slots.find(which);
    return it != m_slots.end() && it->second.requested;
}

void PresentationChain::watch(Presentation which, std::function<bool()> isDue, Present present,
                              std::function<void()> lower) {
    Slot& slot = m_slots[which];
    slot.isDue = std::move(isDue);
    slot.present = std::move(present);
    slot.lower = std::move(lower);
}

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
    // One pass in order; what a presentation raises for an earlier place shows on the next pass.
    for (auto& [which, slot] : m_slots) {
        if (slot.requested) {
            const Present present = std::exchange(slot.requested, {});
            if (QDialog* dialog = present()) {
                show(which, dialog, {});
                return;
            }
        } else if (slot.isDue && slot.isDue()) {
            if (QDialog* dialog = slot.present()) {
                show(which, dialog, slot.lower);
                return;
            }
            slot.lower();
        }
    }
}

void PresentationChain::show(Presentation which, QDialog* dialog, std::function<void()> lower) {
    m_current = dialog;
    m_currentWhich = which;
    connect(dialog, &QDialog::finished, this, [this, dialog, lower = std::move(lower)] {
        if (m_current == dialog)
            m_current = nullptr;
        if (lower)
            lower();
        schedule();
    });
}

} // namespace tarnwick
