#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <optional>

namespace tarnwick {

class ProjectManager;

// Imports a DaVinci Resolve metadata CSV of unused clips as one more project whose media is all
// unused: the media list is rebuilt with it, the clips are located on disk, proxies beside them
// are looked for, and the result is reported through the manager's DaVinci import fields.
class DaVinciCSVImport {
public:
    // Waits for the manager's other operations and holds it for the whole run. Never fails: every
    // outcome is reported through the prompts (lastDaVinciImport, daVinciImportMessage and
    // showDaVinciImportResult).
    static QCoro::Task<void> importDaVinciCSV(ProjectManager& manager, QUrl url);

    // The clip's proxy in its folder's "Proxy", then "Proxies" subfolder: a regular file whose
    // name without extension is the clip's (letter case ignored). Among several, in name order,
    // the clip's own extension first, then a proxy video format; other files are not proxies.
    static std::optional<QString> findProxyPath(const QString& mediaPath);
    // Extensions a proxy may have besides the clip's own, lower-cased.
    static const QStringList& proxyVideoExtensions();

    static void reportDaVinciImportFailure(ProjectManager& manager, const QString& message);
};

} // namespace tarnwick
