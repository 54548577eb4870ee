#pragma once

#include <QUuid>

namespace tarnwick {

// A random (version 4) identifier from a generator of this thread's own, seeded from the system:
// QUuid::createUuid() takes a process-wide lock and a hardware draw per identifier, and an import
// makes 100,000 records, a clean-up run an audit entry per file.
QUuid freshId();

} // namespace tarnwick
