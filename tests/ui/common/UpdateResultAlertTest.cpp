#include "ui/common/UpdateResultAlert.h"
#include "platform/SoftwareUpdater.h"
#include "ui/common/AlertDialog.h"

#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tarnwick;
using Outcome = UpdateCheckResult::Outcome;

namespace {

QStringList buttonTitles(const AlertDialog& alert) {
    QStringList titles;
    for (const auto* b : alert.buttons())
        titles.append(b->accessibleName());
    return titles;
}

} // namespace

TEST(UpdateResultAlert, SaysWhatTheCheckFound) {
    struct Case {
        Outcome outcome;
        QUrl page;
        QString title;
        QStringList buttons;
    };
    const QList<Case> cases{
        {Outcome::updateAvailable,
         QUrl("https://tarnwick.app/get"),
         "A new version of Tarnwick is available!",
         {"Download", "Later"}},
        {Outcome::updateAvailable, QUrl(), "A new version of Tarnwick is available!", {"Later"}},
        {Outcome::upToDate, QUrl(), QString::fromUtf8("You\u2019re up to date!"), {"OK"}},
        {Outcome::failed, QUrl(), "Update Error!", {"OK"}},
    };
    for (const auto& c : cases) {
        QWidget window;
        QList<QUrl> opened;
        UpdateCheckResult result{c.outcome, "1.0", "1.1", c.page, "connection refused"};
        AlertDialog* alert = presentUpdateResult(&window, result, [&opened](const QUrl& u) {
            opened.append(u);
            return true;
        });
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->title(), c.title);
        EXPECT_EQ(buttonTitles(*alert), c.buttons);
        if (c.outcome == Outcome::failed) {
            EXPECT_TRUE(alert->message().contains("connection refused"));
        }
        alert->buttons().first()->click();
        EXPECT_EQ(opened, c.buttons.first() == "Download" ? QList<QUrl>{c.page} : QList<QUrl>{});
    }
}
