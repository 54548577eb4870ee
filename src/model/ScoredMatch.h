#pragma once

#include "model/MediaFile.h"

#include <QString>
#include <QUuid>

namespace tarnwick {

struct MatchScore {
    double score = 0;
    int matchingComponents = 0;
    int totalOriginalComponents = 0;
    bool sizeMatched = false;
    bool extensionMatched = false;

    // Score × 100 truncated toward zero, then "%": 0.999 gives "99%".
    QString percentText() const;
};

// A candidate location for an offline file.
struct ScoredMatch {
    QUuid id = QUuid::createUuid();
    MediaFile offlineFile;
    QString foundPath;
    MatchScore matchScore;
};

} // namespace tarnwick
