#include "model/MediaFile.h"
#include "platform/AppLog.h"
#include "support/BenchSupport.h"
#include "ui/cards/ClipCardGrid.h"
#include "ui/preview/ScrubEngine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

using namespace tarnwick;

namespace {

QList<MediaFile> cards(int n) {
    QList<MediaFile> files;
    files.reserve(n);
    for (int i = 0; i < n; ++i) {
        MediaFile f;
        f.path = QStringLiteral("/media/bench/Day%1/A%2_C%3.mov").arg(i / 500).arg(i).arg(i % 97);
        f.size = 1000 + qint64(i) * 4096;
        f.usageCount = i % 3;
        f.status = MediaFileStatus::online;
        f.projectNames = {QStringLiteral("Show %1").arg(i % 20)};
        files.append(f);
    }
    return files;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

// Scrolls the whole grid of 10,000 cards a screen-third at a time, painting each frame; the
// reference is repainting the same screen without scrolling.
void BM_ScrollCards(benchmark::State& state) {
    const int n = bench::smokeMode() ? 60 : 10'000;
    // Engines without a playable file: nothing is decoded, the cards draw their placeholders.
    ClipCardGrid grid(
        {}, [](const MediaFile&, QObject* parent) { return new ScrubEngine(std::nullopt, parent); });
    grid.resize(1000, 720);
    grid.setFiles(cards(n));
    grid.show();
    QCoreApplication::processEvents();
    QImage canvas(grid.size(), QImage::Format_ARGB32_Premultiplied);
    QScrollBar* bar = grid.verticalScrollBar();
    const int step = std::max(1, grid.viewport()->height() / 3);
    for (auto _ : state) {
        std::vector<double> frames, idle;
        int maxLive = 0;
        for (int value = 0; value <= bar->maximum(); value += step) {
            QElapsedTimer timer;
            timer.start();
            grid.render(&canvas);
            idle.push_back(double(timer.nsecsElapsed()) / 1e6);
            timer.restart();
            bar->setValue(value);
            QCoreApplication::processEvents();
            grid.render(&canvas);
            frames.push_back(double(timer.nsecsElapsed()) / 1e6);
            maxLive = std::max(maxLive, grid.cardWidgetCount());
        }
        state.counters["frame_p50_ms"] = percentile(frames, 0.5);
        state.counters["frame_p95_ms"] = percentile(frames, 0.95);
        state.counters["repaint_p95_ms"] = percentile(idle, 0.95);
        state.counters["max_card_widgets"] = maxLive;
        state.counters["columns"] = grid.layout().columns;
    }
    double load[1] = {0};
    if (getloadavg(load, 1) == 1)
        state.counters["loadavg"] = load[0];
}

} // namespace

BENCHMARK(BM_ScrollCards)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    AppLog::setSink([](const AppLog::Record&) {});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
