#include "analysis/AEPRelocation.h"

#include "analysis/AEDefaultNames.h"
#include "analysis/AEPFileSearch.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <algorithm>
#include <limits>

namespace tarnwick {

namespace {

QString pathKey(const QString& path) {
    return text::lowered(text::nfc(path));
}

// Composition names compare as the media titles that name them do.
QString compositionKey(const QString& name) {
    return text::nfc(text::lowered(name));
}

// What ties a found file to one project that lists the link. Weighed so that of two files tied
// alike, one that also holds the project's compositions, or lies where its relative path points,
// is the one.
constexpr int atRelativePath = 4;
constexpr int holdsCompositions = 2;
constexpr int inOwnFolder = 1;

} // namespace

AEPRelocation::AEPRelocation(const QList<ProjectFile>& projects) : m_projects(projects) {
    for (qsizetype i = 0; i < projects.size(); ++i) {
        // A project without a file (one that failed to read keeps its location) owns no folder.
        QString folder = path::deletingLastPathComponent(projects[i].url.toLocalFile());
        if (!folder.isEmpty() && !folder.endsWith(u'/'))
            folder += u'/';
        m_folders.append(folder);
        for (const QString& p : projects[i].mediaFiles) {
            if (!AEPFileSearch::isAEPPath(p))
                continue;
            m_listingsByPath[pathKey(p)].append({i, p});
            m_projectsByName[AEPFileSearch::nameKey(p)].insert(i);
        }
    }
}

QList<AEPRelocation::Listing> AEPRelocation::listingsOf(const MediaFile& link) const {
    QList<Listing> listings;
    const auto take = [&](const QString& path) {
        for (const Listing& listing : m_listingsByPath.value(pathKey(path))) {
            const bool known = std::any_of(listings.cbegin(), listings.cend(),
                                           [&](const Listing& l) { return l.project == listing.project; });
            if (!known)
                listings.append(listing);
        }
    };
    take(link.path);
    // A consolidated entry stands for the other paths it holds, which other projects list.
    for (const QString& alternative : link.alternativePaths)
        take(alternative);
    return listings;
}

QList<qsizetype> AEPRelocation::ownersOf(const QString& path) const {
    QList<qsizetype> owners;
    qsizetype nearest = -1;
    for (qsizetype i = 0; i < m_folders.size(); ++i) {
        const QString& folder = m_folders[i];
        if (folder.isEmpty() || folder.size() < nearest || !path.startsWith(folder))
            continue;
        if (folder.size() > nearest) {
            nearest = folder.size();
            owners.clear();
        }
        owners.append(i);
    }
    return owners;
}

int AEPRelocation::tie(const Listing& listing, const QList<Listing>& all, const Candidate& candidate,
                       const QList<qsizetype>& owners, const QSet<QString>& compositionKeys,
                       bool defaultsProve) const {
    const ProjectFile& project = m_projects[listing.project];
    int weight = 0;
    const QString relative = project.relativeCandidates.value(listing.listedPath);
    if (!relative.isEmpty() && pathKey(relative) == pathKey(candidate.path))
        weight += atRelativePath;
    const QStringList named = project.linkedCompositions.value(listing.listedPath);
    qsizetype held = 0;
    bool proving = false; // a held name of the user's own
    for (const QString& name : named) {
        if (!compositionKeys.contains(compositionKey(name)))
            continue;
        ++held;
        proving = proving || defaultsProve || !AEDefaultNames::isDefaultCompositionName(name);
    }
    // A file whose compositions were read and are all others is someone else's, wherever it lies
    // (a download or a template in the project's folder).
    const bool contradicted = !named.isEmpty() && !compositionKeys.isEmpty() && held == 0;
    if (owners.contains(listing.project) && !contradicted)
        weight += inOwnFolder;
    if (named.isEmpty() || held < named.size() || !proving)
        return weight;
    // Compositions of the user's own names are shared too: a file in the folder of another project
    // that lists a project of that name is that project's.
    const QSet<qsizetype> namesakes = m_projectsByName.value(AEPFileSearch::nameKey(candidate.path));
    const bool another = std::any_of(owners.cbegin(), owners.cend(), [&](qsizetype owner) {
        const bool linking =
            std::any_of(all.cbegin(), all.cend(), [&](const Listing& l) { return l.project == owner; });
        return !linking && namesakes.contains(owner);
    });
    return weight > 0 || !another ? weight + holdsCompositions : weight;
}

AEPRelocation::Choice AEPRelocation::rank(const QList<Listing>& listings, const QList<Candidate>& candidates,
                                          bool defaultsProve) const {
    // Each distinct file by its best-tied path; a file must be tied to every project listing the link.
    QHash<QString, std::pair<int, const Candidate*>> files;
    for (const Candidate& candidate : candidates) {
        QSet<QString> keys;
        for (const QString& name : candidate.compositions.value_or(QStringList()))
            keys.insert(compositionKey(name));
        const QList<qsizetype> owners = ownersOf(candidate.path);
        int weight = std::numeric_limits<int>::max();
        for (const Listing& listing : listings)
            weight = std::min(weight, tie(listing, listings, candidate, owners, keys, defaultsProve));
        const QString key = candidate.fileKey.isEmpty() ? candidate.path : candidate.fileKey;
        auto& file = files[key];
        if (!file.second || weight > file.first)
            file = {weight, &candidate};
    }
    int best = 1;
    QList<const Candidate*> tiedBest;
    for (const auto& [weight, candidate] : std::as_const(files)) {
        if (weight < best)
            continue;
        if (weight > best)
            tiedBest.clear();
        best = weight;
        tiedBest.append(candidate);
    }
    Choice choice;
    choice.tiedAlike = tiedBest.size();
    if (tiedBest.size() == 1)
        choice.path = tiedBest.first()->path;
    return choice;
}

QStringList AEPRelocation::defaultNamesHeld(const QList<Listing>& listings,
                                            const Candidate& candidate) const {
    QSet<QString> named;
    for (const Listing& listing : listings) {
        for (const QString& name : m_projects[listing.project].linkedCompositions.value(listing.listedPath))
            named.insert(compositionKey(name));
    }
    QStringList held;
    for (const QString& name : candidate.compositions.value_or(QStringList())) {
        if (named.contains(compositionKey(name)) && AEDefaultNames::isDefaultCompositionName(name))
            held.append(name);
    }
    return held;
}

AEPRelocation::Choice AEPRelocation::choose(const MediaFile& link, const QList<Candidate>& candidates) const {
    const QList<Listing> listings = listingsOf(link);
    if (listings.isEmpty())
        return {};
    Choice choice = rank(listings, candidates, false);
    if (choice.tiedAlike > 0)
        return choice;
    // Worth its own word in the log: the names After Effects gives by default would have decided.
    const Choice byDefaults = rank(listings, candidates, true);
    if (!byDefaults.path)
        return choice;
    choice.tiedByDefaultNamesOnly = byDefaults.path;
    for (const Candidate& candidate : candidates) {
        if (candidate.path == *byDefaults.path)
            choice.defaultNames = defaultNamesHeld(listings, candidate);
    }
    return choice;
}

} // namespace tarnwick
