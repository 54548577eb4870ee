#pragma once

#include "actions/ActionResult.h"
#include "model/RecycleBinItem.h"
#include "model/TranscodeCompleteResult.h"

#include <QList>

// The screenshot tour's made-up outcomes of the bin's runs, as those runs could really end over
// the bin as it stands: counts from its files, failures on its last files, for reasons that
// action can give.
namespace tarnwick::tourOutcomes {

// The last `count` items of the bin (what a run with that many failures leaves in it).
QList<RecycleBinItem> lastItems(const QList<RecycleBinItem>& bin, qsizetype count);
// Every file of the bin removed for good.
ActionResult deletion(const QList<RecycleBinItem>& bin);
// A move to a folder, and a Trash run, that kept the bin's last files (two where it has three or more).
ActionResult moveWithErrors(const QList<RecycleBinItem>& bin);
ActionResult trashWithFailures(const QList<RecycleBinItem>& bin);
// The bin's videos, and the files a transcode run tries (what the confirmation counts), and bytes.
QList<RecycleBinItem> videos(const QList<RecycleBinItem>& bin);
QList<RecycleBinItem> transcodable(const QList<RecycleBinItem>& bin);
qint64 bytesOf(const QList<RecycleBinItem>& items);
// A transcode of the files a run tries: those without a video track fail (the last video changed
// while it ran when there are none); and one of the bin's videos where all went well.
TranscodeCompleteResult transcodeWithErrors(const QList<RecycleBinItem>& bin);
TranscodeCompleteResult transcodeDone(const QList<RecycleBinItem>& bin);

} // namespace tarnwick::tourOutcomes
