#include "transcode/LibraryHevcRoute.h"

#include "platform/AppLog.h"
#include "transcode/FfmpegArguments.h"
#include "transcode/LibraryHevcSession.h"
#include "transcode/TranscodeEngine.h"

#include <QFileInfo>

namespace tarnwick {

LibraryHevcRoute::LibraryHevcRoute(DecoderLookup findDecoder) : m_findDecoder(std::move(findDecoder)) {}

RouteResult LibraryHevcRoute::transcode(TranscodeEngine& engine, const TranscodeRequest& request,
                                        const std::atomic_bool& cancelled) {
    const QString& source = request.sourcePath;
    const QFileInfo info(source);
    const qint64 sourceSize = info.exists() ? info.size() : 0;
    const QString output = TranscodeEngine::temporaryOutputPath(source);
    engine.checkFreeSpace(sourceSize, info.path());
    engine.removeTemporaryOutput(output, true);

    double duration = 0;
    {
        LibraryHevcSession session(m_findDecoder);
        session.openSource(source); // cannotReadAsset or noVideoTrack: nothing written yet
        duration = session.duration();
        try {
            session.openOutput(output);
            session.run(cancelled, request.onProgress);
        } catch (const TranscodeError&) {
            session.abandonOutput();
            engine.removeTemporaryOutput(output, false);
            throw;
        }
    }
    if (request.onProgress)
        request.onProgress(1.0);
    if (cancelled.load()) {
        engine.removeTemporaryOutput(output, false);
        throw TranscodeError::cancelled();
    }
    return engine.replaceOriginal(request, output, sourceSize, duration);
}

} // namespace tarnwick
