// The tool sheets' hot paths: the easy import's folder scan against `find` on the same tree, with
// the GUI thread's longest stall while the sheet scans, and the audit log viewer opening with
// 100,000 entries. Figures are medians of interleaved pairs in one run, with the load average.
#include "platform/AppLog.h"
#include "platform/JsonForm.h"
#include "stores/AuditLogManager.h"
#include "stores/SecurityScopedAccess.h"
#include "support/BenchSupport.h"
#include "support/FakeAccessGrantBackend.h"
#include "support/ProjectManagerHarness.h"
#include "ui/common/FilePanel.h"
#include "ui/tools/AuditLogView.h"
#include "ui/tools/EasyImportScan.h"
#include "ui/tools/EasyImportSheet.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tarnwick;

namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "ToolSheetsBench";
    static char* argv[] = {name, nullptr};
    static QApplication* app =
        qobject_cast<QApplication*>(QCoreApplication::instance()) ? nullptr : new QApplication(argc, argv);
    return app ? *app : *qobject_cast<QApplication*>(QCoreApplication::instance());
}

QString loadAverages() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly)
               ? QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2)
               : QStringLiteral("?");
}

// `entries` entries: folders of 100 files, one file in 50 a project.
void makeTree(const QString& root, int entries) {
    int made = 0;
    for (int folder = 0; made < entries; ++folder) {
        const QString dir = root + QStringLiteral("/shoot%1/day%2").arg(folder / 10).arg(folder % 10);
        QDir().mkpath(dir);
        made += 1;
        for (int i = 0; i < 100 && made < entries; ++i, ++made) {
            QFile f(dir + (i % 50 == 0 ? QStringLiteral("/edit%1.prproj").arg(i)
                                       : QStringLiteral("/clip%1.mov").arg(i)));
            (void)f.open(QIODevice::WriteOnly);
        }
    }
}

class NoPanel : public FilePanel {
public:
    QDialog* open(QWidget*, const OpenPanelRequest&, Chosen chosen) override {
        chosen({});
        return nullptr;
    }
};

void BM_EasyImportScanVsFind(benchmark::State& state) {
    application();
    const int entries = int(state.range(0));
    QTemporaryDir dir;
    makeTree(dir.path(), entries);
    const int pairs = bench::smokeMode() ? 1 : 5;
    for (auto _ : state) {
        std::vector<double> ours, reference;
        qsizetype found = 0;
        for (int pair = 0; pair < pairs; ++pair) {
            auto runOurs = [&] {
                QElapsedTimer t;
                t.start();
                found = EasyImportScan::scan(dir.path(), {}).size();
                ours.push_back(t.nsecsElapsed() / 1e6);
            };
            auto runFind = [&] {
                QElapsedTimer t;
                t.start();
                QProcess find;
                find.start(QStringLiteral("find"),
                           {dir.path(), QStringLiteral("-name"), QStringLiteral("*.prproj")});
                find.waitForFinished(-1);
                benchmark::DoNotOptimize(find.readAllStandardOutput());
                reference.push_back(t.nsecsElapsed() / 1e6);
            };
            if (pair % 2 == 0) {
                runOurs();
                runFind();
            } else {
                runFind();
                runOurs();
            }
        }
        state.counters["scan_ms"] = bench::median(ours);
        state.counters["find_ms"] = bench::median(reference);
        state.counters["ratio"] = bench::median(ours) / bench::median(reference);
        state.counters["projects"] = double(found);
        std::printf("easy-import scan %d entries: %.1f ms, find %.1f ms, ratio %.2f (load %s)\n", entries,
                    bench::median(ours), bench::median(reference),
                    bench::median(ours) / bench::median(reference), qPrintable(loadAverages()));
    }
}

// The GUI thread's longest gap between timer turns while the sheet scans the tree.
void BM_EasyImportSheetStall(benchmark::State& state) {
    application();
    const int entries = int(state.range(0));
    QTemporaryDir dir;
    makeTree(dir.path(), entries);
    testing::ProjectManagerHarness harness;
    auto backend = std::make_shared<FakeAccessGrantBackend>();
    SecurityScopedAccess grants(dir.filePath(QStringLiteral("grants")), backend, false);
    NoPanel panel;
    for (auto _ : state) {
        EasyImportSheet sheet(harness.pm(), panel, grants, {});
        bool done = false;
        QObject::connect(&sheet, &EasyImportSheet::scanFinished, [&] { done = true; });
        QElapsedTimer gap;
        qint64 longest = 0;
        QTimer tick;
        tick.setInterval(2);
        QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, gap.restart()); });
        gap.start();
        tick.start();
        sheet.startScan(dir.path());
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        state.counters["longest_stall_ms"] = double(longest);
        state.counters["found"] = double(sheet.foundProjects().size());
        std::printf("easy-import sheet %d entries: GUI thread's longest stall %lld ms (load %s)\n", entries,
                    longest, qPrintable(loadAverages()));
    }
}

// From making the viewer over the whole log to its first painted frame.
void BM_AuditLogViewerOpen(benchmark::State& state) {
    application();
    AppLog::setSink([](const AppLog::Record&) {});
    const int count = int(state.range(0));
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-400);
    // The log file as the store writes it, streamed.
    QTemporaryDir dir;
    {
        QFile file(dir.filePath(QStringLiteral("audit_log.json")));
        if (!file.open(QIODevice::WriteOnly))
            state.SkipWithError("could not write the log");
        QByteArray chunk = "[";
        for (int i = 0; i < count; ++i) {
            AuditLogEntry e;
            e.timestamp = start.addSecs(qint64(i) * 30 - (i % 7) * 60);
            e.action = AuditAction(i % 5);
            e.filePath = QStringLiteral("/Volumes/Media/Shoot/Day%1/clip%2.mov").arg(i % 30).arg(i);
            e.fileName = QStringLiteral("clip%1.mov").arg(i);
            e.fileSize = 1'000'000 + i;
            e.projectNames = {QStringLiteral("Promo")};
            if (i % 5 == 2)
                e.destinationPath = QStringLiteral("/Volumes/Archive/clip%1.mov").arg(i);
            chunk += (i > 0 ? "," : "") + json::encode(e.toJson());
            if (chunk.size() > (1 << 20)) {
                file.write(chunk);
                chunk.clear();
            }
        }
        file.write(chunk + "]");
    }
    std::vector<double> times;
    std::vector<double> guiTimes;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        // The store as at start: the viewer reads it off the GUI thread, then paints.
        AuditLogManager log(dir.path(), nullptr);
        AuditLogView view(log);
        if (view.isLoading()) {
            QEventLoop loop;
            QObject::connect(&view, &AuditLogView::loaded, &loop, &QEventLoop::quit);
            loop.exec();
        }
        view.resize(560, 520);
        benchmark::DoNotOptimize(view.grab());
        times.push_back(t.nsecsElapsed() / 1e6);
        state.counters["first_paint_ms"] = times.back();
        // The GUI thread's share: the sheet over a log already read (rows ordered, first frame).
        AuditLogManager read(dir.path(), nullptr);
        read.count();
        QElapsedTimer gui;
        gui.start();
        AuditLogView shown(read);
        shown.resize(560, 520);
        benchmark::DoNotOptimize(shown.grab());
        guiTimes.push_back(gui.nsecsElapsed() / 1e6);
    }
    state.counters["gui_thread_ms"] = bench::median(guiTimes);
    std::printf(
        "audit log viewer %d entries: first paint %.1f ms, GUI thread %.1f ms, median of %zu (load %s)\n",
        count, bench::median(times), bench::median(guiTimes), times.size(), qPrintable(loadAverages()));
}

int size(int full, int smoke) {
    return bench::smokeMode() ? smoke : full;
}

} // namespace

BENCHMARK(BM_EasyImportScanVsFind)->Arg(size(100'000, 2'000))->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EasyImportSheetStall)->Arg(size(100'000, 2'000))->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AuditLogViewerOpen)
    ->Apply([](benchmark::internal::Benchmark* b) {
        b->Arg(size(100'000, 1'000));
        if (!bench::smokeMode())
            b->Arg(1'000'000);
    })
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
