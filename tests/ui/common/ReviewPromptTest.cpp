#include "ui/common/ReviewPrompt.h"
#include "platform/Preferences.h"
#include "ui/common/ReviewPromptSheet.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUrlQuery>
#include <gtest/gtest.h>

#include <memory>

using namespace tarnwick;

namespace {

const QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);

struct Fixture {
    QTemporaryDir dir;
    Preferences preferences{dir.filePath("prefs.ini")};
    QList<QUrl> opened;
    bool openSucceeds = true;
    ReviewPrompt prompt{preferences, [] { return now; },
                        [this](const QUrl& u) {
                            opened.append(u);
                            return openSucceeds;
                        }};
    Fixture() { prompt.setPresentationDelayMs(5); }

    // Gives a scheduled presentation ample time to run.
    void settle() {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 40)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // Waits for the presentation, however loaded the machine.
    bool waitForPresenting() {
        QElapsedTimer t;
        t.start();
        while (!prompt.isPresenting() && t.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return prompt.isPresenting();
    }
    qint64 count() const { return preferences.integer(ReviewPrompt::successCountKey); }
};

} // namespace

TEST(ReviewPrompt, FirstCountedActionNeverAsksTheSecondDoesAfterADelay) {
    Fixture f;
    EXPECT_EQ(ReviewPrompt::presentationDelayMs, 1200);
    f.prompt.recordSuccess(AuditAction::movedToTrash);
    f.settle();
    EXPECT_EQ(f.count(), 1);
    EXPECT_FALSE(f.prompt.askedThisSession());
    EXPECT_FALSE(f.prompt.isPresenting());

    f.prompt.recordSuccess(AuditAction::deletedPermanently);
    EXPECT_TRUE(f.prompt.askedThisSession());
    EXPECT_FALSE(f.prompt.isPresenting()); // not before the delay
    EXPECT_EQ(f.preferences.value(ReviewPrompt::lastAskedAtKey).toDateTime(), now);
    EXPECT_TRUE(f.waitForPresenting());
}

TEST(ReviewPrompt, RestoresAreNotCounted) {
    Fixture f;
    for (int i = 0; i < 3; ++i)
        f.prompt.recordSuccess(AuditAction::restored);
    f.settle();
    EXPECT_EQ(f.count(), 0);
    EXPECT_FALSE(f.preferences.contains(ReviewPrompt::successCountKey));
    EXPECT_FALSE(f.prompt.isPresenting());
}

TEST(ReviewPrompt, AsksAtMostOncePerSession) {
    Fixture f;
    for (const auto a : {AuditAction::movedToFolder, AuditAction::transcoded, AuditAction::movedToTrash})
        f.prompt.recordSuccess(a);
    EXPECT_TRUE(f.waitForPresenting());
    f.prompt.dismiss();
    f.prompt.recordSuccess(AuditAction::movedToTrash);
    f.settle();
    EXPECT_FALSE(f.prompt.isPresenting());
    EXPECT_EQ(f.count(), 4);
}

TEST(ReviewPrompt, WaitsFortyFiveDaysSinceLastAsked) {
    struct Case {
        const char* what;
        qint64 secondsAgo;
        bool asks;
    };
    const Case cases[] = {{"44 days", 44 * 86400, false},
                          {"a second short", ReviewPrompt::askIntervalSeconds - 1, false},
                          {"exactly 45 days", ReviewPrompt::askIntervalSeconds, true},
                          {"a year", 365 * 86400, true},
                          {"in the future", -86400, false}};
    for (const auto& c : cases) {
        Fixture f;
        f.preferences.setValue(ReviewPrompt::successCountKey, 7);
        f.preferences.setValue(ReviewPrompt::lastAskedAtKey, now.addSecs(-c.secondsAgo));
        EXPECT_EQ(f.prompt.shouldAsk(), c.asks) << c.what;
        f.prompt.recordSuccess(AuditAction::movedToTrash);
        EXPECT_EQ(f.prompt.askedThisSession(), c.asks) << c.what;
        if (c.asks) {
            EXPECT_TRUE(f.waitForPresenting()) << c.what;
        }
    }
}

TEST(ReviewPrompt, StoredValueThatIsNoDateCountsAsNeverAsked) {
    Fixture f;
    f.preferences.setValue(ReviewPrompt::successCountKey, 2);
    f.preferences.setValue(ReviewPrompt::lastAskedAtKey, QStringLiteral("yesterday"));
    EXPECT_TRUE(f.prompt.shouldAsk());
}

TEST(ReviewPrompt, AnsweredUsersAreNeverAskedButStillCounted) {
    Fixture f;
    f.preferences.setValue(ReviewPrompt::answeredKey, true);
    for (int i = 0; i < 5; ++i)
        f.prompt.recordSuccess(AuditAction::movedToTrash);
    f.settle();
    EXPECT_EQ(f.count(), 5);
    EXPECT_FALSE(f.prompt.askedThisSession());
    EXPECT_FALSE(f.prompt.isPresenting());
}

TEST(ReviewPrompt, RatingMarksAnsweredAndFallsBackToTheWebOnce) {
    Fixture f;
    f.prompt.setRatingLink(
        {QStringLiteral("storeapp"), QStringLiteral("store.example"), QStringLiteral("42")});
    f.openSucceeds = false;
    f.prompt.rateApp();
    EXPECT_TRUE(f.preferences.value(ReviewPrompt::answeredKey).toBool());
    ASSERT_EQ(f.opened.size(), 2);
    EXPECT_EQ(f.opened[0].toString(),
              QStringLiteral("storeapp://store.example/app/id42?action=write-review"));
    EXPECT_EQ(f.opened[1].toString(), QStringLiteral("https://store.example/app/id42?action=write-review"));

    Fixture g;
    g.prompt.setRatingLink({QString(), QStringLiteral("store.example"), QStringLiteral("42")});
    g.prompt.rateApp(); // no store application on this desktop: straight to the web
    ASSERT_EQ(g.opened.size(), 1);
    EXPECT_EQ(g.opened[0].scheme(), QStringLiteral("https"));
}

TEST(ReviewPrompt, WithoutAnApplicationIdentifierThereIsNothingToRate) {
    Fixture f;
    EXPECT_FALSE(f.prompt.hasRatingLink()) << "no identifier unless the build sets one";
    EXPECT_TRUE(f.prompt.ratingURL(QStringLiteral("https")).isEmpty());
    f.prompt.rateApp();
    EXPECT_TRUE(f.opened.isEmpty());
    EXPECT_FALSE(f.preferences.contains(ReviewPrompt::answeredKey));

    f.preferences.setValue(ReviewPrompt::successCountKey, 1);
    f.prompt.recordSuccess(AuditAction::movedToTrash);
    ASSERT_TRUE(f.waitForPresenting());
    const ReviewPromptSheet sheet(f.prompt);
    EXPECT_TRUE(sheet.rateButton()->isHidden());
    EXPECT_FALSE(sheet.feedbackButton()->isHidden());
}

TEST(ReviewPrompt, FeedbackOpensAMailAndMarksAnswered) {
    Fixture f;
    f.prompt.sendFeedback();
    EXPECT_TRUE(f.preferences.value(ReviewPrompt::answeredKey).toBool());
    ASSERT_EQ(f.opened.size(), 1);
    EXPECT_EQ(f.opened[0].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(QUrlQuery(f.opened[0]).queryItemValue("subject", QUrl::FullyDecoded),
              QStringLiteral("Tarnwick feedback"));
}

TEST(ReviewPromptSheet, AnswersRunOnThePromptAndAskToClose) {
    Fixture f;
    f.preferences.setValue(ReviewPrompt::successCountKey, 1);
    f.prompt.setRatingLink({QString(), QStringLiteral("store.example"), QStringLiteral("42")});
    f.prompt.recordSuccess(AuditAction::movedToTrash);
    ASSERT_TRUE(f.waitForPresenting());

    ReviewPromptSheet sheet(f.prompt);
    EXPECT_FALSE(sheet.rateButton()->isHidden());
    int dismissals = 0;
    QObject::connect(&sheet, &ReviewPromptSheet::dismissRequested, [&dismissals] { ++dismissals; });
    EXPECT_EQ(sheet.width(), 400);
    sheet.maybeLaterButton()->click();
    EXPECT_EQ(dismissals, 1);
    EXPECT_FALSE(f.prompt.isPresenting());
    EXPECT_FALSE(f.preferences.contains(ReviewPrompt::answeredKey)); // maybe later is no answer

    sheet.feedbackButton()->click();
    EXPECT_EQ(dismissals, 2);
    EXPECT_TRUE(f.preferences.value(ReviewPrompt::answeredKey).toBool());
    EXPECT_EQ(f.opened.size(), 1);
    sheet.rateButton()->click();
    EXPECT_EQ(dismissals, 3);
    EXPECT_EQ(f.opened.size(), 2);
}
