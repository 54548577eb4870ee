#include "analysis/ImageSequenceFrames.h"
#include "analysis/EffectiveUsage.h"
#include "analysis/LowerPathCache.h"

#include "support/ImportTestHarness.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

ImageSequence stillsFrom(const QString& firstFrame, const QString& title) {
    return *ImageSequence::fromFirstFrame(firstFrame, title);
}

ProjectFile project(const QString& name, const QStringList& media, const QHash<QString, int>& counts) {
    ProjectFile p;
    p.name = name;
    p.url = QUrl::fromLocalFile("/p/" + name + ".prproj");
    p.mediaFiles = media;
    p.usageCountByPath = counts;
    p.usedFiles = QStringList(counts.keyBegin(), counts.keyEnd());
    return p;
}

QByteArray stillsBlock(const QString& firstFrame, const QString& title) {
    return QStringLiteral("<ActualMediaFilePath>%1</ActualMediaFilePath>\n<Title>%2</Title>\n"
                          "<IsNumberedStills>true</IsNumberedStills>")
        .arg(firstFrame, title)
        .toUtf8();
}

} // namespace

TEST(ImageSequenceFrames, AFrameListedElsewhereTakesTheUsageOfTheUsedStillsOnly) {
    const QString first = "/Shoot/Stills/f_0001.png";
    ProjectFile cut = project("Cut", {first}, {{first, 2}});
    cut.numberedStills = {stillsFrom(first, "f_[0001-0026].png")};
    // The same sequence in a project that does not use it adds nothing more.
    ProjectFile spare = project("Spare", {first}, {});
    spare.numberedStills = cut.numberedStills;
    const ProjectFile loose = project(
        "Loose", {"/shoot/stills/F_0005.PNG", "/Shoot/Stills/f_0027.png", "/Shoot/Other/f_0005.png"}, {});
    ProjectFile unusedStills = project("Unused", {"/Shoot/Plates/p_01.exr", "/Shoot/Plates/p_02.exr"}, {});
    unusedStills.numberedStills = {stillsFrom("/Shoot/Plates/p_01.exr", "p_[01-09].exr")};

    LowerPathCache keys;
    const AggregatedUsage usage =
        aggregateEffectiveUsage({cut, spare, loose, unusedStills}, {{}, {}, {}, {}}, keys);
    const AggregatedProjectUsage* frame = usage.find("/shoot/stills/f_0005.png");
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->usageCount, 2);
    EXPECT_EQ(frame->projectNames, NameList({"Loose", "Cut", "Spare"}));
    EXPECT_EQ(usage.find("/shoot/stills/f_0001.png")->usageCount, 2); // the first frame counts once
    EXPECT_EQ(usage.find("/shoot/stills/f_0027.png")->usageCount, 0); // past the title's range
    EXPECT_EQ(usage.find("/shoot/other/f_0005.png")->usageCount, 0);  // another folder
    EXPECT_EQ(usage.find("/shoot/plates/p_02.exr")->usageCount, 0);   // a sequence no timeline uses
}

// The project was copied with its stills: the path it names is gone, its relative path leads to the
// copy, whose frames the editor listed as loose stills.
TEST(ImageSequenceFrames, AFrameBesideTheRelativeCandidateOfTheUsedStillsTakesTheirUsage) {
    const QString first = "/Old/Stills/f_0001.png";
    ProjectFile cut = project("Cut", {first}, {{first, 1}});
    cut.numberedStills = {stillsFrom(first, "f_[0001-0026].png")};
    cut.relativeCandidates = {{first, "/New/Show/Stills/f_0001.png"}};
    const ProjectFile loose =
        project("Loose", {"/New/Show/Stills/f_0005.png", "/New/Show/Other/f_0005.png"}, {});
    LowerPathCache keys;
    const AggregatedUsage usage = aggregateEffectiveUsage({cut, loose}, {{}, {}}, keys);
    EXPECT_EQ(usage.find("/new/show/stills/f_0005.png")->usageCount, 1);
    EXPECT_EQ(usage.find("/new/show/other/f_0005.png")->usageCount, 0);
}

TEST(ImageSequenceFrames, ASequenceInTheRootFolderHoldsItsFrames) {
    ImageSequence stills;
    stills.folder = "/";
    stills.prefix = "a_";
    stills.suffix = ".png";
    const ImageSequenceFrames frames({stills, stillsFrom("/b_0001.png", "b_[0001-0009].png")});
    EXPECT_EQ(frames.sequencesHolding("/a_0001.png"), QList<qsizetype>{0});
    EXPECT_EQ(frames.sequencesHolding("/b_0002.png"), QList<qsizetype>{1});
    EXPECT_TRUE(frames.sequencesHolding("/Other/a_0001.png").isEmpty());
}

TEST(ImageSequenceFrames, AnImportCountsAFrameAnotherProjectListsAsALooseStillAsUsed) {
    ImportTestHarness h;
    const QString first = h.makeFile("Stills/frame_0001.png");
    const QString frame = h.makeFile("Stills/frame_0012.png");
    const QString past = h.makeFile("Stills/frame_0040.png");
    const QString clip = h.makeFile("Media/clip.mov");
    const QString a = h.dir.filePath("A.prproj");
    const QString b = h.dir.filePath("B.prproj");
    ProjectGenerator::writeProject(a, oneClipTimeline(stillsBlock(first, "frame_[0001-0026].png")));
    ProjectGenerator::writeProject(
        b, oneClipTimeline(QStringLiteral("<ActualMediaFilePath>%1</ActualMediaFilePath>").arg(clip),
                           QStringLiteral("<ActualMediaFilePath>%1</ActualMediaFilePath>\n"
                                          "<ActualMediaFilePath>%2</ActualMediaFilePath>")
                               .arg(frame, past)));
    h.importNow({QUrl::fromLocalFile(b), QUrl::fromLocalFile(a)});
    ASSERT_TRUE(h.entry(frame) && h.entry(past));
    EXPECT_GE(h.entry(frame)->usageCount, 1);
    EXPECT_NE(h.entry(frame)->usageType, MediaUsageType::unused);
    EXPECT_EQ(h.entry(past)->usageCount, 0);
    EXPECT_EQ(h.pm().summary().unusedFiles, 1);

    // A recount (a timeline rule changed) keeps it so.
    h.pm().edit(ProjectManager::ListChange::usage);
    EXPECT_GE(h.entry(frame)->usageCount, 1);
}

TEST(ImageSequenceFrames, AFrameIsFoundWhateverItsPathsSpellingAndNotInAFolderOfTheSameLength) {
    const QString first = "/Shoot/Stills/f_0001.png";
    ProjectFile cut = project("Cut", {first}, {{first, 1}});
    cut.numberedStills = {stillsFrom(first, "f_[0001-0026].png")};
    const ProjectFile loose = project("Loose",
                                      {"\\Shoot\\Stills\\f_0002.png", "/SHOOT/STILLS/f_0003.png",
                                       "/Shoot/Stills/", "/Shoot/Stilts/f_0004.png", "f_0005.png"},
                                      {});
    LowerPathCache keys;
    const AggregatedUsage usage = aggregateEffectiveUsage({cut, loose}, {{}, {}}, keys);
    EXPECT_EQ(usage.find(LowerPathCache::lowerKey("\\Shoot\\Stills\\f_0002.png"))->usageCount, 1);
    EXPECT_EQ(usage.find("/shoot/stills/f_0003.png")->usageCount, 1);
    EXPECT_EQ(usage.find("/shoot/stills/")->usageCount, 0);
    EXPECT_EQ(usage.find("/shoot/stilts/f_0004.png")->usageCount, 0); // a folder as long, another name
    EXPECT_EQ(usage.find("f_0005.png")->usageCount, 0);               // no folder at all
}

// A project with its stills written as the editor writes them, imported as the window imports it:
// the frames of the used sequences within their ranges are used, the rest stay Unused, and the audio
// block after a flagged stream is no sequence.
TEST(ImageSequenceFrames, AnImportOfStillsFlaggedInTheirStreamsUsesTheFramesOfTheUsedOnes) {
    ImportTestHarness h;
    const QStringList used = {"Seq/sequence-01.png", "Audio/Transition Complex 01.wav",
                              "Shots/shot_0001.exr", "Open/open_0003.png",
                              "Seq/sequence-05.png", "Shots/shot_0004.exr",
                              "Open/open_0007.png"};
    const QStringList unused = {"Seq/sequence-16.png", "Seq/sequence-18.png", "Shots/shot_0011.exr",
                                "Open/open_0002.png", "Audio/Transition Complex 02.wav"};
    for (const QString& file : used + unused)
        h.makeFile(file);
    const QString project = h.dir.filePath("Stills.prproj");
    ASSERT_TRUE(ProjectGenerator::writeProject(project, numberedStillsTimeline(h.dir.path())));
    QCoro::waitFor(h.pm().analyzeProjects({QUrl::fromLocalFile(project)}));

    for (const QString& file : used) {
        const MediaFile* entry = h.entry(h.dir.filePath(file));
        ASSERT_TRUE(entry) << file.toStdString();
        EXPECT_NE(entry->usageType, MediaUsageType::unused) << file.toStdString();
    }
    for (const QString& file : unused) {
        const MediaFile* entry = h.entry(h.dir.filePath(file));
        ASSERT_TRUE(entry) << file.toStdString();
        EXPECT_EQ(entry->usageType, MediaUsageType::unused) << file.toStdString();
    }
    EXPECT_EQ(h.pm().summary().unusedFiles, unused.size());
}
