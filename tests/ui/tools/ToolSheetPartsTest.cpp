#include "ui/tools/ToolSheetParts.h"

#include <QCoreApplication>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>

using namespace tarnwick;

TEST(ToolSheetParts, ProgressFromAWorkerReachesTheSheetOnlyWhileItExists) {
    QStringList shown;
    auto sheet = std::make_unique<QObject>();
    const auto progress = progressOnGuiThread(sheet.get(), [&shown](const QString& text) {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        shown.append(text);
    });
    std::unique_ptr<QThread> worker(
        QThread::create([&progress] { progress(QStringLiteral("Scanning Day 1...")); }));
    worker->start();
    worker->wait();
    EXPECT_TRUE(shown.isEmpty()); // posted, not called on the worker
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, QStringList{QStringLiteral("Scanning Day 1...")});

    progress(QStringLiteral("Scanning Day 2..."));
    sheet.reset(); // the sheet closed before the report arrived
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.size(), 1);
}
