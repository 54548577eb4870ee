#pragma once

#include "model/MediaFile.h"

#include <QList>

#include <functional>

namespace tarnwick {

// Which of the once-per-window prompts an import raises.
class PostAnalysisPrompts {
public:
    struct Raised {
        bool hasPromptedForScan = false;
        bool hasPromptedForMissingAEP = false;
        bool hasPromptedForProVideoFormats = false;
    };
    struct Inputs {
        int offlineFiles = 0;
        int uncertainAEFiles = 0;
        bool sandboxed = false;
        // Asked only when every earlier condition holds.
        std::function<bool()> proVideoFormatsInstalled;
        const QList<MediaFile>* mediaFiles = nullptr;
    };
    struct Due {
        bool scan = false;
        bool missingAEP = false;
        bool proVideoFormats = false;

        friend bool operator==(const Due&, const Due&) = default;
    };

    static Due duePrompts(const Raised& raised, const Inputs& inputs);

    // Some path's extension, lower-cased, is "mxf"; stops at the first.
    static bool hasMXFMedia(const QList<MediaFile>& mediaFiles);
};

} // namespace tarnwick
