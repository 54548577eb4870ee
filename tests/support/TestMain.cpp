#include <QCoreApplication>
#include <QStandardPaths>
#include <gmock/gmock.h>

#include <memory>

// Defined only by test executables that need widgets (tests/ui, tests/app): they create a
// QApplication there, so this main stays free of QtWidgets.
std::unique_ptr<QCoreApplication> tarnwickCreateTestApplication(int& argc, char** argv) __attribute__((weak));

// Tests never touch the user's real folders; widget tests get a QApplication.
int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    // Playback through the media libraries the previews decode with, as the application does: the
    // other backend needs plugins a fresh machine does not have.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    ::testing::InitGoogleMock(&argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) {
        if (tarnwickCreateTestApplication)
            app = tarnwickCreateTestApplication(argc, argv);
        else
            app = std::make_unique<QCoreApplication>(argc, argv);
    }
    return RUN_ALL_TESTS();
}
