#include "analysis/AEDefaultNames.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

TEST(AEDefaultNames, NumberedNamesOfEveryLanguageWhateverTheCaseSpacesOrCanonicalForm) {
    for (const QString& name :
         QStringList{"Comp 1", "comp 01", "Pre-comp 12", "Precomp. 1", "Composition 3", "Composição 1",
                     QString("Composición 2").normalized(QString::NormalizationForm_D), "Композиция 1",
                     "コンポ 1", "プリコンポジション 2", "合成 1", "预合成\u30001", "  Comp\u00a0\u00a07 "})
        EXPECT_TRUE(AEDefaultNames::isDefaultCompositionName(name)) << name.toStdString();
    // The user's own: a word around it, no number, a number run into the word, or other digits.
    for (const QString& name : QStringList{"Intro Comp 1", "Black Solid 3 Comp 1", "Comp", "Comp1", "Comp 1a",
                                           "合成 １", "A Linked Comp 05", "片头动画", ""})
        EXPECT_FALSE(AEDefaultNames::isDefaultCompositionName(name)) << name.toStdString();

    for (const QString& name : QStringList{"Untitled Project.aep", "untitled project", "无标题项目.aep",
                                           "名称未設定プロジェクト.AEP"})
        EXPECT_TRUE(AEDefaultNames::isDefaultProjectName(name)) << name.toStdString();
    for (const QString& name : QStringList{"Untitled Project 2.aep", "时停模板.aep", "last.aep"})
        EXPECT_FALSE(AEDefaultNames::isDefaultProjectName(name)) << name.toStdString();
}

} // namespace
