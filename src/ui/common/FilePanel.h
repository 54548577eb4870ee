#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QDialog;
class QObject;
class QWidget;

namespace tarnwick {

class SecurityScopedAccess;

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

// Open panels, behind an interface so tests hand back preset choices. A panel opens with open()
// and the caller goes on in a callback: no nested event loop.
class FilePanel {
public:
    using Chosen = std::function<void(const QList<QUrl>& urls)>;

    virtual ~FilePanel() = default;
    // Opens the panel over `parent` and returns at once: the panel while it is up, or null when
    // the choice is already made (a preset panel). `chosen` runs once with the chosen URLs in the
    // panel's order; an empty list means the user cancelled.
    virtual QDialog* open(QWidget* parent, const OpenPanelRequest& request, Chosen chosen) = 0;

    // The desktop's file dialog.
    static FilePanel& system();
};

// What the user chose, granted.
struct GrantedChoice {
    QList<QUrl> urls;    // in the panel's order; only the first when the request allows one
    QList<QUrl> refused; // those whose grant failed (they are handed on all the same)
};

// The one way the views let the user choose files or folders: opens `request` with `panel` and,
// once the user confirms, saves a grant for every chosen URL before `chosen` sees it. A cancelled
// panel changes nothing, and `chosen` never runs once `context` is gone. Returns what open() does.
QDialog* chooseWithAccess(FilePanel& panel, SecurityScopedAccess& grants, QWidget* parent,
                          const OpenPanelRequest& request, QObject* context,
                          std::function<void(const GrantedChoice& choice)> chosen);

} // namespace tarnwick
