#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

namespace tarnwick {

// What an open panel asks for.
struct OpenPanelRequest {
    bool allowsMultipleSelection = false;
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    QStringList nameFilters; // e.g. "Premiere Pro Projects (*.prproj)"
    QString message;
    QString startFolder; // empty: the dialog's own choice
    QString prompt;      // the confirm button; empty: "Open"
};

// Open panels, behind an interface so tests hand back preset choices. A panel runs modally and
// returns the chosen URLs in the panel's order; an empty list means the user cancelled.
class FilePanel {
public:
    virtual ~FilePanel() = default;
    virtual QList<QUrl> runOpenPanel(QWidget* parent, const OpenPanelRequest& request) = 0;

    // The desktop's file dialog.
    static FilePanel& system();
};

} // namespace tarnwick
