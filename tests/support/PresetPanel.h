#pragma once

#include "ui/common/FilePanel.h"

#include <QList>
#include <QUrl>

namespace tarnwick::testing {

// Chooses at once: hands back the preset choice (empty: cancelled) and keeps the requests.
class PresetPanel : public FilePanel {
public:
    QList<QUrl> choice;
    QList<OpenPanelRequest> requests;
    QDialog* open(QWidget*, const OpenPanelRequest& request, Chosen chosen) override {
        requests.append(request);
        chosen(choice);
        return nullptr;
    }
};

} // namespace tarnwick::testing
