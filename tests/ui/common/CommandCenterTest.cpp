#include "ui/common/CommandCenter.h"
#include "support/UiTestHelpers.h"
#include "ui/common/CommandNames.h"

#include <QCoreApplication>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

using namespace tarnwick;

namespace {

QVariantMap urlsPayload(const QList<QUrl>& urls) {
    return {{CommandName::urlsKey, QVariant::fromValue(urls)}};
}

QVariantMap validPayload(const QString& name) {
    if (name == CommandName::openProjects)
        return urlsPayload({QUrl::fromLocalFile("/p/a.prproj"), QUrl::fromLocalFile("/p/b.prproj")});
    if (name == CommandName::importDaVinciCSV)
        return {{CommandName::urlKey, QUrl::fromLocalFile("/p/unused.csv")}};
    return {};
}

} // namespace

TEST(CommandCenter, KnowsTheSixteenNamesInSubscriptionOrder) {
    const QStringList expected{"showStats",
                               "openProjects",
                               "easyImport",
                               "importDaVinciCSV",
                               "viewAuditLog",
                               "searchOfflineFiles",
                               "refreshFileStatus",
                               "exportUnusedCSV",
                               "addAllUnused",
                               "moveUnusedToFolder",
                               "clearAllProjects",
                               "showWelcomeGuide",
                               "manageProtectedFolders",
                               "manageSequenceUsage",
                               "grantDriveAccess",
                               "proVideoFormatsRecommended"};
    EXPECT_EQ(CommandName::all(), expected);
}

TEST(CommandCenter, DeliversEachCommandWithItsPayloadToItsSubscriber) {
    CommandCenter center;
    QObject context;
    QList<std::pair<QString, QVariantMap>> heard;
    for (const auto& name : CommandName::all())
        center.subscribe(name, &context, [&heard, name](const QVariantMap& p) { heard.append({name, p}); });

    for (const auto& name : CommandName::all())
        EXPECT_TRUE(center.post(name, validPayload(name))) << name.toStdString();

    ASSERT_EQ(heard.size(), 16);
    for (qsizetype i = 0; i < heard.size(); ++i) {
        const auto& name = CommandName::all()[i];
        EXPECT_EQ(heard[i].first, name);
        EXPECT_EQ(heard[i].second, validPayload(name)) << name.toStdString();
    }
    const auto urls = heard[1].second.value(CommandName::urlsKey).value<QList<QUrl>>();
    EXPECT_EQ(urls, (QList<QUrl>{QUrl::fromLocalFile("/p/a.prproj"), QUrl::fromLocalFile("/p/b.prproj")}));
}

TEST(CommandCenter, RefusesPayloadsOfTheWrongShape) {
    const QUrl csv = QUrl::fromLocalFile("/p/x.csv");
    struct Case {
        const char* what;
        QString name;
        QVariantMap payload;
    };
    const QList<Case> refused{
        {"unknown name", "openProject", {}},
        {"plain command with payload",
         CommandName::showStats,
         {{"urls", QVariant::fromValue(QList<QUrl>{csv})}}},
        {"urls missing", CommandName::openProjects, {}},
        {"urls as one url", CommandName::openProjects, {{"urls", csv}}},
        {"urls as text", CommandName::openProjects, {{"urls", QStringList{"/p/a.prproj"}}}},
        {"urls with an empty url", CommandName::openProjects, urlsPayload({csv, QUrl()})},
        {"extra key",
         CommandName::openProjects,
         {{"urls", QVariant::fromValue(QList<QUrl>{csv})}, {"url", csv}}},
        {"csv url missing", CommandName::importDaVinciCSV, {}},
        {"csv url as text", CommandName::importDaVinciCSV, {{"url", QStringLiteral("/p/x.csv")}}},
        {"csv url under urls",
         CommandName::importDaVinciCSV,
         {{"urls", QVariant::fromValue(QList<QUrl>{csv})}}},
    };
    UiLogCapture log;
    CommandCenter center;
    QObject context;
    int delivered = 0;
    for (const auto& name : CommandName::all())
        center.subscribe(name, &context, [&delivered](const QVariantMap&) { ++delivered; });
    for (const auto& c : refused) {
        EXPECT_FALSE(CommandCenter::isValidPost(c.name, c.payload)) << c.what;
        EXPECT_FALSE(center.post(c.name, c.payload)) << c.what;
    }
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(log.lines.size(), refused.size());
    EXPECT_TRUE(CommandCenter::isValidPost(CommandName::openProjects, urlsPayload({})));
}

TEST(CommandCenter, PostsFromAWorkerThreadArriveOnTheCentresThread) {
    CommandCenter center;
    QObject context;
    QThread* deliveredOn = nullptr;
    int count = 0;
    center.subscribe(CommandName::proVideoFormatsRecommended, &context, [&](const QVariantMap&) {
        deliveredOn = QThread::currentThread();
        ++count;
    });
    std::unique_ptr<QThread> worker(
        QThread::create([&center] { center.post(CommandName::proVideoFormatsRecommended); }));
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
        center.subscribe(CommandName::clearAllProjects, &context, [&heard](const QVariantMap&) { ++heard; });
        center.post(CommandName::clearAllProjects);
    }
    center.post(CommandName::clearAllProjects);
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
