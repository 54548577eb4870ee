#include "ui/common/CommandCenter.h"
#include "support/UiTestHelpers.h"

#include <QCoreApplication>
#include <QSet>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

using namespace tarnwick;

namespace {

CommandPost validPost(Command command) {
    if (command == Command::openProjects)
        return OpenProjects{{QUrl::fromLocalFile("/p/a.prproj"), QUrl::fromLocalFile("/p/b.prproj")}};
    if (command == Command::importDaVinciCSV)
        return ImportDaVinciCSV{QUrl::fromLocalFile("/p/unused.csv")};
    return command;
}

} // namespace

// Logs name a command by its identifier; a command without a name, or two sharing one, would make
// them ambiguous.
TEST(CommandCenter, NamesEveryCommandByItsOwnIdentifierInItsLogs) {
    QSet<QString> names;
    for (const Command command : allCommands())
        names.insert(text(command));
    EXPECT_EQ(names.size(), allCommands().size());
    EXPECT_FALSE(names.contains(QString()));

    UiLogCapture log;
    CommandCenter center;
    EXPECT_FALSE(center.post(Command::importDaVinciCSV));
    ASSERT_EQ(log.lines.size(), 1);
    EXPECT_TRUE(log.lines.first().contains(QStringLiteral("\"importDaVinciCSV\"")))
        << log.lines.first().toStdString();
}

TEST(CommandCenter, DeliversEachCommandWithItsPayloadToItsSubscriber) {
    CommandCenter center;
    QObject context;
    QList<std::pair<Command, CommandPost>> heard;
    for (const Command command : allCommands())
        center.subscribe(command, &context, [&heard, command](const CommandPost& p) {
            heard.append({command, p});
        });

    for (const Command command : allCommands())
        EXPECT_TRUE(center.post(validPost(command))) << text(command).toStdString();

    ASSERT_EQ(heard.size(), allCommands().size());
    for (qsizetype i = 0; i < heard.size(); ++i) {
        const Command command = allCommands()[i];
        EXPECT_EQ(heard[i].first, command);
        EXPECT_TRUE(heard[i].second == validPost(command)) << text(command).toStdString();
    }
    EXPECT_EQ(std::get<OpenProjects>(heard[1].second).urls,
              (QList<QUrl>{QUrl::fromLocalFile("/p/a.prproj"), QUrl::fromLocalFile("/p/b.prproj")}));
}

// The types leave only these ways to post a command that cannot be run.
TEST(CommandCenter, RefusesURLCommandsWithoutUsableURLs) {
    const QUrl csv = QUrl::fromLocalFile("/p/x.csv");
    struct Case {
        const char* what;
        CommandPost post;
    };
    const QList<Case> refused{
        {"open projects posted bare", Command::openProjects},
        {"urls with an empty url", OpenProjects{{csv, QUrl()}}},
        {"csv posted bare", Command::importDaVinciCSV},
        {"csv url empty", ImportDaVinciCSV{QUrl()}},
    };
    UiLogCapture log;
    CommandCenter center;
    QObject context;
    int delivered = 0;
    for (const Command command : allCommands())
        center.subscribe(command, &context, [&delivered](const CommandPost&) { ++delivered; });
    for (const auto& c : refused) {
        EXPECT_FALSE(CommandCenter::isValidPost(c.post)) << c.what;
        EXPECT_FALSE(center.post(c.post)) << c.what;
    }
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(log.lines.size(), refused.size());
    EXPECT_TRUE(CommandCenter::isValidPost(OpenProjects{}));
}

TEST(CommandCenter, PostsFromAWorkerThreadArriveOnTheCentresThread) {
    CommandCenter center;
    QObject context;
    QThread* deliveredOn = nullptr;
    int count = 0;
    center.subscribe(Command::proVideoFormatsRecommended, &context, [&](const CommandPost&) {
        deliveredOn = QThread::currentThread();
        ++count;
    });
    std::unique_ptr<QThread> worker(
        QThread::create([&center] { center.post(Command::proVideoFormatsRecommended); }));
    worker->start();
    worker->wait();
    EXPECT_EQ(count, 0); // queued, not run on the worker
    QCoreApplication::processEvents();
    EXPECT_EQ(count, 1);
    EXPECT_EQ(deliveredOn, center.thread());
}

TEST(CommandCenter, SubscriptionEndsWithItsContext) {
    CommandCenter center;
    int heard = 0;
    {
        QObject context;
        center.subscribe(Command::clearAllProjects, &context, [&heard](const CommandPost&) { ++heard; });
        center.post(Command::clearAllProjects);
    }
    center.post(Command::clearAllProjects);
    EXPECT_EQ(heard, 1);
}

TEST(CommandCenter, SharedCentreBelongsToTheGuiThreadEvenWhenFirstReachedFromAWorker) {
    CommandCenter* shared = nullptr;
    std::unique_ptr<QThread> worker(QThread::create([&shared] { shared = &CommandCenter::shared(); }));
    worker->start();
    worker->wait();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->thread(), QCoreApplication::instance()->thread());
}
