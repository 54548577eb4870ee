#include "analysis/AfterEffectsLinking.h"
#include "analysis/ProjectManager.h"

#include "support/AEPRifxBuilder.h"
#include "support/DiskFactsLogCapture.h"
#include "support/ImportTestHarness.h"
#include "support/ProjectManagerHarness.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// The Chinese After Effects' "Untitled Project.aep", and "Comp 1" in it.
const QString untitled = QStringLiteral("无标题项目.aep");
const QString comp1 = QStringLiteral("合成 1");
const QString ownComp = QStringLiteral("片头动画");

// A gone link's one line saying why, when only a default name would have tied the file found.
QString defaultNameReason(const QString& link, const QString& found, const QString& comp) {
    return "AEP not reconnected: " + link + " — " + found + " is tied to it only by the composition name “" +
           comp + "”, which After Effects gives by default, as it does its project name";
}

struct Case {
    const char* what;
    QString aComp;  // the composition A's media title names
    QString placed; // the folder the .aep of A's link's name lies in, holding that composition
    bool relative;  // whether A's relative path for the link points at it
    bool found;
};

// A links its .aep, gone from where it was saved, by its media title; B's folder holds a file of that
// name that B does not list.
TEST(AEPRelocation, ADefaultCompositionNameTiesNoFileButAPlaceOrAUsersOwnNameStillDoes) {
    const QString aLink = "D:/pr素材/ae链接/" + untitled;
    for (const Case& c : {Case{"a stranger's file holding the default name", comp1, "B", false, false},
                          Case{"the same, zero-padded in English", "Comp 01", "B", false, false},
                          Case{"the same file beside A", comp1, "A", false, true},
                          Case{"where A's relative path points", comp1, "B", true, true},
                          Case{"a name of A's own, in a namesake elsewhere", ownComp, "B", false, true}}) {
        SCOPED_TRACE(c.what);
        ProjectManagerHarness h;
        QTemporaryDir dir;
        // A's own file uses A's footage; the stranger's its own.
        const QString found = dir.filePath(c.placed + "/" + untitled);
        ASSERT_TRUE(aeptest::writeCompositions(found, {c.aComp}, {c.found ? "/a/fx.mov" : "/b/title.mov"}));
        ProjectFile a;
        a.name = "A";
        a.url = QUrl::fromLocalFile(dir.filePath("A/A.prproj"));
        a.mediaFiles = {aLink, "/a/bin1.mov", "/a/bin2.mov", "/a/fx.mov"};
        a.linkedCompositions.insert(aLink, {c.aComp.toLower()});
        if (c.relative)
            a.relativeCandidates.insert(aLink, found);
        ProjectFile b;
        b.name = "B";
        b.url = QUrl::fromLocalFile(dir.filePath("B/B.prproj"));
        b.mediaFiles = {"/b/cut.mov"};
        h.pm().edit(ProjectManager::ListChange::none).setProjects({a, b});
        QList<MediaFile> list;
        for (const QString& path : a.mediaFiles)
            list.append(
                media(path, 0, path.endsWith(".aep") ? MediaFileStatus::offline : MediaFileStatus::online));
        test::DiskFactsLogCapture log;
        QCoro::waitFor(AfterEffectsLinking::linkAEPProjects(h.pm(), list));

        EXPECT_EQ(list[0].matchedPath, c.found ? std::optional(found) : std::nullopt);
        EXPECT_EQ(h.pm().aepLinkStatuses().value(aLink).kind,
                  c.found ? AEPLinkStatus::Kind::resolved : AEPLinkStatus::Kind::missing);
        EXPECT_EQ(list[3].isAEFootage, c.found);
        for (const qsizetype bin : {1, 2})
            EXPECT_EQ(list[bin].hasUnresolvedAELink, !c.found);
        const QStringList why = log.messages().filter("AEP not reconnected: ");
        EXPECT_EQ(why.size(), c.found ? 0 : 1);
        if (!c.found && !why.isEmpty()) {
            EXPECT_TRUE(why[0].endsWith(defaultNameReason(aLink, found, c.aComp))) << why[0].toStdString();
        }
    }
}

// The pair as the window imports it: A's bin-only files stay flagged (the delete-safety check holds
// them back from Add All Unused) unless A's own file is found.
TEST(AEPRelocation, AnImportNeverReconnectsALinkByAStrangersDefaultNamedComposition) {
    for (const Case& c : {Case{"a stranger's file holding the default name", comp1, "B", false, false},
                          Case{"the same file beside A", comp1, "A", false, true},
                          Case{"a name of A's own, in a namesake elsewhere", ownComp, "B", false, true}}) {
        SCOPED_TRACE(c.what);
        ImportTestHarness h;
        const QString aLink = "D:\\pr素材\\ae链接\\" + untitled;
        const QStringList bins{h.makeFile("A/media/bin1.mov"), h.makeFile("A/media/bin2.mov")};
        const QString fx = h.makeFile("A/media/a-fx.mov");
        const QString strangersFx = h.makeFile("B/media/b-fx.mov");
        QList<TimelineMedia> aMedia{fileMedia(aLink, c.aComp + "/" + untitled, true),
                                    fileMedia(h.makeFile("A/media/a-cut.mov"), "a-cut.mov", true),
                                    fileMedia(fx, "a-fx.mov", false)};
        for (const QString& bin : bins)
            aMedia.append(fileMedia(bin, QFileInfo(bin).fileName(), false));
        const QStringList projects{h.dir.filePath("A/A.prproj"), h.dir.filePath("B/B.prproj")};
        ASSERT_TRUE(ProjectGenerator::writeProject(projects[0], mediaTimeline(aMedia)));
        ASSERT_TRUE(ProjectGenerator::writeProject(
            projects[1], mediaTimeline({fileMedia(h.makeFile("B/media/b-cut.mov"), "b-cut.mov", true)})));
        ASSERT_TRUE(aeptest::writeCompositions(h.dir.filePath(c.placed + "/" + untitled), {c.aComp},
                                               {c.found ? fx : strangersFx}));
        h.importNow({QUrl::fromLocalFile(projects[0]), QUrl::fromLocalFile(projects[1])});

        const QString aPath = QString(aLink).replace(u'\\', u'/');
        ASSERT_TRUE(h.entry(aPath));
        EXPECT_EQ(h.entry(aPath)->status == MediaFileStatus::matching, c.found);
        EXPECT_EQ(h.pm().aepLinkStatuses().value(aPath).kind,
                  c.found ? AEPLinkStatus::Kind::resolved : AEPLinkStatus::Kind::missing);
        for (const QString& bin : bins)
            EXPECT_EQ(h.entry(bin)->hasUnresolvedAELink, !c.found) << bin.toStdString();
        EXPECT_EQ(h.entry(fx)->isAEFootage, c.found);
        EXPECT_EQ(h.pm().summary().uncertainAEFiles, c.found ? 0 : 3);
        EXPECT_EQ(h.logLinesStartingWith("AEP not reconnected: ").size(), c.found ? 0 : 1);
    }
}

} // namespace
