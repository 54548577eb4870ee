#include "ui/common/PresentationChain.h"
#include "support/ProjectManagerHarness.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tarnwick;
using tarnwick::testing::drainEvents;

namespace {

// Opens a bare dialog over the window, as the chain's alerts and sheets do.
struct Window {
    QWidget widget;
    PresentationChain chain;
    QStringList shown;

    Window() { widget.show(); }
    PresentationChain::Present dialog(const QString& name) {
        return [this, name] {
            shown.append(name);
            auto* d = new QDialog(&widget);
            d->setAttribute(Qt::WA_DeleteOnClose);
            d->open();
            return d;
        };
    }
    void dismiss() {
        if (QDialog* d = chain.current())
            d->reject();
        drainEvents();
    }
};

} // namespace

TEST(PresentationChain, RequestsShowOnceInTheChainsOrderOneAtATime) {
    Window w;
    w.chain.request(Presentation::stats, w.dialog(QStringLiteral("stats")));
    w.chain.request(Presentation::auditLog, w.dialog(QStringLiteral("first log")));
    w.chain.request(Presentation::auditLog, w.dialog(QStringLiteral("log"))); // takes the first's place
    drainEvents();
    EXPECT_EQ(w.chain.currentName(), QStringLiteral("AuditLogView"));
    // Asked for while it shows: it comes again after what is due.
    w.chain.request(Presentation::auditLog, w.dialog(QStringLiteral("log again")));
    w.dismiss();
    EXPECT_EQ(w.chain.currentName(), QStringLiteral("AuditLogView"));
    w.dismiss();
    EXPECT_EQ(w.chain.currentName(), QStringLiteral("StatsView"));
    EXPECT_FALSE(w.chain.isRequested(Presentation::stats));
    w.dismiss();
    EXPECT_TRUE(w.chain.currentName().isEmpty());
    EXPECT_EQ(w.shown, (QStringList{"log", "log again", "stats"}));
}

TEST(PresentationChain, AWatchedConditionShowsWhileDueAndIsLoweredByItsDismissal) {
    Window w;
    bool prompt = true;
    w.chain.watch(
        Presentation::offlineMedia, [&prompt] { return prompt; }, w.dialog(QStringLiteral("prompt")),
        [&prompt] { prompt = false; });
    w.chain.request(Presentation::stats, w.dialog(QStringLiteral("stats")));
    w.chain.schedule();
    drainEvents();
    EXPECT_EQ(w.chain.currentName(), QStringLiteral("Offline Media Detected"));
    w.dismiss();
    EXPECT_FALSE(prompt);
    EXPECT_EQ(w.chain.currentName(), QStringLiteral("StatsView"));
    w.dismiss();
    EXPECT_EQ(w.shown, (QStringList{"prompt", "stats"}));
}

TEST(PresentationChain, NothingShowsWhileHeldAndNothingIsLost) {
    Window w;
    bool held = true;
    w.chain.setHold([&held] { return held; });
    w.chain.request(Presentation::stats, w.dialog(QStringLiteral("stats")));
    drainEvents();
    EXPECT_EQ(w.chain.current(), nullptr);
    EXPECT_TRUE(w.chain.isRequested(Presentation::stats));
    held = false;
    w.chain.schedule();
    drainEvents();
    EXPECT_EQ(w.chain.currentName(), QStringLiteral("StatsView"));
}

// A panel in the chain is one presentation like the others: what it leads to waits for it to
// close, without a nested event loop.
TEST(PresentationChain, APanelHoldsTheRestUntilItClosesThenWhatItAskedForShows) {
    Window w;
    QPointer<QDialog> panel;
    w.chain.request(Presentation::binMoveFolder, [&] {
        panel = w.dialog(QStringLiteral("panel"))();
        QObject::connect(panel, &QDialog::accepted, &w.chain, [&] {
            w.chain.request(Presentation::binMoveConfirm, w.dialog(QStringLiteral("confirm")));
        });
        return panel.data();
    });
    w.chain.request(Presentation::stats, w.dialog(QStringLiteral("stats")));
    drainEvents();
    EXPECT_EQ(w.chain.currentName(), QStringLiteral("folderImporter"));
    panel->accept();
    drainEvents();
    EXPECT_EQ(w.chain.currentName(), QStringLiteral("Move Files to Folder?"));
    w.dismiss();
    EXPECT_EQ(w.chain.currentName(), QStringLiteral("StatsView"));

    // A panel that answered at once shows nothing; what it asked for shows in the same pass.
    w.dismiss();
    w.chain.request(Presentation::binMoveFolder, [&w]() -> QDialog* {
        w.chain.request(Presentation::binMoveConfirm, w.dialog(QStringLiteral("confirm at once")));
        return nullptr;
    });
    w.chain.evaluate();
    EXPECT_EQ(w.chain.currentName(), QStringLiteral("Move Files to Folder?"));
    EXPECT_EQ(w.shown.last(), QStringLiteral("confirm at once"));
}
