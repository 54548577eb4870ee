#include <QCoreApplication>
#include <QStandardPaths>
#include <gmock/gmock.h>

#include <memory>

// Tests never touch the user's real folders; widget tests create their own QApplication.
int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    ::testing::InitGoogleMock(&argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(argc, argv);
    return RUN_ALL_TESTS();
}
