#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>
#include <QtGlobal>

#include <optional>

namespace tarnwick {

// A project the last import could not read.
struct ParseErrorRecord {
    QString projectName;
    QString error;
    friend bool operator==(const ParseErrorRecord&, const ParseErrorRecord&) = default;
};

// What the window shows while projects are read and their media checked, and while the matches
// of an offline search are applied.
struct AnalysisProgress {
    bool isAnalyzing = false;
    double analysisProgress = 0; // 0...1
    QString currentTask;
    qint64 currentFileIndex = 0;
    qint64 totalFilesToScan = 0;
    QHash<QUrl, double> parseFractionByURL;
    std::optional<QString> errorMessage;
    bool showError = false;
    QList<ParseErrorRecord> parseErrors;
    bool isApplyingMatches = false;

    friend bool operator==(const AnalysisProgress&, const AnalysisProgress&) = default;
};

} // namespace tarnwick
