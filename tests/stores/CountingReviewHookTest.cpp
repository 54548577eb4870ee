#include "stores/CountingReviewHook.h"

#include "model/MediaFile.h"
#include "platform/Preferences.h"
#include "stores/AuditLogManager.h"
#include "stores/StoreTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

TEST(CountingReviewHook, CountsEveryActionButRestores) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("prefs.ini");
    Preferences preferences(ini);
    CountingReviewHook hook(preferences);
    for (AuditAction action : {AuditAction::movedToTrash, AuditAction::deletedPermanently,
                               AuditAction::movedToFolder, AuditAction::restored, AuditAction::transcoded})
        hook.recordSuccess(action);
    EXPECT_EQ(preferences.integer(CountingReviewHook::successCountKey), 4);
    EXPECT_EQ(Preferences(ini).integer("review.successCount"), 4); // saved at once
}

TEST(CountingReviewHook, CountsABatchInOneStepAndIgnoresRestores) {
    QTemporaryDir dir;
    Preferences preferences(dir.filePath("prefs.ini"));
    CountingReviewHook hook(preferences);
    hook.recordSuccesses({AuditAction::restored, AuditAction::restored});
    EXPECT_FALSE(preferences.contains("review.successCount"));
    hook.recordSuccesses({AuditAction::movedToFolder, AuditAction::restored, AuditAction::transcoded});
    EXPECT_EQ(preferences.integer("review.successCount"), 2);
}

TEST(CountingReviewHook, CountsEachEntryOfABatchFromTheAuditLog) {
    QTemporaryDir dir;
    Preferences preferences(dir.filePath("prefs.ini"));
    preferences.setValue("review.successCount", 10);
    AuditLogManager manager(dir.path(), std::make_shared<CountingReviewHook>(preferences));
    MediaFile file;
    file.path = "/m/a.mov";
    testing::LogCapture quiet;
    manager.log({{AuditAction::movedToTrash, file, std::nullopt},
                 {AuditAction::restored, file, std::nullopt},
                 {AuditAction::movedToTrash, file, std::nullopt}});
    manager.log(AuditAction::deletedPermanently, file);
    EXPECT_EQ(preferences.integer("review.successCount"), 13);
}

} // namespace
} // namespace tarnwick
