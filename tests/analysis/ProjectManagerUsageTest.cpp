#include "platform/AppLog.h"
#include "support/ProjectManagerHarness.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

using S = MediaFileStatus;

SequenceUsageAttribution attribution(std::initializer_list<std::pair<const char*, qint64>> counts,
                                     qint64 unattributed = 0) {
    SequenceUsageAttribution a;
    for (const auto& [id, n] : counts)
        a.occurrencesBySequenceID.insert(QString::fromUtf8(id), n);
    a.unattributedOccurrences = unattributed;
    return a;
}

// A project with the timelines s1 "Stringout", s2 "Edit", s3 "Final Grade", s4 "Stringout B".
ProjectFile timelineProject(const QString& name = QStringLiteral("Feature")) {
    ProjectFile p = project(name, {});
    p.sequences = {{"s1", "Stringout"}, {"s2", "Edit"}, {"s3", "Final Grade"}, {"s4", "Stringout B"}};
    return p;
}

// Adds `path` used `raw` times with the given attribution.
void use(ProjectFile& p, const QString& path, int raw, const SequenceUsageAttribution& a,
         bool audioOnly = false) {
    p.mediaFiles.append(path);
    p.usedFiles.append(path);
    p.usageCountByPath.insert(path, raw);
    p.sequenceUsageByPath.insert(path, a);
    if (audioOnly)
        p.audioOnlyFiles.append(path);
}

TEST(ProjectManagerUsage, CountsOnlyOccurrencesTheAttributionProvesIgnored) {
    ProjectManagerHarness h;
    ASSERT_TRUE(h.policy.addRule("stringout", SequenceRuleAction::ignore));
    ProjectFile p = timelineProject();
    h.policy.setOverride(false, "s3", p.url); // an override cannot beat the protect rule "final"
    const EffectiveProjectUsage usage = effectiveProjectUsage(p, h.policy);
    const struct {
        const char* name;
        qint64 raw;
        std::optional<SequenceUsageAttribution> attribution;
        qint64 count;
        bool flagged;
        QSet<QString> timelines;
    } cases[] = {
        {"unexplained occurrence stays", 3, attribution({{"s1", 2}}), 1, true, {}},
        {"fully ignored", 2, attribution({{"s1", 2}}), 0, false, {}},
        {"protected beats override", 2, attribution({{"s3", 2}}), 2, false, {"Final Grade"}},
        {"over-attributed never drops to 0", 1, attribution({{"s1", 1}, {"s4", 1}}), 1, true, {}},
        {"unattributed always counts", 3, attribution({{"s1", 1}}, 2), 2, true, {}},
        {"unknown timeline counts", 1, attribution({{"zz", 1}}), 1, true, {}},
        {"counted timeline named", 2, attribution({{"s2", 2}}), 2, false, {"Edit"}},
        {"no attribution", 2, std::nullopt, 2, true, {}},
        {"no attribution, no use", 0, std::nullopt, 0, false, {}},
    };
    for (const auto& c : cases) {
        const SequenceUsageAttribution* a = c.attribution ? &*c.attribution : nullptr;
        const EffectivePathUsage fast = effectivePathUsage(c.raw, a, usage);
        const EffectivePathUsage slow = effectivePathUsage(c.raw, a, usage.timelinesByID, usage.snapshot);
        for (const EffectivePathUsage& r : {fast, slow}) {
            EXPECT_EQ(r.usageCount, c.count) << c.name;
            EXPECT_EQ(r.hasUnattributedUsage, c.flagged) << c.name;
            EXPECT_EQ(QSet<QString>(r.sequenceNames.cbegin(), r.sequenceNames.cend()), c.timelines) << c.name;
        }
    }
    ProjectFile bare = project("Bare", {});
    const EffectiveProjectUsage noTimelines = effectiveProjectUsage(bare, h.policy);
    const auto onUnlisted = attribution({{"s1", 2}});
    const EffectivePathUsage unlisted = effectivePathUsage(2, &onUnlisted, noTimelines);
    EXPECT_EQ(unlisted.usageCount, 2) << "a project without timelines never ignores";
    EXPECT_TRUE(unlisted.hasUnattributedUsage);
}

TEST(ProjectManagerUsage, TreatsAUsedPathWithoutCountAsOneUse) {
    ProjectManagerHarness h;
    ProjectFile p = project("A", {"/m/used.mov", "/m/listed.mov", "/m/audio.mov"});
    p.usedFiles = {QStringLiteral("/m/used.mov"), QStringLiteral("/m/audio.mov")};
    p.audioOnlyFiles = {QStringLiteral("/m/audio.mov")};
    p.usageCountByPath.insert(QStringLiteral("/m/listed.mov"), 0);
    p.usageCountByPath.insert(QStringLiteral("/m/audio.mov"), 4);
    const auto usage = effectiveProjectUsage(p, h.policy);
    EXPECT_EQ(effectivePathUsageInProject("/m/used.mov", p, usage).usageCount, 1);
    EXPECT_EQ(effectivePathUsageInProject("/m/listed.mov", p, usage).usageCount, 0);
    const auto audio = effectivePathUsageInProject("/m/audio.mov", p, usage);
    EXPECT_EQ(audio.usageCount, 4);
    EXPECT_TRUE(audio.isAudioOnly);
    EXPECT_EQ(effectiveUsedFileCount(p, h.policy), 2);
}

TEST(ProjectManagerUsage, RecountSumsPathsThatDifferOnlyInLetterCase) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    ProjectFile first = project("One", {"/Media/A.mov"}, {"/Media/A.mov"});
    ProjectFile second = project("Two", {"/media/a.mov", "/media/b.wav"}, {"/media/a.mov", "/media/b.wav"});
    second.usageCountByPath["/media/a.mov"] = 2;
    second.audioOnlyFiles = {QStringLiteral("/media/b.wav")};
    pm.edit(ProjectManager::ListChange::usage)
        .setProjects({first, second})
        .setMediaFiles({media("/Media/A.mov"), media("/media/b.wav"), media("/media/c.mov", 5)});
    const MediaFile& a = pm.mediaFiles()[0];
    EXPECT_EQ(a.usageCount, 3);
    EXPECT_EQ(a.projectNames, (QStringList{"One", "Two"}));
    EXPECT_EQ(a.usageType, MediaUsageType::videoAndAudio);
    EXPECT_TRUE(a.hasUnattributedSequenceUsage) << "no attribution: unattributed";
    EXPECT_EQ(pm.mediaFiles()[1].usageType, MediaUsageType::audioOnly);
    EXPECT_EQ(pm.mediaFiles()[2].usageCount, 0) << "a path no project lists has no usage";
    EXPECT_EQ(pm.mediaFiles()[2].usageType, MediaUsageType::unused);
    EXPECT_EQ(pm.policy().effectiveUsedCountByProjectID.value(first.id), 1);
    EXPECT_EQ(pm.policy().effectiveUsedCountByProjectID.value(second.id), 2);
    EXPECT_EQ(pm.summary().usedFiles, 2) << "the recount ends with a summary";
}

// A million clips of one import name the same project: they hold one list between them.
TEST(ProjectManagerUsage, FilesNamingTheSameProjectsShareOneList) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::usage)
        .setProjects({project("One", {"/m/a.mov", "/m/b.mov"}, {"/m/a.mov", "/m/b.mov"}),
                      project("Two", {"/m/b.mov", "/m/c.mov", "/m/d.mov"}, {"/m/c.mov", "/m/d.mov"})})
        .setMediaFiles({media("/m/a.mov"), media("/m/b.mov"), media("/m/c.mov"), media("/m/d.mov")});
    const QList<MediaFile>& files = pm.mediaFiles();
    EXPECT_EQ(files[0].projectNames, QStringList{"One"});
    EXPECT_EQ(files[2].projectNames, QStringList{"Two"});
    EXPECT_EQ(files[3].projectNames, QStringList{"Two"});
    EXPECT_EQ(files[2].projectNames.constData(), files[3].projectNames.constData());
    pm.edit(ProjectManager::ListChange::none).modifyMediaFiles([](QList<MediaFile>& list) {
        list[3].projectNames.append(QStringLiteral("Three"));
    });
    EXPECT_EQ(pm.mediaFiles()[2].projectNames, QStringList{"Two"}) << "a change to one leaves the other";
}

TEST(ProjectManagerUsage, FilesThatBecomeUsedLeaveTheBinAndComeBackOnline) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    ASSERT_TRUE(pm.addSequenceRule("stringout", SequenceRuleAction::ignore));
    ProjectFile p = timelineProject();
    use(p, "/m/select.mov", 1, attribution({{"s4", 1}}));
    p.mediaFiles.append("/m/ae.mov");
    pm.edit(ProjectManager::ListChange::none).setProjects({p});
    MediaFile staged = media("/m/select.mov", 0, S::inRecycleBin);
    MediaFile ae = media("/m/ae.mov", 0, S::inRecycleBin);
    ae.isAEFootage = true;
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({staged, ae});
    pm.edit(ProjectManager::ListChange::none).setRecycleBin({binItem(staged), binItem(ae)});

    pm.edit(ProjectManager::ListChange::usage);
    EXPECT_EQ(pm.mediaFiles()[1].usageType, MediaUsageType::usedInAfterEffects);
    ASSERT_EQ(pm.recycleBin().size(), 1) << "After Effects footage is used";
    EXPECT_EQ(pm.recycleBin()[0].mediaFile.path, QStringLiteral("/m/select.mov"));
    EXPECT_EQ(pm.mediaFiles()[0].status, S::inRecycleBin);
    ASSERT_EQ(h.audit.entries().size(), 1) << "leaving the bin is a restore, recorded";
    EXPECT_EQ(h.audit.entries()[0].action, AuditAction::restored);
    EXPECT_EQ(h.audit.entries()[0].filePath, QStringLiteral("/m/ae.mov"));

    ASSERT_TRUE(pm.addSequenceRule("stringout b", SequenceRuleAction::protect));
    EXPECT_TRUE(pm.recycleBin().isEmpty());
    EXPECT_EQ(text(pm.mediaFiles()[0].status), QStringLiteral("Online"));
    EXPECT_EQ(pm.mediaFiles()[0].sequenceNames, QStringList{"Stringout B"});
}

TEST(ProjectManagerUsage, UnstagesAFileMergedIntoAUsedEntry) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none).setProjects({project("A", {"/a/clip.mov"}, {"/a/clip.mov"})});
    MediaFile survivor = media("/a/clip.mov", 0, S::online, 10);
    survivor.alternativePaths = {QStringLiteral("/b/clip.mov")};
    survivor.matchedPath = QStringLiteral("/c/clip.mov");
    MediaFile mergedAway = media("/B/CLIP.mov", 0, S::inRecycleBin, 10);
    MediaFile relinked = media("/x/other.mov", 0, S::inRecycleBin, 10);
    relinked.matchedPath = QStringLiteral("/C/clip.mov");
    MediaFile unrelated = media("/d/clip.mov", 0, S::inRecycleBin, 10);
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({survivor, unrelated});
    pm.edit(ProjectManager::ListChange::none)
        .setRecycleBin({binItem(mergedAway), binItem(relinked), binItem(unrelated)});

    pm.edit(ProjectManager::ListChange::usage);
    ASSERT_EQ(pm.recycleBin().size(), 1) << "emptying the bin must not remove the used clip";
    EXPECT_EQ(pm.recycleBin()[0].mediaFile.path, QStringLiteral("/d/clip.mov"));
}

TEST(ProjectManagerUsage, BringsTheUnstagedFilesOwnEntryBackOnline) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ProjectManager::ListChange::none).setProjects({project("A", {"/m/a.mov"}, {"/m/a.mov"})});
    const MediaFile staged = media("/m/A.mov", 0, S::inRecycleBin);
    pm.edit(ProjectManager::ListChange::none)
        .setMediaFiles({media("/m/a.mov"), staged}); // both used: their paths differ only in case
    pm.edit(ProjectManager::ListChange::none).setRecycleBin({binItem(staged)});

    pm.edit(ProjectManager::ListChange::usage);
    EXPECT_TRUE(pm.recycleBin().isEmpty());
    EXPECT_EQ(pm.mediaFiles()[1].status, S::online) << "no entry may stay staged outside the bin";
}

TEST(ProjectManagerUsage, KeysKnownFromWherePathsWereFirstMetRecountAsLookUpsDo) {
    const ProjectFile one = project("One", {"/M/A.mov", "/m/b.mov"}, {"/M/A.mov"});
    const ProjectFile two = project("Two", {"/m/c.mov", "/m/a.mov"}, {"/m/c.mov", "/m/a.mov"});
    LowerPathCache keys;
    const AggregatedUsage usage = aggregateEffectiveUsage({one, two}, {{}, {}}, keys, true);
    MediaFile merged = media("/m/c.mov");
    merged.alternativePaths = {QStringLiteral("/m/b.mov")};
    // Positions 1 and 3 point at another path or no project: looked up by text instead.
    const QList<MediaFile> list = {media("/M/A.mov"), media("/m/other.mov"), merged, media("/m/b.mov")};
    const QList<PathOrigin> origins = {{0, 0}, {0, 1}, {1, 0}, {5, 0}};
    const KnownPathKeys known = knownPathKeys(origins, list, {one, two}, usage, keys);
    EXPECT_EQ(known.lowerPaths, QStringList({"/m/a.mov", "", "/m/c.mov", ""}));
    EXPECT_EQ(known.records[0], usage.indexByLowerPath.value(QStringLiteral("/m/a.mov")));
    EXPECT_EQ(known.records[1], -1);
    EXPECT_EQ(known.records[3], -1);

    QList<MediaFile> withKnown = list;
    QList<MediaFile> lookedUp = list;
    LowerPathCache otherKeys;
    applyAggregatedUsage(withKnown, usage, keys, &known);
    applyAggregatedUsage(lookedUp, usage, otherKeys);
    for (qsizetype i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(list[i].path.toStdString());
        EXPECT_EQ(withKnown[i].usageCount, lookedUp[i].usageCount);
        EXPECT_EQ(withKnown[i].projectNames, lookedUp[i].projectNames);
        EXPECT_EQ(withKnown[i].usageType, lookedUp[i].usageType);
    }
    EXPECT_EQ(withKnown[0].usageCount, 2); // "/M/A.mov" and "/m/a.mov" are one lower-cased path
    EXPECT_EQ(withKnown[2].projectNames, QStringList({"One", "Two"})); // its alternative path counts too
}

TEST(ProjectManagerUsage, LongListRecountedInRangesMatchesEntryByEntryAndKeepsEveryKey) {
    // Long enough to be split over threads: letter-case twins, alternative and matched paths, and
    // cached keys gone stale, in every range.
    const int count = 40000;
    ProjectFile one = project("One", {});
    ProjectFile two = project("Two", {});
    QList<MediaFile> list;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("/m/%1/Clip%2.mov").arg(i % 7).arg(i);
        one.mediaFiles.append(path);
        if (i % 3 == 0) {
            two.mediaFiles.append(path.toLower());
            two.usedFiles.append(path.toLower());
            two.usageCountByPath.insert(path.toLower(), 1 + i % 4);
        }
        MediaFile file = media(path);
        if (i % 11 == 0)
            file.alternativePaths = {QStringLiteral("/m/%1/Clip%2.mov").arg((i + 1) % 7).arg(i + 1)};
        if (i % 13 == 0)
            file.matchedPath = QStringLiteral("/M/%1/CLIP%2.MOV").arg(i % 7).arg(i + 3);
        list.append(file);
    }
    LowerPathCache keys;
    const AggregatedUsage usage = aggregateEffectiveUsage({one, two}, {{}, {}}, keys);
    for (qsizetype i = 0; i < list.size(); i += 5) { // cached for another path, then moved
        MediaFile old = list[i];
        old.path = QStringLiteral("/old/") + old.path;
        keys.distinctKeys(old);
    }
    QList<MediaFile> whole = list;
    applyAggregatedUsage(whole, usage, keys);
    EXPECT_EQ(keys.entryCount(), count);
    for (qsizetype i = 0; i < list.size(); ++i) {
        ASSERT_NE(keys.currentKeys(whole[i]), nullptr) << i;
        QList<MediaFile> single = {list[i]};
        LowerPathCache own;
        applyAggregatedUsage(single, usage, own);
        ASSERT_EQ(whole[i].usageCount, single[0].usageCount) << i;
        ASSERT_EQ(whole[i].projectNames, single[0].projectNames) << i;
        ASSERT_EQ(whole[i].usageType, single[0].usageType) << i;
        ASSERT_EQ(keys.distinctKeys(whole[i]), own.distinctKeys(single[0])) << i;
    }
    EXPECT_EQ(whole[3].usageCount, 4); // a letter-case twin used in "Two"
    EXPECT_EQ(whole[3].projectNames, QStringList({"One", "Two"}));
}

TEST(ProjectManagerUsage, LongProjectsAggregateInTheOrderTheirPathsAreFirstMet) {
    // Long enough for the index to fill its parts side by side; letter-case twins across projects.
    QList<ProjectFile> projects;
    for (int p = 0; p < 3; ++p) {
        ProjectFile one = project(QStringLiteral("P%1").arg(p), {});
        for (int i = 0; i < 20000; ++i) {
            const QString path = QStringLiteral("/m/Clip%1.mov").arg((i * (p + 3)) % 45000);
            one.mediaFiles.append(p == 1 ? path.toUpper() : path);
            if (i % 7 == p) {
                one.usedFiles.append(one.mediaFiles.last());
                one.usageCountByPath.insert(one.mediaFiles.last(), i % 3);
            }
        }
        projects.append(one);
    }
    LowerPathCache keys;
    const AggregatedUsage usage = aggregateEffectiveUsage(projects, {{}, {}, {}}, keys, true);
    QHash<QString, qsizetype> index;
    QList<qint64> counts;
    QList<QStringList> names;
    for (qsizetype p = 0; p < projects.size(); ++p) {
        for (qsizetype i = 0; i < projects[p].mediaFiles.size(); ++i) {
            const QString& path = projects[p].mediaFiles[i];
            const qsizetype record = index.value(LowerPathCache::lowerKey(path), counts.size());
            if (record == counts.size()) {
                index.insert(LowerPathCache::lowerKey(path), record);
                counts.append(0);
                names.append(QStringList());
            }
            ASSERT_EQ(usage.recordOfProjectPath[p][std::size_t(i)], record) << p << ' ' << i;
            if (projects[p].usedFiles.contains(path))
                counts[record] += std::max(projects[p].usageCountByPath.value(path), 1);
            if (!names[record].contains(projects[p].name))
                names[record].append(projects[p].name);
        }
    }
    ASSERT_EQ(usage.size(), counts.size());
    for (auto it = index.cbegin(); it != index.cend(); ++it) {
        const AggregatedProjectUsage* found = usage.find(it.key());
        ASSERT_EQ(found, &usage.records[std::size_t(it.value())]) << it.key().toStdString();
        ASSERT_EQ(found->usageCount, counts[it.value()]) << it.key().toStdString();
        ASSERT_EQ(QStringList(found->projectNames.cbegin(), found->projectNames.cend()), names[it.value()]);
    }
    EXPECT_EQ(usage.find(QStringLiteral("/m/clip45000.mov")), nullptr);
}

TEST(ProjectManagerUsage, TimelineCheckboxCannotIgnoreAProtectedTimeline) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    ProjectFile p = timelineProject();
    use(p, "/m/a.mov", 2, attribution({{"s3", 2}}));
    use(p, "/m/b.mov", 1, attribution({{"s2", 1}}));
    pm.edit(ProjectManager::ListChange::none).setProjects({p});
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({media("/m/a.mov"), media("/m/b.mov")});
    const ProjectSequence finalGrade = p.sequences[2];
    const ProjectSequence edit = p.sequences[1];

    EXPECT_FALSE(pm.setSequenceCounted(false, finalGrade, p));
    EXPECT_EQ(pm.policy().sequencePolicyRevision, 0);
    EXPECT_TRUE(h.policy.overrides().isEmpty());

    QStringList logged;
    AppLog::setSink([&](const AppLog::Record& r) { logged << r.message; });
    EXPECT_TRUE(pm.setSequenceCounted(false, edit, p));
    AppLog::setSink({});
    EXPECT_EQ(pm.policy().sequencePolicyRevision, 1);
    EXPECT_EQ(pm.mediaFiles()[1].usageCount, 0);
    EXPECT_TRUE(logged.contains(QStringLiteral("👆 User: Sequence ignored: Feature / Edit [s2]")))
        << logged.join('\n').toStdString();
    EXPECT_EQ(pm.effectiveUsedFileCount(p), 1);

    EXPECT_TRUE(pm.clearSequenceOverride(edit, p));
    EXPECT_EQ(pm.policy().sequencePolicyRevision, 2);
    EXPECT_EQ(pm.mediaFiles()[1].usageCount, 1);
}

TEST(ProjectManagerUsage, RuleChangesRecountOnlyWhenTheStoreAcceptsThem) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    ProjectFile p = timelineProject();
    use(p, "/m/a.mov", 1, attribution({{"s1", 1}}));
    pm.edit(ProjectManager::ListChange::none).setProjects({p});
    pm.edit(ProjectManager::ListChange::none).setMediaFiles({media("/m/a.mov")});

    QStringList logged;
    AppLog::setSink([&](const AppLog::Record& r) { logged << r.message; });
    ASSERT_TRUE(pm.addSequenceRule("  Stringout ", SequenceRuleAction::ignore));
    EXPECT_EQ(pm.policy().sequenceRules, h.policy.rules());
    EXPECT_EQ(pm.policy().sequenceRules[0].pattern, QStringLiteral("Stringout"));
    EXPECT_EQ(pm.mediaFiles()[0].usageCount, 0);
    const qint64 revision = pm.policy().sequencePolicyRevision;
    const qint64 mediaVersion = pm.mediaFilesVersion();
    EXPECT_FALSE(pm.addSequenceRule("stringout", SequenceRuleAction::ignore)) << "duplicate";
    EXPECT_EQ(pm.policy().sequencePolicyRevision, revision);
    EXPECT_EQ(pm.mediaFilesVersion(), mediaVersion) << "no recount for a refused rule";

    ASSERT_TRUE(pm.removeSequenceRule(pm.policy().sequenceRules[0]));
    AppLog::setSink({});
    EXPECT_EQ(pm.mediaFiles()[0].usageCount, 1);
    EXPECT_EQ(pm.policy().sequenceRules.size(), 1);
    EXPECT_TRUE(std::any_of(logged.cbegin(), logged.cend(), [](const QString& l) {
        return l.endsWith("Sequence ignore rule added:   Stringout ");
    })) << logged.join('\n').toStdString();
    EXPECT_TRUE(std::any_of(logged.cbegin(), logged.cend(), [](const QString& l) {
        return l == "👆 User: Sequence rule removed: Stringout";
    }));
}

TEST(ProjectManagerUsage, ProtectsFilesInsideProtectedFoldersIgnoringCase) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    const qint64 emptyVersion = pm.mediaFilesVersion();
    pm.refreshProtectedFlags();
    EXPECT_EQ(pm.mediaFilesVersion(), emptyVersion) << "an empty list is left alone";

    MediaFile viaMatch = media("/elsewhere/m.mov");
    viaMatch.matchedPath = QStringLiteral("/Volumes/Media/m.mov");
    pm.edit(ProjectManager::ListChange::none)
        .setMediaFiles({media("/Volumes/Media/a.mov"), media("/volumes/media/B.MOV"), media("/Volumes/Media"),
                        media("/Volumes/MediaArchive/a.mov"), viaMatch,
                        media("/Volumes/Media/../Other/x.mov")});
    h.folders.add("/Volumes/Media");
    ASSERT_TRUE(pm.protectedFoldersDidChange());
    QList<bool> flags;
    for (const MediaFile& f : pm.mediaFiles())
        flags << f.isProtected;
    EXPECT_EQ(flags, (QList<bool>{true, true, true, false, true, false}));

    const qint64 before = pm.mediaFilesVersion();
    ASSERT_TRUE(pm.removeProtectedFolder("/Volumes/Media"));
    EXPECT_TRUE(pm.options().protectedFolders.isEmpty());
    EXPECT_EQ(pm.mediaFilesVersion(), before + 4) << "one change per entry whose flag changed";
    EXPECT_TRUE(std::none_of(pm.mediaFiles().cbegin(), pm.mediaFiles().cend(),
                             [](const MediaFile& f) { return f.isProtected; }));

    h.folders.add("/");
    pm.protectedFoldersDidChange();
    EXPECT_TRUE(std::all_of(pm.mediaFiles().cbegin(), pm.mediaFiles().cend(), [](const MediaFile& f) {
        return f.isProtected;
    })) << "the root protects everything";
}

} // namespace
