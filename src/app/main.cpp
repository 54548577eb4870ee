#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "app/TarnwickApp.h"
#include "app/drive/DriveRun.h"
#include "app/tour/ScreenshotTour.h"
#include "platform/AppVersion.h"
#include "platform/MemoryRelease.h"
#include "platform/StoreFolder.h"
#include "platform/ThreadPools.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char** argv) {
    // Before any thread starts, so every arena follows it.
    tarnwick::memory::configureAllocator();
    // Playback through the same media libraries the previews decode with.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    QApplication application(argc, argv);
    tarnwick::settleQtGlobalPool();
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationVersion(tarnwick::appVersion());
    QApplication::setDesktopFileName(QStringLiteral("tarnwick"));

    tarnwick::TarnwickApp::Options options;
    options.appcastURL = QUrl(QStringLiteral(TARNWICK_APPCAST_URL));
    // `tarnwick A.prproj B.prproj` imports the projects as if they were dropped on the window.
    // `--screenshots OUTDIR` walks the window through its states for scripts/screenshots.
    QStringList args = QApplication::arguments().mid(1);
    const QString screenshots = tarnwick::ScreenshotTour::takeOption(args);
    // `--drive REPORT` acts as a user on the window and reports its answers and memory (scripts/drive).
    const QString drive = tarnwick::DriveRun::takeOption(args);
    QList<QUrl> projects;
    QStringList paths;
    for (const QString& arg : args) {
        if (!arg.startsWith(QLatin1Char('-'))) {
            paths.append(QFileInfo(arg).absoluteFilePath());
            projects.append(QUrl::fromLocalFile(paths.last()));
        }
    }
    // One window per user: a second start hands its projects to the first and ends (the scripted
    // screenshot tour is left out: it drives a window of its own).
    tarnwick::SingleInstance instance(tarnwick::storeFolder());
    if (screenshots.isEmpty() && drive.isEmpty()) {
        switch (instance.start(paths)) {
        case tarnwick::SingleInstance::Role::handedOver:
            return 0;
        case tarnwick::SingleInstance::Role::failed:
            return 1;
        case tarnwick::SingleInstance::Role::primary:
            break;
        }
        options.openAtStart = projects;
    }
    tarnwick::TarnwickApp app(std::move(options));
    app.launch();
    QObject::connect(&instance, &tarnwick::SingleInstance::projectsReceived, &app,
                     [&app](const QStringList& got) {
                         QList<QUrl> urls;
                         for (const QString& path : got)
                             urls.append(QUrl::fromLocalFile(path));
                         app.openProjects(urls);
                     });
    if (!screenshots.isEmpty())
        tarnwick::ScreenshotTour::begin(*app.mainWindow(), screenshots, projects);
    else if (!drive.isEmpty())
        tarnwick::DriveRun::begin(*app.mainWindow(), drive, projects);
    return QApplication::exec();
}
