#include "analysis/ProjectImporter.h"

#include "support/ImportTestHarness.h"
#include "support/ProjectGenerator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;
using ::testing::UnorderedElementsAre;

namespace {

// A project whose one timeline clip reaches the Media block written from `mediaLines`.
QByteArray projectUsing(const QString& mediaLines) {
    return "<PremiereData Version=\"3\">\n" + oneClipTimeline(mediaLines) + "</PremiereData>\n";
}

// A project listing `path` in its bin, on no timeline.
QByteArray projectListing(const QString& path) {
    return QStringLiteral("<PremiereData Version=\"3\">\n<Media ObjectUID=\"b\">\n<Title>bin.mp4</Title>\n"
                          "<ActualMediaFilePath>%1</ActualMediaFilePath>\n</Media>\n</PremiereData>\n")
        .arg(path)
        .toUtf8();
}

QUrl write(ImportTestHarness& h, const QString& relative, const QByteArray& xml) {
    const QString path = h.dir.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    EXPECT_TRUE(ProjectGenerator::writeProject(path, xml));
    return QUrl::fromLocalFile(path);
}

} // namespace

// One project's timeline uses the file through the path its Media block names; another lists the same
// file, unused, in its bin. The file is used, by both projects, and needs no review.
TEST(ProjectImporterMediaPaths, AFileATimelineUsesThroughAnOfflineOrRelativePathReadsUsed) {
    struct Case {
        const char* what;
        const char* mediaLines; // FILE: the file's real path; GONE: a drive path that no longer exists
    };
    const Case cases[] = {
        {"plain path of media offline at save",
         "<FilePath>FILE</FilePath>\n<Title>10.mp4</Title>\n<OfflineReason>1</OfflineReason>"},
        {"Windows relative path",
         "<RelativePath>.\\new clips\\10.mp4</RelativePath>\n<FilePath>GONE</FilePath>\n"
         "<Title>10.mp4</Title>\n<ActualMediaFilePath>GONE</ActualMediaFilePath>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImportTestHarness h;
        const QString file = h.makeFile(QStringLiteral("projects/new clips/10.mp4"));
        const QString lines =
            QString::fromUtf8(c.mediaLines)
                .replace(QStringLiteral("FILE"), file)
                .replace(QStringLiteral("GONE"), QStringLiteral("Q:\\Shoot\\new clips\\10.mp4"));
        const QUrl a = write(h, QStringLiteral("projects/A.prproj"), projectUsing(lines));
        const QUrl b = write(h, QStringLiteral("elsewhere/B.prproj"), projectListing(file));

        h.importNow({a, b});

        ASSERT_EQ(h.pm().mediaFiles().size(), 1);
        const MediaFile& f = h.pm().mediaFiles().first();
        EXPECT_GE(f.usageCount, 1);
        EXPECT_THAT(f.projectNames, UnorderedElementsAre("A", "B"));
        EXPECT_FALSE(f.needsReview);
        EXPECT_TRUE(h.pm().projects()[0].parseWarnings.isEmpty());
    }
}
