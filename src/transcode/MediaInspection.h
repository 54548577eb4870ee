#pragma once

#include <QString>

namespace tarnwick {

// What the media libraries find in a file, read in-process.
struct MediaFacts {
    bool opened = false;
    // A video stream that is not an attached picture exists and one frame of it decoded.
    bool decodedVideoFrame = false;
    // Seconds: the container's duration, else the video stream's; 0 when unknown.
    double duration = 0;
    int audioStreams = 0;
    int videoStreams = 0; // attached pictures not counted
    // A picture rather than a movie: an image demuxer, or a first video stream of exactly one frame.
    bool isStillImage = false;
    // The media libraries' names of the first video stream's codec and the first audio stream's,
    // as ffprobe writes them ("mpeg2video", "pcm_s16le"); empty without such a stream.
    QString videoCodec;
    QString audioCodec;
    QString error;
};

// Opens `path`; with `decodeFrame` decodes the first video frame for real.
MediaFacts inspectMedia(const QString& path, bool decodeFrame);

} // namespace tarnwick
