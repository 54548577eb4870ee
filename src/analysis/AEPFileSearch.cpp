#include "analysis/AEPFileSearch.h"

#include "platform/AppLog.h"
#include "platform/FileStatProbe.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QSet>

namespace tarnwick::AEPFileSearch {

QString nameKey(const QString& path) {
    return text::lowered(text::nfc(path::lastPathComponent(path)));
}

bool isAEPPath(const QString& path) {
    // Cheap test first: this runs over every entry of a walk or a media list.
    if (!path.endsWith(QLatin1String("aep"), Qt::CaseInsensitive))
        return false;
    return text::lowered(path::pathExtension(path)) == QLatin1String("aep");
}

bool isRegularFile(const DirectoryWalker::Entry& entry) {
    switch (entry.type) {
    case DirectoryWalker::EntryType::regularFile:
        return true;
    case DirectoryWalker::EntryType::symbolicLink: {
        const auto facts = FileStatProbe::system()->stat(entry.path());
        return facts && facts->isRegularFile;
    }
    default:
        return false;
    }
}

namespace {

void keep(FoundAEPFiles& found, const DirectoryWalker::Entry& entry) {
    if (!isAEPPath(entry.name()) || !isRegularFile(entry))
        return;
    const QString key = nameKey(entry.name());
    QStringList& ofName = found.pathsByName[key];
    // The deep pass lists the folders' own entries again.
    const QString path = entry.path();
    if (ofName.contains(path))
        return;
    if (ofName.isEmpty())
        found.names.append(key);
    ofName.append(path);
    found.paths.append(path);
}

} // namespace

FoundAEPFiles findAEPFilesForRelocation(const QStringList& folders, bool deepSearch, int maxDepth,
                                        qint64 fileCap) {
    FoundAEPFiles found;
    QStringList distinct;
    QSet<QString> seen;
    for (const QString& folder : folders) {
        if (!seen.contains(folder)) {
            seen.insert(folder);
            distinct.append(folder);
        }
    }

    DirectoryWalker::Options shallow;
    shallow.recursive = false;
    shallow.skipHidden = false;
    for (const QString& folder : std::as_const(distinct)) {
        DirectoryWalker::walk(folder, shallow, [&](const DirectoryWalker::Entry& entry) {
            keep(found, entry);
            return DirectoryWalker::Action::proceed;
        });
    }
    if (!deepSearch)
        return found;

    qint64 scanned = 0;
    DirectoryWalker::Options deep;
    // Entries one level below the deepest examined one are counted against the cap, not examined.
    deep.maxDepth = maxDepth + 1;
    for (const QString& folder : std::as_const(distinct)) {
        deep.entryCap = std::max<qint64>(0, fileCap - scanned);
        const DirectoryWalker::Result walked =
            DirectoryWalker::walk(folder, deep, [&](const DirectoryWalker::Entry& entry) {
                if (entry.level > maxDepth)
                    return DirectoryWalker::Action::skipDescendants;
                keep(found, entry);
                return DirectoryWalker::Action::proceed;
            });
        scanned += walked.entriesListed;
        if (walked.capReached) {
            AppLog::parserWarning(
                QStringLiteral("AEP search hit the %1-file cap; stopping (relocation may be "
                               "incomplete)")
                    .arg(fileCap));
            return found;
        }
    }
    return found;
}

QStringList findAEPFiles(const QString& folder, const std::atomic_bool* cancel) {
    QStringList found;
    DirectoryWalker::Options options;
    options.cancel = cancel;
    options.regularFilesOnly = true;
    DirectoryWalker::walk(folder, options, [&](const DirectoryWalker::Entry& entry) {
        if (isAEPPath(entry.name()))
            found.append(entry.path());
        return DirectoryWalker::Action::proceed;
    });
    return found;
}

} // namespace tarnwick::AEPFileSearch
