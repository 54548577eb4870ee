#pragma once

#include "model/MediaFile.h"
#include "transcode/support/TranscodeTestSupport.h"

namespace tarnwick::testing {

// A clip made with the ffmpeg program, then replaced by the engine's real transcode. `before` is
// its entry as imported (an .mp4), `after` the same entry as the run leaves it: the .mov beside it
// stands for it, the .mp4 went to the harness's Trash.
class TranscodedClip {
public:
    TranscodedClip() {
        before.path = harness.media(QStringLiteral("Harbour Flyover.mp4"));
        before.status = MediaFileStatus::online;
        if (haveRealFFmpeg())
            runFFmpeg(lavfiVideo(QStringLiteral("160x90"), 1.0) +
                      QStringList{QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-qp"),
                                  QStringLiteral("0"), before.path});
        before.size = QFileInfo(before.path).size();
        after = before;
    }
    bool made() const { return before.size > 0; }

    // Runs the transcode (the lossless source is much larger than its HEVC); false when it failed.
    bool transcode() {
        const TranscodeOutcome outcome = harness.engine->transcodeNow(harness.request(before.path));
        if (!outcome.result)
            return false;
        after.status = MediaFileStatus::transcoded;
        after.transcodedPath = outcome.result->outputPath;
        after.transcodedSize = outcome.result->newSize;
        after.size = outcome.result->newSize;
        return !QFileInfo::exists(before.path) && QFileInfo::exists(*after.transcodedPath);
    }

    EngineHarness harness{true};
    MediaFile before;
    MediaFile after;
};

} // namespace tarnwick::testing
