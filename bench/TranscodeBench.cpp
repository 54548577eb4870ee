// The ffmpeg route against the same ffmpeg command run by hand, the CRF/preset sweep behind the
// shared encoder settings, verification of a long output, and cancel latency. Needs /usr/bin/ffmpeg.
#include "platform/ChildProcess.h"
#include "platform/FFmpegLocation.h"
#include "support/BenchSupport.h"
#include "transcode/FFmpegArguments.h"
#include "transcode/FFprobeOutput.h"
#include "transcode/LibraryHevcRoute.h"
#include "transcode/TranscodeEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tarnwick;

namespace {

const QString ffmpeg = QStringLiteral("/usr/bin/ffmpeg");

bool run(const QStringList& args, QByteArray* err = nullptr) {
    ChildProcess child;
    return child
        .run(ffmpeg, args, {},
             [&](const char* d, qsizetype n) {
                 if (err)
                     err->append(d, n);
             })
        .succeeded();
}

// A 10 s 1080p H.264 + AAC clip with temporal noise, so that it compresses like camera footage.
struct Clip {
    QTemporaryDir dir;
    QString source;
    int pairs = bench::smokeMode() ? 1 : 5;
    Clip() {
        const bool smoke = bench::smokeMode();
        const QString size = smoke ? QStringLiteral("320x240") : QStringLiteral("1920x1080");
        const QString seconds = smoke ? QStringLiteral("1") : QStringLiteral("10");
        source = dir.filePath(QStringLiteral("source.mp4"));
        run({"-y",
             "-loglevel",
             "error",
             "-f",
             "lavfi",
             "-i",
             QStringLiteral("testsrc2=size=%1:rate=25:duration=%2,noise=alls=10:allf=t").arg(size, seconds),
             "-f",
             "lavfi",
             "-i",
             QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(seconds),
             "-c:v",
             "libx264",
             "-crf",
             "14",
             "-preset",
             "veryfast",
             "-c:a",
             "aac",
             "-shortest",
             source});
    }
    // A fresh copy per run: the route replaces or trashes what it is given.
    QString copy(const QString& name) const {
        const QString path = QDir(dir.path()).filePath(name);
        QFile::remove(path);
        QFile::copy(source, path);
        return path;
    }
};

Clip& clip() {
    static Clip c;
    return c;
}

TranscodeEngineServices services() {
    TranscodeEngineServices s;
    s.ffmpegSearch = [] {
        FFmpegSearch search;
        search.overrideFolder = QFileInfo(ffmpeg).path();
        return search;
    };
    return s;
}

std::optional<ProbeInfo> probeOf(TranscodeEngine& engine, const QString& path) {
    return engine.probe(path);
}

// Throughput of the whole route (probe, encode, verification, atomic replace of a .mov) against the
// same ffmpeg argument list run by hand; interleaved pairs, median of each.
void BM_RouteAgainstHandRunFFmpeg(benchmark::State& state) {
    TranscodeEngine engine(services());
    std::vector<double> wrapper, byHand;
    qint64 routeBytes = 0, handBytes = 0;
    for (auto _ : state) {
        for (int i = 0; i < clip().pairs; ++i) {
            const QString a = clip().copy(QStringLiteral("route.mov"));
            TranscodeRequest request;
            request.sourcePath = a;
            QElapsedTimer t;
            t.start();
            const TranscodeOutcome outcome = engine.transcodeNow(request);
            wrapper.push_back(t.nsecsElapsed() / 1e9);
            if (!outcome.result) {
                state.SkipWithError(outcome.error->description().toUtf8().constData());
                return;
            }
            routeBytes = outcome.result->newSize;

            const QString b = clip().copy(QStringLiteral("hand.mov"));
            const QString out = QDir(clip().dir.path()).filePath(QStringLiteral("hand_out.mov"));
            t.restart();
            const auto probe = probeOf(engine, b);
            run(ffmpegArguments::transcode(b, out, probe));
            byHand.push_back(t.nsecsElapsed() / 1e9);
            handBytes = QFileInfo(out).size();
        }
    }
    state.counters["route_s"] = bench::median(wrapper);
    state.counters["hand_s"] = bench::median(byHand);
    state.counters["throughput_ratio"] = bench::median(byHand) / bench::median(wrapper);
    state.counters["route_MB"] = routeBytes / 1e6;
    state.counters["hand_MB"] = handBytes / 1e6;
    state.counters["source_MB"] = QFileInfo(clip().source).size() / 1e6;
    state.counters["load"] = bench::loadAverage();
}

// Size, time and SSIM against the source for each CRF and preset.
void BM_CrfPresetSweep(benchmark::State& state) {
    const int crf = int(state.range(0));
    static const char* presets[] = {"faster", "fast", "medium"};
    const QString preset = QString::fromLatin1(presets[state.range(1)]);
    const QString out = QDir(clip().dir.path()).filePath(QStringLiteral("sweep.mov"));
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        run({"-y", "-loglevel", "error", "-i", clip().source, "-c:v", "libx265", "-crf", QString::number(crf),
             "-preset", preset, "-pix_fmt", "yuv420p", "-x265-params", "log-level=error", "-tag:v", "hvc1",
             "-an", out});
        seconds = t.nsecsElapsed() / 1e9;
    }
    QByteArray err;
    run({"-i", out, "-i", clip().source, "-lavfi", "[0:v][1:v]ssim", "-f", "null", "-"}, &err);
    const auto m = QRegularExpression(QStringLiteral("All:([0-9.]+)")).match(QString::fromUtf8(err));
    state.counters["encode_s"] = seconds;
    state.counters["MB"] = QFileInfo(out).size() / 1e6;
    state.counters["ssim"] = m.hasMatch() ? m.captured(1).toDouble() : 0;
    state.counters["load"] = bench::loadAverage();
}

void sweepArgs(benchmark::internal::Benchmark* b) {
    if (bench::smokeMode()) {
        b->Args({hevcSettings.crf, 1});
        return;
    }
    for (int crf : {20, 24, 28})
        for (int preset : {0, 1, 2})
            b->Args({crf, preset});
}

// Verification of a 10-minute HEVC output (a 10 s encode looped by stream copy) against
// ffprobe reading the same file's format.
void BM_VerifyLongOutput(benchmark::State& state) {
    TranscodeEngine engine(services());
    const QString ten = QDir(clip().dir.path()).filePath(QStringLiteral("ten.mov"));
    const QString longOut = QDir(clip().dir.path()).filePath(QStringLiteral("long.mov"));
    const int loops = bench::smokeMode() ? 1 : 59;
    const double expected = bench::smokeMode() ? 2 : 600;
    run({"-y", "-loglevel", "error", "-i", clip().source, "-c:v", "libx265", "-preset", "ultrafast",
         "-x265-params", "log-level=error", "-tag:v", "hvc1", "-c:a", "copy", ten});
    run({"-y", "-loglevel", "error", "-stream_loop", QString::number(loops), "-i", ten, "-c", "copy",
         longOut});
    std::vector<double> verify, probe;
    for (auto _ : state) {
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer t;
            t.start();
            engine.verifyOutput(longOut, expected * 0.97, 1);
            verify.push_back(t.nsecsElapsed() / 1e9);
            t.restart();
            ChildProcess child;
            child.run(ffprobeBeside(ffmpeg),
                      {"-v", "quiet", "-print_format", "json", "-show_format", longOut}, {}, {});
            probe.push_back(t.nsecsElapsed() / 1e9);
        }
    }
    state.counters["verify_ms"] = bench::median(verify) * 1e3;
    state.counters["ffprobe_ms"] = bench::median(probe) * 1e3;
    state.counters["output_MB"] = QFileInfo(longOut).size() / 1e6;
    state.counters["load"] = bench::loadAverage();
}

// Time from cancel() to the route's return (child killed, output removed), against ffmpeg given
// SIGTERM by hand (it flushes the encoder before exiting).
void BM_CancelLatency(benchmark::State& state) {
    TranscodeEngine engine(services());
    std::vector<double> ours, term;
    for (auto _ : state) {
        for (int i = 0; i < clip().pairs; ++i) {
            const QString a = clip().copy(QStringLiteral("cancel.mov"));
            QElapsedTimer t;
            bool started = false;
            TranscodeRequest request;
            request.sourcePath = a;
            request.onProgress = [&](double) {
                if (started)
                    return;
                started = true;
                t.start();
                engine.cancel();
            };
            engine.resetCancel();
            engine.transcodeNow(request);
            if (started)
                ours.push_back(t.nsecsElapsed() / 1e9);

            const QString b = clip().copy(QStringLiteral("term.mov"));
            ChildProcess child;
            child.start(ffmpeg,
                        ffmpegArguments::transcode(b, QDir(clip().dir.path()).filePath("term_out.mov"), {}));
            bool sent = false;
            QElapsedTimer u;
            child.waitForExit(
                [&](const char* d, qsizetype n) {
                    if (!sent && QByteArray(d, n).contains("out_time_ms=")) {
                        sent = true;
                        u.start();
                        child.terminate(SIGTERM);
                    }
                },
                {});
            if (sent)
                term.push_back(u.nsecsElapsed() / 1e9);
        }
    }
    state.counters["cancel_ms"] = bench::median(ours) * 1e3;
    state.counters["sigterm_ms"] = bench::median(term) * 1e3;
    state.counters["load"] = bench::loadAverage();
}

// Bytes of the video packets only: the routes differ in audio (PCM against a copied AAC track).
qint64 videoBytes(const QString& path) {
    QByteArray out;
    ChildProcess child;
    child.run(
        ffprobeBeside(ffmpeg),
        {"-v", "quiet", "-select_streams", "v:0", "-show_entries", "packet=size", "-of", "csv=p=0", path},
        [&](const char* d, qsizetype n) { out.append(d, n); }, {});
    qint64 total = 0;
    for (const QByteArray& line : out.split('\n'))
        total += line.trimmed().toLongLong();
    return total;
}

// Peak resident set of this process since the last reset (VmHWM), in MB.
double peakResidentMB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

void resetPeakResident() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// A second source whose pixels must be converted (8-bit 4:2:2 to 4:2:0) on the way to the encoder.
struct ConvertedClip {
    QString source;
    ConvertedClip() {
        source = QDir(clip().dir.path()).filePath(QStringLiteral("source422.mp4"));
        run({"-y", "-loglevel", "error", "-i", clip().source, "-c:v", "libx264", "-crf", "14", "-preset",
             "veryfast", "-pix_fmt", "yuv422p", "-c:a", "copy", source});
    }
};

QString sourceFor(int kind) {
    static ConvertedClip converted;
    return kind == 0 ? clip().source : converted.source;
}

double cpuSeconds(int who) {
    struct rusage usage {};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A copy of `source` on disk before the clock starts, so that neither run pays for writing it back.
QString freshCopy(const QString& source, const QString& name) {
    const QString path = QDir(clip().dir.path()).filePath(name);
    QFile::remove(path);
    QFile::copy(source, path);
    QFile f(path);
    if (f.open(QIODevice::ReadOnly))
        ::fsync(f.handle());
    return path;
}

// Every core kept busy by spinning threads while it lives, as other work on the machine would.
class BusyCores {
public:
    BusyCores() = default;
    BusyCores(const BusyCores&) = delete;
    BusyCores& operator=(const BusyCores&) = delete;
    void start(bool on) {
        for (unsigned i = 0; on && m_threads.empty() && i < std::thread::hardware_concurrency(); ++i)
            m_threads.emplace_back([this] {
                while (!m_stop.load(std::memory_order_relaxed))
                    m_spins.fetch_add(1, std::memory_order_relaxed);
            });
    }
    ~BusyCores() {
        m_stop.store(true);
        for (std::thread& t : m_threads)
            t.join();
    }
    // Processor time the spinners took so far: they run in this process, so it is taken off the
    // in-process route's figure.
    double cpuSeconds() {
        double total = 0;
        for (std::thread& t : m_threads) {
            clockid_t clock{};
            timespec ts{};
            if (pthread_getcpuclockid(t.native_handle(), &clock) == 0 && clock_gettime(clock, &ts) == 0)
                total += double(ts.tv_sec) + ts.tv_nsec / 1e9;
        }
        return total;
    }

private:
    std::atomic_bool m_stop{false};
    std::atomic<quint64> m_spins{0};
    std::vector<std::thread> m_threads;
};

// The in-process route (its encode, verification and replace) against the ffmpeg program given
// the same settings (the route's own argument list, with the in-process route's 24-bit PCM audio),
// on the same clip, in interleaved pairs (the order turning each pair). Arguments: the source
// (0: 4:2:0, 1: 4:2:2, converted) and whether every core is kept busy meanwhile.
void BM_InProcessAgainstFFmpegProgram(benchmark::State& state) {
    const QString source = sourceFor(int(state.range(0)));
    TranscodeEngine engine(services());
    LibraryHevcRoute inProcess;
    std::vector<double> library, encoded, program, loads, libraryCpu, programCpu;
    BusyCores busy; // started below, stopped when the pairs are done
    qint64 libraryVideo = 0, programVideo = 0;
    double libraryPeak = 0;
    const auto runInProcess = [&]() -> bool {
        const QString a = freshCopy(source, QStringLiteral("library.mov"));
        TranscodeRequest request;
        request.sourcePath = a;
        QElapsedTimer t;
        // 1.0 comes once the encode has finished, before verification and the replace.
        request.onProgress = [&](double f) {
            if (f >= 1.0)
                encoded.push_back(t.nsecsElapsed() / 1e9);
        };
        resetPeakResident();
        const double before = peakResidentMB();
        const double cpuBefore = cpuSeconds(RUSAGE_SELF) - busy.cpuSeconds();
        t.start();
        try {
            inProcess.transcode(engine, request, engine.cancelFlag());
        } catch (const TranscodeError& e) {
            state.SkipWithError(e.description().toUtf8().constData());
            return false;
        }
        library.push_back(t.nsecsElapsed() / 1e9);
        libraryCpu.push_back(cpuSeconds(RUSAGE_SELF) - busy.cpuSeconds() - cpuBefore);
        libraryPeak = std::max(libraryPeak, peakResidentMB() - before);
        libraryVideo = videoBytes(a);
        return true;
    };
    const auto runProgram = [&] {
        const QString out = QDir(clip().dir.path()).filePath(QStringLiteral("program.mov"));
        const QString b = freshCopy(source, QStringLiteral("program_source.mov"));
        QStringList args = ffmpegArguments::transcode(b, out, engine.probe(b));
        args[args.indexOf(QStringLiteral("-c:a")) + 1] = QStringLiteral("pcm_s24le");
        args.insert(args.indexOf(QStringLiteral("-c:a")), QStringLiteral("-ar"));
        args.insert(args.indexOf(QStringLiteral("-c:a")), QStringLiteral("48000"));
        const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
        QElapsedTimer t;
        t.start();
        run(args);
        program.push_back(t.nsecsElapsed() / 1e9);
        programCpu.push_back(cpuSeconds(RUSAGE_CHILDREN) - cpuBefore);
        programVideo = videoBytes(out);
    };
    const int pairs = qEnvironmentVariableIntValue("TARNWICK_BENCH_PAIRS") > 0
                          ? qEnvironmentVariableIntValue("TARNWICK_BENCH_PAIRS")
                          : clip().pairs;
    for (auto _ : state) {
        busy.start(state.range(1) != 0);
        for (int i = 0; i < pairs; ++i) {
            loads.push_back(bench::loadAverage());
            if (i % 2 == 1)
                runProgram();
            if (!runInProcess())
                return;
            if (i % 2 == 0)
                runProgram();
            if (qEnvironmentVariableIsSet("TARNWICK_BENCH_VERBOSE"))
                std::fprintf(stderr, "pair %d: in-process %.2f s, ffmpeg %.2f s, load %.1f\n", i,
                             library.back(), program.back(), loads.back());
        }
    }
    state.counters["inprocess_s"] = bench::median(library);
    state.counters["inprocess_encode_s"] = bench::median(encoded);
    state.counters["ffmpeg_s"] = bench::median(program);
    state.counters["time_ratio"] = bench::median(library) / bench::median(program);
    // Each pair ran back to back: its own ratio is the least touched by load that comes and goes.
    std::vector<double> pairRatios;
    for (size_t i = 0; i < library.size() && i < program.size(); ++i)
        pairRatios.push_back(library[i] / program[i]);
    state.counters["pair_ratio_median"] = bench::median(pairRatios);
    // Processor time (user + system, every thread): the work done, whatever else ran meanwhile.
    state.counters["inprocess_cpu_s"] = bench::median(libraryCpu);
    state.counters["ffmpeg_cpu_s"] = bench::median(programCpu);
    state.counters["inprocess_video_MB"] = libraryVideo / 1e6;
    state.counters["ffmpeg_video_MB"] = programVideo / 1e6;
    state.counters["video_size_diff_pct"] =
        programVideo > 0 ? 100.0 * (libraryVideo - programVideo) / programVideo : 0;
    state.counters["inprocess_peak_MB"] = libraryPeak;
    state.counters["load"] = bench::median(loads);
}

void inProcessArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"source422", "busy"});
    b->Args({0, 0});
    if (bench::smokeMode())
        return;
    b->Args({0, 1});
    b->Args({1, 0});
}

// Time from cancel() at the third video frame to the in-process route's return.
void BM_InProcessCancelLatency(benchmark::State& state) {
    TranscodeEngine engine(services());
    LibraryHevcRoute inProcess;
    std::vector<double> latency;
    for (auto _ : state) {
        for (int i = 0; i < clip().pairs; ++i) {
            const QString a = clip().copy(QStringLiteral("cancel_lib.mov"));
            QElapsedTimer t;
            TranscodeRequest request;
            request.sourcePath = a;
            int frames = 0;
            request.onProgress = [&](double) {
                if (++frames != 3)
                    return;
                t.start();
                engine.cancel();
            };
            engine.resetCancel();
            try {
                inProcess.transcode(engine, request, engine.cancelFlag());
            } catch (const TranscodeError&) {
            }
            latency.push_back(t.nsecsElapsed() / 1e9);
        }
    }
    engine.resetCancel();
    state.counters["cancel_ms"] = bench::median(latency) * 1e3;
    state.counters["load"] = bench::loadAverage();
}

} // namespace

BENCHMARK(BM_InProcessAgainstFFmpegProgram)
    ->Apply(inProcessArgs)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InProcessCancelLatency)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RouteAgainstHandRunFFmpeg)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrfPresetSweep)->Apply(sweepArgs)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifyLongOutput)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CancelLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

// The engine's thread runs an event loop, which wants an application object.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
