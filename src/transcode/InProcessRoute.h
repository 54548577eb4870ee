#pragma once

#include "transcode/TranscodeTypes.h"

#include <atomic>

namespace tarnwick {

class TranscodeEngine;

// The route that transcodes inside the process with the media libraries.
class InProcessRoute {
public:
    virtual ~InProcessRoute() = default;
    // Writes the temporary output, hands it to the engine's replaceOriginal() and returns its
    // result. Throws TranscodeError; `cancelled` is checked at every video frame.
    virtual RouteResult transcode(TranscodeEngine& engine, const TranscodeRequest& request,
                                  const std::atomic_bool& cancelled) = 0;
};

} // namespace tarnwick
