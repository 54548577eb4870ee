#pragma once

#include <QString>
#include <QStringList>

namespace tarnwick::CommandName {

inline const QString showStats = QStringLiteral("showStats");
inline const QString openProjects = QStringLiteral("openProjects");
inline const QString easyImport = QStringLiteral("easyImport");
inline const QString importDaVinciCSV = QStringLiteral("importDaVinciCSV");
inline const QString viewAuditLog = QStringLiteral("viewAuditLog");
inline const QString searchOfflineFiles = QStringLiteral("searchOfflineFiles");
inline const QString refreshFileStatus = QStringLiteral("refreshFileStatus");
inline const QString exportUnusedCSV = QStringLiteral("exportUnusedCSV");
inline const QString addAllUnused = QStringLiteral("addAllUnused");
inline const QString moveUnusedToFolder = QStringLiteral("moveUnusedToFolder");
inline const QString clearAllProjects = QStringLiteral("clearAllProjects");
inline const QString showWelcomeGuide = QStringLiteral("showWelcomeGuide");
inline const QString manageProtectedFolders = QStringLiteral("manageProtectedFolders");
inline const QString manageSequenceUsage = QStringLiteral("manageSequenceUsage");
inline const QString grantDriveAccess = QStringLiteral("grantDriveAccess");
inline const QString proVideoFormatsRecommended = QStringLiteral("proVideoFormatsRecommended");

// Payload keys: "openProjects" carries a list of URLs, "importDaVinciCSV" one URL.
inline const QString urlsKey = QStringLiteral("urls");
inline const QString urlKey = QStringLiteral("url");

// The sixteen names, in the order the main window subscribes to them.
inline const QStringList& all() {
    static const QStringList names{showStats,
                                   openProjects,
                                   easyImport,
                                   importDaVinciCSV,
                                   viewAuditLog,
                                   searchOfflineFiles,
                                   refreshFileStatus,
                                   exportUnusedCSV,
                                   addAllUnused,
                                   moveUnusedToFolder,
                                   clearAllProjects,
                                   showWelcomeGuide,
                                   manageProtectedFolders,
                                   manageSequenceUsage,
                                   grantDriveAccess,
                                   proVideoFormatsRecommended};
    return names;
}

} // namespace tarnwick::CommandName
