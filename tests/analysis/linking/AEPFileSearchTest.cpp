#include "analysis/AEPFileSearch.h"
#include "analysis/AEPParseRequests.h"

#include "support/AEPRifxBuilder.h"
#include "support/DiskFactsLogCapture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace tarnwick;

namespace {

void touch(const QString& path, const QByteArray& bytes = "x") {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Many empty files, quickly.
void touchMany(const QString& folder, int count, const char* prefix) {
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        const QByteArray path = QFile::encodeName(folder) + '/' + prefix + QByteArray::number(i);
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
}

class RelocationSearch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        project = dir.filePath("Project");
        touch(project + "/Comp.aep");
        touch(project + "/AE/Titles.aep");
        touch(project + "/AE/Old/Archive.aep");
        touch(project + "/AE/.Hidden.aep");
        touch(project + "/.Beside.aep");
    }
    QTemporaryDir dir;
    QString project;
};

TEST_F(RelocationSearch, ShallowPassFindsTheFolderOwnEntriesHiddenOnesIncluded) {
    const FoundAEPFiles found =
        AEPFileSearch::findAEPFilesForRelocation({project, project}, false, 2, 100000);
    EXPECT_EQ(found.names, (QStringList{".beside.aep", "comp.aep"}));
    EXPECT_EQ(found.pathsByName.value("comp.aep"), QStringList{project + "/Comp.aep"});
}

TEST_F(RelocationSearch, DeepPassExaminesTwoLevelsSkipsHiddenAndNeverEntersLevelThree) {
    const FoundAEPFiles found = AEPFileSearch::findAEPFilesForRelocation({project}, true, 2, 100000);
    EXPECT_EQ(found.names, (QStringList{".beside.aep", "comp.aep", "titles.aep"}));
    EXPECT_FALSE(found.pathsByName.contains("archive.aep"));
    EXPECT_FALSE(found.pathsByName.contains(".hidden.aep"));
}

// Every file of a name is kept, once, the shallow pass's first: the caller judges which is the link's.
TEST_F(RelocationSearch, ASharedNameKeepsEveryFileOnceAndFoldersNeverCount) {
    touch(project + "/AE/COMP.AEP");
    QDir().mkpath(project + "/Folder.aep");
    QDir().mkpath(project + "/AE/Nested.aep");
    const FoundAEPFiles found = AEPFileSearch::findAEPFilesForRelocation({project}, true, 2, 100000);
    EXPECT_EQ(found.pathsByName.value("comp.aep"),
              (QStringList{project + "/Comp.aep", project + "/AE/COMP.AEP"}));
    EXPECT_EQ(found.paths.size(), 4); // the shallow pass's two and the deep pass's two more
    EXPECT_FALSE(found.pathsByName.contains("folder.aep"));
    EXPECT_FALSE(found.pathsByName.contains("nested.aep"));
    // A link to a project file is a file.
    ASSERT_EQ(::symlink(QFile::encodeName(project + "/Comp.aep").constData(),
                        QFile::encodeName(project + "/Alias.aep").constData()),
              0);
    EXPECT_TRUE(
        AEPFileSearch::findAEPFilesForRelocation({project}, false, 2, 1).pathsByName.contains("alias.aep"));
}

TEST_F(RelocationSearch, TheCapCountsEntriesOfEveryLevelAndStopsWithAWarning) {
    test::DiskFactsLogCapture log;
    // Deep pass of Project: AE, AE/Old, AE/Old/Archive.aep (level 3, counted), AE/Titles.aep, Comp.aep.
    const FoundAEPFiles capped = AEPFileSearch::findAEPFilesForRelocation({project}, true, 2, 3);
    EXPECT_TRUE(log.contains("AEP search hit the 3-file cap; stopping (relocation may be incomplete)"));
    EXPECT_EQ(capped.names, (QStringList{".beside.aep", "comp.aep"})); // the shallow pass's finds only
    test::DiskFactsLogCapture quiet;
    EXPECT_EQ(AEPFileSearch::findAEPFilesForRelocation({project}, true, 2, 5).names.size(), 3);
    EXPECT_FALSE(quiet.contains("file cap"));
}

TEST(RelocationSearchCap, OneHundredThousandEntriesAcrossFolders) {
    QTemporaryDir dir;
    const QString first = dir.filePath("First");
    const QString second = dir.filePath("Second");
    touchMany(first + "/Media", 60000, "f");
    touchMany(second + "/Media", 40000, "s");
    touch(first + "/Media/a.aep");   // early in the first folder's walk
    touch(second + "/Media/zz.aep"); // 100,004th entry: past the cap
    test::DiskFactsLogCapture log;
    const FoundAEPFiles found = AEPFileSearch::findAEPFilesForRelocation({first, second}, true, 2, 100000);
    EXPECT_TRUE(log.contains("AEP search hit the 100000-file cap"));
    EXPECT_TRUE(found.pathsByName.contains("a.aep"));
    EXPECT_FALSE(found.pathsByName.contains("zz.aep"));
}

TEST_F(RelocationSearch, MissingAndEmptyFoldersGiveNothingQuietly) {
    test::DiskFactsLogCapture log;
    EXPECT_TRUE(AEPFileSearch::findAEPFilesForRelocation({}, true, 2, 100000).isEmpty());
    EXPECT_TRUE(AEPFileSearch::findAEPFilesForRelocation({dir.filePath("gone")}, true, 2, 100000).isEmpty());
    EXPECT_TRUE(log.messages().isEmpty());
}

TEST_F(RelocationSearch, FullSearchWalksEveryLevelButSkipsHiddenPackagesAndFolders) {
    touch(project + "/Show.app/Contents/Bundled.aep");
    QDir().mkpath(project + "/Folder.aep");
    EXPECT_EQ(
        AEPFileSearch::findAEPFiles(project),
        (QStringList{project + "/AE/Old/Archive.aep", project + "/AE/Titles.aep", project + "/Comp.aep"}));
}

// ---- Parse requests and the cache ------------------------------------------------------------

// One request per file, whatever link or dot-dot the path takes; letter case makes another file.
TEST(AEPParseRequests, OneRequestPerFileWhateverLinkThePathTakes) {
    QTemporaryDir dir;
    touch(dir.filePath("Projects/Comp.aep"), "12345");
    ASSERT_EQ(::symlink(QFile::encodeName(dir.filePath("Projects")).constData(),
                        QFile::encodeName(dir.filePath("Link")).constData()),
              0);
    AEPParseRequests requests;
    requests.add(dir.filePath("Projects/Comp.aep"), "/a");
    requests.add(dir.filePath("projects/../Projects/Comp.aep"), "/b");
    requests.add(dir.filePath("Link/Comp.aep"), "/c");
    requests.add(dir.filePath("Link/Comp.aep"), "/a");
    requests.add(dir.filePath("Projects/COMP.aep"), "/e");
    requests.add(dir.filePath("Projects/Gone.aep"), "/d");
    ASSERT_EQ(requests.requests().size(), 3);
    const AEPParseRequest& first = requests.requests().first();
    EXPECT_EQ(first.statusPaths, (QStringList{"/a", "/b", "/c"}));
    EXPECT_EQ(first.path, dir.filePath("Projects/Comp.aep"));
    EXPECT_EQ(first.fileSize, 5);
    EXPECT_TRUE(first.modificationDate.has_value());
    EXPECT_EQ(requests.requests()[1].statusPaths, QStringList{"/e"});
    EXPECT_NE(AEPParseRequests::cacheKey("/Gone/Comp.aep"), AEPParseRequests::cacheKey("/Gone/COMP.aep"));
    const AEPParseRequest& missing = requests.requests().last();
    EXPECT_EQ(missing.fileSize, -1);
    EXPECT_FALSE(missing.modificationDate.has_value());
}

TEST(AEPParseRequests, CacheEntryIsValidOnlyWhileSizeAndDateAreUnchanged) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Comp.aep");
    touch(path, "12345");
    AEPParseRequests requests;
    requests.add(path, path);
    QHash<QString, CachedAEPParse> cache;
    AEPParseOutcome parsed{
        requests.requests().first(), AEPParser::ParseResult{"Comp", {"/a.mov"}, {}, {}}, {}};
    AEPParseRequests::store({parsed}, cache);

    const auto pendingAfter = [&](const std::function<void()>& change) {
        if (change)
            change();
        AEPParseRequests again;
        again.add(path, path);
        QList<AEPParseRequest> pending;
        again.takeCached(cache, pending);
        return pending.size();
    };
    EXPECT_EQ(pendingAfter({}), 0);
    struct ::stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    const auto setTime = [&](const timespec& when) {
        const timespec times[2] = {when, when};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    };
    const timespec saved = st.st_mtim;
    timespec later = saved;
    later.tv_nsec = (later.tv_nsec + 1) % 1'000'000'000; // one nanosecond apart is another date
    EXPECT_EQ(pendingAfter([&] { setTime(later); }), 1);
    EXPECT_EQ(pendingAfter([&] { setTime(saved); }), 0);
    EXPECT_EQ(pendingAfter([&] {
                  touch(path, "123456");
                  setTime(saved);
              }),
              1);
    EXPECT_EQ(pendingAfter([&] { QFile::remove(path); }), 1);
    // A file whose facts could not be read hits an entry stored without facts, and only that.
    AEPParseRequests gone;
    gone.add(path, path);
    AEPParseRequests::store({{gone.requests().first(), AEPParser::ParseResult{}, {}}}, cache);
    EXPECT_EQ(pendingAfter({}), 0);
}

TEST(AEPParseRequests, AFailedParseIsNeverCachedAndKeepsTheOlderEntry) {
    QHash<QString, CachedAEPParse> cache;
    AEPParseRequest request{"/x.aep", "/x.aep", {"/x.aep"}, 10, 1};
    cache.insert("/x.aep", {10, 1, AEPParser::ParseResult{"Old", {}, {}, {}}});
    AEPParseRequests::store({{request, std::nullopt, QStringLiteral("Read error: gone")}}, cache);
    EXPECT_EQ(cache.value("/x.aep").result.projectName, "Old");
}

// Parses that block until released, counting how many run at once.
struct SlowReader {
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0;
    int most = 0;
    int started = 0;
    bool firstTwoMet = false;

    AEPParser::ParseResult parse(const QString& path) {
        std::unique_lock lock(mutex);
        ++running;
        ++started;
        most = std::max(most, running);
        // The first two wait for each other: two parses really overlap.
        if (started <= 2) {
            if (started == 2)
                firstTwoMet = true;
            changed.notify_all();
            // Bounded only so that a broken limit fails instead of hanging the run.
            changed.wait_for(lock, std::chrono::seconds(60), [&] { return firstTwoMet; });
        }
        --running;
        if (path.endsWith("bad.aep"))
            throw AEPParser::AEPParserError::invalidFormat("not a project");
        return {QFileInfo(path).baseName(), {path + ".mov"}, {}, {}};
    }
};

TEST(AEPParseRequests, NeverMoreThanTwoParsesAtOnceAndEveryOutcomeIsCollected) {
    SlowReader reader;
    QList<AEPParseRequest> pending;
    for (const char* name : {"/a.aep", "/b.aep", "/bad.aep", "/d.aep", "/e.aep"})
        pending.append({name, name, {name}, -1, std::nullopt});
    const QList<AEPParseOutcome> outcomes = QCoro::waitFor(AEPParseRequests::parseAll(
        pending, AEPParseRequests::maxConcurrentParses, [&](const QString& p) { return reader.parse(p); }));
    EXPECT_TRUE(reader.firstTwoMet);
    EXPECT_EQ(reader.most, 2);
    EXPECT_EQ(reader.started, 5);
    ASSERT_EQ(outcomes.size(), 5);
    const auto bad = std::find_if(outcomes.cbegin(), outcomes.cend(),
                                  [](const AEPParseOutcome& o) { return o.request.path == "/bad.aep"; });
    ASSERT_NE(bad, outcomes.cend());
    EXPECT_FALSE(bad->result);
    EXPECT_EQ(bad->failure, QStringLiteral("Invalid AEP format: not a project"));
    EXPECT_EQ(std::count_if(outcomes.cbegin(), outcomes.cend(),
                            [](const AEPParseOutcome& o) { return bool(o.result); }),
              4);
}

} // namespace
