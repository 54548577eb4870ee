#include "analysis/OperationGate.h"

#include <qcoro/qcorosignal.h>

#include <QMetaObject>

#include <algorithm>

namespace tarnwick {

OperationGate::Scope::Scope(Scope&& other) noexcept
    : m_gate(std::move(other.m_gate)), m_ticket(std::exchange(other.m_ticket, 0)) {}

OperationGate::Scope& OperationGate::Scope::operator=(Scope&& other) noexcept {
    if (this != &other) {
        release();
        m_gate = std::move(other.m_gate);
        m_ticket = std::exchange(other.m_ticket, 0);
    }
    return *this;
}

OperationGate::Scope::~Scope() {
    release();
}

void OperationGate::Scope::setReason(const QString& reason) {
    if (isActive())
        m_gate->setReason(m_ticket, reason);
}

void OperationGate::Scope::release() {
    if (m_gate && m_ticket != 0)
        m_gate->finish(m_ticket);
    m_ticket = 0;
    m_gate.clear();
}

OperationGate::OperationGate(QObject* parent) : QObject(parent) {}

std::optional<OperationGate::Scope> OperationGate::tryBegin(const QString& reason) {
    if (isBusy() || !m_waiting.empty())
        return std::nullopt;
    return activate(m_nextTicket++, reason);
}

QCoro::Task<OperationGate::Scope> OperationGate::begin(QString reason) {
    const quint64 ticket = m_nextTicket++;
    QPointer<OperationGate> self(this);
    m_waiting.push_back(ticket);
    while (self) {
        if (!self->isBusy() && self->m_waiting.front() == ticket) {
            self->m_waiting.pop_front();
            co_return self->activate(ticket, reason);
        }
        co_await qCoro(self.data(), &OperationGate::turnAvailable);
    }
    co_return Scope{};
}

OperationGate::Scope OperationGate::activate(quint64 ticket, const QString& reason) {
    m_active = ticket;
    m_reason = reason;
    Q_EMIT busyChanged();
    return Scope(this, ticket);
}

void OperationGate::finish(quint64 ticket) {
    if (m_active != ticket)
        return;
    m_active = 0;
    m_reason.clear();
    Q_EMIT busyChanged();
    // Waiters resume on a later turn of the event loop, never inside the finishing operation.
    if (!m_waiting.empty())
        QMetaObject::invokeMethod(this, &OperationGate::turnAvailable, Qt::QueuedConnection);
}

void OperationGate::setReason(quint64 ticket, const QString& reason) {
    if (m_active != ticket || m_reason == reason)
        return;
    m_reason = reason;
    Q_EMIT busyChanged();
}

} // namespace tarnwick
