#include "support/ProjectManagerHarness.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <optional>
#include <utility>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

using ListChange = ProjectManager::ListChange;

// What the manager's end-of-turn check reports, in order.
struct ReportedFaults {
    QList<ProjectManager::Changes> lists;
    explicit ReportedFaults(ProjectManager& pm) {
        pm.setUncommittedChangeReporter([this](ProjectManager::Changes changed) { lists.append(changed); });
    }
};

// Ends the turn: the check runs with the manager's other posted calls.
void endTurn(ProjectManager& pm) {
    QCoreApplication::sendPostedEvents(&pm, QEvent::MetaCall);
}

// Kept by reference until the edit ends: a temporary is gone by then.
template <class T>
concept TakesPreparedRecount = requires(ProjectManager::Edit& edit, T&& recount) {
    edit.withPreparedRecount(std::forward<T>(recount));
};

} // namespace

TEST(ProjectManagerEdit, RunsTheFollowUpsItsChangesNeedWhenItEnds) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    pm.edit(ListChange::none).setProjects({project("A", {"/m/a.mov", "/m/b.mov"}, {"/m/a.mov"})});
    {
        ProjectManager::Edit edit(pm, ListChange::usage | ListChange::entriesMerged);
        edit.setMediaFiles({media("/m/a.mov"), media("/m/b.mov")});
        edit.setRecycleBin({binItem(media("/m/gone.mov"))});
        EXPECT_EQ(pm.mediaFiles()[0].usageCount, 0) << "nothing follows before the edit ends";
        EXPECT_EQ(pm.recycleBin().size(), 1);
    }
    EXPECT_EQ(pm.mediaFiles()[0].usageCount, 1);
    EXPECT_TRUE(pm.recycleBin().isEmpty()) << "the item no entry holds left the bin";
    EXPECT_EQ(pm.summary().totalMediaFiles, 2);
    EXPECT_EQ(pm.summary().unusedFiles, 1);
}

TEST(ProjectManagerEdit, TheCheckPassesEditsThatEndedInTheirTurn) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    ReportedFaults faults(pm);
    pm.edit(ListChange::entries).setMediaFiles({media("/m/a.mov")});
    pm.edit(ListChange::none).setRecycleBin({binItem(media("/m/a.mov"))});
    {
        ProjectManager::Edit edit(pm, ListChange::entriesMerged);
        edit.modifyMediaFiles([](QList<MediaFile>& list) { list.append(media("/m/b.mov")); });
        pm.refreshProtectedFlags(); // an edit of the manager's own inside the caller's
    }
    ASSERT_TRUE(pm.clearAll());
    endTurn(pm);
    EXPECT_TRUE(faults.lists.isEmpty());
}

TEST(ProjectManagerEdit, AnEditStillOpenWhenItsTurnEndsIsReported) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    ReportedFaults faults(pm);
    std::optional<ProjectManager::Edit> edit(std::in_place, pm, ListChange::entries);
    edit->setMediaFiles({media("/m/a.mov")}).setRecycleBin({binItem(media("/m/a.mov"))});
    endTurn(pm); // as when the caller awaits with its edit open
    ASSERT_EQ(faults.lists.size(), 1);
    EXPECT_EQ(faults.lists[0], ProjectManager::Change::mediaFiles | ProjectManager::Change::recycleBin);
    edit.reset();
    endTurn(pm);
    EXPECT_EQ(faults.lists.size(), 1) << "committed since: nothing more to report";
    EXPECT_EQ(pm.summary().totalMediaFiles, 1);
}

TEST(ProjectManagerEdit, ADeferredEditIsReportedOnlyWhenNothingSettlesItByItsOperationsEnd) {
    ProjectManagerHarness h;
    ProjectManager& pm = h.pm();
    ReportedFaults faults(pm);
    {
        auto scope = pm.tryBeginOperation("Importing projects…");
        ASSERT_TRUE(scope);
        pm.deferredEdit(ListChange::usage).setProjects({project("A", {"/m/a.mov"}, {"/m/a.mov"})});
        endTurn(pm); // the operation awaits: its follow-ups may still come
        EXPECT_TRUE(faults.lists.isEmpty());
        pm.edit(ListChange::usage).setMediaFiles({media("/m/a.mov")});
    }
    endTurn(pm);
    EXPECT_TRUE(faults.lists.isEmpty()) << "the recount settled it";
    EXPECT_EQ(pm.mediaFiles()[0].usageCount, 1);

    {
        auto scope = pm.tryBeginOperation("Importing projects…");
        ASSERT_TRUE(scope);
        pm.deferredEdit(ListChange::usage).appendProject(project("B", {"/m/b.mov"}, {"/m/b.mov"}));
        pm.edit(ListChange::entries); // a summary is no recount
    }
    endTurn(pm);
    ASSERT_EQ(faults.lists.size(), 1);
    EXPECT_EQ(faults.lists[0], ProjectManager::Changes(ProjectManager::Change::projects));

    pm.deferredEdit(ListChange::entries).setMediaFiles({media("/m/c.mov")});
    endTurn(pm); // outside an operation its turn is all it has
    ASSERT_EQ(faults.lists.size(), 2);
    EXPECT_EQ(faults.lists[1], ProjectManager::Changes(ProjectManager::Change::mediaFiles));
}

TEST(ProjectManagerEdit, APreparedRecountIsTakenOnlyFromAValueThatOutlivesTheEdit) {
    using Recount = ProjectManager::PreparedUsageRecount;
    static_assert(TakesPreparedRecount<Recount&>);
    static_assert(TakesPreparedRecount<const Recount&>);
    static_assert(!TakesPreparedRecount<Recount>, "a temporary");
    static_assert(!TakesPreparedRecount<const Recount>, "a const temporary");
}
