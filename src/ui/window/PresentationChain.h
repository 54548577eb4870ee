#pragma once

#include <QDialog>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

namespace tarnwick {

// The window's modal presentations, shown one at a time: whenever nothing is up, the first entry
// (in the order they were added) whose condition holds is presented. Its dismissal, by whatever
// button, runs the entry's `lower` so the condition no longer holds, then the next due entry shows.
// While the window shows a presentation of its own outside the chain (the welcome guide), every
// entry waits; the window schedules the chain again when that ends.
class PresentationChain : public QObject {
    Q_OBJECT
public:
    struct Entry {
        QString name;
        std::function<bool()> isDue;
        std::function<QDialog*()> present; // opened with open(); may return nullptr (nothing shown)
        std::function<void()> lower;
    };

    explicit PresentationChain(QObject* parent = nullptr) : QObject(parent) {}

    void add(Entry entry) { m_entries.append(std::move(entry)); }
    // While `held` answers true nothing is presented; due entries stay due.
    void setHold(std::function<bool()> held) { m_held = std::move(held); }
    // Looks again on the next event-loop turn (coalesced).
    void schedule();
    // Looks now.
    void evaluate();

    QDialog* current() const { return m_current.data(); }
    QString currentName() const { return m_current ? m_currentName : QString(); }

private:
    QList<Entry> m_entries;
    std::function<bool()> m_held;
    QPointer<QDialog> m_current;
    QString m_currentName;
    bool m_scheduled = false;
    bool m_evaluating = false;
};

} // namespace tarnwick
