#pragma once

#include "model/AnalysisSummary.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwick::SidebarTexts {

// One line of the summary section; `divider` marks the rule between counts and sizes.
struct SummaryLine {
    QString label;
    QString value;
    bool highlight = false;
    std::optional<QColor> color;
    bool divider = false;
};
// The lines shown for a summary, in order (conditional lines left out at 0).
QList<SummaryLine> summaryLines(const AnalysisSummary& summary);

QString reclaimableCountText(int unusedFiles);
// "1 protect rule • 2 auto-ignore rules"; nothing when there are no rules.
std::optional<QString> ruleCountsText(int protectRules, int ignoreRules);
// "1 folder protected"; nothing when there are none.
std::optional<QString> protectedFoldersText(int folders);
// "3 unattributed occurrences always counted"; nothing below 1.
std::optional<QString> unattributedText(qint64 occurrences);
QString projectCountsText(int files, int used);
// "• 2 timelines"; nothing for a project without timelines.
std::optional<QString> timelinesText(int timelines);

QString moveUnusedMessage(qint64 count, const QString& folderName);

} // namespace tarnwick::SidebarTexts
