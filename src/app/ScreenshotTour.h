#pragma once

#include "model/MediaFile.h"
#include "model/ProjectFile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <memory>

namespace tarnwick {

class ContentView;
class MainWindow;
class ProjectManager;

// `tarnwick --screenshots OUTDIR PROJECTS...` (scripts/screenshots): walks the window through its
// main states (welcome, empty, analysing, imported, each prompt and sheet) and saves a PNG of
// the screen around the window for each, then quits.
class ScreenshotTour : public QObject {
    Q_OBJECT
public:
    ScreenshotTour(MainWindow& window, QString outDir, QList<QUrl> projects);
    void start();

private:
    void next();
    void shoot(const QString& name);
    void after(int ms, std::function<void()> step);
    void closeDialogs();
    void seedHistory(ProjectManager& manager);
    void addPlaybackAndReadabilitySteps(ContentView& view);
    // States that stage data of their own and put it back (ScreenshotTourStagedStates.cpp).
    void addStagedStates(ContentView* view);
    // The content of the sheet on screen, when it is a T.
    template <typename T> T* findSheet() const {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                if (auto* sheet = w->findChild<T*>())
                    return sheet;
        return nullptr;
    }

    MainWindow& m_window;
    QString m_outDir;
    QList<QUrl> m_projects;
    QList<std::function<void()>> m_steps;
    int m_shot = 0;
    std::unique_ptr<QTemporaryDir> m_scratch;
    bool m_analysingShot = false;
    QList<ProjectFile> m_savedProjects;
    QList<MediaFile> m_savedMedia;
    QStringList m_savedProtectedFolders;
};

} // namespace tarnwick
