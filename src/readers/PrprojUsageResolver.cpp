#include "readers/PrprojUsageResolver.h"

#include "platform/AppLog.h"
#include "platform/Graphemes.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"
#include "readers/PrprojTextFilters.h"
#include "readers/ReaderTask.h"

#include <QThread>

#include <algorithm>
#include <array>
#include <cstdint>
#include <type_traits>

namespace tarnwick::prproj {

QString normalizedQuotes(const QString& key) {
    QString out = key;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u == u'\'' || u == 0x2018 || u == 0x2019 || u == 0x201C || u == 0x201D)
            c = u'_';
    }
    return out;
}

namespace {

constexpr qsizetype kParallelMatchFrom = 4096;

} // namespace

UsageResolver::UsageResolver(const UsageInputs& in) : m_in(in) {}

namespace {

// The path rules of path::lastPathComponent, deletingPathExtension and deletingLastPathComponent, as
// views into the text: every name is a part of a title.
QStringView trimmedSlashes(QStringView path) {
    qsizetype end = path.size();
    while (end > 1 && path[end - 1] == u'/')
        --end;
    return path.first(end);
}

QStringView lastComponent(QStringView path) {
    const QStringView trimmed = trimmedSlashes(path);
    if (trimmed == u"/")
        return trimmed;
    return trimmed.sliced(trimmed.lastIndexOf(u'/') + 1);
}

QStringView withoutExtension(QStringView path) {
    const QStringView trimmed = trimmedSlashes(path);
    const qsizetype start = trimmed.lastIndexOf(u'/') + 1;
    const qsizetype dot = trimmed.lastIndexOf(u'.');
    if (dot <= start || dot == trimmed.size() - 1)
        return trimmed;
    return trimmed.first(dot);
}

QStringView parentFolder(QStringView path) {
    const QStringView trimmed = trimmedSlashes(path);
    if (trimmed == u"/")
        return trimmed;
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    if (slash < 0)
        return {};
    const QStringView parent = trimmedSlashes(trimmed.first(slash));
    return parent.isEmpty() ? trimmed.first(1) : parent; // the root: the text starts with it
}

template <typename Key> NameIndexes::Sorted sortedByKey(const QHash<Key, QStringList>& map) {
    // Sorted by the keys' first sixteen UTF-16 units packed into integers, which decide nearly every
    // comparison without reading the keys themselves (they lie all over memory); a tie is decided by
    // the rest of the keys, so the order is exactly QString's.
    constexpr qsizetype kUnits = 16;
    struct Entry {
        std::array<std::uint64_t, kUnits / 4> head{};
        NameIndexes::Entry entry;
    };
    std::vector<Entry> entries;
    entries.reserve(static_cast<std::size_t>(map.size()));
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        Entry e;
        e.entry.key = it.key();
        e.entry.paths = &it.value();
        if constexpr (std::is_same_v<Key, QString>)
            e.entry.text = &it.key();
        const QStringView key = e.entry.key;
        for (qsizetype i = 0; i < std::min(kUnits, key.size()); ++i)
            e.head[static_cast<std::size_t>(i / 4)] |= std::uint64_t(key[i].unicode()) << (16 * (3 - i % 4));
        entries.push_back(e);
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        for (std::size_t i = 0; i < a.head.size(); ++i) {
            if (a.head[i] != b.head[i])
                return a.head[i] < b.head[i];
        }
        return a.entry.key < b.entry.key;
    });
    NameIndexes::Sorted sorted;
    sorted.reserve(entries.size());
    for (const Entry& e : entries)
        sorted.push_back(e.entry);
    return sorted;
}

// The name a master clip carries in the project, as written there; none when it has none.
std::optional<Id> masterClipName(const UsageInputs& in, const QString& masterClipID) {
    const QByteArray id = masterClipID.toUtf8();
    const auto name = in.masterClipNames.find(viewOf(id));
    if (name == in.masterClipNames.end())
        return std::nullopt;
    return name->second;
}

} // namespace

NameIndexes buildNameIndexes(const MediaTables& media, bool parallel) {
    // Title keys are lower-cased NFC text already; cutting them at "/" or "." keeps them so.
    NameIndexes x;
    const auto& titles = media.pathsByTitle;
    // The title order and its quote-normalised firsts only read the titles: they can be built on
    // a second thread while the name map fills.
    auto sortTitles = [&] {
        x.sortedTitles = sortedByKey(titles);
        x.firstTitleByNormalized.reserve(titles.size());
        for (const NameIndexes::Entry& e : x.sortedTitles) {
            const QString n = normalizedQuotes(*e.text);
            if (!x.firstTitleByNormalized.contains(n))
                x.firstTitleByNormalized.insert(n, *e.text);
        }
    };
    ReaderTask<void> titlesDone(sortTitles, parallel);
    x.pathsByName.reserve(titles.size() * 2);
    // A name of one title shares that title's list; only names of several titles make their own.
    auto addPaths = [](QStringList& to, const QStringList& paths) {
        if (to.isEmpty()) {
            to = paths;
            return;
        }
        for (const QString& p : paths)
            addUnique(to, p);
    };
    for (auto it = titles.constBegin(); it != titles.constEnd(); ++it) {
        const QString& t = it.key();
        addPaths(x.pathsByName[withoutExtension(lastComponent(t))], it.value());
        const QStringView folder = parentFolder(t);
        if (!folder.isEmpty())
            addPaths(x.pathsByName[folder], it.value());
    }
    x.sortedNames = sortedByKey(x.pathsByName);
    titlesDone.get();
    return x;
}

const UsageResolver::Indexes& UsageResolver::indexes() const {
    if (m_in.prebuiltIndexes)
        return *m_in.prebuiltIndexes;
    if (!m_indexes)
        m_indexes = buildNameIndexes(m_in.media);
    return *m_indexes;
}

const QStringList* UsageResolver::title(const QString& key) const {
    const auto it = m_in.media.pathsByTitle.constFind(key);
    return it != m_in.media.pathsByTitle.constEnd() && !it->isEmpty() ? &*it : nullptr;
}

const QStringList* UsageResolver::byName(const QString& key) const {
    const auto& names = indexes().pathsByName;
    const auto it = names.constFind(QStringView(key));
    return it != names.constEnd() && !it->isEmpty() ? &*it : nullptr;
}

// Keys with a given prefix are contiguous in sorted order, so the first in that order is found by
// binary search instead of a scan over every title.
const QStringList* UsageResolver::firstWithPrefix(const NameIndexes::Sorted& sorted, const QString& prefix) {
    auto it = std::lower_bound(
        sorted.begin(), sorted.end(), prefix,
        [](const NameIndexes::Entry& e, const QString& p) { return e.key < QStringView(p); });
    for (; it != sorted.end() && it->key.startsWith(prefix); ++it) {
        if (!it->paths->isEmpty())
            return it->paths;
    }
    return nullptr;
}

const QStringList* UsageResolver::matchByNameRules(const QString& name) const {
    const QString key = MediaTables::titleKey(name);
    if (auto* p = title(key))
        return p;
    const QString normalized = normalizedQuotes(key);
    if (normalized != key) {
        if (auto* p = title(normalized))
            return p;
        const auto first = indexes().firstTitleByNormalized.constFind(normalized);
        if (first != indexes().firstTitleByNormalized.constEnd()) {
            if (auto* p = title(*first))
                return p;
        }
    }
    const QString base = path::deletingPathExtension(key);
    if (base != key) {
        if (auto* p = byName(base))
            return p;
    }
    if (auto* p = byName(key))
        return p;
    const qsizetype multicam = key.indexOf(QLatin1StringView("multicam"));
    if (multicam >= 0) {
        const QString prefix = key.left(multicam);
        if (!prefix.isEmpty()) {
            if (auto* p = title(prefix))
                return p;
            if (auto* p = byName(path::deletingPathExtension(prefix)))
                return p;
        }
    }
    if (key.startsWith(QLatin1StringView("mc - "))) {
        if (auto* p = byName(key.mid(graphemes::prefix(key, 5).size())))
            return p;
    }
    const Indexes& x = indexes();
    if (auto* p = firstWithPrefix(x.sortedTitles, key + u'/'))
        return p;
    if (graphemes::count(key) >= 21) {
        if (auto* p = firstWithPrefix(x.sortedNames, graphemes::prefix(key, 25)))
            return p;
    }
    if (graphemes::count(base) >= 11) {
        if (auto* p = firstWithPrefix(x.sortedNames, base))
            return p;
    }
    return nullptr;
}

std::optional<QStringList> UsageResolver::matchClipNameToMedia(const QString& masterClipID) const {
    const std::optional<Id> name = masterClipName(m_in, masterClipID);
    if (!name)
        return std::nullopt;
    // The project's own reference chain counts together with the name rules: a renamed master clip
    // must not leave the file it really uses looking unused.
    const QStringList* byName = matchByNameRules(toQString(*name));
    QStringList paths = byName ? *byName : QStringList();
    if (m_in.referenceChain.pathsOf) {
        for (const QString& p : m_in.referenceChain.pathsOf(masterClipID))
            addUnique(paths, p);
    }
    if (paths.isEmpty())
        return std::nullopt;
    return paths;
}

// Matching reads shared tables only, so large projects match their master clips on a few threads.
std::vector<std::optional<QStringList>> UsageResolver::matchAll(const QStringList& masterClipIDs) const {
    std::vector<std::optional<QStringList>> out(static_cast<std::size_t>(masterClipIDs.size()));
    auto matchRange = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i)
            out[static_cast<std::size_t>(i)] = matchClipNameToMedia(masterClipIDs[i]);
    };
    const int threads = std::min(QThread::idealThreadCount(), 4);
    if (masterClipIDs.size() < kParallelMatchFrom || threads < 2) {
        matchRange(0, masterClipIDs.size());
        return out;
    }
    indexes(); // built once before the threads share it
    std::vector<ReaderTask<void>> parts;
    const qsizetype step = (masterClipIDs.size() + threads - 1) / threads;
    for (qsizetype from = step; from < masterClipIDs.size(); from += step)
        parts.emplace_back([&matchRange, from, step, &masterClipIDs] {
            matchRange(from, std::min(from + step, masterClipIDs.size()));
        });
    matchRange(0, std::min(step, masterClipIDs.size()));
    for (auto& part : parts)
        part.get();
    return out;
}

namespace {

void warn(QStringList& warnings, const QString& text) {
    warnings.append(text);
    AppLog::parserWarning(text);
}

// The timelines' names of each distinct set of counts, made once: paths share them.
class TimelineNames {
public:
    explicit TimelineNames(const QList<ProjectSequence>& timelines) {
        for (const ProjectSequence& s : timelines)
            m_displayNameByID.insert(s.id, s.displayName());
    }

    const QSet<QString>& of(const QHash<QString, qint64>& occurrences) {
        QStringList ids = occurrences.keys();
        std::sort(ids.begin(), ids.end());
        auto known = m_namesBySequences.constFind(ids);
        if (known != m_namesBySequences.constEnd())
            return *known;
        m_namesFound.clear();
        for (const QString& sequence : std::as_const(ids)) {
            const auto seq = m_displayNameByID.constFind(sequence);
            if (seq != m_displayNameByID.constEnd())
                m_namesFound.insert(*seq);
        }
        return *m_namesBySequences.insert(ids, m_namesFound);
    }

private:
    QHash<QString, QString> m_displayNameByID;
    QHash<QStringList, QSet<QString>> m_namesBySequences;
    QSet<QString> m_namesFound;
};

// The name a clip that could not be matched still carries (its file name, as a rule): files of that
// name may be what it uses, in any project.
void addUnresolvedName(const UsageInputs& in, const QString& masterClipID, QStringList& names) {
    if (const std::optional<Id> name = masterClipName(in, masterClipID)) {
        const QString decoded = decodeXMLEntities(toQString(*name)).trimmed();
        if (!decoded.isEmpty())
            names.append(decoded);
    }
    // A renamed clip still shows its media's own title and file name.
    if (in.referenceChain.mediaNamesOf)
        names.append(in.referenceChain.mediaNamesOf(masterClipID));
}

// Adds the paths each used master clip matched, its count and its timelines; returns how many
// clips that should lead to a file matched none.
qint64 tallyUsed(const UsageInputs& in, const QStringList& used,
                 const std::vector<std::optional<QStringList>>& matches, UsageResult& r) {
    TimelineNames timelineNames(in.timelines);
    qint64 unresolved = 0;
    for (qsizetype i = 0; i < used.size(); ++i) {
        const QString& id = used[i];
        const std::optional<QStringList>& paths = matches[static_cast<std::size_t>(i)];
        if (!paths) {
            // Titles, mattes, black video and nested timelines have no file to match: nothing is
            // unresolved.
            if (!in.referenceChain.leadsToNoFile(id)) {
                ++unresolved;
                addUnresolvedName(in, id, r.unresolvedClipNames);
            }
            continue;
        }
        for (const QString& path : *paths)
            r.usedMediaPaths.insert(path);
        const qint64 n = in.mapping.usageCountByMasterClip.value(id, 1);
        const auto attribution = in.mapping.attributionByMasterClip.constFind(id);
        const QSet<QString>* names = nullptr;
        if (attribution != in.mapping.attributionByMasterClip.constEnd())
            names = &timelineNames.of(attribution->occurrencesBySequenceID);
        for (const QString& path : *paths) {
            r.usageCountByPath[path] += static_cast<int>(n);
            if (!names)
                continue;
            r.sequenceUsageByPath[path].merge(attribution->occurrencesBySequenceID,
                                              attribution->unattributedOccurrences);
            if (!names->isEmpty()) {
                QSet<QString>& pathNames = r.sequenceNamesByPath[path];
                if (pathNames.isEmpty())
                    pathNames = *names; // shared until it differs
                else
                    pathNames.unite(*names);
            }
        }
    }
    return unresolved;
}

void warnUnmatched(const UsageInputs& in, qint64 unresolved, QStringList& warnings) {
    if (unresolved >= 1)
        warn(warnings,
             QString::number(unresolved) +
                 QStringLiteral(" timeline clip(s) could not be matched to a media file — some media in "
                                "this project may appear unused. Flagged for review; excluded from "
                                "one-click cleanup."));
    if (in.mapping.unmatchedClipCount >= 1)
        warn(warnings,
             QString::number(in.mapping.unmatchedClipCount) +
                 QStringLiteral(" timeline clip(s) couldn't be linked to their source — used media here may "
                                "appear unused. Flagged for review; excluded from one-click cleanup."));
}

// Each used path's occurrences made to add up to its count; returns how many paths keep
// occurrences of both a known and an unknown timeline.
qint64 balanceOccurrences(UsageResult& r) {
    qint64 mixed = 0;
    for (const QString& path : std::as_const(r.usedMediaPaths)) {
        const int counted = r.usageCountByPath.value(path, 0);
        const qint64 usage = counted > 1 ? counted : 1;
        SequenceUsageAttribution& a = r.sequenceUsageByPath[path]; // every used path gets one
        const qint64 occurrences = a.totalOccurrences();
        const qint64 total = occurrences + a.unattributedOccurrences;
        if (total < usage)
            a.unattributedOccurrences += usage - total;
        else if (total > usage)
            a.unattributedOccurrences += 1;
        if (occurrences >= 1 && a.unattributedOccurrences >= 1)
            ++mixed;
    }
    return mixed;
}

// Timelines with clips but no used media means the parse failed: every file counts as used.
void treatAllAsUsedWhenNoneResolved(const UsageInputs& in, UsageResult& r, QStringList& warnings) {
    const QSet<QString>& all = in.media.allPaths;
    if (all.isEmpty() || in.sequenceCount <= 0 || (in.videoClipKeys <= 0 && in.audioClipKeys <= 0) ||
        !r.usedMediaPaths.isEmpty())
        return;
    warn(warnings, QStringLiteral("Found ") + QString::number(in.sequenceCount) +
                       QStringLiteral(" sequence(s) with ") +
                       QString::number(in.videoClipKeys + in.audioClipKeys) +
                       QStringLiteral(" timeline clip(s) but resolved 0 used media — treating all ") +
                       QString::number(all.size()) +
                       QStringLiteral(" file(s) as USED to avoid mis-deleting in-use media (suspected parse "
                                      "failure)."));
    for (const QString& path : all) {
        if (!r.usageCountByPath.contains(path))
            r.usageCountByPath.insert(path, 1);
        if (!r.sequenceUsageByPath.contains(path))
            r.sequenceUsageByPath.insert(path, SequenceUsageAttribution{{}, 1});
    }
    r.usedMediaPaths = all;
}

} // namespace

UsageResult UsageResolver::resolve(QStringList& warnings) const {
    UsageResult r;
    const QStringList used = m_in.mapping.usedMasterClipRefs.values();
    // About a path per used master clip: sized once, so no table hashes its paths again as it grows.
    r.usedMediaPaths.reserve(used.size());
    r.usageCountByPath.reserve(used.size());
    r.sequenceUsageByPath.reserve(used.size());
    r.sequenceNamesByPath.reserve(used.size());
    const std::vector<std::optional<QStringList>> matches = matchAll(used);
    // The audio-only clips match while the used paths are tallied; the shared indexes must exist
    // before a second thread reads them.
    const QStringList audioOnly = m_in.mapping.audioOnlyMasterClipRefs.values();
    const bool overlap = used.size() >= kParallelMatchFrom && QThread::idealThreadCount() > 1;
    if (overlap)
        indexes();
    ReaderTask<std::vector<std::optional<QStringList>>> audioOnlyMatches([&] { return matchAll(audioOnly); },
                                                                         overlap);
    warnUnmatched(m_in, tallyUsed(m_in, used, matches, r), warnings);
    r.unresolvedClipNames.sort();
    r.unresolvedClipNames.removeDuplicates();

    const qint64 mixed = balanceOccurrences(r);
    if (mixed >= 1)
        warn(warnings,
             QString::number(mixed) +
                 QStringLiteral(" used media path(s) have timeline occurrences whose sequence could not be "
                                "identified — those occurrences remain protected from sequence-ignore "
                                "rules."));

    for (const std::optional<QStringList>& paths : audioOnlyMatches.get()) {
        if (paths) {
            for (const QString& path : *paths)
                r.audioOnlyPaths.insert(path);
        }
    }
    treatAllAsUsedWhenNoneResolved(m_in, r, warnings);
    return r;
}

} // namespace tarnwick::prproj
