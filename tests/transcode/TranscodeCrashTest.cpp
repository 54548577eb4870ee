// A child process transcodes one file at a time through either route and is killed with SIGKILL
// at a random moment; afterwards the source must be complete in exactly one place (itself or its
// replacement), no process of ours may be left running, the next transcode in that folder leaves
// no temporary behind, and once the journal is merged every replaced file has exactly one audit
// entry and counts its bytes saved once, and no other file has any.
#include "actions/RecordMerge.h"
#include "platform/AppLog.h"
#include "platform/LeftoverMark.h"
#include "stores/RecordRun.h"
#include "support/ChildTemporaries.h"
#include "support/CrashRounds.h"
#include "support/RecordCheck.h"
#include "transcode/MediaInspection.h"
#include "transcode/TranscodeAndReplace.h"
#include "transcode/support/TranscodeTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

constexpr char kSource[] = "TARNWICK_TRANSCODE_CRASH_SOURCE";
constexpr char kTrash[] = "TARNWICK_TRANSCODE_CRASH_TRASH";
constexpr char kStore[] = "TARNWICK_TRANSCODE_CRASH_STORE";
constexpr int kSeconds = 4;

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What a kill left of one source.
struct Survivor {
    bool atPath = false;   // the original bytes at the source's path
    bool inTrash = false;  // the original bytes in the Trash
    bool replaced = false; // a complete transcoded file stands in for it
    bool besideIt = false; // a complete .mov next to the untouched original (killed before the Trash)
    qint64 replacementSize = 0;
    QStringList temporaries; // ours, left by the kill

    // Complete in exactly one place: the original at its path or (another container) in the
    // Trash, never both and never neither; when it left its path, its replacement is there.
    bool sound(bool replacedInPlace) const {
        if (replacedInPlace)
            return !inTrash && (atPath || replaced);
        return atPath != inTrash && (atPath || replaced);
    }
};

// This process's children that run on (not ended, not ending: no PF_EXITING), with their stat line.
QHash<pid_t, QByteArray> runningChildren() {
    constexpr qulonglong exiting = 0x4;
    QHash<pid_t, QByteArray> running;
    const QByteArray self = QByteArray::number(::getpid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const pid_t pid = pid_t(entry.toInt(&numeric));
        if (!numeric)
            continue;
        const QByteArray stat = contentOf(QStringLiteral("/proc/%1/stat").arg(pid));
        // After the name: state, parent, group, session, terminal, its group, flags.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 6 && fields[1] == self && fields[0] != "Z" && fields[0] != "X" &&
            !(fields[6].toULongLong() & exiting))
            running.insert(pid, stat.trimmed());
    }
    return running;
}

class Harness {
public:
    explicit Harness(bool inProcess) : m_inProcess(inProcess) {
        QDir().mkpath(media());
        QDir().mkpath(trash());
        // A video-only source goes in-process; one with AAC audio goes to ffmpeg.
        QStringList args = lavfiVideo(QStringLiteral("128x96"), kSeconds);
        if (!inProcess)
            args += lavfiAudio(kSeconds);
        args +=
            {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-qp"), QStringLiteral("0")};
        if (!inProcess)
            args += {QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-shortest")};
        m_base = m_dir.filePath(QStringLiteral("base.mp4"));
        m_made = runFFmpeg(args + QStringList{m_base});
        m_original = contentOf(m_base);
    }
    bool made() const { return m_made && !m_original.isEmpty(); }
    QString media() const { return m_dir.filePath(QStringLiteral("media")); }
    QString trash() const { return m_dir.filePath(QStringLiteral("Trash")); }
    QString store() const { return m_dir.filePath(QStringLiteral("store")); }
    qint64 originalSize() const { return m_original.size(); }

    // Round i's source: .mov sources are replaced in place, the others go to the Trash.
    QString stage(int i) {
        const QString path = media() + QStringLiteral("/clip %1.%2").arg(i).arg(i % 2 ? "mov" : "mp4");
        QFile::copy(m_base, path);
        m_sources.append(path);
        return path;
    }

    struct Run {
        bool finished = false;  // printed its result before any kill
        qint64 transcodeUs = 0; // from "ready" to its result
        QString route;
        int descendantsKilled = 0;
        int strays = 0; // descendants that ran to their end after the app died
        QByteArray strayText;
    };
    // Runs the child on `source`; kills it `killAfter` after it prints `killMark` (never when unset).
    Run run(const QString& source, std::optional<std::chrono::microseconds> killAfter = {},
            const QByteArray& killMark = "ready\n") {
        Run result;
        qputenv(kSource, QFile::encodeName(source));
        qputenv(kTrash, QFile::encodeName(trash()));
        qputenv(kStore, QFile::encodeName(store()));
        ChildProcess app;
        const bool started = [&] {
            const tarnwick::testing::ChildTemporariesScope temporaries(m_dir.path());
            return app.start(QCoreApplication::applicationFilePath(),
                             {QStringLiteral("--gtest_filter=TranscodeCrashChild.TranscodesTheGivenFile")});
        }();
        qunsetenv(kSource);
        qunsetenv(kTrash);
        qunsetenv(kStore);
        if (!started)
            return result;
        QByteArray out;
        bool killed = false;
        QElapsedTimer clock;
        app.waitForExit(
            [&](const char* d, qsizetype n) {
                out.append(d, n);
                if (!clock.isValid() && out.contains("ready\n"))
                    clock.start();
                if (clock.isValid() && result.transcodeUs == 0 && out.contains("result "))
                    result.transcodeUs = clock.nsecsElapsed() / 1000;
                if (killed || !killAfter || !out.contains(killMark))
                    return;
                killed = true;
                std::this_thread::sleep_for(*killAfter);
                app.terminate(SIGKILL);
            },
            {});
        result.finished = out.contains("result ");
        if (out.contains("route ffmpeg"))
            result.route = QStringLiteral("ffmpeg");
        else if (out.contains("route in-process"))
            result.route = QStringLiteral("in-process");
        // Orphans of the killed app are ours now. One that was still running when the app died
        // must have been killed with it; one that had ended or was ending is no stray, nor one
        // that was being started and exited at once on finding its parent gone (status 127).
        const QHash<pid_t, QByteArray> runningAtDeath = runningChildren();
        siginfo_t info{};
        while (::waitid(P_ALL, 0, &info, WEXITED) == 0) {
            if (info.si_code != CLD_EXITED)
                ++result.descendantsKilled;
            else if (runningAtDeath.contains(info.si_pid) && info.si_status != 127) {
                ++result.strays;
                result.strayText += runningAtDeath.value(info.si_pid) + " exited " +
                                    QByteArray::number(info.si_status) + "; ";
            }
        }
        // What the app's next start does first: close the runs a kill left open.
        AuditLogManager audit(store(), nullptr);
        StatsManager stats(store());
        RecordMerge::mergeAtStart({&audit, &stats, nullptr}, *FileOperations::system());
        return result;
    }

    Survivor inspect(const QString& source) const {
        Survivor s;
        const QFileInfo info(source);
        const QString mov = info.dir().filePath(info.completeBaseName() + QStringLiteral(".mov"));
        const QString trashed = QDir(trash()).filePath(info.fileName());
        s.atPath = contentOf(source) == m_original;
        s.inTrash = contentOf(trashed) == m_original;
        const bool movIsOutput = QFileInfo::exists(mov) && contentOf(mov) != m_original && complete(mov);
        s.replaced = movIsOutput && !s.atPath;
        s.besideIt = movIsOutput && s.atPath && mov != source;
        s.replacementSize = s.replaced ? QFileInfo(mov).size() : 0;
        for (const QString& name : temporariesBeside(source))
            if (name.startsWith(info.completeBaseName() + QStringLiteral("_transcoding")))
                s.temporaries.append(name);
        return s;
    }
    const QStringList& sources() const { return m_sources; }

private:
    static bool complete(const QString& path) {
        const MediaFacts facts = inspectMedia(path, true);
        return facts.decodedVideoFrame && facts.duration > kSeconds - 0.1;
    }

    bool m_inProcess;
    QTemporaryDir m_dir;
    QString m_base;
    bool m_made = false;
    QByteArray m_original;
    QStringList m_sources;
};

void killAtRandomMoments(bool inProcess) {
    if (!haveRealFFmpeg())
        GTEST_SKIP() << "needs /usr/bin/ffmpeg";
    Harness h(inProcess);
    ASSERT_TRUE(h.made());
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);

    // An undisturbed run first: the route taken, and how long a transcode takes here.
    std::vector<qint64> spans;
    for (int i = 0; i < 3; ++i) {
        const Harness::Run calm = h.run(h.stage(-1 - i));
        ASSERT_TRUE(calm.finished);
        EXPECT_EQ(calm.route, inProcess ? QStringLiteral("in-process") : QStringLiteral("ffmpeg"));
        spans.push_back(calm.transcodeUs);
    }
    std::sort(spans.begin(), spans.end());
    const qint64 spanUs = std::max<qint64>(spans[1], 1000);

    QRandomGenerator random(inProcess ? 20261207 : 20261208);
    // 4 to 20 kills within the time budget; TARNWICK_TRANSCODE_KILLS asks for more by hand.
    const CrashRounds rounds("TARNWICK_TRANSCODE_KILLS", 4, 20);
    int kills = 0;
    int finishedFirst = 0, leftovers = 0, replaced = 0, beside = 0, killedDescendants = 0, strays = 0;
    while (rounds.another(kills)) {
        const int i = ++kills;
        const QString source = h.stage(i);
        // Kills anywhere in the encode, within 2 ms of the start of the check before the first
        // destructive step (the replacement, or the move to the .mov name) or before the Trash
        // (sources that are not .mov): in the check or in the step; and within 2 ms after the step
        // that replaced the source, before its outcome reaches the journal.
        const bool mov = source.endsWith(QLatin1String(".mov"));
        const quint32 target = random.bounded(mov ? 3 : 4);
        const qint64 at =
            target == 0 ? qint64(random.bounded(quint32(spanUs))) : qint64(random.bounded(2000));
        const QByteArray mark = target == 0                 ? "ready\n"
                                : target == 1               ? "step 2\n"
                                : target == (mov ? 2u : 3u) ? "settled\n"
                                                            : "step 3\n";
        const Harness::Run run = h.run(source, std::chrono::microseconds(at), mark);
        finishedFirst += run.finished ? 1 : 0;
        killedDescendants += run.descendantsKilled;
        strays += run.strays;
        EXPECT_EQ(run.strays, 0) << "round " << i
                                 << ": ran on after the app was killed: " << run.strayText.constData();
        const Survivor s = h.inspect(source);
        EXPECT_TRUE(s.sound(source.endsWith(QLatin1String(".mov"))))
            << "round " << i << ": at its path " << s.atPath << ", in the Trash " << s.inTrash
            << ", replaced " << s.replaced;
        replaced += s.replaced ? 1 : 0;
        beside += s.besideIt ? 1 : 0;
        leftovers += int(s.temporaries.size());
        for (const QString& name : s.temporaries)
            EXPECT_TRUE(leftover::markOf(QFile::encodeName(h.media() + QLatin1Char('/') + name)))
                << "an unmarked temporary: " << qPrintable(name);
    }

    // The next transcode in the folder sweeps every leftover and leaves none of its own.
    const Harness::Run last = h.run(h.stage(kills + 1));
    EXPECT_TRUE(last.finished);
    EXPECT_TRUE(temporariesBeside(h.media() + QStringLiteral("/x")).isEmpty())
        << qPrintable(temporariesBeside(h.media() + QStringLiteral("/x")).join(QLatin1Char(',')));
    // Nothing a later round did changed an earlier round's file.
    for (const QString& source : h.sources()) {
        const Survivor s = h.inspect(source);
        EXPECT_TRUE(s.sound(source.endsWith(QLatin1String(".mov")))) << qPrintable(source);
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);

    AuditLogManager audit(h.store(), nullptr);
    StatsManager stats(h.store());
    RecordExpectation expected;
    expected.action = AuditAction::transcoded;
    expected.counter = RecordExpectation::Counter::none;
    for (const QString& source : h.sources()) {
        const Survivor s = h.inspect(source);
        if (s.replaced)
            expected.done.insert(source, h.originalSize() - s.replacementSize);
        else
            expected.untouched.append(source);
    }
    const QStringList problems = checkRecords(audit, stats, expected);
    EXPECT_TRUE(problems.isEmpty()) << qPrintable(problems.join(QLatin1Char('\n')));

    std::printf("%s route, transcode %.0f ms, %d kills: %d finished before the kill, %d replaced, %d left "
                "beside the original, "
                "%d temporaries left (all marked, swept later), %d children killed with the app, %d strays; "
                "records: %lld audit entries, %lld bytes saved, %d problems\n",
                inProcess ? "in-process" : "ffmpeg", spanUs / 1000.0, kills, finishedFirst, replaced, beside,
                leftovers, killedDescendants, strays, static_cast<long long>(audit.count()),
                static_cast<long long>(stats.stats().spaceSavedBytes), int(problems.size()));
}

} // namespace

// The child half: transcodes the file it is given and says how it went. It does nothing unless
// the harness started it.
TEST(TranscodeCrashChild, TranscodesTheGivenFile) {
    const QString source = qEnvironmentVariable(kSource);
    if (source.isEmpty())
        GTEST_SKIP() << "run by TranscodeCrash only";
    TranscodeEngineServices services;
    services.fileOperations = std::make_shared<PosixFileOperations>(qEnvironmentVariable(kTrash));
    services.ffmpegSearch = [] {
        FFmpegSearch search;
        search.overrideFolder = QFileInfo(realFFmpeg).path();
        return search;
    };
    services.availableCapacity = [](const QString&) { return std::optional<qint64>(); };
    services.sandboxed = false;
    services.proVideoFormatsInstalled = true;
    TranscodeEngine engine(services);
    bool viaFFmpeg = false;
    AppLog::setSink([&](const AppLog::Record& r) {
        if (r.message.contains(QStringLiteral("ffmpeg transcode:")))
            viaFFmpeg = true;
    });
    // The run's records as the app writes them, in the store the harness merges afterwards.
    const QString store = qEnvironmentVariable(kStore);
    AuditLogManager audit(store, nullptr);
    StatsManager stats(store);
    RecordRun records(&audit.journal(), RecordKind::transcode, false);
    MediaFile file;
    file.path = source;
    file.size = QFileInfo(source).size();
    TranscodeRequest request;
    request.sourcePath = source;
    request.recorder = transcodeRecorder(records, file);
    // Says when the step that replaced the source is over, then takes a millisecond before its
    // outcome is recorded.
    request.recorder.settled = [settled = request.recorder.settled](bool happened) {
        std::printf("settled\n");
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        settled(happened);
    };
    // Says when it is about to check before each step (the first before the encode), then takes
    // a millisecond, as the round trip to the window's thread does in the app.
    int step = 0;
    request.destructiveStepCheck = [&](const QString&) -> std::optional<TranscodeError> {
        std::printf("step %d\n", ++step);
        std::fflush(stdout);
        if (step > 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return std::nullopt;
    };
    std::printf("ready\n");
    std::fflush(stdout);
    const TranscodeOutcome outcome = engine.transcodeNow(request);
    RecordMerge::closeRun(records, {&audit, &stats, nullptr});
    AppLog::setSink({});
    std::printf("route %s\nresult %s\n", viaFFmpeg ? "ffmpeg" : "in-process",
                outcome.result ? "ok" : qPrintable(outcome.error->description()));
    std::fflush(stdout);
    EXPECT_TRUE(outcome.result);
}

TEST(TranscodeCrash, InProcessRouteSurvivesRandomKills) {
    killAtRandomMoments(true);
}

TEST(TranscodeCrash, FFmpegRouteSurvivesRandomKills) {
    killAtRandomMoments(false);
}
