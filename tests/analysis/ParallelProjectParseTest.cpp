#include "analysis/ParallelProjectParse.h"

#include "platform/Error.h"
#include "support/PeakGate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QThread>

#include <atomic>

using namespace tarnwick;

namespace {

QList<QUrl> urls(int count) {
    QList<QUrl> list;
    for (int i = 0; i < count; ++i)
        list.append(QUrl::fromLocalFile(QStringLiteral("/p/project%1.prproj").arg(i)));
    return list;
}

// Counts how many parses run at once; the first `expected` wait until that many run together.
struct ConcurrencyProbe {
    explicit ConcurrencyProbe(int expected = 1) : gate(expected) {}
    test::PeakGate gate;

    ParallelProjectParse::ParseFunction function() {
        return [this](const QUrl& url, const ParallelProjectParse::Progress& progress) {
            gate.enter();
            progress(QStringLiteral("Reading…"), 0.5);
            gate.leave();
            ParsedProject parsed;
            parsed.project.url = url;
            parsed.project.name = url.fileName();
            return parsed;
        };
    }
};

} // namespace

TEST(ParallelProjectParse, ReadsAtMostWidthProjectsAtOnce) {
    for (int width : {1, 4, 6}) {
        SCOPED_TRACE(width);
        ConcurrencyProbe probe(width);
        ParallelProjectParse parse(probe.function(), width);
        const QList<ParseOutcome> outcomes = QCoro::waitFor(parse.run(urls(12), {}));
        EXPECT_EQ(outcomes.size(), 12);
        EXPECT_EQ(probe.gate.peak(), width);
    }
}

TEST(ParallelProjectParse, HandsBackEveryOutcomeWithProgressBeforeItsFinish) {
    ConcurrencyProbe probe;
    ParallelProjectParse parse(probe.function(), 4);
    QStringList events;
    ParallelProjectParse::Callbacks callbacks;
    callbacks.progress = [&](const QUrl& url, const QString& message, double fraction) {
        events << QStringLiteral("progress %1 %2 %3").arg(url.fileName(), message).arg(fraction);
    };
    callbacks.finished = [&](const ParseOutcome& o) {
        events << QStringLiteral("finished ") + o.url.fileName();
    };
    const QList<ParseOutcome> outcomes = QCoro::waitFor(parse.run(urls(3), callbacks));
    ASSERT_EQ(outcomes.size(), 3);
    for (const ParseOutcome& o : outcomes) {
        ASSERT_TRUE(o.parsed.has_value());
        EXPECT_EQ(o.parsed->project.name, o.url.fileName());
        const qsizetype progressAt = events.indexOf("progress " + o.url.fileName() + " Reading… 0.5");
        const qsizetype finishedAt = events.indexOf("finished " + o.url.fileName());
        EXPECT_GE(progressAt, 0);
        EXPECT_LT(progressAt, finishedAt);
    }
}

TEST(ParallelProjectParse, TurnsAThrowingReaderIntoAnErrorOutcome) {
    ParallelProjectParse parse(
        [](const QUrl& url, const ParallelProjectParse::Progress&) -> ParsedProject {
            if (url.fileName() == "project1.prproj")
                throw Error(
                    QStringLiteral("Failed to decompress project file: Failed to decompress gzip data"));
            if (url.fileName() == "project2.prproj")
                throw std::runtime_error("disk gone");
            return {};
        },
        2);
    const QList<ParseOutcome> outcomes = QCoro::waitFor(parse.run(urls(3), {}));
    ASSERT_EQ(outcomes.size(), 3);
    QHash<QString, QString> errors;
    for (const ParseOutcome& o : outcomes) {
        EXPECT_NE(o.parsed.has_value(), !o.error.isEmpty());
        errors.insert(o.url.fileName(), o.error);
    }
    EXPECT_EQ(errors.value("project1.prproj"),
              "Failed to decompress project file: Failed to decompress gzip data");
    EXPECT_EQ(errors.value("project2.prproj"), "disk gone");
    EXPECT_TRUE(errors.value("project0.prproj").isEmpty());
}

TEST(ParallelProjectParse, EmptySelectionFinishesAtOnce) {
    ParallelProjectParse parse(
        [](const QUrl&, const ParallelProjectParse::Progress&) { return ParsedProject{}; }, 4);
    EXPECT_TRUE(QCoro::waitFor(parse.run({}, {})).isEmpty());
}
