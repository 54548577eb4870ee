#include "app/TarnwickApp.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationVersion(QStringLiteral(TARNWICK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tarnwick"));

    tarnwick::TarnwickApp::Options options;
    options.appcastUrl = QUrl(QStringLiteral(TARNWICK_APPCAST_URL));
    // `tarnwick A.prproj B.prproj` imports the projects as if they were dropped on the window.
    const QStringList args = QApplication::arguments().mid(1);
    for (const QString& arg : args) {
        if (!arg.startsWith(QLatin1Char('-')))
            options.openAtStart.append(QUrl::fromLocalFile(QFileInfo(arg).absoluteFilePath()));
    }
    tarnwick::TarnwickApp app(std::move(options));
    app.launch();
    return QApplication::exec();
}
