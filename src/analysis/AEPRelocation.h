#pragma once

#include "model/MediaFile.h"
#include "model/ProjectFile.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwick {

// Which .aep file found near the imported projects, if any, a link whose recorded path is gone is
// reconnected to. A name proves nothing ("Untitled Project.aep" is everyone's), so a found file is
// taken only where it is tied to every project that lists the link: where that project's relative
// path for the link resolves; in that project's own folder tree (no other project's folder lies
// nearer above the file), unless the compositions read from it are none of those the project's
// media titles name; or holding every composition the titles name, one of them a name of the
// user's own (After Effects names every new composition alike), unless it lies in the folder tree
// of another project that lists a file of that name. Of the files so tied the most tied one is
// taken; several tied alike are none, and the link stays missing.
class AEPRelocation {
public:
    // A found file of the link's name. `fileKey` tells one file reached by several paths apart;
    // `compositions` are its compositions' names, absent when it could not be read.
    struct Candidate {
        QString path;
        QString fileKey;
        std::optional<QStringList> compositions;
    };

    struct Choice {
        std::optional<QString> path; // the file the link is reconnected to
        qsizetype tiedAlike = 0;     // the distinct files tied best: more than one is no choice
        // When no file is tied: the one that names After Effects gives by default would have tied,
        // and those names as it holds them.
        std::optional<QString> tiedByDefaultNamesOnly;
        QStringList defaultNames;
    };

    AEPRelocation() = default;
    explicit AEPRelocation(const QList<ProjectFile>& projects);

    Choice choose(const MediaFile& link, const QList<Candidate>& candidates) const;

private:
    // A project that lists the link, and the path it lists it by.
    struct Listing {
        qsizetype project = 0;
        QString listedPath;
    };

    QList<Listing> listingsOf(const MediaFile& link) const;
    // The projects whose folder is the nearest one above the path.
    QList<qsizetype> ownersOf(const QString& path) const;
    // How the candidate is tied to the listing's project (0: not at all); `all` lists the link too.
    // With `defaultsProve`, a default composition name ties as the user's own would.
    int tie(const Listing& listing, const QList<Listing>& all, const Candidate& candidate,
            const QList<qsizetype>& owners, const QSet<QString>& compositionKeys, bool defaultsProve) const;
    Choice rank(const QList<Listing>& listings, const QList<Candidate>& candidates, bool defaultsProve) const;
    // The candidate's compositions the listings' titles name that After Effects names by default.
    QStringList defaultNamesHeld(const QList<Listing>& listings, const Candidate& candidate) const;

    QList<ProjectFile> m_projects;
    QStringList m_folders;                            // each project's folder, ending in "/"
    QHash<QString, QList<Listing>> m_listingsByPath;  // lower-cased .aep path -> who lists it
    QHash<QString, QSet<qsizetype>> m_projectsByName; // .aep file name key -> who lists one
};

} // namespace tarnwick
