// Every alert and sheet the window shows, made by the application's own factories: none has a
// default that acts on the user's files, and Return with the focus on anything but a button (a
// selectable text, a list, a field, nothing at all) starts no clean-up run and stages nothing.
#include "ui/bin/BinSheets.h"
#include "ui/common/AlertDialog.h"
#include "ui/common/DialogButtons.h"
#include "ui/window/AppWindowFixture.h"

#include <QAbstractButton>
#include <QPushButton>

#include <set>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

struct AppWindow : AppWindowFixture {
    QList<MediaFile> m_files;
    QList<RecycleBinItem> m_bin;

    AppWindow() {
        // Unused files on disk, one of them tied to a used one, and a bin with an MXF in it.
        QList<MediaFile> files{media(QStringLiteral("/m/unused.mov"), 0, MediaFileStatus::online, 1000),
                               media(QStringLiteral("/m/tied.mov"), 0, MediaFileStatus::online, 1000),
                               media(QStringLiteral("/m/used.mov"), 1, MediaFileStatus::online, 5000)};
        QList<RecycleBinItem> bin;
        for (const char* path : {"/m/bin/A001.mxf", "/m/bin/B002.mov"}) {
            const MediaFile staged = media(QString::fromUtf8(path), 0, MediaFileStatus::inRecycleBin, 2000);
            files.append(staged);
            bin.append(binItem(staged));
        }
        ops->conflictReasons.insert(QStringLiteral("/m/tied.mov"),
                                    QStringLiteral("Shares its name with used.mov"));
        m_files = files;
        m_bin = bin;
        restoreLibrary();
    }

    // What an answer changed (a rescan after "Grant Access…" finds none of these files) goes back.
    void restoreLibrary() {
        pm().edit(ProjectManager::ListChange::entries).setMediaFiles(m_files).setRecycleBin(m_bin);
        settle();
    }

    void raisePrompt(bool PromptState::*flag) {
        pm().updatePrompts([flag](PromptState& prompts) {
            prompts.*flag = true;
            prompts.daVinciImportMessage = QStringLiteral("2 clip(s) imported.");
        });
    }

    std::map<Presentation, std::function<void()>> alertRaisers() {
        return AppWindowFixture::alertRaisers(
            {{QStringLiteral("A001.mxf: Trash not supported")},
             ActionResult::counted(1, 1, {QStringLiteral("B002.mov: Permission denied")}),
             true,
             false,
             [this](bool PromptState::*flag) { raisePrompt(flag); }});
    }

    // The topmost alert or sheet, once raised.
    QDialog* raise(const std::function<void()>& raiser) {
        restoreLibrary();
        raiser();
        settleAll();
        return qobject_cast<QDialog*>(QApplication::activeModalWidget());
    }
};

// What a click or Tab can put the focus on, other than a button: in the order the dialog holds them.
QList<QWidget*> focusStopsBesideButtons(QDialog& dialog) {
    QList<QWidget*> stops;
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        if (w->focusPolicy() != Qt::NoFocus && w->isVisible() && w->isEnabled() &&
            !qobject_cast<QAbstractButton*>(w))
            stops.append(w);
    }
    return stops;
}

QString describe(const QWidget* w) {
    return QString::fromLatin1(w->metaObject()->className()) + u' ' + w->objectName();
}

// Raises a presentation, checks its defaults, then presses Return once on each of its focus stops
// (and once with the focus on none), each on a fresh raise: no run starts, nothing is staged.
void expectNoDestructiveReturn(AppWindow& f, const QString& which, const std::function<void()>& raiser) {
    SCOPED_TRACE(which.toStdString());
    QDialog* dialog = f.raise(raiser);
    ASSERT_NE(dialog, nullptr) << "nothing was presented";
    for (const QPushButton* button : dialog->findChildren<QPushButton*>())
        EXPECT_FALSE(button->isDefault() && dialogButtons::isDestructive(*button))
            << button->accessibleName().toStdString() << " is a default that acts on files";
    const qsizetype stops = focusStopsBesideButtons(*dialog).size();
    f.dismissAll();
    for (qsizetype i = 0; i <= stops; ++i) {
        const int runs = f.ops->runsMade;
        const qsizetype staged = f.ops->staged.size();
        dialog = f.raise(raiser);
        ASSERT_NE(dialog, nullptr);
        const QList<QWidget*> now = focusStopsBesideButtons(*dialog);
        QWidget* target = i < now.size() ? now.at(i) : dialog;
        const std::string where = describe(target).toStdString(); // the sheet may go with its widgets
        if (target == dialog && dialog->focusWidget())
            dialog->focusWidget()->clearFocus();
        else
            target->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(target, Qt::Key_Return);
        f.settleAll();
        EXPECT_EQ(f.ops->runsMade, runs) << "Return on " << where << " started a run";
        EXPECT_EQ(f.ops->staged.size(), staged) << "Return on " << where << " staged files";
        f.dismissAll();
    }
}

} // namespace

TEST(SafeDefaults, NoAlertOrSheetActsOnFilesFromReturnAwayFromItsButtons) {
    AppWindow f;
    f.view->setDetailViewMode(DetailViewMode::table);
    f.settleAll();
    std::set<Presentation> covered;
    // Every sheet the window's factories make, whatever comes later.
    const std::map<Presentation, ViewFactories::Pane> sheets =
        AppWindowFixture::appViews(f.browserDesktop).sheets;
    for (const auto& [which, make] : sheets) {
        covered.insert(which);
        expectNoDestructiveReturn(f, text(which), [&f, which] { f.presentations().showSheet(which); });
    }
    for (const auto& [which, raiser] : f.alertRaisers()) {
        covered.insert(which);
        expectNoDestructiveReturn(f, text(which), raiser);
    }
    // The alert a sheet raises itself: the Trash failure's move to a folder.
    expectNoDestructiveReturn(f, QStringLiteral("Move Files to Folder? (after the Trash)"), [&f] {
        const ActionResult failed = [&f] {
            ActionResult r = ActionResult::counted(0, 1, {QStringLiteral("A001.mxf: Trash not supported")});
            r.failedItems = f.pm().recycleBin();
            return r;
        }();
        f.presentations().showResult(CleanupResult::of(CleanupRunKind::trash, failed));
        f.settleAll();
        if (QDialog* shown = f.presentations().current())
            if (auto* sheet = shown->findChild<TrashFailureSheet*>())
                sheet->chooseFolder();
    });
    for (int i = 0; i < int(Presentation::count); ++i)
        EXPECT_TRUE(covered.count(Presentation(i)))
            << text(Presentation(i)).toStdString() << ": no way to raise it in this test";
}
