#pragma once

#include "ui/preview/ScrubFrameSource.h"

#include <QList>

#include <deque>

namespace tarnwick {

// A frame source the test answers by hand: requests wait until answered, in any order.
class FakeScrubFrameSource : public ScrubFrameSource {
public:
    struct FrameRequest {
        double seconds;
        bool useFFmpeg;
        FrameDone done;
    };

    void load(bool ffmpegFromStart, LoadDone done) override {
        loads.append(ffmpegFromStart);
        pendingLoad = std::move(done);
    }
    void frame(double seconds, bool useFFmpeg, FrameDone done) override {
        requests.push_back({seconds, useFFmpeg, std::move(done)});
        ++frameCalls;
    }
    void close() override { ++closes; }

    void answerLoad(double duration, std::optional<QImage> poster, bool useFFmpeg = false) {
        auto done = std::exchange(pendingLoad, nullptr);
        done({duration, std::move(poster), useFFmpeg});
    }
    // Answers the oldest open request (or the one at `index`).
    double answerFrame(std::optional<QImage> image, size_t index = 0) {
        FrameRequest request = std::move(requests.at(index));
        requests.erase(requests.begin() + qsizetype(index));
        request.done(std::move(image));
        return request.seconds;
    }

    QList<bool> loads;
    LoadDone pendingLoad;
    std::deque<FrameRequest> requests;
    int frameCalls = 0;
    int closes = 0;
};

// A small frame that says which bucket or time it stands for by its width.
inline QImage taggedFrame(int tag, QSize size = QSize(16, 9)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(tag % 256, (tag / 256) % 256, 7));
    return image;
}
inline int frameTag(const QImage& image) {
    const QColor c = image.pixelColor(0, 0);
    return c.red() + 256 * c.green();
}

} // namespace tarnwick
