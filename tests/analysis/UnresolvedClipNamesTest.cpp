#include "analysis/UnresolvedClipNames.h"
#include "analysis/ProjectImporter.h"

#include "platform/PathText.h"
#include "support/ImportTestHarness.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

struct Listed {
    QStringList media;
    QStringList used;
    QStringList unresolvedNames; // clips that lead to a file the reader could not match
};

// A reader stand-in that reports what each project file is given, warning as the reader does.
ParallelProjectParse::ParseFunction readerOf(QHash<QString, Listed> projects) {
    return [projects](const QUrl& url, const ParallelProjectParse::Progress&) {
        const Listed listed = projects.value(url.fileName());
        ProjectParser::ParseResult r;
        r.projectName = path::deletingPathExtension(url.fileName());
        for (const QString& p : listed.media)
            r.allMediaPaths.insert(p);
        for (const QString& p : listed.used) {
            r.usedMediaPaths.insert(p);
            r.usageCountByPath.insert(p, 1);
        }
        r.unresolvedClipNames = listed.unresolvedNames;
        if (!listed.unresolvedNames.isEmpty())
            r.warnings.append(QStringLiteral("%1 timeline clip(s) could not be matched to a media file.")
                                  .arg(listed.unresolvedNames.size()));
        return ProjectImporter::parsedProject(url, r);
    };
}

} // namespace

// A clip project A cannot match still names its file: that file, listed unused by project B,
// must not go in one click; files of other names in B stay as they are.
TEST(UnresolvedClipNames, FlagFilesOfThatNameInEveryProject) {
    for (const bool unresolved : {true, false}) {
        SCOPED_TRACE(unresolved ? "clip unmatched" : "clip resolved");
        ImportTestHarness h(true);
        h.importServices.parse = readerOf({
            {"A.prproj",
             {{"/a/Used.mov"}, {"/a/Used.mov"}, unresolved ? QStringList{"X.MOV"} : QStringList()}},
            {"B.prproj", {{"/b/x.mov", "/b/X", "/b/X.mov.xmp", "/b/Other.mov"}, {}, {}}},
        });
        h.importNow({QUrl::fromLocalFile("/p/A.prproj"), QUrl::fromLocalFile("/p/B.prproj")});
        ASSERT_EQ(h.pm().mediaFiles().size(), 5);
        EXPECT_EQ(h.entry("/b/x.mov")->needsReview, unresolved) << "same name, letter case aside";
        EXPECT_FALSE(h.entry("/b/X")->needsReview) << "a name with an extension names only that file";
        EXPECT_FALSE(h.entry("/b/X.mov.xmp")->needsReview);
        EXPECT_FALSE(h.entry("/b/Other.mov")->needsReview);
        EXPECT_EQ(h.entry("/a/Used.mov")->needsReview, unresolved) << "A's own files, for its warning";
        EXPECT_EQ(h.entry("/b/x.mov")->usageCount, 0);

        const UnresolvedClipNames names(h.pm().projects());
        const ProjectFile& b = h.pm().projects()[1];
        ASSERT_EQ(b.name, QStringLiteral("B"));
        if (unresolved)
            EXPECT_EQ(names.reviewNote(b),
                      QStringLiteral("1 file(s) listed here share a name with a timeline clip of “A” that "
                                     "could not be matched to a media file — they may be used there. Flagged "
                                     "for review; excluded from one-click cleanup."));
        else
            EXPECT_TRUE(names.reviewNote(b).isEmpty());
        EXPECT_TRUE(names.reviewNote(h.pm().projects()[0]).isEmpty()) << "A's own warning says it";
    }
}

// A name without an extension names every file of that base name.
TEST(UnresolvedClipNames, ANameWithoutExtensionNamesEveryFileOfThatBase) {
    ProjectFile a;
    a.name = QStringLiteral("A");
    a.unresolvedClipNames = {QStringLiteral("Interview"), QStringLiteral("D:\\Cards\\Ö1.mov")};
    const UnresolvedClipNames names({a});
    EXPECT_TRUE(names.namesFile(QStringLiteral("/v/interview.mov")));
    EXPECT_TRUE(names.namesFile(QStringLiteral("/v/interview.wav")));
    EXPECT_FALSE(names.namesFile(QStringLiteral("/v/interview 2.mov")));
    EXPECT_TRUE(names.namesFile(LowerPathCache::lowerKey(QStringLiteral("/v/O\u03081.mov"))))
        << "canonically equal spellings";
}
