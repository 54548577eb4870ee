#include "platform/Preferences.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <vector>

namespace tarnwick {
namespace {

TEST(Preferences, WritesAreOnDiskAtOnce) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("prefs.ini");
    Preferences preferences(ini);
    EXPECT_FALSE(preferences.contains("sequenceUsagePolicy.v1"));
    preferences.setValue("sequenceUsagePolicy.v1", QByteArray("{\"rules\":[]}"));
    preferences.setValue("review.successCount", 3);
    EXPECT_TRUE(preferences.lastWriteSucceeded());

    QSettings reader(ini, QSettings::IniFormat);
    EXPECT_EQ(reader.value("sequenceUsagePolicy.v1").toByteArray(), "{\"rules\":[]}");
    EXPECT_EQ(reader.value("review.successCount").toInt(), 3);

    preferences.remove("review.successCount");
    EXPECT_FALSE(QSettings(ini, QSettings::IniFormat).contains("review.successCount"));
    EXPECT_EQ(preferences.bytes("sequenceUsagePolicy.v1"), QByteArray("{\"rules\":[]}"));
    EXPECT_FALSE(preferences.bytes("missing").has_value());
}

TEST(Preferences, IntegerFallsBackForAbsentOrNonNumericValues) {
    QTemporaryDir dir;
    Preferences preferences(dir.filePath("prefs.ini"));
    EXPECT_EQ(preferences.integer("n"), 0);
    EXPECT_EQ(preferences.integer("n", 7), 7);
    preferences.setValue("n", "not a number");
    EXPECT_EQ(preferences.integer("n", 7), 7);
    EXPECT_EQ(preferences.increment("n"), 1); // a damaged count restarts
    EXPECT_EQ(preferences.increment("n", 5), 6);
}

TEST(Preferences, IncrementsFromSeveralThreadsWithoutLosingCounts) {
    QTemporaryDir dir;
    Preferences preferences(dir.filePath("prefs.ini"));
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back(QThread::create([&preferences] {
            for (int i = 0; i < 25; ++i)
                preferences.increment("review.successCount");
        }));
        threads.back()->start();
    }
    for (auto& thread : threads)
        thread->wait();
    EXPECT_EQ(preferences.integer("review.successCount"), 100);
}

TEST(Preferences, SharedCanBeRedirected) {
    QTemporaryDir dir;
    Preferences local(dir.filePath("prefs.ini"));
    Preferences::setSharedOverride(&local);
    EXPECT_EQ(&Preferences::shared(), &local);
    Preferences::setSharedOverride(nullptr);
    EXPECT_NE(&Preferences::shared(), &local);
}

} // namespace
} // namespace tarnwick
