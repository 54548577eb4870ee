// Every alert and sheet the window shows, made by the application's own factories with the most each
// can hold, on a screen of 1024 × 600: the dialog lies inside the screen's available area and each of
// its buttons shows whole, without scrolling (a list's own rows aside).
#include "ui/common/SheetBody.h"
#include "ui/window/AppWindowFixture.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QProcess>
#include <QScreen>

#include <set>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QSize smallScreen(1024, 600);
const char* const childMark = "TARNWICK_SMALL_SCREEN_RUN";

bool onSmallScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->availableGeometry().size() == smallScreen;
}

// The offscreen platform takes its screens from a file named when the application starts: the test
// runs again in a child process started so.
void runAgainOnSmallScreen() {
    ASSERT_TRUE(qEnvironmentVariableIsEmpty(childMark)) << "the child's screen is not 1024 × 600";
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("screen.json")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral(R"({"screens": [{"name": "small", "width": %1, "height": %2}]})")
                     .arg(smallScreen.width())
                     .arg(smallScreen.height())
                     .toUtf8());
    config.close();
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                       QStringLiteral("offscreen:configfile=") + config.fileName());
    environment.insert(QString::fromLatin1(childMark), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=%1.%2")
                     .arg(QString::fromLatin1(test->test_suite_name()), QString::fromLatin1(test->name()))});
    ASSERT_TRUE(child.waitForFinished(280'000));
    const QString output = QString::fromUtf8(child.readAll());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

QStringList manyLines(const QString& pattern, int count) {
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines.append(pattern.arg(i));
    return lines;
}

// The window with the most its alerts and sheets can show: a long bin of every kind the transcode
// sheet sorts (without ffmpeg, whose hint then shows), long lists of errors, folders, volumes.
struct FullWindow : AppWindowFixture {
    FullWindow() {
        QList<MediaFile> files;
        QList<RecycleBinItem> bin;
        for (const QString& name : manyLines(QStringLiteral("Unused Take %1.mov"), 40))
            files.append(media(QStringLiteral("/m/") + name, 0, MediaFileStatus::online, 1000));
        for (const QString& name : manyLines(QStringLiteral("Missing Interview %1.mov"), 40))
            files.append(media(QStringLiteral("/m/") + name, 0, MediaFileStatus::offline, 0));
        for (const char* pattern : {"/m/bin/Camera A %1.mxf", "/m/bin/Raw %1.braw", "/m/bin/Phone %1.mp4"}) {
            for (const QString& path : manyLines(QString::fromUtf8(pattern), 20)) {
                files.append(media(path, 0, MediaFileStatus::inRecycleBin, 2000));
                bin.append(binItem(files.last()));
                ops->routes.insert(path, TranscodeRoute::ffmpeg);
            }
        }
        ops->ffmpegPath.reset();
        for (int i = 0; i < 30; ++i) // some stay safe, or there is nothing to sweep
            ops->conflictReasons.insert(files.at(i).path, QStringLiteral("Shares its name with a used file"));
        for (const QString& path : manyLines(QStringLiteral("/Volumes/Archive/Protected Footage %1"), 40))
            harness.folders.add(path);
        pm().edit(ProjectManager::ListChange::entries).setMediaFiles(files).setRecycleBin(bin);
        settle();
    }

    void raisePrompts(bool PromptState::*flag) {
        pm().updatePrompts([flag](PromptState& prompts) {
            prompts.*flag = true;
            for (const QString& path : manyLines(QStringLiteral("/media/editor/Shoot Day %1"), 40))
                prompts.volumesNeedingAccess.append(QUrl::fromLocalFile(path));
            prompts.daVinciImportMessage =
                manyLines(QStringLiteral("Timeline %1: 12 clips imported."), 40).join(u'\n');
            prompts.grantAccessFailureMessage =
                manyLines(QStringLiteral("/media/editor/Shoot Day %1 could not be read."), 40).join(u'\n');
        });
    }

    std::map<Presentation, std::function<void()>> raisers() {
        using P = Presentation;
        WindowPresentations& p = presentations();
        auto all = alertRaisers(
            {manyLines(QStringLiteral("Camera A %1.mxf: Trash not supported"), 60),
             ActionResult::counted(1, 60, manyLines(QStringLiteral("Phone %1.mp4: Permission denied"), 60)),
             false, true, [this](bool PromptState::*flag) { raisePrompts(flag); }});
        for (const Presentation sheet : {P::permanentDelete, P::auditLog, P::searchOffline, P::stats,
                                         P::protectedFolders, P::sequenceUsage, P::easyImport})
            all[sheet] = [&p, sheet] { p.showSheet(sheet); };
        // Its boxes fill once it shows: the files' routes come from a worker, the bin can grow.
        all[P::transcodeConfirmation] = [this, &p] {
            const QList<RecycleBinItem> bin = pm().recycleBin();
            pm().edit(ProjectManager::ListChange::entries).setRecycleBin(bin.mid(0, 1));
            p.showSheet(P::transcodeConfirmation);
            settleAll();
            pm().edit(ProjectManager::ListChange::entries).setRecycleBin(bin);
        };
        return all;
    }
};

// A list's row may lie scrolled out of view: a button inside an item view or inside a scroll area of
// the content's own. A sheet's scrolling body holds none that may.
bool isListRow(const QWidget& button) {
    for (const QWidget* w = button.parentWidget(); w && !w->isWindow(); w = w->parentWidget()) {
        if (qobject_cast<const QAbstractScrollArea*>(w) && !qobject_cast<const SheetBody*>(w))
            return true;
    }
    return false;
}

// The part of `widget` its ancestors leave in view, in its window's coordinates.
QRect shownPart(const QWidget& widget) {
    const QWidget* window = widget.window();
    QRect shown(widget.mapTo(window, QPoint()), widget.size());
    for (const QWidget* w = widget.parentWidget(); w && w != window; w = w->parentWidget())
        shown &= QRect(w->mapTo(window, QPoint()), w->size());
    return shown & window->rect();
}

void expectButtonsOnScreen(const QString& which, QDialog& dialog) {
    SCOPED_TRACE(which.toStdString());
    const QRect available = dialog.screen()->availableGeometry();
    EXPECT_TRUE(available.contains(dialog.frameGeometry()))
        << dialog.frameGeometry().y() << "+" << dialog.frameGeometry().height();
    int checked = 0;
    for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(&dialog) || isListRow(*button))
            continue;
        ++checked;
        const QRect whole(button->mapTo(&dialog, QPoint()), button->size());
        const QRect global(button->mapToGlobal(QPoint()), button->size());
        EXPECT_EQ(shownPart(*button), whole) << button->accessibleName().toStdString();
        EXPECT_TRUE(available.contains(global))
            << button->accessibleName().toStdString() << " at " << global.y() << "+" << global.height();
    }
    EXPECT_GT(checked, 0) << "no button";
}

} // namespace

TEST(SmallScreen, EveryAlertAndSheetKeepsItsButtonsOnTheScreen) {
    if (!onSmallScreen()) {
        runAgainOnSmallScreen();
        return;
    }
    FullWindow f;
    f.view->setDetailViewMode(DetailViewMode::table);
    f.view->window()->resize(smallScreen);
    f.settleAll();
    std::set<Presentation> covered;
    for (const auto& [which, raise] : f.raisers()) {
        covered.insert(which);
        raise();
        f.settleAll();
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr) << text(which).toStdString() << ": nothing was presented";
        expectButtonsOnScreen(text(which), *dialog);
        f.dismissAll();
    }
    for (int i = 0; i < int(Presentation::count); ++i)
        EXPECT_TRUE(covered.count(Presentation(i))) << text(Presentation(i)).toStdString() << ": not raised";
}
