#pragma once

#include "stores/SecurityScopedAccess.h"
#include "support/FakeAccessGrantBackend.h"
#include "support/PresetPanel.h"
#include "support/ProjectManagerHarness.h"

#include <QTemporaryDir>

#include <memory>

namespace tarnwick::testing {

// A manager on temporary stores, a preset panel and fake grants for the tool sheets.
struct ToolSheetFixture {
    ProjectManagerHarness harness;
    QTemporaryDir dir;
    std::shared_ptr<FakeAccessGrantBackend> backend = std::make_shared<FakeAccessGrantBackend>();
    SecurityScopedAccess grants{dir.filePath(QStringLiteral("grants")), backend, false};
    PresetPanel panel;

    ProjectManager& pm() { return harness.pm(); }
};

} // namespace tarnwick::testing
