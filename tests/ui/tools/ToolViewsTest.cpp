#include "ui/tools/ToolViews.h"

#include "ui/window/ViewFactories.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(ToolViews, EveryToolSheetHookIsRegistered) {
    ViewFactories factories;
    registerToolViews(factories);
    EXPECT_TRUE(factories.auditLogSheet);
    EXPECT_TRUE(factories.searchOfflineSheet);
    EXPECT_TRUE(factories.statsSheet);
    EXPECT_TRUE(factories.protectedFoldersSheet);
    EXPECT_TRUE(factories.sequenceUsageSheet);
    EXPECT_TRUE(factories.easyImportSheet);
    // The other views' hooks stay theirs.
    EXPECT_FALSE(factories.mediaTable);
    EXPECT_FALSE(factories.recycleBin);
}
