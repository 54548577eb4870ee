#pragma once

namespace tarnwick::sandbox {

// True when the environment holds "APP_SANDBOX_CONTAINER_ID" (any value); read on every call.
bool environmentSaysSandboxed();
// environmentSaysSandboxed(), determined once per process.
bool isSandboxed();

} // namespace tarnwick::sandbox
