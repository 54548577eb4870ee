#pragma once

#include <QUuid>

namespace tarnwick {

// A random (version 4) identifier from a generator of this thread's own, seeded from the system:
// QUuid::createUuid() takes a process-wide lock per identifier, and an import makes 100,000 records.
QUuid freshId();

} // namespace tarnwick
