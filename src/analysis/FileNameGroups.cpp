#include "analysis/FileNameGroups.h"

#include "analysis/ListStretches.h"
#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <QHashFunctions>

#include <algorithm>
#include <unordered_set>

namespace tarnwick {

namespace {

// Names hashed without a copy up to this length when they are plain ASCII.
constexpr qsizetype stackName = 256;

QString loweredName(const QString& path) {
    return text::lowered(path::lastPathComponentView(path).toString());
}

quint64 hashOfName(QStringView name, FileNameGroups::NameHash hash) {
    if (name.size() <= stackName) {
        char16_t lowered[stackName];
        bool ascii = true;
        for (qsizetype k = 0; k < name.size() && ascii; ++k) {
            const char16_t c = name[k].unicode();
            ascii = c < 0x80;
            lowered[k] = c >= u'A' && c <= u'Z' ? char16_t(c + 0x20) : c;
        }
        if (ascii)
            return hash(QStringView(lowered, name.size()));
    }
    return hash(text::lowered(name.toString()));
}

struct Hashed {
    quint64 hash;
    qsizetype position;
    bool operator<(const Hashed& other) const {
        return hash != other.hash ? hash < other.hash : position < other.position;
    }
};

// Each entry's name hash, a stretch of the list per thread.
void hashAll(const QList<MediaFile>& files, FileNameGroups::NameHash hash, std::vector<Hashed>& hashed) {
    ListStretches(files.size()).run([&](int, qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i)
            hashed[std::size_t(i)] = {hashOfName(path::lastPathComponentView(files[i].path), hash), i};
    });
}

// The entries whose hash a seed shares, in (hash, position) order.
std::vector<Hashed> candidates(std::vector<Hashed> hashed, const std::vector<char>& seeds) {
    const qsizetype seedCount = std::count(seeds.begin(), seeds.end(), char(1));
    if (seedCount == 0)
        return {};
    if (seedCount < qsizetype(hashed.size())) {
        std::unordered_set<quint64> seeded;
        seeded.reserve(std::size_t(seedCount));
        for (const Hashed& h : hashed) {
            if (seeds[std::size_t(h.position)])
                seeded.insert(h.hash);
        }
        std::erase_if(hashed, [&](const Hashed& h) { return !seeded.contains(h.hash); });
    }
    std::sort(hashed.begin(), hashed.end());
    return hashed;
}

// The entries of one hash (ascending), split by their lower-cased names; groups of two or more
// holding a seed.
void splitByText(const QList<MediaFile>& files, const std::vector<char>& seeds,
                 const std::vector<qsizetype>& sameHash, std::vector<FileNameGroups::Group>& groups) {
    std::vector<std::pair<QString, qsizetype>> named;
    named.reserve(sameHash.size());
    for (qsizetype i : sameHash)
        named.emplace_back(loweredName(files[i].path), i);
    std::stable_sort(named.begin(), named.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t start = 0; start < named.size();) {
        std::size_t end = start + 1;
        while (end < named.size() && named[end].first == named[start].first)
            ++end;
        FileNameGroups::Group group;
        bool seeded = false;
        for (std::size_t k = start; k < end; ++k) {
            group.push_back(named[k].second);
            seeded = seeded || seeds[std::size_t(named[k].second)];
        }
        if (group.size() >= 2 && seeded)
            groups.push_back(std::move(group));
        start = end;
    }
}

} // namespace

quint64 FileNameGroups::defaultHash(QStringView lowered) {
    return quint64(qHashBits(lowered.data(), std::size_t(lowered.size()) * sizeof(QChar), 0));
}

std::vector<FileNameGroups::Group> FileNameGroups::of(const QList<MediaFile>& files,
                                                      const std::function<bool(const MediaFile&)>& seed,
                                                      NameHash hash) {
    std::vector<char> seeds(std::size_t(files.size()), 1);
    if (seed) {
        qsizetype seedCount = 0;
        for (qsizetype i = 0; i < files.size(); ++i) {
            seeds[std::size_t(i)] = seed(files[i]);
            seedCount += seeds[std::size_t(i)];
        }
        if (seedCount == 0)
            return {}; // no name needs hashing
    }
    std::vector<Hashed> hashed(std::size_t(files.size()));
    hashAll(files, hash ? hash : &defaultHash, hashed);
    const std::vector<Hashed> sorted = candidates(std::move(hashed), seeds);
    std::vector<Group> groups;
    std::vector<qsizetype> sameHash;
    for (std::size_t start = 0; start < sorted.size();) {
        std::size_t end = start + 1;
        while (end < sorted.size() && sorted[end].hash == sorted[start].hash)
            ++end;
        if (end - start >= 2) {
            sameHash.clear();
            for (std::size_t k = start; k < end; ++k)
                sameHash.push_back(sorted[k].position);
            splitByText(files, seeds, sameHash, groups);
        }
        start = end;
    }
    std::sort(groups.begin(), groups.end(),
              [](const Group& a, const Group& b) { return a.front() < b.front(); });
    return groups;
}

} // namespace tarnwick
