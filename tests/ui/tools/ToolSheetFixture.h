#pragma once

#include "stores/SecurityScopedAccess.h"
#include "support/FakeAccessGrantBackend.h"
#include "support/ProjectManagerHarness.h"
#include "ui/common/FilePanel.h"

#include <QTemporaryDir>

#include <memory>

namespace tarnwick::testing {

// Chooses at once: hands back a preset choice (empty: cancelled) and keeps the requests.
class ChoicePanel : public FilePanel {
public:
    QList<QUrl> choice;
    QList<OpenPanelRequest> requests;
    QDialog* open(QWidget*, const OpenPanelRequest& request, Chosen chosen) override {
        requests.append(request);
        chosen(choice);
        return nullptr;
    }
};

// A manager on temporary stores, a preset panel and fake grants for the tool sheets.
struct ToolSheetFixture {
    ProjectManagerHarness harness;
    QTemporaryDir dir;
    std::shared_ptr<FakeAccessGrantBackend> backend = std::make_shared<FakeAccessGrantBackend>();
    SecurityScopedAccess grants{dir.filePath(QStringLiteral("grants")), backend, false};
    ChoicePanel panel;

    ProjectManager& pm() { return harness.pm(); }
};

} // namespace tarnwick::testing
