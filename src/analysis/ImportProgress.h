#pragma once

#include <QHash>
#include <QString>
#include <QUrl>

#include <optional>

namespace tarnwick {

// Progress arithmetic of one import: parsing fills 0 to 0.45, the file scan 0.45 to 0.85, and each
// later step shows where it starts. A Resolve CSV import reads its file, then locates its clips
// from `csvLocateStart` on.
class ImportProgress {
public:
    static constexpr double parseScale = 0.45;
    static constexpr double scanStart = 0.45;
    static constexpr double scanSpan = 0.4;
    static constexpr double aeLinksStart = 0.87;
    static constexpr double consolidationStart = 0.90;
    static constexpr double duplicatesStart = 0.93;
    static constexpr double similarNamesStart = 0.96;
    static constexpr double summaryStart = 0.98;
    static constexpr double csvLocateStart = 0.5;

    explicit ImportProgress(int projectCount) : m_count(projectCount) {}

    // A reader's report; a late report never lowers a project's fraction. Returns the overall value.
    double report(const QUrl& url, double fraction);
    // A project finished reading (its fraction becomes 1). Returns the overall value.
    double finish(const QUrl& url);
    double overall() const;
    // How far the reading step is: the mean of the projects' fractions.
    double parseFraction() const;
    int completed() const { return m_completed; }
    const QHash<QUrl, double>& fractions() const { return m_fractions; }

    // "Finished reading project…" for one project, else "Parsed k/N projects…".
    QString finishedMessage() const;
    // With a single project the reader's own messages are shown.
    bool showsReaderMessages() const { return m_count == 1; }

    static double scanProgress(qint64 checked, qint64 total);
    // How far the file scan is, as its count reads; none when it has no file to check.
    static std::optional<double> scanFraction(qint64 checked, qint64 total);
    static QString scanMessage(qint64 checked, qint64 total);

private:
    int m_count = 0;
    int m_completed = 0;
    double m_sum = 0;
    QHash<QUrl, double> m_fractions;
};

// Processors the machine reports, but at least 4: how many projects are read at once.
int parseWidth(int processorCount);

} // namespace tarnwick
