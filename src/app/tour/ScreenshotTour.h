#pragma once

#include "actions/ActionResult.h"
#include "model/MediaFile.h"
#include "model/ProjectFile.h"
#include "model/RecycleBinItem.h"
#include "ui/common/Command.h"

#include <QApplication>
#include <QList>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

namespace tarnwick {

class ContentView;
enum class DetailViewMode;
class MainWindow;
class ProjectManager;
class SidebarView;

// `tarnwick --screenshots OUTDIR PROJECTS...` (scripts/screenshots): walks the window through its
// main states (welcome, empty, analysing, imported, each prompt and sheet) and saves a PNG of
// the screen around the window for each, then quits. Each state adds its steps; a step runs, then
// hands over to the next one at once or after a pause for the window to settle.
class ScreenshotTour : public QObject {
    Q_OBJECT
public:
    // Takes `--screenshots OUTDIR` out of `arguments`; OUTDIR, or empty when the option is absent.
    static QString takeOption(QStringList& arguments);
    // Starts a tour of `window` (which owns it) that imports `projects` on the way.
    static void begin(MainWindow& window, QString outDir, QList<QUrl> projects);

    ScreenshotTour(MainWindow& window, QString outDir, QList<QUrl> projects);
    void start();

private:
    using Step = std::function<void()>;
    using State = void (ScreenshotTour::*)();
    // Each adds the steps of one state; in the order they are shot (the PNGs are numbered so).
    static const State states[];

    // Steps (ScreenshotTour.cpp).
    void next();
    void after(int ms, Step step);
    void shoot(const QString& name);
    void closeDialogs();
    Step act(Step action, int settleMs);
    Step shot(const QString& name);
    Step shotAndClose(const QString& name, int settleMs = 300);
    ContentView& view() const;
    ProjectManager& manager() const;
    SidebarView* sidebar() const;
    // The window as on a screen whose free area is `available` (a panel above it), and back to the
    // geometry it had before the first such step.
    void placeWindowOn(QRect available);
    void putWindowBack();
    // Whether the real screen holds such an area: a smaller one would cut its shot off.
    static bool screenHolds(QRect available);
    // The content of the sheet on screen, when it is a T.
    template <typename T> T* findSheet() const {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                if (auto* sheet = w->findChild<T*>())
                    return sheet;
        return nullptr;
    }

    // The window from its first launch to an imported library (ScreenshotTourImport.cpp).
    void welcome();
    void welcomePages(); // ScreenshotTourWelcome.cpp
    void empty();
    void analysing();
    void importPrompts();
    void imported();
    void importedTimelines();
    void importedSweep();

    // The tool sheets, over some history (ScreenshotTourToolSheets.cpp).
    void seedHistory();
    void openSheet(Command command, const QString& name);
    void closeSheet();
    void statsSheet();
    void auditLogSheet();
    void searchOfflineSheet();
    void protectedFoldersSheet();
    void sequenceUsageSheet();
    void easyImportSheet();

    // The clean-up alert, the bin and its sheets and overlays, with made-up outcomes
    // (ScreenshotTourCleanup.cpp).
    void deleteAlert();
    void binPane();
    void permanentDeleteSheet();
    void transcodeConfirmationSheet();
    void transcodeSheetFocus();
    void transcodeSheetLongBin();
    void deletionResultSheet();
    void moveResultWithErrors();
    void moveRefused();
    void trashFailureSheet();
    void raisedSheet(const QString& name, Step raise);
    using Outcome = ActionResult (*)(const QList<RecycleBinItem>& bin);
    using ShowResult = std::function<void(const ActionResult& result)>;
    void runResultSheet(const QString& name, Outcome outcome, MediaFileStatus handled, ShowResult show);
    // A step that puts the library back as m_mediaBeforeRun and m_binBeforeRun kept it before a run.
    void putBackLibrary();
    void moveProgress();
    void transcodeProgress();
    void transcodeResult();
    void transcodeDone();
    void dismissTranscodeResult();

    // What follows a result: the review prompt after it, the CSV export's alerts
    // (ScreenshotTourResults.cpp).
    void reviewPromptAfterResult();
    void csvExportAlerts();

    // Cards, scrubbing, table, map and previews (ScreenshotTourViews.cpp).
    void cards();
    void cardsHover();
    void hoverFirstVideoCard();
    void endHover();
    void scrubVideo();
    void scrubAudio();
    void scrubSheet(bool audio);
    void importedTable();
    void tableSelectedRow();
    void importedMap();
    void importedMapProject();
    void imagePreview();
    void narrowTo(DetailViewMode mode, const QString& filter);
    void resetNarrowing();
    void brightPosterAndVideoPlaying();
    void audioPlayPressed();
    void tableCjkName();
    // The window on a laptop's screen under a desktop panel, and on a 1024 × 600 one.
    void smallScreens();

    // The keyboard and the laptop's screen (ScreenshotTourKeyboard.cpp).
    void statsScrolledByKeys();
    void cardFocusScrolls();
    void playingCardUnderSheet();
    void laptopWidths();

    // Return where the ring is, the lists' rings and the row menu by keys (ScreenshotTourSafeHands.cpp).
    void statsShareByReturn();
    void auditLogListFocus();
    void welcomeDotByReturn();
    void binListFocus();
    void tableMenuByKeyboard();

    // The card grid by keys and a camera file playing (ScreenshotTourCards.cpp).
    void cardGridKeys();
    void cameraCardPlaying();

    // A clip replaced by a real Transcode & Replace: its card and row (ScreenshotTourTranscoded.cpp).
    void transcodedClip();

    // States that stage data of their own and put it back (ScreenshotTourStagedStates.cpp).
    void projectFilter();
    void protectedFolderRows();
    void easyImportLongNames();
    void largeLibraryMap();
    void mergedTile();
    void mergedTileOpened();
    void clipNames();
    void restoreLibrary();
    void firstLaunch();

    MainWindow& m_window;
    QString m_outDir;
    QList<QUrl> m_projects;
    QList<Step> m_steps;
    int m_shot = 0;
    std::unique_ptr<QTemporaryDir> m_scratch;
    bool m_analysingShot = false;
    QList<ProjectFile> m_savedProjects;
    QList<MediaFile> m_savedMedia;
    QList<RecycleBinItem> m_savedBin;
    QList<RecycleBinItem> m_binBeforeRun;
    QList<MediaFile> m_mediaBeforeRun;
    QStringList m_savedProtectedFolders;
    QRect m_savedGeometry;
};

} // namespace tarnwick
