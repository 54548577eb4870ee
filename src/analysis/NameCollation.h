#pragma once

#include <QCollator>

namespace tarnwick {

// A case-insensitive collator for the current locale, for sorting many names through sort keys.
// Under the C locale Qt's sort keys are raw code units (case-sensitive, digits as text), so that
// locale collates as English instead. `numeric`: runs of digits compare by value.
QCollator nameCollator(bool numeric);

} // namespace tarnwick
