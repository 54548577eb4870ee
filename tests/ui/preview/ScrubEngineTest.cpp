#include "ui/preview/ScrubEngine.h"
#include "ui/preview/ScrubCacheBudget.h"

#include "support/FakeScrubFrameSource.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

struct Engine {
    explicit Engine(std::optional<QString> path = QStringLiteral("/m/clip.mov"),
                    ScrubEnginePolicy policy = {}, int budgetLimit = 100)
        : source(std::make_shared<FakeScrubFrameSource>()), budget(budgetLimit),
          engine(std::move(path), source, policy, &budget) {}

    // Prepared and loaded: 59 s, so bucket b's start is at b seconds.
    void ready(double duration = 59) {
        engine.prepare();
        source->answerLoad(duration, taggedFrame(999));
    }

    std::shared_ptr<FakeScrubFrameSource> source;
    ScrubCacheBudget budget;
    ScrubEngine engine;
};

} // namespace

TEST(ScrubEngine, BucketsOfFractions) {
    EXPECT_EQ(ScrubEngine::bucketFor(-0.5), 0);
    EXPECT_EQ(ScrubEngine::bucketFor(0.5), 29);
    EXPECT_EQ(ScrubEngine::bucketFor(0.999), 58);
    EXPECT_EQ(ScrubEngine::bucketFor(1), 59);
    EXPECT_EQ(ScrubEngine::bucketFor(3), 59);
}

TEST(ScrubEngine, PosterAtLoadThenExactHoverTimes) {
    Engine e;
    e.engine.prepare();
    ASSERT_EQ(e.source->loads, QList<bool>{false});
    EXPECT_FALSE(e.engine.ready());
    e.engine.scrub(0.5); // before the poster: nothing
    EXPECT_EQ(e.source->frameCalls, 0);
    e.source->answerLoad(120, taggedFrame(999));
    EXPECT_TRUE(e.engine.ready());
    EXPECT_EQ(frameTag(*e.engine.displayImage()), 999);
    EXPECT_EQ(e.engine.duration(), 120);

    e.engine.scrub(-0.5);
    ASSERT_EQ(e.source->requests.size(), 1u);
    EXPECT_EQ(e.source->requests[0].seconds, 0.0);
    EXPECT_TRUE(e.engine.loadingFrame());
    e.source->answerFrame(taggedFrame(0));
    EXPECT_FALSE(e.engine.loadingFrame());
    e.engine.scrub(1.5);
    EXPECT_EQ(e.source->requests.back().seconds, 120.0);
    e.source->answerFrame(taggedFrame(59));
    // The same bucket again asks for nothing, even at another exact time.
    e.engine.scrub(0.5);
    e.engine.scrub(0.5 + 0.5 / 59);
    EXPECT_EQ(e.source->frameCalls, 3);
    EXPECT_EQ(e.source->requests.back().seconds, 60.0);
}

TEST(ScrubEngine, OneInFlightAndOnlyTheNewestWaits) {
    Engine e;
    e.ready();
    e.engine.scrub(10.0 / 59);
    e.engine.scrub(20.0 / 59);
    e.engine.scrub(30.0 / 59);
    ASSERT_EQ(e.source->requests.size(), 1u);
    EXPECT_TRUE(e.engine.generating());
    EXPECT_NEAR(*e.engine.pendingTime(), 30.0, 1e-9);
    e.source->answerFrame(taggedFrame(10));
    EXPECT_EQ(frameTag(*e.engine.displayImage()), 10);
    ASSERT_EQ(e.source->requests.size(), 1u);
    EXPECT_NEAR(e.source->requests[0].seconds, 30.0, 1e-9); // 20 was dropped
    EXPECT_TRUE(e.engine.loadingFrame());
    e.source->answerFrame(taggedFrame(30));
    EXPECT_FALSE(e.engine.loadingFrame());
    EXPECT_FALSE(e.engine.generating());
    EXPECT_EQ(e.source->frameCalls, 2);
}

TEST(ScrubEngine, PendingBucketAlreadyCachedIsServedWithoutARequest) {
    Engine e;
    e.ready();
    e.engine.scrub(5.0 / 59);
    e.source->answerFrame(taggedFrame(5));
    e.engine.scrub(6.0 / 59);
    e.engine.scrub(5.0 / 59); // cached: shown at once, even while a request is out
    EXPECT_EQ(frameTag(*e.engine.displayImage()), 5);
    e.engine.scrub(7.0 / 59);
    e.engine.scrub(6.0 / 59 + 0.001); // waits; its bucket is the one in flight
    e.source->answerFrame(taggedFrame(6));
    EXPECT_EQ(frameTag(*e.engine.displayImage()), 6);
    EXPECT_FALSE(e.engine.loadingFrame());
    EXPECT_FALSE(e.engine.generating());
    EXPECT_EQ(e.source->frameCalls, 2);
}

TEST(ScrubEngine, CacheKeepsTheLast48FirstInFirstOut) {
    Engine e;
    e.ready();
    for (int bucket = 0; bucket < 49; ++bucket) {
        e.engine.scrub(bucket / 59.0 + 1e-9);
        if (bucket == 47) {
            e.engine.scrub(0); // a hit on the oldest does not refresh it
            EXPECT_EQ(frameTag(*e.engine.displayImage()), 0);
        }
        if (!e.source->requests.empty())
            e.source->answerFrame(taggedFrame(bucket));
    }
    EXPECT_EQ(e.engine.cacheOrder().size(), 48);
    EXPECT_FALSE(e.engine.cacheHolds(0));
    EXPECT_TRUE(e.engine.cacheHolds(1));
    EXPECT_TRUE(e.engine.cacheHolds(48));
}

TEST(ScrubEngine, ResetThenPrepareIsReadyAtOnceWithTheOldCache) {
    Engine e;
    e.ready();
    e.engine.scrub(0.5);
    e.source->answerFrame(taggedFrame(29));
    e.engine.reset();
    EXPECT_FALSE(e.engine.ready());
    EXPECT_EQ(frameTag(*e.engine.displayImage()), 999);
    EXPECT_EQ(e.source->closes, 1);
    e.engine.prepare();
    EXPECT_TRUE(e.engine.ready());
    EXPECT_EQ(e.source->loads.size(), 1); // no second load
    e.engine.scrub(0.5);
    EXPECT_EQ(frameTag(*e.engine.displayImage()), 29);
    EXPECT_EQ(e.source->frameCalls, 1);
}

TEST(ScrubEngine, NoDurationOrNoPathOrNoPoster) {
    Engine zero;
    zero.ready(0); // a poster but no duration: scrubbing is ignored
    EXPECT_TRUE(zero.engine.ready());
    zero.engine.scrub(0.5);
    EXPECT_EQ(zero.source->frameCalls, 0);

    Engine none(std::nullopt);
    none.engine.prepare();
    EXPECT_TRUE(none.engine.failed());
    EXPECT_TRUE(none.source->loads.isEmpty());

    Engine noPoster;
    noPoster.engine.prepare();
    noPoster.source->answerLoad(10, std::nullopt, true);
    EXPECT_TRUE(noPoster.engine.failed());
    noPoster.engine.reset();
    noPoster.engine.prepare();
    EXPECT_TRUE(noPoster.engine.failed());
    EXPECT_EQ(noPoster.source->loads.size(), 1);
}

TEST(ScrubEngine, ProfessionalContainerGoesStraightToFFmpegOnlyWithoutReaderOutsideTheSandbox) {
    Engine plain(QStringLiteral("/m/A001.MXF"), {false, false});
    plain.engine.prepare();
    EXPECT_EQ(plain.source->loads, QList<bool>{true});
    Engine sandboxed(QStringLiteral("/m/A001.MXF"), {true, false});
    sandboxed.engine.prepare();
    EXPECT_EQ(sandboxed.source->loads, QList<bool>{false});
    Engine reader(QStringLiteral("/m/A001.mxf"), {false, true});
    reader.engine.prepare();
    EXPECT_EQ(reader.source->loads, QList<bool>{false});
    // Frames follow the route the load took.
    plain.source->answerLoad(10, taggedFrame(1), true);
    plain.engine.scrub(0.5);
    EXPECT_TRUE(plain.source->requests[0].useFFmpeg);
}

// A frame that arrives after the pointer left used to replace the poster.
TEST(ScrubEngine, LateFrameAfterHoverEndIsCachedButNotShown) {
    Engine e;
    e.ready();
    e.engine.scrub(0.25);
    e.engine.scrub(0.75); // waiting its turn
    e.engine.endHover();
    EXPECT_EQ(e.engine.lastBucket(), -1);
    EXPECT_FALSE(e.engine.pendingTime()); // the waiting request is dropped
    e.source->answerFrame(taggedFrame(14));
    EXPECT_EQ(frameTag(*e.engine.displayImage()), 999);
    EXPECT_TRUE(e.engine.cacheHolds(14));
    EXPECT_FALSE(e.engine.generating());
    EXPECT_EQ(e.source->frameCalls, 1);
    e.engine.scrub(0.25); // back over it: from the cache
    EXPECT_EQ(frameTag(*e.engine.displayImage()), 14);
}

TEST(ScrubEngine, LateFrameAfterResetNeverDisturbsTheNextRequest) {
    Engine e;
    e.ready();
    e.engine.scrub(0.25);
    e.engine.reset();
    e.engine.prepare();
    e.engine.scrub(0.75); // a new request while the old one is still out
    ASSERT_EQ(e.source->requests.size(), 2u);
    e.source->answerFrame(taggedFrame(14)); // the old one
    EXPECT_EQ(frameTag(*e.engine.displayImage()), 999);
    EXPECT_TRUE(e.engine.generating()); // still waiting for the new one
    EXPECT_TRUE(e.engine.loadingFrame());
    e.source->answerFrame(taggedFrame(44));
    EXPECT_EQ(frameTag(*e.engine.displayImage()), 44);
    EXPECT_FALSE(e.engine.generating());
}

TEST(ScrubEngine, LoadThatEndsAfterResetWaitsForTheNextPrepare) {
    Engine e;
    e.engine.prepare();
    e.engine.reset();
    e.engine.prepare(); // still loading: no second load
    e.engine.reset();
    e.source->answerLoad(30, taggedFrame(999));
    EXPECT_FALSE(e.engine.ready());
    EXPECT_EQ(frameTag(*e.engine.displayImage()), 999);
    e.engine.prepare();
    EXPECT_TRUE(e.engine.ready());
    EXPECT_EQ(e.source->loads.size(), 1);
}

// Hundreds of cards scrolled through used to keep 48 frames each for the whole session.
TEST(ScrubCacheBudget, OnlyTheMostRecentlyShownEnginesKeepFrames) {
    ScrubCacheBudget budget(2);
    std::vector<std::shared_ptr<FakeScrubFrameSource>> sources;
    std::vector<std::unique_ptr<ScrubEngine>> engines;
    for (int i = 0; i < 3; ++i) {
        sources.push_back(std::make_shared<FakeScrubFrameSource>());
        engines.push_back(std::make_unique<ScrubEngine>(QStringLiteral("/m/%1.mov").arg(i), sources.back(),
                                                        ScrubEnginePolicy{}, &budget));
        ScrubEngine& engine = *engines.back();
        engine.prepare();
        sources.back()->answerLoad(59, taggedFrame(900 + i));
        engine.scrub(0.5);
        sources.back()->answerFrame(taggedFrame(29));
        engine.reset();
    }
    EXPECT_EQ(budget.retained(), 2);
    EXPECT_TRUE(engines[0]->cacheOrder().isEmpty());
    EXPECT_EQ(engines[1]->cacheOrder().size(), 1);
    EXPECT_EQ(engines[2]->cacheOrder().size(), 1);
    // Dropped to its poster, it is still ready at once.
    engines[0]->prepare();
    EXPECT_TRUE(engines[0]->ready());
    EXPECT_EQ(frameTag(*engines[0]->displayImage()), 900);
    EXPECT_EQ(sources[0]->loads.size(), 1);
    EXPECT_TRUE(engines[1]->cacheOrder().isEmpty()); // now the oldest
    engines.clear();
    EXPECT_EQ(budget.retained(), 0);
}
