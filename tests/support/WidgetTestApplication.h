#pragma once

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

// Include in exactly one source file of a test executable that needs widgets: the shared test
// main then creates a QApplication instead of a QCoreApplication. Widget tests draw offscreen
// unless told otherwise, also when ctest lists them at build time.
std::unique_ptr<QCoreApplication> tarnwickCreateTestApplication(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a session's runtime folder (containers, CI) Qt makes "runtime-<user>" in the
    // temporary folder and leaves it; the tests' own goes with them.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        static const QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    }
    return std::make_unique<QApplication>(argc, argv);
}
