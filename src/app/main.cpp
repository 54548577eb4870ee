#include "app/TarnwickApp.h"

#include <QApplication>

int main(int argc, char** argv) {
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
