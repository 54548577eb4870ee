#include "platform/SandboxEnvironment.h"

#include <QtGlobal>

namespace tarnwick::sandbox {

bool environmentSaysSandboxed() {
    return qEnvironmentVariableIsSet("APP_SANDBOX_CONTAINER_ID");
}

bool isSandboxed() {
    static const bool sandboxed = environmentSaysSandboxed();
    return sandboxed;
}

} // namespace tarnwick::sandbox
