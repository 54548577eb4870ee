#pragma once

#include "ui/common/DesktopServices.h"

#include <QStringList>

namespace tarnwick::testing {

// Records what the views asked of the desktop.
class FakeDesktopServices : public DesktopServices {
public:
    void revealFile(const QString& path) override { revealed.append(path); }
    void copyText(const QString& text) override {
        clipboard = text;
        ++copies;
    }
    void openFile(const QString& path) override { opened.append(path); }

    QStringList revealed;
    QStringList opened;
    QString clipboard = QStringLiteral("untouched");
    int copies = 0;
};

} // namespace tarnwick::testing
