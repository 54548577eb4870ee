#pragma once

#include <QString>

namespace tarnwick {

// What ffprobe says of one media file. Streams with the attached-picture disposition (cover art)
// are not video here.
struct ProbeInfo {
    double duration = 0;
    QString videoCodec;
    int videoWidth = 0;
    int videoHeight = 0;
    qint64 videoBitRate = 0;
    QString audioCodec;
    int audioSampleRate = 0;
    int audioChannels = 0;
    QString audioChannelLayout;
    QString containerFormat;
    bool hasAudio = false;
    bool hasVideo = false;
    // Beyond the fields above: the first video stream's pixel format and frame count (0 unknown).
    QString videoPixelFormat;
    qint64 videoFrameCount = 0;

    // A picture rather than a movie: an image demuxer, or a video stream of exactly one frame.
    bool isStillImage() const;
    // More than 8 bits per component (decides the output's pixel format).
    bool isHighBitDepth() const;

    friend bool operator==(const ProbeInfo&, const ProbeInfo&) = default;
};

} // namespace tarnwick
