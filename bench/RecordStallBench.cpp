// The GUI thread's longest stall where a clean-up's records meet the review prompt: the end of a
// Move to Trash run of 10,000 and 50,000 files, and the start after a run of 50,000 was killed, each
// as the app does them (its review prompt on a settings file of its own, the audit log reporting to
// it) against the same without the prompt, in interleaved pairs. At 1,000 files the prompt counted
// entry by entry (the code before: a settings write and sync per entry) is timed as well, and at
// start the merge held on the GUI thread (where it ran before, holding the window back).
#include "actions/CleanupServices.h"
#include "actions/RecordMerge.h"
#include "actions/RemovalRun.h"
#include "actions/TraceFileWriter.h"
#include "app/StartRecords.h"
#include "platform/AppLog.h"
#include "platform/FileOperations.h"
#include "platform/Preferences.h"
#include "stores/AuditLogManager.h"
#include "stores/RecordRun.h"
#include "stores/StatsManager.h"
#include "support/BenchSupport.h"
#include "support/CleanupHarness.h"
#include "support/ProcessFacts.h"
#include "support/StagedMedia.h"
#include "ui/common/ReviewPrompt.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <qcoro/qcorotask.h>

#include <cstdio>
#include <memory>
#include <vector>

using namespace tarnwick;

namespace {

constexpr int pairs = 5;

// Who hears of the run's entries: nobody, the app's prompt, or the prompt entry by entry.
enum class Hook { none, prompt, perEntry };

// The prompt as it was: every entry one call, so one settings write and sync each.
class PerEntryPrompt : public ReviewHook {
public:
    explicit PerEntryPrompt(std::shared_ptr<ReviewPrompt> prompt) : m_prompt(std::move(prompt)) {}
    void recordSuccess(AuditAction action) override { m_prompt->recordSuccess(action); }

private:
    std::shared_ptr<ReviewPrompt> m_prompt;
};

// The app's prompt on a settings file of its own, asked long ago and answered (so it counts only).
struct PromptOnFile {
    explicit PromptOnFile(const QString& folder)
        : preferences(folder + QStringLiteral("/Tarnwick.conf")),
          prompt(std::make_shared<ReviewPrompt>(
              preferences, [] { return QDateTime::currentDateTimeUtc(); },
              [](const QUrl&) { return true; })) {
        preferences.setValue(ReviewPrompt::successCountKey, 12);
        preferences.setValue(ReviewPrompt::answeredKey, true);
    }
    std::shared_ptr<ReviewHook> hook(Hook kind) const {
        switch (kind) {
        case Hook::none:
            return nullptr;
        case Hook::prompt:
            return prompt;
        case Hook::perEntry:
            return std::make_shared<PerEntryPrompt>(prompt);
        }
        return nullptr;
    }
    Preferences preferences;
    std::shared_ptr<ReviewPrompt> prompt;
};

// The app's log lines go to the journal on a writer thread; here they would only fill the output.
void quietLog() {
    AppLog::setSink([](const AppLog::Record&) {});
}

struct Stall {
    double longestMs = 0;
    double totalMs = 0;
};

// A Move to Trash of `count` staged files as the window runs it; the GUI thread's longest stall.
Stall timeRunEnd(int count, Hook hook) {
    testing::CleanupHarness h;
    quietLog(); // after the harness's own capture
    const PromptOnFile settings(h.dir.path());
    h.audit.setReviewHook(settings.hook(hook));
    bench::stageAll(h.pm(), bench::makeMediaFiles(h.mediaDir.filePath(QStringLiteral("media")), count));
    CleanupServices services = h.services();
    services.traceWriter = nullptr;
    services.files = FileOperations::system();
    QElapsedTimer clock;
    clock.start();
    const bench::StallMeter stalls;
    const ActionResult result = QCoro::waitFor(runRemoval(h.pm(), services, RemovalMethod::trash));
    Stall stall{double(stalls.longestMs()), double(clock.nsecsElapsed()) / 1e6};
    if (result.succeeded != count)
        std::fprintf(stderr, "run trashed %lld of %d\n", static_cast<long long>(result.succeeded), count);
    if (settings.preferences.integer(ReviewPrompt::successCountKey) != (hook == Hook::none ? 12 : 12 + count))
        std::fprintf(stderr, "the prompt counted %lld\n",
                     static_cast<long long>(settings.preferences.integer(ReviewPrompt::successCountKey)));
    return stall;
}

// The start after a Move to Trash of `count` files was killed once every file had gone: the merge
// as the app runs it (the window shown, its disk work on a worker), or held on the GUI thread.
Stall timeStart(int count, Hook hook, bool onGuiThread) {
    testing::ProjectManagerHarness h;
    quietLog();
    const PromptOnFile settings(h.dir.path());
    const QString gone = h.dir.filePath(QStringLiteral("media"));
    QDir().mkpath(gone);
    {
        RecordRun run(&h.audit.journal(), RecordKind::trash, false);
        for (int i = 0; i < count; ++i) {
            MediaFile file = testing::media(gone + QStringLiteral("/A%1_C001.mov").arg(i), 0,
                                            MediaFileStatus::inRecycleBin, 11);
            FileRecord record;
            record.entry = AuditLogEntry::make(AuditAction::movedToTrash, file, std::nullopt);
            record.target = file.path;
            record.files = 1;
            record.bytes = 11;
            run.intend(record);
        }
        run.sync();
    }
    h.audit.setReviewHook(settings.hook(hook));
    QElapsedTimer clock;
    clock.start();
    const bench::StallMeter stalls;
    int closed = 0;
    if (onGuiThread) {
        closed = RecordMerge::mergeAtStart({&h.audit, &h.stats, nullptr}, *FileOperations::system());
    } else {
        closed = QCoro::waitFor(mergeStartRecords(h.pm(), FileOperations::system()));
    }
    Stall stall{double(stalls.longestMs()), double(clock.nsecsElapsed()) / 1e6};
    if (closed != 1 || h.stats.stats().filesDeleted != count)
        std::fprintf(stderr, "start closed %d run(s), %lld files counted\n", closed,
                     static_cast<long long>(h.stats.stats().filesDeleted));
    return stall;
}

void report(benchmark::State& state, const char* name, const std::vector<Stall>& runs) {
    std::vector<double> longest;
    std::vector<double> total;
    for (const Stall& s : runs) {
        longest.push_back(s.longestMs);
        total.push_back(s.totalMs);
    }
    state.counters[std::string(name) + "_stall_ms"] = bench::median(longest);
    state.counters[std::string(name) + "_ms"] = bench::median(total);
}

void verbose(const char* what, int pair, const Stall& s) {
    if (qEnvironmentVariableIsSet("TARNWICK_BENCH_VERBOSE"))
        std::fprintf(stderr, "pair %d %s: stall %.0f ms, total %.0f ms, load %.1f\n", pair + 1, what,
                     s.longestMs, s.totalMs, bench::loadAverage());
}

void BM_RunEndStall(benchmark::State& state) {
    const int count = int(state.range(0));
    const bool before = state.range(1) != 0;
    for (auto _ : state) {
        std::vector<Stall> prompt;
        std::vector<Stall> none;
        std::vector<Stall> perEntry;
        std::vector<double> load;
        for (int i = 0; i < (bench::smokeMode() ? 1 : pairs); ++i) {
            // Who goes first alternates: the Trash and the store grow with each run.
            if (i % 2 == 0) {
                prompt.push_back(timeRunEnd(count, Hook::prompt));
                none.push_back(timeRunEnd(count, Hook::none));
            } else {
                none.push_back(timeRunEnd(count, Hook::none));
                prompt.push_back(timeRunEnd(count, Hook::prompt));
            }
            verbose("prompt", i, prompt.back());
            verbose("none", i, none.back());
            if (before) {
                perEntry.push_back(timeRunEnd(count, Hook::perEntry));
                verbose("per entry", i, perEntry.back());
            }
            load.push_back(bench::loadAverage());
        }
        report(state, "prompt", prompt);
        report(state, "no_prompt", none);
        if (before)
            report(state, "per_entry", perEntry);
        state.counters["load"] = bench::median(load);
    }
}

void BM_StartAfterKilledRunStall(benchmark::State& state) {
    const int count = int(state.range(0));
    for (auto _ : state) {
        std::vector<Stall> prompt;
        std::vector<Stall> none;
        std::vector<Stall> held;
        std::vector<double> load;
        for (int i = 0; i < (bench::smokeMode() ? 1 : pairs); ++i) {
            if (i % 2 == 0) {
                prompt.push_back(timeStart(count, Hook::prompt, false));
                none.push_back(timeStart(count, Hook::none, false));
            } else {
                none.push_back(timeStart(count, Hook::none, false));
                prompt.push_back(timeStart(count, Hook::prompt, false));
            }
            held.push_back(timeStart(count, Hook::prompt, true));
            verbose("prompt", i, prompt.back());
            verbose("none", i, none.back());
            verbose("held on the GUI thread", i, held.back());
            load.push_back(bench::loadAverage());
        }
        report(state, "prompt", prompt);
        report(state, "no_prompt", none);
        report(state, "gui_thread", held);
        state.counters["load"] = bench::median(load);
    }
}

void runSizes(benchmark::internal::Benchmark* b) {
    if (bench::smokeMode())
        b->Args({200, 1});
    else
        b->Args({1000, 1})->Args({10000, 0})->Args({50000, 0});
}

} // namespace

BENCHMARK(BM_RunEndStall)->Apply(runSizes)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StartAfterKilledRunStall)
    ->Arg(bench::smokeMode() ? 200 : 50000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
