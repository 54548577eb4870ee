#include "app/tour/ScreenshotTour.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(ScreenshotTour, TakesItsOptionAndFolderAndLeavesTheProjects) {
    QStringList args{QStringLiteral("A.prproj"), QStringLiteral("--screenshots"),
                     QStringLiteral("/tmp/shots"), QStringLiteral("B.prproj")};
    EXPECT_EQ(ScreenshotTour::takeOption(args), QStringLiteral("/tmp/shots"));
    EXPECT_EQ(args, (QStringList{QStringLiteral("A.prproj"), QStringLiteral("B.prproj")}));

    QStringList bare{QStringLiteral("A.prproj"), QStringLiteral("--screenshots")};
    EXPECT_TRUE(ScreenshotTour::takeOption(bare).isEmpty()); // no folder: no tour
    EXPECT_EQ(bare.size(), 2);
    QStringList none{QStringLiteral("A.prproj")};
    EXPECT_TRUE(ScreenshotTour::takeOption(none).isEmpty());
}
