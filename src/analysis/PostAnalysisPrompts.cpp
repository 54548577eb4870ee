#include "analysis/PostAnalysisPrompts.h"

#include "platform/PathText.h"
#include "platform/TextKey.h"

#include <algorithm>

namespace tarnwick {

PostAnalysisPrompts::Due PostAnalysisPrompts::duePrompts(const Raised& raised, const Inputs& inputs) {
    Due due;
    due.scan = !raised.hasPromptedForScan && inputs.offlineFiles > 0;
    due.missingAEP = !raised.hasPromptedForMissingAEP && inputs.uncertainAEFiles > 0;
    // In this order, later tests skipped once one fails: the sandbox never looks for the formats.
    due.proVideoFormats = !raised.hasPromptedForProVideoFormats && !inputs.sandboxed &&
                          !(inputs.proVideoFormatsInstalled && inputs.proVideoFormatsInstalled()) &&
                          inputs.mediaFiles && hasMXFMedia(*inputs.mediaFiles);
    return due;
}

bool PostAnalysisPrompts::hasMXFMedia(const QList<MediaFile>& mediaFiles) {
    // The text after the last dot of the last component: a file named only ".mxf" counts too.
    return std::any_of(mediaFiles.cbegin(), mediaFiles.cend(), [](const MediaFile& file) {
        const QString name = path::lastPathComponent(file.path);
        const qsizetype dot = name.lastIndexOf(u'.');
        return dot >= 0 && text::lowered(name.sliced(dot + 1)) == QLatin1String("mxf");
    });
}

} // namespace tarnwick
