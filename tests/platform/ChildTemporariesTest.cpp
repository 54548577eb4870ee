#include "support/ChildTemporaries.h"
#include "support/ChildMarkers.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using namespace tarnwick::testing;

// The child below: makes a temporary folder the usual way, says where, and waits to be killed.
TEST(ChildTemporariesChild, MakesATemporaryFolderAndWaits) {
    if (qEnvironmentVariableIsEmpty("TARNWICK_TEMPORARIES_CHILD"))
        GTEST_SKIP() << "started by ChildTemporaries only";
    QTemporaryDir made;
    ChildMarkers::say("made " + made.path().toLocal8Bit());
    char line[16];
    (void)std::fgets(line, sizeof line, stdin); // never answered: the harness kills us first
}

// A killed child cannot remove what it made; its harness's folder takes it along.
TEST(ChildTemporaries, WhatAKilledChildMadeGoesWithTheHarnessFolder) {
    auto harness = std::make_unique<QTemporaryDir>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TARNWICK_TEMPORARIES_CHILD"), QStringLiteral("1"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    keepChildTemporariesIn(environment, harness->path());
    QProcess child;
    ChildMarkers markers;
    markers.prepare(child, environment);
    child.setProcessEnvironment(environment);
    const QString log = harness->filePath(QStringLiteral("child.log"));
    logChildTo(child, log);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=ChildTemporariesChild.MakesATemporaryFolderAndWaits")});
    ASSERT_TRUE(child.waitForStarted(30000));
    markers.started();
    const std::optional<QByteArray> said = markers.nextLine();
    ASSERT_TRUE(said && said->startsWith("made ")) << childLog(log);
    child.kill();
    ASSERT_TRUE(child.waitForFinished(30000));
    const QString made = QString::fromLocal8Bit(said->mid(5));
    EXPECT_TRUE(made.startsWith(harness->path() + u'/')) << made.toStdString();
    EXPECT_TRUE(QFileInfo::exists(made)) << "left behind by the kill";
    harness.reset();
    EXPECT_FALSE(QFileInfo::exists(made));
}
