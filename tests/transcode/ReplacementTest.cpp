// Verification and the replacement of the source: every way it can end.
#include "platform/LeftoverMark.h"
#include "transcode/support/TranscodeTestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

class Replacement : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveRealFFmpeg())
            GTEST_SKIP() << "needs /usr/bin/ffmpeg to generate media";
        good = GeneratedMedia::instance().hevcOutput(true);
        ASSERT_FALSE(good.isEmpty());
    }
    // A source (its content only matters for its size and audio) and a verified-looking output in
    // the temporary a route would have created for it.
    QString prepare(const QString& name) {
        const QString source = h.stage(GeneratedMedia::instance().h264Aac(), name);
        frame.emplace(h.engine->openFrame(h.request(source)));
        output = frame->output.path();
        QFile in(good);
        QFile out(output);
        EXPECT_TRUE(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
        out.write(in.readAll());
        return source;
    }
    RouteResult replace(const QString& source, DestructiveStepCheck check = {}) {
        TranscodeRequest request = h.request(source);
        request.destructiveStepCheck = std::move(check);
        // As in a route: the frame ends with the replacement, whatever the way.
        std::optional<RouteFrame> f = std::move(frame);
        frame.reset();
        return h.engine->replaceOriginal(request, *f, 1.0);
    }
    // Another file takes the source's name, as a finishing copy or a new render does.
    static void replaceByNewerFile(const QString& source, const QByteArray& content) {
        QFile newer(source + QStringLiteral(".part"));
        ASSERT_TRUE(newer.open(QIODevice::WriteOnly));
        newer.write(content);
        newer.close();
        ASSERT_EQ(
            ::rename(QFile::encodeName(newer.fileName()).constData(), QFile::encodeName(source).constData()),
            0);
    }
    static QByteArray contentOf(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString error(const std::function<void()>& f) {
        try {
            f();
        } catch (const TranscodeError& e) {
            return e.description();
        }
        return {};
    }

    EngineHarness h;
    QString good;
    QString output;
    std::optional<RouteFrame> frame;
};

TEST_F(Replacement, MovSourceIsReplacedInPlaceWithoutTrash) {
    const QString source = prepare(QStringLiteral("clip.MOV"));
    const qint64 before = QFileInfo(source).size();
    const RouteResult r = replace(source);
    EXPECT_EQ(r.outputPath, source);
    EXPECT_EQ(r.sourceSize, before);
    EXPECT_EQ(r.newSize, QFileInfo(good).size());
    EXPECT_EQ(QFileInfo(source).size(), QFileInfo(good).size());
    EXPECT_FALSE(QFileInfo::exists(output));
    EXPECT_FALSE(leftover::markOf(QFile::encodeName(source))); // a real file now, never swept
    EXPECT_EQ(h.ops->trashCalls, 0);
    EXPECT_EQ(h.ops->replaceCalls, 1);
}

TEST_F(Replacement, FailedAtomicReplaceKeepsSourceAndRemovesOutput) {
    const QString source = prepare(QStringLiteral("clip.mov"));
    const qint64 before = QFileInfo(source).size();
    h.ops->failReplace = EXDEV;
    EXPECT_TRUE(error([&] { replace(source); }).endsWith(QStringLiteral("; the original was kept")));
    EXPECT_EQ(QFileInfo(source).size(), before);
    EXPECT_FALSE(QFileInfo::exists(output));
}

TEST_F(Replacement, NumberedNameWhenTakenAndSourceToTrash) {
    const QString source = prepare(QStringLiteral("clip.mp4"));
    for (const char* taken : {"clip.mov", "clip_1.mov"}) {
        QFile f(h.media(QString::fromLatin1(taken)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    const RouteResult r = replace(source);
    EXPECT_EQ(r.outputPath, h.media(QStringLiteral("clip_2.mov")));
    EXPECT_EQ(QFileInfo(h.media(QStringLiteral("clip.mov"))).size(), 7);
    EXPECT_EQ(QFileInfo(h.media(QStringLiteral("clip_1.mov"))).size(), 7);
    EXPECT_FALSE(QFileInfo::exists(source));
    EXPECT_TRUE(QFileInfo::exists(QDir(h.ops->trashFolder()).filePath(QStringLiteral("clip.mp4"))));
}

TEST_F(Replacement, TrashRefusalKeepsSourceAndRemovesNewFile) {
    const QString source = prepare(QStringLiteral("clip.mp4"));
    h.ops->failTrash = EPERM;
    EXPECT_EQ(error([&] { replace(source); }),
              QStringLiteral("Encoding failed: could not move the original to Trash; the original was kept"));
    EXPECT_TRUE(QFileInfo::exists(source));
    EXPECT_FALSE(QFileInfo::exists(h.media(QStringLiteral("clip.mov"))));
    EXPECT_FALSE(QFileInfo::exists(output));
}

TEST_F(Replacement, FailedMoveIntoNameKeepsSource) {
    const QString source = prepare(QStringLiteral("clip.mp4"));
    h.ops->failMove = EACCES;
    EXPECT_FALSE(error([&] { replace(source); }).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(source));
    EXPECT_EQ(h.ops->trashCalls, 0);
}

TEST_F(Replacement, LiveEntryCheckRefusesBeforeEachDestructiveStep) {
    // Became used by a project since it was staged: nothing is replaced.
    const QString mov = prepare(QStringLiteral("used.mov"));
    const qint64 before = QFileInfo(mov).size();
    int asked = 0;
    const auto refuse = [&](const QString&) -> std::optional<TranscodeError> {
        ++asked;
        return TranscodeError::nowInUse();
    };
    EXPECT_FALSE(error([&] { replace(mov, refuse); }).isEmpty());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(QFileInfo(mov).size(), before);
    EXPECT_EQ(h.ops->replaceCalls, 0);
    EXPECT_FALSE(QFileInfo::exists(output));

    // For a non-.mov source the check runs again right before the Trash.
    const QString mp4 = prepare(QStringLiteral("later.mp4"));
    asked = 0;
    const auto refuseSecond = [&](const QString&) -> std::optional<TranscodeError> {
        if (++asked < 2)
            return std::nullopt;
        return TranscodeError::protectedSource(QStringLiteral("later.mp4"));
    };
    EXPECT_EQ(error([&] { replace(mp4, refuseSecond); }),
              QStringLiteral("Skipped \u2014 in a protected folder: later.mp4"));
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(QFileInfo::exists(mp4));
    EXPECT_FALSE(QFileInfo::exists(h.media(QStringLiteral("later.mov"))));
    EXPECT_EQ(h.ops->trashCalls, 0);
}

// A newer file that took the source's name while the encode ran used to be replaced by the
// encode of the old content, and the run reported success.
TEST_F(Replacement, SourceThatChangedSinceTheStartIsKept) {
    const QByteArray newer(20000, 'n');
    const QString mov = prepare(QStringLiteral("render.mov"));
    replaceByNewerFile(mov, newer);
    EXPECT_EQ(error([&] { replace(mov); }), QStringLiteral("changed while transcoding \u2014 kept"));
    EXPECT_EQ(contentOf(mov), newer);
    EXPECT_EQ(h.ops->replaceCalls, 0);
    EXPECT_TRUE(temporariesBeside(mov).isEmpty());

    // Written to in place: the same name and file, but no longer the content that was encoded.
    const QString grown = prepare(QStringLiteral("grown.mp4"));
    QFile append(grown);
    ASSERT_TRUE(append.open(QIODevice::Append));
    append.write("more");
    append.close();
    EXPECT_EQ(error([&] { replace(grown); }), QStringLiteral("changed while transcoding \u2014 kept"));
    EXPECT_TRUE(contentOf(grown).endsWith("more"));
    EXPECT_FALSE(QFileInfo::exists(h.media(QStringLiteral("grown.mov"))));

    // Replaced after the output took its .mov name, right before the Trash: the newer file stays
    // and the output goes.
    const QString mp4 = prepare(QStringLiteral("late.mp4"));
    int asked = 0;
    const auto swapOnSecond = [&](const QString& path) -> std::optional<TranscodeError> {
        if (++asked == 2)
            replaceByNewerFile(path, newer);
        return std::nullopt;
    };
    EXPECT_EQ(error([&] { replace(mp4, swapOnSecond); }),
              QStringLiteral("changed while transcoding \u2014 kept"));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(contentOf(mp4), newer);
    EXPECT_FALSE(QFileInfo::exists(h.media(QStringLiteral("late.mov"))));
    EXPECT_EQ(h.ops->trashCalls, 0);
    EXPECT_TRUE(temporariesBeside(mp4).isEmpty());
}

TEST_F(Replacement, VerificationSizeLimitAndDurationTolerance) {
    const QString path = h.media(QStringLiteral("out.mov"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, '\0'));
    f.close();
    EXPECT_EQ(error([&] { h.engine->verifyOutput(path, 0, 0); }),
              QStringLiteral("Encoding failed: transcoded file is empty or truncated (4096 bytes)"));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("x");
    f.close();
    EXPECT_EQ(error([&] { h.engine->verifyOutput(path, 0, 0); }),
              QStringLiteral("Encoding failed: transcoded file has no decodable video track"));
    EXPECT_EQ(error([&] { h.engine->verifyOutput(h.media(QStringLiteral("none.mov")), 0, 0); }),
              QStringLiteral("Encoding failed: transcoded file is missing"));

    const QString two = GeneratedMedia::instance().hevcOutput(true, 2.0);
    EXPECT_TRUE(error([&] { h.engine->verifyOutput(two, 3.0, 1); }).isEmpty());  // tolerance 1 s
    EXPECT_FALSE(error([&] { h.engine->verifyOutput(two, 3.2, 1); }).isEmpty()); // 2.0 < 2.2
    EXPECT_TRUE(error([&] { h.engine->verifyOutput(two, 1.0, 1); }).isEmpty());  // longer passes
    EXPECT_EQ(error([&] { h.engine->verifyOutput(two, 2.0, 2); }),
              QStringLiteral("Encoding failed: transcoded file is missing audio tracks"));
}

TEST(FreeSpace, NeedsSourceTimesOnePointTwoPlusFiftyMegabytes) {
    EngineHarness h;
    h.capacity = 12'050'000'000;
    EXPECT_NO_THROW(h.engine->checkFreeSpace(10'000'000'000, h.dir.path()));
    h.capacity = 12'049'999'999;
    EXPECT_THROW(h.engine->checkFreeSpace(10'000'000'000, h.dir.path()), TranscodeError);
    h.capacity = 0;
    EXPECT_NO_THROW(h.engine->checkFreeSpace(0, h.dir.path())); // unknown size: not asked
    h.capacity.reset();
    EXPECT_NO_THROW(h.engine->checkFreeSpace(10'000'000'000, h.dir.path())); // no answer passes
}

} // namespace
