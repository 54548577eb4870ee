#include "transcode/LibraryHevcRoute.h"

#include "platform/AppLog.h"
#include "transcode/FFmpegArguments.h"
#include "transcode/LibraryHevcSession.h"
#include "transcode/TranscodeEngine.h"

#include <memory>

namespace tarnwick {

LibraryHevcRoute::LibraryHevcRoute(DecoderLookup findDecoder) : m_findDecoder(std::move(findDecoder)) {}

RouteResult LibraryHevcRoute::transcode(TranscodeEngine& engine, const TranscodeRequest& request,
                                        const std::atomic_bool& cancelled) {
    auto session = std::make_unique<LibraryHevcSession>(m_findDecoder);
    session->openSource(request.sourcePath); // cannotReadAsset or noVideoTrack: nothing written yet
    const double duration = session->duration();
    // Sweeps our leftovers, checks free space, creates the marked output; removes it on any failure.
    RouteFrame frame = engine.openFrame(request);
    try {
        // Written through the descriptor: the file we created, whatever takes its name meanwhile.
        session->openOutput(TranscodeTemporary::descriptorPath(frame.output.descriptor()));
        session->run(cancelled, request.onProgress);
    } catch (const TranscodeError&) {
        session->abandonOutput();
        throw;
    }
    session.reset(); // its decoders and encoders are done: free them before verification
    if (request.onProgress)
        request.onProgress(1.0);
    if (cancelled.load())
        throw TranscodeError::cancelled();
    return engine.replaceOriginal(request, frame, duration);
}

} // namespace tarnwick
