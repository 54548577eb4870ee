#include "app/TarnwickApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    // Playback through the same media libraries the previews decode with.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationVersion(QStringLiteral(TARNWICK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tarnwick"));

    tarnwick::TarnwickApp::Options options;
    options.appcastUrl = QUrl(QStringLiteral(TARNWICK_APPCAST_URL));
    tarnwick::TarnwickApp app(std::move(options));
    app.launch();
    return QApplication::exec();
}
