#include "ui/tools/SequenceUsageSheet.h"

#include "ui/tools/SequenceUsageModel.h"
#include "ui/tools/ToolSheetFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QToolButton>

#include "support/ColourContrast.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {
ProjectFile projectWith(const QString& name, const QList<ProjectSequence>& sequences,
                        qint64 unattributed = 0) {
    ProjectFile p;
    p.name = name;
    p.url = QUrl::fromLocalFile(QStringLiteral("/projects/") + name + QStringLiteral(".prproj"));
    p.sequences = sequences;
    if (unattributed > 0) {
        SequenceUsageAttribution a;
        a.unattributedOccurrences = unattributed;
        p.sequenceUsageByPath.insert(QStringLiteral("/m/a.mov"), a);
    }
    return p;
}

struct SequenceSheetFixture : ToolSheetFixture {
    SequenceSheetFixture() {
        pm().edit(ProjectManager::ListChange::none)
            .setProjects(
                {projectWith(QStringLiteral("Promo"),
                             {{QStringLiteral("seq-0001-abcdef12"), QStringLiteral("Dailies Day 1")},
                              {QStringLiteral("seq-0002-99887766"), QStringLiteral("Main Edit")},
                              {QStringLiteral("seq-0003-ffeedd11"), QStringLiteral("Main Edit FINAL")},
                              {QStringLiteral("seq-0004-a1b2c3"), QStringLiteral("   ")}},
                             3),
                 projectWith(QStringLiteral("Teaser"), {{QStringLiteral("t-1"), QStringLiteral("Cut A")}}),
                 projectWith(QStringLiteral("Empty"), {})});
    }
    QStringList rowNames(const SequenceUsageModel& model) {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r)
            out << model.index(r).data().toString();
        return out;
    }
};
} // namespace

TEST(SequenceUsageSheet, SearchKeepsWholeProjectsByNameAndTimelinesByDisplayName) {
    SequenceSheetFixture f;
    SequenceUsageSheet sheet(f.pm());
    EXPECT_EQ(sheet.size(), QSize(680, 570));
    SequenceUsageModel& model = *sheet.model();
    EXPECT_EQ(f.rowNames(model), (QStringList{"Promo", "Dailies Day 1", "Main Edit", "Main Edit FINAL",
                                              "Untitled Timeline • a1b2c3", "Teaser", "Cut A"}));
    EXPECT_EQ(sheet.timelinesTitle()->text(), QStringLiteral("TIMELINES IN OPEN PROJECTS • 5"));
    EXPECT_EQ(model.index(1).data(SequenceUsageModel::captionRole).toString(),
              QStringLiteral("ID …abcdef12"));
    EXPECT_EQ(model.index(0).data(SequenceUsageModel::unattributedRole).toLongLong(), 3);
    EXPECT_EQ(model.index(5).data(SequenceUsageModel::unattributedRole).toLongLong(), 0);

    sheet.searchField()->setText(QStringLiteral("DAILIES"));
    EXPECT_EQ(f.rowNames(model), (QStringList{"Promo", "Dailies Day 1"}));
    sheet.searchField()->setText(QStringLiteral("teaser"));
    EXPECT_EQ(f.rowNames(model), (QStringList{"Teaser", "Cut A"}));
    sheet.searchField()->setText(QStringLiteral("a1b2c3"));
    EXPECT_EQ(f.rowNames(model), (QStringList{"Promo", "Untitled Timeline • a1b2c3"}));
    sheet.searchField()->setText(QStringLiteral("nothing like it"));
    EXPECT_EQ(sheet.timelinesTitle()->text(), QStringLiteral("TIMELINES IN OPEN PROJECTS • 0"));
    EXPECT_EQ(sheet.emptyStateText(), QStringLiteral("No matching timelines"));

    sheet.searchField()->setText(QStringLiteral("   "));
    EXPECT_EQ(model.visibleTimelineCount(), 5);
    EXPECT_FALSE(sheet.protectButton()->isEnabled());
    EXPECT_FALSE(sheet.ignoreButton()->isEnabled());
    EXPECT_FALSE(sheet.clearButton()->isHidden());
    sheet.clearButton()->click();
    EXPECT_TRUE(sheet.searchField()->text().isEmpty());
    EXPECT_TRUE(sheet.clearButton()->isHidden());
}

TEST(SequenceUsageSheet, WithoutProjectsTheEmptyStateAsksForAnImport) {
    ToolSheetFixture f;
    SequenceUsageSheet sheet(f.pm());
    EXPECT_EQ(sheet.emptyStateText(), QStringLiteral("Import a project to see timelines"));
    EXPECT_EQ(sheet.shownRules(), QStringList{QStringLiteral("final")});
}

TEST(SequenceUsageSheet, RulesAddFromSearchAndPresetsAndTheFinalRuleStays) {
    SequenceSheetFixture f;
    SequenceUsageSheet sheet(f.pm());
    sheet.searchField()->setText(QStringLiteral("  Main  "));
    ASSERT_TRUE(sheet.ignoreButton()->isEnabled());
    sheet.ignoreButton()->click();
    EXPECT_EQ(sheet.searchField()->text(), QStringLiteral("  Main  ")); // kept after adding
    QMenu* menu = sheet.presetsButton()->menu();
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_EQ(menu->actions().at(0)->text(), QStringLiteral("Ignore names containing “stringout”"));
    EXPECT_EQ(menu->actions().at(1)->text(), QStringLiteral("Ignore names containing “dailies”"));
    EXPECT_EQ(menu->actions().at(2)->text(), QStringLiteral("Ignore names containing “sync”"));
    menu->actions().at(1)->trigger();
    menu->actions().at(1)->trigger();
    EXPECT_EQ(sheet.shownRules(), (QStringList{"dailies", "Main", "final"}));

    QAbstractButton* final = sheet.removeButton(QStringLiteral("final"));
    ASSERT_NE(final, nullptr);
    EXPECT_FALSE(final->isEnabled());
    EXPECT_EQ(final->toolTip(), QStringLiteral("Final protection is required"));
    QAbstractButton* main = sheet.removeButton(QStringLiteral("Main"));
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->toolTip(), QStringLiteral("Remove this rule"));
    main->click();
    EXPECT_EQ(sheet.shownRules(), (QStringList{"dailies", "final"}));
}

TEST(SequenceUsageSheet, TimelinesAreCountedIgnoredAndProtectedByTheirRows) {
    SequenceSheetFixture f;
    SequenceUsageSheet sheet(f.pm());
    SequenceUsageModel& model = *sheet.model();
    sheet.searchField()->clear();
    const int finalRow = model.rowOf(QStringLiteral("Promo"), QStringLiteral("seq-0003-ffeedd11"));
    EXPECT_EQ(model.decision(finalRow), SequenceUsageDecision::protected_);
    EXPECT_EQ(model.index(finalRow).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    model.setCounted(finalRow, false);
    EXPECT_EQ(model.decision(model.rowOf(QStringLiteral("Promo"), QStringLiteral("seq-0003-ffeedd11"))),
              SequenceUsageDecision::protected_);

    int cut = model.rowOf(QStringLiteral("Teaser"), QStringLiteral("t-1"));
    model.setCounted(cut, false);
    cut = model.rowOf(QStringLiteral("Teaser"), QStringLiteral("t-1"));
    EXPECT_EQ(model.decision(cut), SequenceUsageDecision::ignored);
    EXPECT_EQ(model.index(cut).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    model.setCounted(cut, true);
    EXPECT_EQ(model.decision(model.rowOf(QStringLiteral("Teaser"), QStringLiteral("t-1"))),
              SequenceUsageDecision::counted);

    const int blank = model.rowOf(QStringLiteral("Promo"), QStringLiteral("seq-0004-a1b2c3"));
    EXPECT_FALSE(model.canAddNameRule(blank));
    const int dailies = model.rowOf(QStringLiteral("Promo"), QStringLiteral("seq-0001-abcdef12"));
    model.ignoreName(dailies);
    EXPECT_EQ(model.decision(model.rowOf(QStringLiteral("Promo"), QStringLiteral("seq-0001-abcdef12"))),
              SequenceUsageDecision::ignored);
    EXPECT_TRUE(sheet.shownRules().contains(QStringLiteral("Dailies Day 1")));
}

TEST(SequenceUsageSheet, ThePolicyIsEvaluatedOncePerProjectPerRefresh) {
    SequenceSheetFixture f;
    SequenceUsageSheet sheet(f.pm());
    sheet.resize(680, 570);
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    const int before = sheet.model()->policyEvaluations();
    sheet.model()->refresh();
    // Two projects with timelines: two evaluations, however many rows they have or are painted.
    EXPECT_EQ(sheet.model()->policyEvaluations() - before, 2);
    const int painted = sheet.model()->policyEvaluations();
    sheet.timelines()->viewport()->repaint();
    EXPECT_EQ(sheet.model()->policyEvaluations(), painted);
}

TEST(SequenceUsageSheet, RulesTimelinesAndTheSearchFieldStandOnTheRaisedSurface) {
    SequenceSheetFixture f;
    SequenceUsageSheet sheet(f.pm());
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    const QColor raised(0x2A, 0x2A, 0x2A);
    const QList<QWidget*> rules = sheet.findChildren<QWidget*>(QStringLiteral("roundedRow"));
    ASSERT_FALSE(rules.isEmpty()); // the final rule is always there
    for (QWidget* rule : rules)
        EXPECT_EQ(rule->grab().toImage().pixelColor(4, rule->height() / 2), raised);
    auto* search = sheet.findChild<QWidget*>(QStringLiteral("searchBox"));
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(search->grab().toImage().pixelColor(4, search->height() / 2), raised);

    // A timeline row: the raised surface at 70 % over the sheet's #141414.
    const int row = sheet.model()->rowOf(QStringLiteral("Teaser"), QStringLiteral("t-1"));
    const QRect rect = sheet.timelines()->visualRect(sheet.model()->index(row));
    const QColor card =
        sheet.timelines()->viewport()->grab().toImage().pixelColor(rect.left() + 10, rect.center().y());
    EXPECT_NEAR(card.red(), 0.7 * 0x2A + 0.3 * 0x14, 1.5);
}

// The "ID …" line under a timeline's name reads on its card: its ink stands out at least 3:1.
TEST(SequenceUsageSheet, TimelineIDsReadOnTheirCards) {
    SequenceSheetFixture f;
    SequenceUsageSheet sheet(f.pm());
    const int row = sheet.model()->rowOf(QStringLiteral("Promo"), QStringLiteral("seq-0002-99887766"));
    ASSERT_GE(row, 0);
    QImage image(400, 44, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    sheet.timelines()->itemDelegate()->paint(&painter, option, sheet.model()->index(row));
    painter.end();
    const QColor card = image.pixelColor(30, 4);
    // Below the name line, between the row's icons on the left and its buttons on the right.
    double best = 1;
    for (int y = 24; y < 38; ++y)
        for (int x = 61; x < 250; ++x)
            best = std::max(best, contrastRatio(image.pixelColor(x, y), card));
    EXPECT_GE(best, 3.0);
}

// The "Common" menu's arrow stands clear of its text: a gap of several pixels between the last
// letter's ink and the arrow's.
TEST(SequenceUsageSheet, TheCommonMenusArrowKeepsClearOfItsText) {
    SequenceSheetFixture f;
    SequenceUsageSheet sheet(f.pm());
    sheet.resize(900, 600);
    sheet.show();
    QApplication::processEvents();
    const QImage image = sheet.presetsButton()->grab().toImage();
    const int border = 4;
    QList<int> inked;
    for (int x = border; x < image.width() - border; ++x) {
        bool ink = false;
        for (int y = border; y < image.height() - border && !ink; ++y)
            ink = contrastRatio(image.pixelColor(x, y), image.pixelColor(border, y)) > 2.0;
        if (ink)
            inked.append(x);
    }
    ASSERT_GE(inked.size(), 2);
    // Runs of ink columns: the letters, then the arrow.
    QList<std::pair<int, int>> runs{{inked.first(), inked.first()}};
    for (int x : inked) {
        if (x > runs.last().second + 1)
            runs.append({x, x});
        runs.last().second = x;
    }
    ASSERT_GE(runs.size(), 2);
    const auto arrow = runs.last();
    const auto lastLetter = runs[runs.size() - 2];
    EXPECT_LE(arrow.second - arrow.first, 10); // the arrow alone, not an arrow fused to a letter
    EXPECT_GE(arrow.first - lastLetter.second - 1, 4);
}
