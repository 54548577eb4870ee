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

    // What the overlay shows beside `currentTask`: figures of that step only.
    struct Step {
        std::optional<double> fraction; // how far the step is (0...1); none: it cannot say
        bool countsFiles = false;       // the file count is this step's own (the file scan)
        friend bool operator==(const Step&, const Step&) = default;
    };
    // None: the work names no steps, and the overall progress and the file count stand as they are.
    std::optional<Step> step;

    // Names the step under way with its own figures, so nothing of the step before stays shown.
    void setStep(QString task, std::optional<double> fraction = std::nullopt, bool countsFiles = false) {
        currentTask = std::move(task);
        step = Step{fraction, countsFiles};
    }

    friend bool operator==(const AnalysisProgress&, const AnalysisProgress&) = default;
};

} // namespace tarnwick
