#pragma once

#include "ui/common/DesktopServices.h"

#include <QStringList>

namespace tarnwick::testing {

// Records what the views asked of the desktop.
class FakeDesktopServices : public DesktopServices {
public:
    // Answers at once, as `reveals` says.
    void revealFile(const QString& path, std::function<void(bool)> done = {}) override {
        revealed.append(path);
        if (done)
            done(reveals);
    }
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
    bool reveals = true;
    QString clipboard = QStringLiteral("untouched");
    int copies = 0;
};

} // namespace tarnwick::testing
