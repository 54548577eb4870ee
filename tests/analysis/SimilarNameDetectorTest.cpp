#include "analysis/SimilarNameDetector.h"

#include "support/DiskFactsLogCapture.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

QList<MediaFile> entries(const QStringList& paths) {
    QList<MediaFile> files;
    for (const QString& path : paths) {
        MediaFile file;
        file.path = path;
        files.append(file);
    }
    return files;
}

} // namespace

TEST(SimilarNameDetector, ReducesNamesToTheirBase) {
    const QList<std::pair<const char*, const char*>> cases = {{"A001", "A001"},
                                                              {"A001_proxy", "A001"},
                                                              {"A001_PROXY", "A001"},
                                                              {"A001_lowres", "A001"},
                                                              {"A001_low", "A001"},
                                                              {"A001_high", "A001"},
                                                              {"A001_12", "A001"},
                                                              {"A001_12_proxy", "A001_12"},
                                                              {"A001_proxy_2", "A001_proxy"},
                                                              {"clip_v2", "clip_v2"},
                                                              {"clip_", "clip_"},
                                                              {"IMG_0042", "IMG"},
                                                              {"_1", "_1"},
                                                              {"", ""}};
    for (const auto& [name, base] : cases)
        EXPECT_EQ(SimilarNameDetector::baseName(QString::fromLatin1(name)), QString::fromLatin1(base))
            << name;
}

TEST(SimilarNameDetector, LinksVersionsAcrossFoldersAndExtensions) {
    test::DiskFactsLogCapture log;
    QList<MediaFile> files = entries({QStringLiteral("/a/A001.mov"), QStringLiteral("/c/B.mov"),
                                      QStringLiteral("/a/A001_proxy.mov"),
                                      QStringLiteral("/b/a001_LOWRES.mp4"), QStringLiteral("/a/clip.mov"),
                                      QStringLiteral("/a/clip.wav"), QStringLiteral("/a/A001_12_proxy.mov")});
    files[1].similarFiles = {QStringLiteral("/kept/from/earlier.mov")};
    const QList<MediaFile> out = SimilarNameDetector::detectSimilarFilenames(files);
    EXPECT_EQ(out[0].similarFiles,
              (QStringList{QStringLiteral("/a/A001_proxy.mov"), QStringLiteral("/b/a001_LOWRES.mp4")}));
    EXPECT_EQ(out[2].similarFiles,
              (QStringList{QStringLiteral("/a/A001.mov"), QStringLiteral("/b/a001_LOWRES.mp4")}));
    EXPECT_EQ(out[3].similarFiles,
              (QStringList{QStringLiteral("/a/A001.mov"), QStringLiteral("/a/A001_proxy.mov")}));
    EXPECT_EQ(out[4].similarFiles, QStringList{QStringLiteral("/a/clip.wav")});
    EXPECT_EQ(out[1].similarFiles, QStringList{QStringLiteral("/kept/from/earlier.mov")});
    EXPECT_TRUE(out[6].similarFiles.isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("Detecting similar filenames")));
    // The earlier run's field counts too.
    EXPECT_TRUE(log.contains(QStringLiteral("Found 6 file(s) with similar names")));
}

// IMG_0001 ... IMG_20000 form one group: a copy of every other path per member is quadratic.
TEST(SimilarNameDetector, MembersOfAGroupShareOnePathList) {
    QStringList paths;
    for (int i = 1; i <= 20000; ++i)
        paths.append(QStringLiteral("/card/IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0')));
    paths.append(QStringLiteral("/card/other.mov"));
    const QList<MediaFile> out = SimilarNameDetector::detectSimilarFilenames(entries(paths));
    ASSERT_EQ(out.size(), 20001);
    for (qsizetype i = 1; i < 20000; ++i)
        ASSERT_TRUE(out[i].similarFiles.sharesStorageWith(out[0].similarFiles));
    const SimilarFiles& others = out[5].similarFiles;
    EXPECT_EQ(others.size(), 19999);
    EXPECT_FALSE(others.contains(paths[5]));
    EXPECT_TRUE(others.contains(paths[6]));
    EXPECT_EQ(others.toList().first(), paths[0]);
    EXPECT_TRUE(out[20000].similarFiles.isEmpty());
}

// Plain ASCII names skip the pattern; the answer must be the pattern's for every name. Names are
// drawn from the characters the suffixes are made of, so near-misses ("_prox", "__1", "_LoWrEs")
// are common; names with other characters (Unicode digits, "ſ" that folds to "s", line breaks)
// still go through the pattern.
TEST(SimilarNameDetector, ShortcutAgreesWithThePattern) {
    const QString alphabet = QStringLiteral("_0123456789proxylwhigPROXYLWHIGes.- ");
    QRandomGenerator random(29);
    for (int n = 0; n < 200000; ++n) {
        QString name;
        const int length = int(random.bounded(12));
        for (int i = 0; i < length; ++i) {
            // Whole suffixes now and then, so matches are not rare.
            if (random.bounded(6) == 0)
                name += QStringList{"_proxy", "_LowRes", "_high", "_low", "_12", "_"}[int(random.bounded(6))];
            else
                name += alphabet[int(random.bounded(alphabet.size()))];
        }
        ASSERT_EQ(SimilarNameDetector::baseName(name), SimilarNameDetector::patternBaseName(name))
            << qPrintable(name);
    }
    for (const QString& name : {QStringLiteral("A001_lowreſ"), QStringLiteral("A001_\u0663"),
                                QStringLiteral("A001_12\n"), QStringLiteral("\u00e9t\u00e9_proxy")})
        EXPECT_EQ(SimilarNameDetector::baseName(name), SimilarNameDetector::patternBaseName(name));
    EXPECT_EQ(SimilarNameDetector::baseName(QStringLiteral("A001_lowreſ")), QStringLiteral("A001"));
    EXPECT_EQ(SimilarNameDetector::baseName(QStringLiteral("A001_\u0663")), QStringLiteral("A001"));
}
