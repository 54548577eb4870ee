#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <qcoro/qcorotask.h>

#include <deque>
#include <optional>

namespace tarnwick {

// Lets one long operation at a time change the project manager. An operation holds a Scope for
// its whole run (across every co_await); the window shows reason() while isBusy().
// GUI thread only.
class OperationGate : public QObject {
    Q_OBJECT
public:
    // Held by the running operation; releasing it (or destroying it) lets the next one start.
    class Scope {
    public:
        Scope() = default;
        Scope(Scope&& other) noexcept;
        Scope& operator=(Scope&& other) noexcept;
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        ~Scope();

        bool isActive() const { return m_gate && m_ticket != 0; }
        // The text the window shows while this operation runs.
        void setReason(const QString& reason);
        void release();

    private:
        friend class OperationGate;
        Scope(OperationGate* gate, quint64 ticket) : m_gate(gate), m_ticket(ticket) {}

        QPointer<OperationGate> m_gate;
        quint64 m_ticket = 0;
    };

    explicit OperationGate(QObject* parent = nullptr);

    bool isBusy() const { return m_active != 0; }
    const QString& reason() const { return m_reason; }
    qsizetype waitingCount() const { return qsizetype(m_waiting.size()); }

    // Starts now, or refuses (nothing) while another operation runs or waits.
    std::optional<Scope> tryBegin(const QString& reason);
    // Waits for its turn behind the running and earlier waiting operations (first come, first
    // served). An inactive Scope when the gate went away meanwhile.
    QCoro::Task<Scope> begin(QString reason);

Q_SIGNALS:
    // Emitted at once whenever the gate becomes busy or idle, or the reason changes.
    void busyChanged();
    // Internal: a turn may be free; emitted on the event loop after a release.
    void turnAvailable();

private:
    Scope activate(quint64 ticket, const QString& reason);
    void finish(quint64 ticket);
    void setReason(quint64 ticket, const QString& reason);

    quint64 m_active = 0;
    quint64 m_nextTicket = 1;
    QString m_reason;
    std::deque<quint64> m_waiting;
};

} // namespace tarnwick
