#include "app/tour/ScreenshotTour.h"

#include "analysis/ProjectManager.h"
#include "app/MainWindow.h"
#include "app/OptionValue.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/window/ContentView.h"

#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace tarnwick {

QString ScreenshotTour::takeOption(QStringList& arguments) {
    return takeOptionValue(arguments, QStringLiteral("--screenshots"));
}

void ScreenshotTour::begin(MainWindow& window, QString outDir, QList<QUrl> projects) {
    (new ScreenshotTour(window, std::move(outDir), std::move(projects)))->start();
}

ScreenshotTour::ScreenshotTour(MainWindow& window, QString outDir, QList<QUrl> projects)
    : QObject(&window), m_window(window), m_outDir(std::move(outDir)), m_projects(std::move(projects)) {}

const ScreenshotTour::State ScreenshotTour::states[] = {
    &ScreenshotTour::welcome,
    &ScreenshotTour::welcomePages,
    &ScreenshotTour::empty,
    &ScreenshotTour::analysing,
    &ScreenshotTour::importPrompts,
    &ScreenshotTour::imported,
    &ScreenshotTour::importedTimelines,
    &ScreenshotTour::welcomeDotByReturn,
    &ScreenshotTour::seedHistory,
    &ScreenshotTour::statsSheet,
    &ScreenshotTour::auditLogSheet,
    &ScreenshotTour::statsShareByReturn,
    &ScreenshotTour::auditLogListFocus,
    &ScreenshotTour::searchOfflineSheet,
    &ScreenshotTour::protectedFoldersSheet,
    &ScreenshotTour::sequenceUsageSheet,
    &ScreenshotTour::easyImportSheet,
    &ScreenshotTour::importedSweep,
    &ScreenshotTour::deleteAlert,
    &ScreenshotTour::binPane,
    &ScreenshotTour::binListFocus,
    &ScreenshotTour::smallScreens,
    &ScreenshotTour::permanentDeleteSheet,
    &ScreenshotTour::transcodeConfirmationSheet,
    &ScreenshotTour::transcodeSheetFocus,
    &ScreenshotTour::transcodeSheetLongBin,
    &ScreenshotTour::deletionResultSheet,
    &ScreenshotTour::moveResultWithErrors,
    &ScreenshotTour::moveRefused,
    &ScreenshotTour::trashFailureSheet,
    &ScreenshotTour::csvExportAlerts,
    &ScreenshotTour::moveProgress,
    &ScreenshotTour::transcodeProgress,
    &ScreenshotTour::transcodeResult,
    &ScreenshotTour::reviewPromptAfterResult,
    &ScreenshotTour::dismissTranscodeResult,
    &ScreenshotTour::transcodeDone,
    &ScreenshotTour::dismissTranscodeResult,
    &ScreenshotTour::cards,
    &ScreenshotTour::cardsHover,
    &ScreenshotTour::scrubVideo,
    &ScreenshotTour::scrubAudio,
    &ScreenshotTour::importedTable,
    &ScreenshotTour::tableSelectedRow,
    &ScreenshotTour::tableMenuByKeyboard,
    &ScreenshotTour::importedMap,
    &ScreenshotTour::importedMapProject,
    &ScreenshotTour::imagePreview,
    &ScreenshotTour::brightPosterAndVideoPlaying,
    &ScreenshotTour::audioPlayPressed,
    &ScreenshotTour::tableCjkName,
    &ScreenshotTour::statsScrolledByKeys,
    &ScreenshotTour::cardFocusScrolls,
    &ScreenshotTour::playingCardUnderSheet,
    &ScreenshotTour::laptopWidths,
    &ScreenshotTour::cardGridKeys,
    &ScreenshotTour::cameraCardPlaying,
    &ScreenshotTour::transcodedClip,
    &ScreenshotTour::projectFilter,
    &ScreenshotTour::protectedFolderRows,
    &ScreenshotTour::easyImportLongNames,
    &ScreenshotTour::largeLibraryMap,
    &ScreenshotTour::mergedTile,
    &ScreenshotTour::mergedTileOpened,
    &ScreenshotTour::clipNames,
    &ScreenshotTour::restoreLibrary,
    &ScreenshotTour::firstLaunch,
};

void ScreenshotTour::start() {
    QDir().mkpath(m_outDir);
    for (const State state : states)
        (this->*state)();
    next();
}

void ScreenshotTour::next() {
    if (m_steps.isEmpty()) {
        QApplication::quit();
        return;
    }
    auto step = m_steps.takeFirst();
    step();
}

void ScreenshotTour::after(int ms, Step step) {
    QTimer::singleShot(ms, this, std::move(step));
}

void ScreenshotTour::shoot(const QString& name) {
    QApplication::processEvents();
    const QString file = QDir(m_outDir).filePath(
        QStringLiteral("%1-%2.png").arg(QString::number(++m_shot).rightJustified(2, u'0'), name));
    QScreen* screen = m_window.screen();
    const QRect frame = m_window.frameGeometry();
    QPixmap picture =
        screen ? screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()) : QPixmap();
    if (picture.isNull() || picture.toImage().allGray())
        picture = m_window.grab();
    picture.save(file);
    std::printf("%s\n", qPrintable(file));
}

void ScreenshotTour::closeDialogs() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
            dialog->reject();
    }
}

ScreenshotTour::Step ScreenshotTour::act(Step action, int settleMs) {
    return [this, action = std::move(action), settleMs] {
        action();
        after(settleMs, [this] { next(); });
    };
}

ScreenshotTour::Step ScreenshotTour::shot(const QString& name) {
    return [this, name] {
        shoot(name);
        next();
    };
}

ScreenshotTour::Step ScreenshotTour::shotAndClose(const QString& name, int settleMs) {
    return [this, name, settleMs] {
        shoot(name);
        closeDialogs();
        after(settleMs, [this] { next(); });
    };
}

void ScreenshotTour::placeWindowOn(QRect available) {
    if (m_savedGeometry.isNull())
        m_savedGeometry = m_window.geometry();
    m_window.fitWithin(available, {});
    m_window.setGeometry(available);
}

bool ScreenshotTour::screenHolds(QRect available) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->geometry().contains(available);
}

void ScreenshotTour::putWindowBack() {
    m_window.fitScreen();
    m_window.setGeometry(m_savedGeometry);
    m_savedGeometry = {};
}

ContentView& ScreenshotTour::view() const {
    return *m_window.contentView();
}

ProjectManager& ScreenshotTour::manager() const {
    return view().manager();
}

SidebarView* ScreenshotTour::sidebar() const {
    return qobject_cast<SidebarView*>(view().sidebar());
}

} // namespace tarnwick
