#pragma once

namespace tarnwick {

// How long an idle thread of our pools waits for more work before it ends (Qt's default is 30 s):
// after an import dozens of them would otherwise sit idle, each with its stack and its share of
// the allocator's arenas.
inline constexpr int idleThreadExpiryMs = 2000;

} // namespace tarnwick
