#pragma once

#include "ui/common/DesktopServices.h"

#include <QList>
#include <QStringList>
#include <QUrl>

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

    // Answers at once, as `opens` says.
    void openLink(const QUrl& url, std::function<void(bool)> done) override {
        links.append(url);
        if (done)
            done(opens);
    }

    QStringList revealed;
    QList<QUrl> links;
    QStringList opened;
    bool opens = true;
    bool reveals = true;
    QString clipboard = QStringLiteral("untouched");
    int copies = 0;
};

} // namespace tarnwick::testing
