#pragma once

#include <QApplication>

#include <memory>

// Include in exactly one source file of a test executable that needs widgets: the shared test
// main then creates a QApplication instead of a QCoreApplication. Widget tests draw offscreen
// unless told otherwise, also when ctest lists them at build time.
std::unique_ptr<QCoreApplication> tarnwickCreateTestApplication(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}
