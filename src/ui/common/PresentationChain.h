#pragma once

#include "ui/common/Presentation.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>

namespace tarnwick {

// The window's modal presentations, shown one at a time: whenever nothing is up, the first due one
// (in the order of Presentation) is presented, and its dismissal, by whatever button, lets the next
// due one show. A request is shown once; a watched condition (a prompt flag of the manager) stays
// due until its dismissal lowers it. While the window shows a presentation of its own outside the
// chain (the welcome guide), everything waits; the window schedules the chain again when that ends.
class PresentationChain : public QObject {
    Q_OBJECT
public:
    // Makes and opens (with open()) the presentation. Null: nothing to show (a sheet without its
    // view, a panel whose choice was made at once), and the chain moves on.
    using Present = std::function<QDialog*()>;

    explicit PresentationChain(QObject* parent = nullptr) : QObject(parent) {}

    // Asks for `which` to be shown once, after the due ones before it. A second request made before
    // it shows takes the place of the first.
    void request(Presentation which, Present present);
    bool isRequested(Presentation which) const;
    // Shows `which` while `isDue` holds; its dismissal runs `lower`.
    void watch(Presentation which, std::function<bool()> isDue, Present present, std::function<void()> lower);

    // While `held` answers true nothing is presented; due presentations stay due.
    void setHold(std::function<bool()> held) { m_held = std::move(held); }
    // Looks again on the next event-loop turn (coalesced).
    void schedule();
    // Looks now.
    void evaluate();

    QDialog* current() const { return m_current.data(); }
    QString currentName() const { return m_current ? text(m_currentWhich) : QString(); }

private:
    struct Slot {
        Present requested; // a request not yet shown
        std::function<bool()> isDue;
        Present present;
        std::function<void()> lower;
    };
    void show(Presentation which, QDialog* dialog, std::function<void()> lower);

    std::map<Presentation, Slot> m_slots;
    std::function<bool()> m_held;
    QPointer<QDialog> m_current;
    Presentation m_currentWhich = Presentation::busyAlert;
    bool m_scheduled = false;
};

} // namespace tarnwick
