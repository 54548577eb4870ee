// The route the confirmation sheet counts is the route the run takes: planned from what the media
// libraries read of the file, then checked against the run on the same file.
#include "platform/AppLog.h"
#include "transcode/support/TranscodeTestSupport.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

struct Case {
    const char* name;
    bool audio;            // PCM audio beside the MPEG-2 4:2:2 video
    bool ffmpeg;           // the ffmpeg and ffprobe programs are there
    bool librariesReadMxf; // the media libraries read MXF
    TranscodeRoute expected;
};

const char* routeName(TranscodeRoute route) {
    switch (route) {
    case TranscodeRoute::inProcess:
        return "in-process";
    case TranscodeRoute::ffmpeg:
        return "ffmpeg";
    case TranscodeRoute::none:
        return "none";
    }
    return "?";
}

} // namespace

TEST(PlannedRoute, IsTheRouteTheRunTakesFirst) {
    if (!haveRealFFmpeg())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg to generate media";
    AppLog::setSink([](const AppLog::Record&) {});
    const Case cases[] = {
        // Said to need ffmpeg before, then transcoded in-process all the same.
        {"MXF without the ffmpeg program", true, false, true, TranscodeRoute::inProcess},
        {"MXF with PCM audio and ffmpeg", true, true, true, TranscodeRoute::ffmpeg},
        {"MXF without audio and ffmpeg", false, true, true, TranscodeRoute::inProcess},
        {"MXF the libraries cannot read, no ffmpeg", false, false, false, TranscodeRoute::ffmpeg},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineHarness h(c.ffmpeg); // the real programs, or a folder without them
        h.proVideoFormatsInstalled = c.librariesReadMxf;
        auto inProcess = std::make_shared<RefusingInProcessRoute>();
        h.rebuildEngine(inProcess);
        const QString source =
            h.stage(GeneratedMedia::instance().mpeg2Mxf(c.audio), QStringLiteral("A001.mxf"));
        ASSERT_FALSE(source.isEmpty());
        const TranscodeRoute planned = h.engine->plannedRoute(source, h.engine->locateFFmpeg());
        EXPECT_EQ(routeName(planned), std::string(routeName(c.expected)));
        (void)h.engine->transcodeNow(h.request(source));
        const TranscodeRoute taken =
            inProcess->calls > 0 ? TranscodeRoute::inProcess : TranscodeRoute::ffmpeg;
        EXPECT_EQ(routeName(taken), std::string(routeName(planned)));
    }
    AppLog::setSink({});
}
