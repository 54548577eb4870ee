#pragma once

namespace tarnwick {

// The timeline policy's verdict on one timeline: `protected` when a protect rule matched,
// `ignored` when an override or an ignore rule excludes it, `counted` otherwise.
enum class SequenceUsageDecision { counted, protected_, ignored };

} // namespace tarnwick
