#include "ui/tools/ToolViews.h"

#include "ui/common/Command.h"
#include "ui/common/Presentation.h"
#include "ui/shell/ViewFactories.h"

#include <gtest/gtest.h>

using namespace tarnwick;

// A command whose sheet has no factory would show nothing at all.
TEST(ToolViews, EverySheetACommandShowsHasItsFactory) {
    ViewFactories factories;
    registerToolViews(factories);
    int sheets = 0;
    for (const Command command : allCommands()) {
        const std::optional<Presentation> sheet = presentationShownBy(command);
        if (!sheet)
            continue;
        ++sheets;
        const auto made = factories.sheets.find(*sheet);
        EXPECT_TRUE(made != factories.sheets.end() && made->second) << text(command).toStdString();
    }
    EXPECT_GT(sheets, 0);
    // The other views' hooks stay theirs.
    EXPECT_FALSE(factories.sidebar);
    EXPECT_FALSE(factories.mediaTable);
    EXPECT_FALSE(factories.recycleBin);
}
