#include "ui/common/ReviewPrompt.h"
#include "platform/Preferences.h"
#include "stores/AuditLogManager.h"
#include "ui/common/ReviewPromptSheet.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUrlQuery>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>

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

// A settings format that counts how often the file is written.
std::atomic<int> settingsWrites{0};

QSettings::Format countingFormat() {
    static const QSettings::Format format = QSettings::registerFormat(
        QStringLiteral("counted"),
        [](QIODevice& device, QSettings::SettingsMap& map) {
            QDataStream in(&device);
            in >> map;
            return in.status() == QDataStream::Ok;
        },
        [](QIODevice& device, const QSettings::SettingsMap& map) {
            ++settingsWrites;
            QDataStream out(&device);
            out << map;
            return out.status() == QDataStream::Ok;
        });
    return format;
}

// A run of `count` entries of `action`, every tenth a restore, as the audit log reports them.
QList<AuditAction> run(int count, AuditAction action) {
    QList<AuditAction> actions;
    for (int i = 0; i < count; ++i)
        actions.append(i % 10 == 9 ? AuditAction::restored : action);
    return actions;
}

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

TEST(ReviewPrompt, ARunOfFiftyThousandEntriesIsCountedWithOneSettingsWrite) {
    QTemporaryDir dir;
    Preferences preferences(std::make_unique<QSettings>(dir.filePath("prefs.counted"), countingFormat()));
    preferences.setValue(ReviewPrompt::successCountKey, 7);
    preferences.setValue(ReviewPrompt::answeredKey, true);
    auto prompt = std::make_shared<ReviewPrompt>(
        preferences, [] { return now; }, [](const QUrl&) { return true; });
    AuditLogManager audit(dir.filePath("store"), prompt);
    QList<AuditLogManager::Request> requests;
    for (int i = 0; i < 50000; ++i) {
        MediaFile file;
        file.path = QStringLiteral("/Volumes/Media/Day %1/A%2_C001.mov").arg(i / 1000).arg(i);
        requests.append(
            {i % 10 == 9 ? AuditAction::restored : AuditAction::movedToTrash, file, std::nullopt});
    }
    settingsWrites = 0;
    audit.log(requests);
    EXPECT_EQ(settingsWrites.load(), 1);
    EXPECT_EQ(preferences.integer(ReviewPrompt::successCountKey), 7 + 45000);
    // A run of restores alone writes nothing.
    prompt->recordSuccesses(QList<AuditAction>(100, AuditAction::restored));
    EXPECT_EQ(settingsWrites.load(), 1);
}

TEST(ReviewPrompt, ARunCountsAndAsksAsItsEntriesOneByOneWould) {
    struct Case {
        const char* what;
        std::optional<qint64> countBefore;
        std::optional<qint64> daysSinceAsked;
        bool answered;
        int entries;
    };
    const Case cases[] = {{"first run of one", std::nullopt, std::nullopt, false, 1},
                          {"first run of three", std::nullopt, std::nullopt, false, 3},
                          {"second run", 1, std::nullopt, false, 2},
                          {"asked 10 days ago", 40, 10, false, 20},
                          {"asked 50 days ago", 40, 50, false, 20},
                          {"answered", 40, std::nullopt, true, 20},
                          {"restores only", 3, std::nullopt, false, 0}};
    for (const auto& c : cases) {
        Fixture oneByOne;
        Fixture batched;
        for (Fixture* f : {&oneByOne, &batched}) {
            if (c.countBefore)
                f->preferences.setValue(ReviewPrompt::successCountKey, *c.countBefore);
            if (c.daysSinceAsked)
                f->preferences.setValue(ReviewPrompt::lastAskedAtKey, now.addDays(-*c.daysSinceAsked));
            if (c.answered)
                f->preferences.setValue(ReviewPrompt::answeredKey, true);
        }
        const QList<AuditAction> actions = c.entries == 0 ? QList<AuditAction>(5, AuditAction::restored)
                                                          : run(c.entries, AuditAction::movedToFolder);
        for (const AuditAction action : actions)
            oneByOne.prompt.recordSuccess(action);
        batched.prompt.recordSuccesses(actions);
        EXPECT_EQ(batched.count(), oneByOne.count()) << c.what;
        EXPECT_EQ(batched.preferences.contains(ReviewPrompt::successCountKey),
                  oneByOne.preferences.contains(ReviewPrompt::successCountKey))
            << c.what;
        EXPECT_EQ(batched.prompt.askedThisSession(), oneByOne.prompt.askedThisSession()) << c.what;
        EXPECT_EQ(batched.preferences.value(ReviewPrompt::lastAskedAtKey),
                  oneByOne.preferences.value(ReviewPrompt::lastAskedAtKey))
            << c.what;
        if (oneByOne.prompt.askedThisSession()) {
            EXPECT_TRUE(batched.waitForPresenting()) << c.what;
        }
    }
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
