// The preview engine's hot paths, each against a reference measured in the same run on the same
// input: thumbnails in-process against the ffmpeg executable, scrub frames from one open decoder
// against opening the file for every frame, waveforms against a plain ffmpeg decode, and the
// memory of many scrub engines with and without the cache budget.
#include "platform/media/FFmpegRoute.h"
#include "platform/media/VideoDecoder.h"
#include "ui/preview/ScrubCacheBudget.h"
#include "ui/preview/ScrubEngine.h"
#include "ui/preview/StripLoaders.h"
#include "ui/preview/ThumbnailGenerator.h"

#include "support/BenchSupport.h"
#include "support/FakeScrubFrameSource.h"
#include "support/MediaFixtures.h"

#include "platform/AppLog.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace tarnwick;

namespace {

constexpr int pairs = 5;

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    if (values.empty())
        return 0;
    return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5))];
}

QString clip(const QString& name, const QString& size, int seconds, QStringList codec) {
    return testmedia::made(name, testmedia::testsrc(size, seconds) + codec);
}

QString size() {
    return bench::smokeMode() ? QStringLiteral("320x180") : QStringLiteral("1920x1080");
}

// 40 rows of one format: distinct paths (links to one clip) so that nothing comes from the cache.
QStringList rows(const QString& source, int count) {
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString link = source + QStringLiteral(".row%1.").arg(i) + QFileInfo(source).suffix();
        QFile::link(source, link);
        paths << link;
    }
    return paths;
}

ThumbnailGeneratorServices services() {
    ThumbnailGeneratorServices s;
    s.findFFmpeg = [] { return std::optional<QString>(testmedia::systemFFmpeg); };
    return s;
}

// All rows asked at once, as a table does when it shows them.
double inProcessThumbnails(const QStringList& paths) {
    ThumbnailGenerator generator(services());
    QElapsedTimer clock;
    clock.start();
    std::vector<QCoro::Task<std::optional<QImage>>> tasks;
    for (const QString& path : paths)
        tasks.push_back(generator.generateSmallThumbnail(path, QSizeF(32, 32)));
    for (auto& task : tasks) {
        if (!QCoro::waitFor(task))
            std::abort();
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

double executableThumbnails(const QStringList& paths) {
    ThumbnailGenerator generator(services());
    QElapsedTimer clock;
    clock.start();
    std::vector<QCoro::Task<std::optional<QImage>>> tasks;
    for (const QString& path : paths)
        tasks.push_back(generator.ffmpegThumbnail(path, QSizeF(32, 32), 0.1));
    for (auto& task : tasks) {
        if (!QCoro::waitFor(task))
            std::abort();
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

void thumbnails(benchmark::State& state, const QString& source) {
    if (source.isEmpty()) {
        state.SkipWithError("needs /usr/bin/ffmpeg");
        return;
    }
    const QStringList paths = rows(source, bench::smokeMode() ? 4 : 40);
    std::vector<double> ours;
    std::vector<double> executable;
    for (auto _ : state) {
        for (int i = 0; i < (bench::smokeMode() ? 1 : pairs); ++i) {
            ours.push_back(inProcessThumbnails(paths));
            executable.push_back(executableThumbnails(paths));
        }
    }
    state.counters["in_process_ms"] = bench::median(ours);
    state.counters["ffmpeg_exe_ms"] = bench::median(executable);
    state.counters["speedup"] = bench::median(executable) / bench::median(ours);
    state.counters["load"] = bench::loadAverage();
}

void BM_Thumbnails40_H264(benchmark::State& state) {
    thumbnails(state, clip("thumb h264.mp4", size(), bench::smokeMode() ? 2 : 10,
                           {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"}));
}
void BM_Thumbnails40_ProRes(benchmark::State& state) {
    thumbnails(state, clip("thumb prores.mov", size(), bench::smokeMode() ? 2 : 10,
                           {"-c:v", "prores_ks", "-profile:v", "0"}));
}
void BM_Thumbnails40_MXF(benchmark::State& state) {
    thumbnails(state, clip("thumb mxf.mxf", size(), bench::smokeMode() ? 2 : 10,
                           {"-c:v", "mpeg2video", "-pix_fmt", "yuv422p", "-b:v", "30M"}));
}

// Frames for the 60 buckets in order, as a pointer sweeping across a card asks for them.
std::vector<double> sweep(const QString& path, bool persistent) {
    std::vector<double> latencies;
    constexpr int threads = 4; // as the scrub engines open their decoders
    std::unique_ptr<VideoDecoder> open = VideoDecoder::open(path, threads);
    const double duration = open ? open->duration() : 0;
    for (int bucket = 0; bucket < ScrubEngine::buckets && duration > 0; ++bucket) {
        const double time = bucket / double(ScrubEngine::buckets - 1) * duration;
        QElapsedTimer clock;
        clock.start();
        if (!persistent)
            open = VideoDecoder::open(path, threads);
        if (!open || !open->frameAt(time, ScrubEngine::frameSize))
            std::abort();
        latencies.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return latencies;
}

void scrubLatency(benchmark::State& state, const QString& source) {
    if (source.isEmpty()) {
        state.SkipWithError("needs /usr/bin/ffmpeg");
        return;
    }
    std::vector<double> kept;
    std::vector<double> reopened;
    for (auto _ : state) {
        for (int i = 0; i < (bench::smokeMode() ? 1 : pairs); ++i) {
            const auto a = sweep(source, true);
            const auto b = sweep(source, false);
            kept.insert(kept.end(), a.begin(), a.end());
            reopened.insert(reopened.end(), b.begin(), b.end());
        }
    }
    state.counters["kept_p50_ms"] = percentile(kept, 0.5);
    state.counters["kept_p95_ms"] = percentile(kept, 0.95);
    state.counters["reopen_p50_ms"] = percentile(reopened, 0.5);
    state.counters["reopen_p95_ms"] = percentile(reopened, 0.95);
    state.counters["load"] = bench::loadAverage();
}

int scrubSeconds() {
    return bench::smokeMode() ? 3 : 60;
}
void BM_ScrubSweep_H264_GOP12(benchmark::State& state) {
    scrubLatency(state, clip("scrub gop12.mp4", size(), scrubSeconds(),
                             {"-c:v", "libx264", "-preset", "veryfast", "-g", "12", "-pix_fmt", "yuv420p"}));
}
void BM_ScrubSweep_H264_GOP250(benchmark::State& state) {
    scrubLatency(state, clip("scrub gop250.mp4", size(), scrubSeconds(),
                             {"-c:v", "libx264", "-preset", "veryfast", "-g", "250", "-keyint_min", "250",
                              "-sc_threshold", "0", "-pix_fmt", "yuv420p"}));
}
void BM_ScrubSweep_ProRes(benchmark::State& state) {
    scrubLatency(state,
                 clip("scrub prores.mov", size(), scrubSeconds(), {"-c:v", "prores_ks", "-profile:v", "0"}));
}

// The longest gap between ticks of a 5 ms timer while the GUI thread has nothing else to do: what
// the machine's load alone costs.
double idleStall(int milliseconds) {
    double longest = 0;
    QTimer ticker;
    QElapsedTimer sinceTick;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, double(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
    });
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    sinceTick.start();
    ticker.start(5);
    loop.exec();
    return longest;
}

// The waveform off the GUI thread, while a 5 ms timer measures the longest gap between its ticks.
void waveform(benchmark::State& state, const QString& source) {
    if (source.isEmpty()) {
        state.SkipWithError("needs /usr/bin/ffmpeg");
        return;
    }
    std::vector<double> ours;
    std::vector<double> decodeOnly;
    double longestStall = 0;
    for (auto _ : state) {
        for (int i = 0; i < (bench::smokeMode() ? 1 : pairs); ++i) {
            ThumbnailGenerator generator(services());
            QTimer ticker;
            QElapsedTimer sinceTick;
            sinceTick.start();
            QObject::connect(&ticker, &QTimer::timeout, [&] {
                longestStall = std::max(longestStall, double(sinceTick.nsecsElapsed()) / 1e6);
                sinceTick.restart();
            });
            ticker.start(5);
            sinceTick.restart();
            QElapsedTimer clock;
            clock.start();
            const QList<float> bars = QCoro::waitFor(stripLoaders::extractWaveform(generator, source, 220));
            ours.push_back(double(clock.nsecsElapsed()) / 1e6);
            ticker.stop();
            if (bars.size() != 220)
                std::abort();
            clock.restart();
            QProcess decode;
            decode.start(testmedia::systemFFmpeg,
                         {"-v", "error", "-threads", "1", "-i", source, "-map", "0:a:0", "-f", "null", "-"});
            decode.waitForFinished(-1);
            decodeOnly.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
    }
    state.counters["waveform_ms"] = bench::median(ours);
    state.counters["ffmpeg_decode_ms"] = bench::median(decodeOnly);
    state.counters["ratio"] = bench::median(ours) / bench::median(decodeOnly);
    state.counters["gui_stall_max_ms"] = longestStall;
    state.counters["idle_stall_max_ms"] = idleStall(500);
    state.counters["load"] = bench::loadAverage();
}

void BM_Waveform_AAC10min(benchmark::State& state) {
    const int seconds = bench::smokeMode() ? 5 : 600;
    waveform(state,
             testmedia::made("wave.m4a", testmedia::sine(seconds) + QStringList{"-ac", "2", "-c:a", "aac"}));
}
void BM_Waveform_WAV1h(benchmark::State& state) {
    const int seconds = bench::smokeMode() ? 5 : 3600;
    waveform(state, testmedia::made("wave.wav",
                                    testmedia::sine(seconds) + QStringList{"-ac", "2", "-c:a", "pcm_s16le"}));
}

// Heap in use, the large blocks the allocator maps on its own (frames) included.
size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Engines prepared, swept across 48 buckets and reset in turn, as a grid scrolled through them.
double peakHeapMiB(int engineCount, int budgetLimit) {
    ScrubCacheBudget budget(budgetLimit);
    std::vector<std::unique_ptr<ScrubEngine>> engines;
    std::vector<std::shared_ptr<FakeScrubFrameSource>> sources;
    const size_t before = heapInUse();
    size_t peak = before;
    for (int i = 0; i < engineCount; ++i) {
        sources.push_back(std::make_shared<FakeScrubFrameSource>());
        engines.push_back(std::make_unique<ScrubEngine>(QStringLiteral("/m/%1.mov").arg(i), sources.back(),
                                                        ScrubEnginePolicy{}, &budget));
        ScrubEngine& engine = *engines.back();
        engine.prepare();
        sources.back()->answerLoad(59, taggedFrame(1, ScrubEngine::frameSize));
        for (int bucket = 0; bucket < ScrubEngine::cacheLimit; ++bucket) {
            engine.scrub(bucket / 59.0 + 1e-9);
            sources.back()->answerFrame(taggedFrame(bucket, ScrubEngine::frameSize));
        }
        engine.endHover();
        engine.reset();
        peak = std::max(peak, heapInUse());
    }
    return double(peak - before) / 1048576.0;
}

void BM_ScrubEngines200_Memory(benchmark::State& state) {
    const int engines = bench::smokeMode() ? 20 : 200;
    double bounded = 0;
    double unbounded = 0;
    for (auto _ : state) {
        bounded = peakHeapMiB(engines, ScrubCacheBudget::defaultEngineLimit);
        unbounded = peakHeapMiB(engines, engines);
    }
    state.counters["budget_peak_MiB"] = bounded;
    state.counters["unbounded_peak_MiB"] = unbounded;
    state.counters["load"] = bench::loadAverage();
}

} // namespace

BENCHMARK(BM_Thumbnails40_H264)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thumbnails40_ProRes)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thumbnails40_MXF)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrubSweep_H264_GOP12)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrubSweep_H264_GOP250)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrubSweep_ProRes)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Waveform_AAC10min)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Waveform_WAV1h)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrubEngines200_Memory)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // placeholders draw text
    AppLog::setSink([](const AppLog::Record&) {});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
