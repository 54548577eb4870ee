#include "ui/sidebar/SidebarView.h"
#include "support/ProjectManagerSteps.h"
#include "support/UiTestHelpers.h"
#include "ui/brand/BrandButton.h"
#include "ui/brand/BrandPalette.h"
#include "ui/cleanup/CleanupTexts.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/CommandCenter.h"
#include "ui/sidebar/SidebarRows.h"
#include "ui/sidebar/SidebarTexts.h"
#include "ui/window/WindowTestFixture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

QStringList labels(SidebarView* sidebar) {
    QStringList out;
    for (SummaryRow* row : sidebar->visibleSummaryRows())
        out.append(row->label());
    return out;
}

SummaryRow* row(SidebarView* sidebar, const QString& label) {
    for (SummaryRow* r : sidebar->visibleSummaryRows())
        if (r->label() == label)
            return r;
    return nullptr;
}

int rescans(const UiLogCapture& log) {
    int n = 0;
    for (const QString& line : log.lines)
        n += line.contains(QStringLiteral("Rescanning file status and usage counts")) ? 1 : 0;
    return n;
}

ProjectFile projectWithTimelines(const QString& name, int timelines, int unattributed) {
    ProjectFile p = project(name, {"/m/used0.mov", "/m/unused0.mov"}, {"/m/used0.mov"});
    for (int i = 0; i < timelines; ++i)
        p.sequences.append({QStringLiteral("seq-%1").arg(i), QStringLiteral("Edit %1").arg(i)});
    SequenceUsageAttribution attribution;
    attribution.unattributedOccurrences = unattributed;
    p.sequenceUsageByPath.insert(QStringLiteral("/m/used0.mov"), attribution);
    return p;
}

} // namespace

TEST(SidebarSummary, ShowsConditionalRowsOnlyFromOne) {
    WindowFixture f;
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    const QStringList always{"Projects", "Total Files", "Used",       "Unused",
                             "Online",   "Offline",     "Total Size", "Unused Size"};
    EXPECT_EQ(labels(sidebar), always);
    EXPECT_EQ(row(sidebar, "Total Size")->value(), QStringLiteral("Zero KB"));
    EXPECT_EQ(row(sidebar, "Offline")->valueColor(), Color::brandTextPrimary());
    EXPECT_EQ(sidebar->callout()->countText(), QStringLiteral("0 unused files"));

    AnalysisSummary s;
    s.unusedFiles = 1;
    s.audioOnlyFiles = 1;
    s.relocatedFiles = 1;
    s.matchingFiles = 1;
    s.offlineFiles = 1;
    s.networkOfflineFiles = 1;
    s.duplicateFiles = 1;
    s.aeLinkedFiles = 1;
    s.totalMediaFiles = 12345;
    ProjectManagerSteps::setSummary(f.pm(), s);
    f.settle();
    EXPECT_EQ(labels(sidebar),
              (QStringList{"Projects", "Total Files", "Used", "Unused", "Audio Only", "Online",
                           "Found (Relocated)", "Matching", "Offline", "Network Offline", "Duplicates",
                           "Used in AE", "Total Size", "Unused Size"}));
    EXPECT_EQ(row(sidebar, "Total Files")->value(), QStringLiteral("12345")); // no grouping
    EXPECT_EQ(row(sidebar, "Offline")->valueColor(), Color::brandRed());
    EXPECT_EQ(row(sidebar, "Unused")->valueColor(), Color::brandAmber());
    EXPECT_TRUE(row(sidebar, "Unused")->isBold());
    EXPECT_EQ(sidebar->callout()->countText(), QStringLiteral("1 unused file"));
    s.unusedFiles = 3;
    ProjectManagerSteps::setSummary(f.pm(), s);
    f.settle();
    EXPECT_EQ(sidebar->callout()->countText(), QStringLiteral("3 unused files"));
}

TEST(SidebarSummary, HighlightedRowWithAColourTakesTheColour) {
    SummaryRow r;
    r.set(QStringLiteral("Unused"), QStringLiteral("4"), true, Color::brandCyan());
    EXPECT_EQ(r.valueColor(), Color::brandCyan());
    EXPECT_TRUE(r.isBold());
}

TEST(SidebarProjects, EmptyShowsTheHintAndNoChipEvenWithAStaleSelection) {
    WindowFixture f;
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    f.pm().updateFilters([](FilterSettings& filters) { filters.selectedProjectIDs = {QUuid::createUuid()}; });
    f.settle();
    EXPECT_FALSE(sidebar->emptyProjectsHint()->isHidden());
    EXPECT_TRUE(sidebar->clearFilterChip()->parentWidget()->isHidden());
    EXPECT_TRUE(sidebar->projectRows().isEmpty());
}

// Projects just read, before the recount counts them, are counted on later turns a few at a
// time, to the text counted at once.
TEST(SidebarProjects, ProjectsNotYetCountedAreCountedOnLaterTurns) {
    WindowFixture f;
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    sidebar->setSlicedCountPaths(1);
    f.pm()
        .edit(ProjectManager::ListChange::none)
        .setProjects({projectWithTimelines("One", 1, 0), projectWithTimelines("Two", 0, 0)});
    QCoreApplication::sendPostedEvents(&f.pm()); // the change reaches the sidebar, nothing after it
    ASSERT_EQ(sidebar->projectRows().size(), 2);
    EXPECT_TRUE(sidebar->hasRowsToCount());
    EXPECT_TRUE(sidebar->projectRows()[0]->countsText().isEmpty());
    f.settle();
    EXPECT_FALSE(sidebar->hasRowsToCount());
    for (ProjectDisclosureRow* row : sidebar->projectRows())
        EXPECT_EQ(row->countsText(), QStringLiteral("2 files, 1 used"));
}

// A project that read cleanly still says why some of its files need review: another project has a
// timeline clip of their name it could not match.
TEST(SidebarProjects, ARowSaysWhyAnotherProjectsUnmatchedClipFlagsItsFiles) {
    WindowFixture f;
    ProjectFile a = project("A", {"/a/used.mov"}, {"/a/used.mov"});
    a.parseWarnings = {QStringLiteral("1 timeline clip(s) could not be matched to a media file.")};
    a.unresolvedClipNames = {QStringLiteral("X.mov")};
    f.pm()
        .edit(ProjectManager::ListChange::none)
        .setProjects({a, project("B", {"/b/X.mov", "/b/other.mov"}, {}), project("C", {"/c/y.mov"}, {})});
    f.settle();
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    ASSERT_EQ(sidebar->projectRows().size(), 3);
    EXPECT_EQ(sidebar->projectRows()[0]->warningText(), a.parseWarnings.first());
    EXPECT_TRUE(sidebar->projectRows()[1]->warningText().startsWith(
        QStringLiteral("1 file(s) listed here share a name with a timeline clip of “A”")))
        << sidebar->projectRows()[1]->warningText().toStdString();
    EXPECT_TRUE(sidebar->projectRows()[2]->warningText().isEmpty());
}

TEST(SidebarProjects, RowsSelectExpandAndClearTheFilter) {
    WindowFixture f;
    f.fill(1, 0, 1);
    f.pm()
        .edit(ProjectManager::ListChange::usage)
        .setProjects({projectWithTimelines("One", 1, 1), projectWithTimelines("Three", 3, 3),
                      projectWithTimelines("None", 0, 0)});
    f.settle();
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    ASSERT_EQ(sidebar->projectRows().size(), 3);
    EXPECT_TRUE(sidebar->emptyProjectsHint()->isHidden());
    EXPECT_EQ(sidebar->projectRows()[0]->countsText(), QStringLiteral("2 files, 1 used"));
    EXPECT_FALSE(sidebar->projectRows()[2]->expandButton()->isEnabled());
    EXPECT_EQ(sidebar->projectRows()[2]->expandButton()->toolTip(), QStringLiteral("No timelines found"));
    EXPECT_EQ(SidebarTexts::timelinesText(1).value_or(""), QStringLiteral("• 1 timeline"));
    EXPECT_EQ(SidebarTexts::timelinesText(3).value_or(""), QStringLiteral("• 3 timelines"));
    EXPECT_FALSE(SidebarTexts::timelinesText(0).has_value());

    // The notice shows only while expanded, singular for 1.
    const QUuid one = f.pm().projects()[0].id;
    const QUuid three = f.pm().projects()[1].id;
    EXPECT_FALSE(sidebar->unattributedNotice(one).has_value());
    sidebar->projectRows()[0]->expandButton()->click();
    f.settle();
    EXPECT_EQ(sidebar->sequenceRows().size(), 1);
    EXPECT_EQ(sidebar->unattributedNotice(one).value_or(""),
              QStringLiteral("1 unattributed occurrence always counted"));
    sidebar->setExpanded(three, true);
    EXPECT_EQ(sidebar->unattributedNotice(three).value_or(""),
              QStringLiteral("3 unattributed occurrences always counted"));
    EXPECT_EQ(sidebar->sequenceRows().size(), 4);

    // A tap selects; the chip clears.
    f.settle();
    {
        QWidget* target = sidebar->projectRows()[1];
        const QPointF at = QRectF(target->rect()).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, {});
        QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton, {}, {});
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    }
    f.settle();
    EXPECT_EQ(f.pm().filters().selectedProjectIDs, QSet<QUuid>{three});
    EXPECT_TRUE(sidebar->projectRows()[1]->isSelected());
    EXPECT_FALSE(sidebar->clearFilterChip()->parentWidget()->isHidden());
    QMenu* menu = sidebar->projectRows()[0]->contextMenu();
    EXPECT_FALSE(menu->actions().at(1)->isEnabled()); // not in the filter
    menu->actions().at(0)->trigger();                 // Show Only This Project
    f.settle();
    EXPECT_EQ(f.pm().filters().selectedProjectIDs, QSet<QUuid>{one});
    sidebar->clearFilterChip()->click();
    f.settle();
    EXPECT_TRUE(f.pm().filters().selectedProjectIDs.isEmpty());
    EXPECT_TRUE(sidebar->clearFilterChip()->parentWidget()->isHidden());
}

// The extent of what differs from the top-left pixel.
QRect inkBounds(const QImage& image) {
    const QRgb ground = image.pixel(0, 0);
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAbs(qGray(image.pixel(x, y)) - qGray(ground)) > 24 ||
                qAbs(qAlpha(image.pixel(x, y)) - qAlpha(ground)) > 60)
                ink |= QRect(x, y, 1, 1);
    return ink;
}

TEST(SidebarProjects, ChevronIsADrawnSymbolThatTurnsDownWhileExpanded) {
    WindowFixture f;
    f.fill(1, 0, 1);
    f.pm().edit(ProjectManager::ListChange::none).setProjects({projectWithTimelines("One", 2, 0)});
    f.settle();
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    ASSERT_EQ(sidebar->projectRows().size(), 1);
    QAbstractButton* chevron = sidebar->projectRows()[0]->expandButton();
    EXPECT_EQ(chevron->size(), QSize(14, 24));
    // Pointing right: a stroke taller than it is wide, not a dot.
    const QRect collapsed = inkBounds(chevron->grab().toImage());
    EXPECT_GE(collapsed.height(), 6);
    EXPECT_LT(collapsed.width(), collapsed.height());

    chevron->click();
    f.settle();
    chevron = sidebar->projectRows()[0]->expandButton();
    EXPECT_EQ(sidebar->sequenceRows().size(), 2);
    // Pointing down: wider than tall.
    const QRect expanded = inkBounds(chevron->grab().toImage());
    EXPECT_GE(expanded.width(), 6);
    EXPECT_LT(expanded.height(), expanded.width());
}

TEST(SidebarSections, ButtonsAndTheClearFilterChipCarryTheirSymbols) {
    WindowFixture f;
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    QList<QAbstractButton*> buttons;
    for (BrandButton* button : sidebar->findChildren<BrandButton*>())
        buttons.append(button);
    ASSERT_EQ(buttons.size(), 5);
    buttons.append(sidebar->clearFilterChip());
    for (QAbstractButton* button : buttons) {
        ASSERT_FALSE(button->icon().isNull()) << button->text().toStdString();
        const QImage image = button->icon().pixmap(16, 16).toImage();
        EXPECT_FALSE(inkBounds(image).isEmpty()) << button->text().toStdString();
    }
}

TEST(SidebarProjects, TimelineCheckboxOverridesAndAutomaticRuleRestores) {
    WindowFixture f;
    f.fill(1, 0, 1);
    f.pm().edit(ProjectManager::ListChange::none).setProjects({projectWithTimelines("Cut", 1, 0)});
    f.settle();
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    sidebar->setExpanded(f.pm().projects()[0].id, true);
    ASSERT_EQ(sidebar->sequenceRows().size(), 1);
    QCheckBox* box = sidebar->sequenceRows()[0]->checkBox();
    EXPECT_TRUE(box->isChecked());
    const QPointer<ProjectDisclosureRow> projectRow = sidebar->projectRows()[0];
    const QPointer<SequenceRow> timelineRow = sidebar->sequenceRows()[0];
    box->click();
    f.settle();
    ASSERT_EQ(sidebar->sequenceRows().size(), 1);
    EXPECT_TRUE(projectRow && timelineRow) << "a change of the policy alone keeps the rows";
    EXPECT_FALSE(sidebar->sequenceRows()[0]->checkBox()->isChecked());
    EXPECT_EQ(sidebar->sequenceRows()[0]->badgeTip(), QStringLiteral("Usage from this timeline is ignored"));
    sidebar->sequenceRows()[0]->contextMenu()->actions().at(0)->trigger(); // Use Automatic Rule
    f.settle();
    EXPECT_TRUE(sidebar->sequenceRows()[0]->checkBox()->isChecked());
}

TEST(SidebarSections, RuleAndFolderCountsAndTheirButtons) {
    WindowFixture f;
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    EXPECT_EQ(SidebarTexts::ruleCountsText(1, 0).value_or(""),
              QStringLiteral("1 protect rule • 0 auto-ignore rules"));
    EXPECT_EQ(SidebarTexts::ruleCountsText(2, 1).value_or(""),
              QStringLiteral("2 protect rules • 1 auto-ignore rule"));
    EXPECT_FALSE(SidebarTexts::ruleCountsText(0, 0).has_value());
    f.pm().addSequenceRule(QStringLiteral("stringout"), SequenceRuleAction::ignore);
    f.settle();
    EXPECT_TRUE(sidebar->ruleCountsShown().endsWith(QStringLiteral(" • 1 auto-ignore rule")));
    EXPECT_TRUE(sidebar->protectedCountShown().isEmpty());
    f.pm().updateOptions(
        [](CleanupOptions& options) { options.protectedFolders = {QStringLiteral("/Volumes/Masters")}; });
    f.settle();
    EXPECT_EQ(sidebar->protectedCountShown(), QStringLiteral("1 folder protected"));
    f.pm().updateOptions([](CleanupOptions& options) {
        options.protectedFolders = {QStringLiteral("/a"), QStringLiteral("/b")};
    });
    f.settle();
    EXPECT_EQ(sidebar->protectedCountShown(), QStringLiteral("2 folders protected"));

    QObject context;
    QList<Command> posted;
    QObject::connect(&f.view->commands(), &CommandCenter::posted, &context,
                     [&posted](const CommandPost& post) { posted.append(commandOf(post)); });
    for (auto* button : sidebar->findChildren<QAbstractButton*>()) {
        if (button->text() == QStringLiteral("Manage Sequence Usage…") ||
            button->text() == QStringLiteral("Manage Protected Folders…"))
            button->click();
    }
    EXPECT_EQ(posted, (QList<Command>{Command::manageSequenceUsage, Command::manageProtectedFolders}));
}

TEST(SidebarToggles, IgnoreExtensionRescansOncePerClickAndNeverOnSync) {
    WindowFixture f;
    f.fill(2);
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    UiLogCapture log;
    auto* ignore = sidebar->toggle(QStringLiteral("Ignore File Extension"));
    ignore->click();
    f.settle();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f.pm().isBusy(); }));
    EXPECT_TRUE(f.pm().filters().ignoreFileExtension);
    EXPECT_EQ(rescans(log), 1);
    ignore->click();
    f.settle();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f.pm().isBusy(); }));
    EXPECT_FALSE(f.pm().filters().ignoreFileExtension);
    EXPECT_EQ(rescans(log), 2);
    // Synced from the model: the box follows, nothing is rescanned.
    f.pm().updateFilters([](FilterSettings& filters) { filters.ignoreFileExtension = true; });
    f.settle();
    EXPECT_TRUE(ignore->isChecked());
    sidebar->toggle(QStringLiteral("Write Trace Files"))->click();
    sidebar->toggle(QStringLiteral("Audio Only"))->click();
    sidebar->toggle(QStringLiteral("Duplicates"))->click();
    f.settle();
    EXPECT_TRUE(f.pm().options().writeTraceFiles);
    EXPECT_TRUE(f.pm().filters().showOnlyAudioOnly);
    EXPECT_TRUE(f.pm().filters().showDuplicates);
    EXPECT_EQ(rescans(log), 2);
    EXPECT_EQ(sidebar->toggle(QStringLiteral("Duplicates"))->toolTip(),
              QStringLiteral("Show only files detected as duplicates"));
}

// Toggled while another operation runs: the option flips at once, the window says the rescan waits
// (no alert), and the rescan runs when the operation ends.
TEST(SidebarToggles, IgnoreExtensionToggledWhileBusyRescansWhenTheOperationEnds) {
    WindowFixture f;
    f.fill(2);
    UiLogCapture log;
    auto scope = f.pm().tryBeginOperation(QStringLiteral("Removing project A…"));
    ASSERT_TRUE(scope);
    qobject_cast<SidebarView*>(f.view->sidebar())->toggle(QStringLiteral("Ignore File Extension"))->click();
    f.settle();
    EXPECT_TRUE(f.pm().filters().ignoreFileExtension);
    EXPECT_EQ(rescans(log), 0);
    EXPECT_NE(f.presented(), QStringLiteral("busy"));
    const QLabel* status = f.view->busyStatusLabel();
    EXPECT_FALSE(status->isHidden());
    EXPECT_EQ(status->text(), QStringLiteral("Removing project A… — Waiting to run: Refresh file status"));

    scope->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rescans(log) == 1 && !f.pm().isBusy(); }));
    f.settle();
    EXPECT_TRUE(status->isHidden());
}

TEST(SidebarSweep, ButtonsFollowTheSafeAndExportableFiles) {
    WindowFixture f;
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    EXPECT_FALSE(sidebar->sweepButton(0)->isEnabled());
    EXPECT_FALSE(sidebar->sweepButton(2)->isEnabled());
    f.fill(0, 2, 1); // only unused offline files
    EXPECT_FALSE(sidebar->sweepButton(0)->isEnabled());
    EXPECT_FALSE(sidebar->sweepButton(1)->isEnabled());
    EXPECT_TRUE(sidebar->sweepButton(2)->isEnabled());
    f.fill(2, 0, 1);
    f.ops->conflictReasons = {{"/m/unused0.mov", "r0"}, {"/m/unused1.mov", "r1"}};
    f.view->facts().refresh();
    f.settle();
    EXPECT_FALSE(sidebar->sweepButton(0)->isEnabled()); // every eligible file is in conflict
    EXPECT_EQ(sidebar->sweepButton(0)->text(), QStringLiteral("Add All Unused to Bin"));
}

TEST(SidebarSweep, ConflictsRaiseTheSafetyAlertWithTheFirstReason) {
    WindowFixture f;
    f.fill(4, 0, 1);
    MediaFile review = media(QStringLiteral("/m/review.mov"));
    review.needsReview = true;
    f.pm().edit(ProjectManager::ListChange::none).modifyMediaFiles([&](QList<MediaFile>& list) {
        list.append(review);
    });
    f.ops->conflictReasons = {{"/m/unused0.mov", "Tied to Brand Film."}};
    f.settle();
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    sidebar->sweepButton(0)->click();
    f.settle();
    ASSERT_EQ(f.presented(), QStringLiteral("⚠️ Potentially Used Media"));
    auto* alert = qobject_cast<AlertDialog*>(f.view->presentations().current());
    EXPECT_EQ(alert->message(),
              QStringLiteral("Tied to Brand Film.\n\nDeleting this file may break that project."));
    EXPECT_EQ(alert->buttons().at(0)->accessibleName(), QStringLiteral("Cancel"));
    alert->buttons().at(0)->click();
    f.settle();
    EXPECT_TRUE(f.ops->staged.isEmpty());
    EXPECT_TRUE(f.presented().isEmpty());

    f.ops->conflictReasons = {{"/m/unused0.mov", "A"}, {"/m/unused1.mov", "B"}, {"/m/unused2.mov", "C"}};
    f.view->facts().refresh();
    f.settle();
    sidebar->sweepButton(0)->click();
    f.settle();
    alert = qobject_cast<AlertDialog*>(f.view->presentations().current());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->message(),
              QStringLiteral("A\n\n…and 2 more conflict(s)\n\nDeleting this file may break that project."));
    alert->buttons().at(1)->click(); // Move to Recycle Anyway
    f.settle();
    ASSERT_EQ(f.ops->staged.size(), 1);
    EXPECT_EQ(f.ops->staged[0].size(),
              4); // all eligible, conflicting ones included; not the one under review
}

TEST(SidebarSweep, NoConflictStagesTheSafeListAtOnce) {
    WindowFixture f;
    f.fill(3, 1, 1);
    qobject_cast<SidebarView*>(f.view->sidebar())->sweepButton(0)->click();
    f.settle();
    EXPECT_TRUE(f.presented().isEmpty());
    ASSERT_EQ(f.ops->staged.size(), 1);
    EXPECT_EQ(f.ops->staged[0].size(), 3);
}

// The move of every unused file runs once however often it is confirmed.
TEST(SidebarSweep, UnusedMoveConfirmsWithTheCountAndRunsOnce) {
    WindowFixture f;
    f.fill(3);
    f.panel.choice = {QUrl::fromLocalFile(QStringLiteral("/archive/Job 12"))};
    auto* sidebar = qobject_cast<SidebarView*>(f.view->sidebar());
    sidebar->sweepButton(1)->click();
    f.settle();
    ASSERT_EQ(f.presented(), QStringLiteral("Move Unused Files to Folder?"));
    auto* alert = qobject_cast<AlertDialog*>(f.view->presentations().current());
    EXPECT_EQ(alert->message(),
              QStringLiteral("Move 3 file(s) to “Job 12”? Originals are relocated with their "
                             "directory structure preserved."));
    f.ops->gate.closed = true;
    alert->buttons().at(1)->click();
    sidebar->startUnusedMove(QUrl::fromLocalFile(QStringLiteral("/archive/Job 12")));
    f.settle();
    EXPECT_EQ(f.ops->fileMoves.size(), 1);
    EXPECT_TRUE(sidebar->isUnusedMoveRunning());
    EXPECT_FALSE(sidebar->sweepButton(1)->isEnabled());
    // The second ask was refused, and says why.
    ASSERT_EQ(f.presented(), QStringLiteral("OperationResultView"));
    ASSERT_TRUE(f.shown->move.has_value());
    EXPECT_EQ(f.shown->move->refusal, CleanupTexts::alreadyAskedReason(CleanupRunKind::unusedMove));
    f.dismissPresented();
    f.ops->gate.open();
    f.settle();
    EXPECT_FALSE(sidebar->isUnusedMoveRunning());
    EXPECT_TRUE(sidebar->sweepButton(1)->isEnabled());
    EXPECT_EQ(f.presented(), QStringLiteral("OperationResultView"));
    ASSERT_TRUE(f.shown->move.has_value());
    EXPECT_FALSE(f.shown->move->isRefused());
    EXPECT_EQ(f.shown->move->action.succeeded, 3);
    // Cancelling the folder choice shows nothing.
    f.dismissPresented();
    f.panel.choice.clear();
    sidebar->sweepButton(1)->click();
    f.settle();
    EXPECT_TRUE(f.presented().isEmpty());
}

TEST(DropZoneRow, LightsUpWhileDragging) {
    WindowFixture f;
    DropZoneRow* zone = qobject_cast<SidebarView*>(f.view->sidebar())->dropZone();
    EXPECT_FALSE(zone->isDragging());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/p/A.prproj"))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.view.get(), &enter);
    EXPECT_TRUE(zone->isDragging());
    QDragLeaveEvent leave;
    QApplication::sendEvent(f.view.get(), &leave);
    EXPECT_FALSE(zone->isDragging());
}
