#pragma once

#include "platform/AppLog.h"
#include "platform/LinuxFileOperations.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tarnwick::testing {

// A temporary folder, the real file operations, and what the code under test logged meanwhile.
class LoggedFolderFixture : public ::testing::Test {
protected:
    void SetUp() override {
        AppLog::setSink([this](const AppLog::Record& r) { logged.append(r.message); });
    }
    void TearDown() override { AppLog::setSink({}); }
    QString at(const QString& name) const { return dir.path() + "/" + name; }

    QTemporaryDir dir;
    LinuxFileOperations ops;
    QStringList logged;
};

} // namespace tarnwick::testing
