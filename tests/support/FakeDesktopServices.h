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
    // Answers at once, as `opens` says.
    void openFile(const QString& path, std::function<void(bool)> done) override {
        opened.append(path);
        if (done)
            done(opens);
    }

    QStringList revealed;
    QStringList opened;
    bool opens = true;
    QString clipboard = QStringLiteral("untouched");
    int copies = 0;
};

} // namespace tarnwick::testing
