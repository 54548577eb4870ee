#include "ui/sidebar/SidebarTexts.h"

#include "platform/ByteCountText.h"
#include "ui/brand/BrandPalette.h"

namespace tarnwick::SidebarTexts {

namespace {
QString plural(qint64 n, const QString& word) {
    return QString::number(n) + word + (n == 1 ? QString() : QStringLiteral("s"));
}
} // namespace

QList<SummaryLine> summaryLines(const AnalysisSummary& s) {
    QList<SummaryLine> lines;
    auto add = [&](const QString& label, int value, bool highlight, std::optional<QColor> color,
                   bool shown = true) {
        if (shown)
            lines.append({label, QString::number(value), highlight, color, false});
    };
    add(QStringLiteral("Projects"), s.totalProjects, false, std::nullopt);
    add(QStringLiteral("Total Files"), s.totalMediaFiles, false, std::nullopt);
    add(QStringLiteral("Used"), s.usedFiles, false, Color::brandGreen());
    add(QStringLiteral("Unused"), s.unusedFiles, true, std::nullopt);
    add(QStringLiteral("Audio Only"), s.audioOnlyFiles, false, Color::brandAccent(), s.audioOnlyFiles >= 1);
    add(QStringLiteral("Online"), s.onlineFiles, false, Color::brandGreen());
    add(QStringLiteral("Found (Relocated)"), s.relocatedFiles, false, Color::brandCyan(),
        s.relocatedFiles >= 1);
    add(QStringLiteral("Matching"), s.matchingFiles, false, Color::brandCyan(), s.matchingFiles >= 1);
    add(QStringLiteral("Offline"), s.offlineFiles, false,
        s.offlineFiles >= 1 ? std::optional<QColor>(Color::brandRed()) : std::nullopt);
    add(QStringLiteral("Network Offline"), s.networkOfflineFiles, false, Color::brandAmber(),
        s.networkOfflineFiles >= 1);
    add(QStringLiteral("Duplicates"), s.duplicateFiles, false, Color::brandCyan(), s.duplicateFiles >= 1);
    add(QStringLiteral("Used in AE"), s.aeLinkedFiles, false, Color::brandAccent(), s.aeLinkedFiles >= 1);
    lines.append({QString(), QString(), false, std::nullopt, true});
    lines.append(
        {QStringLiteral("Total Size"), formatFileByteCount(s.totalSize), false, std::nullopt, false});
    lines.append(
        {QStringLiteral("Unused Size"), formatFileByteCount(s.unusedSize), true, std::nullopt, false});
    return lines;
}

QString reclaimableCountText(int unusedFiles) {
    return plural(unusedFiles, QStringLiteral(" unused file"));
}

std::optional<QString> ruleCountsText(int protectRules, int ignoreRules) {
    if (protectRules + ignoreRules == 0)
        return std::nullopt;
    return plural(protectRules, QStringLiteral(" protect rule")) + QStringLiteral(" • ") +
           plural(ignoreRules, QStringLiteral(" auto-ignore rule"));
}

std::optional<QString> protectedFoldersText(int folders) {
    if (folders <= 0)
        return std::nullopt;
    return plural(folders, QStringLiteral(" folder")) + QStringLiteral(" protected");
}

std::optional<QString> unattributedText(qint64 occurrences) {
    if (occurrences < 1)
        return std::nullopt;
    return plural(occurrences, QStringLiteral(" unattributed occurrence")) +
           QStringLiteral(" always counted");
}

QString projectCountsText(int files, int used) {
    return QStringLiteral("%1 files, %2 used").arg(files).arg(used);
}

std::optional<QString> timelinesText(int timelines) {
    if (timelines <= 0)
        return std::nullopt;
    return QStringLiteral("• ") + plural(timelines, QStringLiteral(" timeline"));
}

QString moveUnusedMessage(qint64 count, const QString& folderName) {
    return QStringLiteral(
               "Move %1 file(s) to “%2”? Originals are relocated with their directory structure preserved.")
        .arg(QString::number(count), folderName);
}

} // namespace tarnwick::SidebarTexts
